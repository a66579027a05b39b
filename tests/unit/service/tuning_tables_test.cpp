// The gain and period tables: their 69 fields, the "S 9" answer, the
// validation that guards "S 6" and "S 7", and the commands' exact text.
#include "service/TuningTables.h"

#include <gtest/gtest.h>

using namespace grittor;
using Table = TTuningTables::Table;

namespace {

TTuningTables Numbered()
{
    TTuningTables t;
    for (int i = 0; i < TTuningTables::FieldCount; ++i)
        t.SetText(i, std::to_string(i + 1));
    return t;
}

} // namespace

TEST(TuningTables, SixtyNineFieldsInTableOrderWithThePeriodsLabelledP)
{
    const auto &f = TTuningTables::Fields();
    ASSERT_EQ(f.size(), 69u);
    EXPECT_EQ(f[0].Name, "v1");
    EXPECT_EQ(f[23].Name, "v24");
    EXPECT_EQ(f[24].Name, "p1");
    EXPECT_EQ(f[47].Name, "p24");
    EXPECT_EQ(f[48].Name, "p");
    EXPECT_EQ(f[49].Name, "vfb");
    EXPECT_EQ(f[50].Name, "r1");
    EXPECT_EQ(f[50].Label, "p1");
    EXPECT_EQ(f[68].Name, "r19");
    EXPECT_EQ(f[68].Label, "p19");
}

TEST(TuningTables, TheAnswerFillsGainsThenPeriodsTrimmedAndMissingFieldsEmpty)
{
    std::string reply;
    for (int k = 1; k <= 69; ++k)
        reply += " " + std::to_string(1000 + k) + (k < 69 ? " ," : "");
    TTuningTables t;
    t.Fill(reply);
    EXPECT_EQ(t.Text(0), "1001");
    EXPECT_EQ(t.Text(49), "1050"); // vfb
    EXPECT_EQ(t.Text(50), "1051"); // field 51 is period 1
    EXPECT_EQ(t.Text(68), "1069");

    t.Fill("7,8");
    EXPECT_EQ(t.Text(0), "7");
    EXPECT_EQ(t.Text(1), "8");
    EXPECT_EQ(t.Text(2), "");
    EXPECT_EQ(t.Text(68), "");
}

TEST(TuningTables, TheFirstFieldThatIsNoWholeNumberIsNamedByItsIndexInItsTable)
{
    TTuningTables t = Numbered();
    EXPECT_FALSE(t.Invalid(Table::Gains));
    EXPECT_FALSE(t.Invalid(Table::Periods));

    t.SetText(3, "1.5");
    t.SetText(7, "x"); // later fields are not looked at once one is bad
    EXPECT_EQ(t.Invalid(Table::Gains), "Gain 3 value '1.5' is invalid");
    EXPECT_EQ(t.FirstInvalid(Table::Gains), 3);
    EXPECT_FALSE(t.Invalid(Table::Periods)); // the other table is not concerned

    t.SetText(50, "");
    EXPECT_EQ(t.Invalid(Table::Periods), "Period 0 value '' is invalid");
    t.SetText(50, "5");
    t.SetText(68, "99999999999"); // beyond the machine's 32 bits
    EXPECT_EQ(t.Invalid(Table::Periods), "Period 18 value '99999999999' is invalid");
    EXPECT_EQ(t.FirstInvalid(Table::Periods), 68);
}

TEST(TuningTables, CommandsCarryTheAxisAndEveryFieldFollowedByABlank)
{
    EXPECT_EQ(TTuningTables::ReadCommand(7), "S 9 7 ");
    EXPECT_EQ(TTuningTables::ReadCommand(6), "S 9 6 ");

    TTuningTables t = Numbered();
    t.SetText(1, " -2 "); // a negative gain, typed with blanks around it
    std::string gains = "S 6 7 1 -2 ";
    for (int k = 3; k <= 50; ++k)
        gains += std::to_string(k) + " ";
    EXPECT_EQ(t.SendCommand(Table::Gains, 7), gains);
    std::string periods = "S 7 6 ";
    for (int k = 51; k <= 69; ++k)
        periods += std::to_string(k) + " ";
    EXPECT_EQ(t.SendCommand(Table::Periods, 6), periods);
}
