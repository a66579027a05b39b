// The settings panel's OK without the window: what goes to the machine, in
// which order, what the settings keep, and where a bad field stops it.
#include "service/SettingsApply.h"

#include "TestDoubles.h"
#include "foundation/option.h"

#include <QSettings>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace grittor;

namespace {

const std::string ESC = "\x1b";

class SettingsApplyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        o.SetRadius(381);
        o.OneMS = 1; // Save never calibrates
        reading.DrawSpeed = "10";
        reading.MoveSpeed = "20";
        reading.Acceleration = "2";
        reading.State = "ready";
        FillMachineFields(reading, fields, memory);
        FillSettingsFields(o, fields);
    }
    TApplyOutcome Apply()
    {
        TSettingsApply apply(
            o,
            [this](const std::string &command, int limit) {
                sent.push_back(command);
                limits.push_back(limit);
                return std::string("ok");
            },
            [this](const std::string &text) { messages.push_back(text); });
        return apply.Run(fields, memory);
    }
    // Everything sent that is not one of the two writes every OK makes.
    std::vector<std::string> Changes() const
    {
        std::vector<std::string> out;
        for (const auto &c : sent)
            if (c.rfind(ESC + ".wradius;", 0) != 0 && c.rfind(ESC + ".wcentervel;", 0) != 0)
                out.push_back(c);
        return out;
    }

    test::TempSettings settings;
    Toption o;
    TMachineReadings reading;
    TSettingsPanelFields fields;
    TSettingsPanelMemory memory;
    std::vector<std::string> sent, messages;
    std::vector<int> limits;
};

} // namespace

TEST_F(SettingsApplyTest, UntouchedFieldsKeepEveryValueExactlyAndSendNoMachineChange)
{
    o.SetScanLine(1200);
    o.SetVertPer(0.3L);
    o.SetCenterOffset(0.4L);
    FillSettingsFields(o, fields);
    EXPECT_EQ(fields.Radius.Text, "0.38");
    EXPECT_EQ(fields.ScanLine.Text, "1.18");
    const TApplyOutcome out = Apply();
    EXPECT_TRUE(out.Completed);
    // 0.38 inches read back would be 386 units and 1.18 would be 1199.
    EXPECT_EQ(o.Radius, 381);
    EXPECT_EQ(o.ScanLine, 1200);
    EXPECT_EQ(o.VertPer, 0.3L);
    EXPECT_TRUE(Changes().empty()) << Changes().front();
    EXPECT_EQ(sent, (std::vector<std::string>{ESC + ".wradius;381:", ESC + ".wcentervel;400:"}));
    EXPECT_TRUE(messages.empty());
    // The stored radius reached the settings store (step 10 saves).
    EXPECT_EQ(QSettings("Korvane Systems", "Grittor").value("Radius").toInt(), 381);
}

TEST_F(SettingsApplyTest, TheEdgeCasesOfTheMachineNumbers)
{
    fields.MoveSpeed = "40";
    fields.DrawSpeed = "0";
    fields.Acceleration = "9";
    fields.Radius.Text = "0.5";
    fields.CenterOffset.Text = "0.25";
    EXPECT_TRUE(Apply().Completed);
    EXPECT_EQ(sent, (std::vector<std::string>{ESC + ".wupspeed;25:", ESC + ".wdownspeed;1:", ESC + ".wradius;508:",
                                              ESC + ".wcentervel;250:", ESC + ".wacceleration;4:"}));
    EXPECT_EQ(limits, (std::vector<int>{80, 80, 80, 80, 80}));
    EXPECT_EQ(o.Radius, 508);
    EXPECT_EQ(o.CenterOffset, 0.25L);
    EXPECT_EQ(fields.Radius.Text, "0.50");
    // The fields show what the machine was sent; the replies are remembered.
    EXPECT_EQ(fields.MoveSpeed, "25");
    EXPECT_EQ(fields.DrawSpeed, "1");
    EXPECT_EQ(memory.MoveSpeed, "ok");
}

TEST_F(SettingsApplyTest, TheStateIsWrittenOnlyWhenChangedAndASecondOkComparesWithWhatWasSent)
{
    fields.StateIndex = 1;
    Apply();
    EXPECT_EQ(sent.front(), ESC + ".wstate;pause:");
    EXPECT_EQ(limits.front(), 20);
    // Save Setup, then the operator puts it back to Ready and presses OK.
    sent.clear();
    fields.StateIndex = 2;
    Apply();
    EXPECT_EQ(Changes(), (std::vector<std::string>{ESC + ".wstate;ready:"}));
    sent.clear();
    Apply();
    EXPECT_TRUE(Changes().empty());
    EXPECT_EQ(StateWriteCommand(0), ESC + ".wstate;unload:");
    EXPECT_EQ(MachineStateIndex("unload"), 0);
    EXPECT_EQ(MachineStateIndex("pause"), 1);
    EXPECT_EQ(MachineStateIndex(""), 2) << "anything else is ready";
}

TEST_F(SettingsApplyTest, WholeNumberFieldsThatAreNoNumbersAreReportedAndSkipped)
{
    o.SetPasses(3);
    o.SetTimes(2);
    FillSettingsFields(o, fields);
    fields.MoveSpeed = "fast";
    fields.DrawSpeed = "12.5";
    fields.Acceleration = "";
    fields.Passes = "x";
    fields.Times = "1.5";
    fields.PassOffset = "many";
    fields.Extra.Text = "2";
    const TApplyOutcome out = Apply();
    EXPECT_TRUE(out.Completed) << "the remaining steps still run";
    EXPECT_EQ(messages,
              (std::vector<std::string>{"Invalid value for Move Speed", "Invalid value for Draw Speed",
                                        "Invalid value for Acceleration", "conversion error on passes",
                                        "conversion error on Max Passes", "conversion error on PassOffset"}));
    EXPECT_TRUE(Changes().empty());
    EXPECT_EQ(o.Passes, 3);
    EXPECT_EQ(fields.Passes, "3") << "refilled from the setting";
    EXPECT_EQ(o.PassOffset, 25);
    EXPECT_EQ(o.Extra, 2.0L);
    EXPECT_EQ(fields.MoveSpeed, "fast") << "left for the operator to correct";
}

TEST_F(SettingsApplyTest, ADecimalFieldThatIsNoNumberStopsThereWithTheStepsBeforeApplied)
{
    fields.Acceleration = "3";
    fields.VertPer.Text = "0.5";
    fields.Extra.Text = "lots";
    fields.Multiplier.Text = "2";
    fields.PassOffset = "40";
    const TApplyOutcome out = Apply();
    EXPECT_FALSE(out.Completed);
    EXPECT_EQ(out.StoppedAt, TDecimalFieldId::Extra);
    EXPECT_EQ(out.Message, "Extra Rotations: \"lots\" is not a number");
    // Before: acceleration sent, vertical combine stored; after: nothing.
    EXPECT_EQ(Changes(), (std::vector<std::string>{ESC + ".wacceleration;3:"}));
    EXPECT_EQ(o.VertPer, 0.5L);
    EXPECT_EQ(o.Multiplier, 1.0L);
    EXPECT_EQ(o.PassOffset, 25);
    EXPECT_EQ(fields.Extra.Text, "lots") << "kept so it can be corrected";

    // Corrected, OK runs through; the acceleration is not changed again.
    sent.clear();
    fields.Extra.Text = "1.5";
    EXPECT_TRUE(Apply().Completed);
    EXPECT_EQ(o.Extra, 1.5L);
    EXPECT_EQ(o.PassOffset, 40);
    EXPECT_EQ(o.Multiplier, 2.0L);

    // The first decimal field stops before anything of the pattern changes.
    sent.clear();
    fields.ScanLine.Text = "";
    fields.Radius.Text = "1";
    const TApplyOutcome first = Apply();
    EXPECT_EQ(first.StoppedAt, TDecimalFieldId::ScanLine);
    EXPECT_EQ(first.Message, "Scan Line Separation: \"\" is not a number");
    EXPECT_EQ(o.Radius, 381);
    EXPECT_TRUE(sent.empty());
}

TEST_F(SettingsApplyTest, ValuesAreClampedByTheSettingsAndShownAsStored)
{
    fields.Radius.Text = "0.1";
    fields.ScanLine.Text = "9";
    fields.MarginX.Text = "-5";
    fields.MarginY.Text = "5";
    fields.LaserX.Text = "-20";
    fields.LaserY.Text = "1.25";
    fields.CenterOffset.Text = "0.05";
    fields.Multiplier.Text = "0";
    fields.PenUpOff = 1;
    EXPECT_TRUE(Apply().Completed);
    EXPECT_EQ(o.Radius, 381);
    EXPECT_EQ(o.ScanLine, 4064);
    EXPECT_EQ(fields.MarginX.Text, "-0.75"); // (2 * 381 - 1) / 1016
    EXPECT_EQ(fields.MarginY.Text, "4.00");  // (4064 - 1) / 1016
    EXPECT_EQ(o.LaserOffset.x, -5080);
    EXPECT_EQ(o.LaserOffset.y, 1270);
    EXPECT_EQ(fields.LaserX.Text, "-5.00");
    EXPECT_EQ(o.CenterOffset, 0.4L);
    EXPECT_EQ(sent[1], ESC + ".wcentervel;400:");
    EXPECT_EQ(o.Multiplier, 1.0L);
    EXPECT_EQ(o.PenUpOff, 1);
}

TEST(SettingsPanelTexts, LengthsAndMarginRanges)
{
    const TLengthTexts h = LengthTexts("48768");
    EXPECT_EQ(h.Inches, "48.00");
    EXPECT_EQ(h.Millimetres, "1219.20");
    EXPECT_EQ(LengthTexts("-1016").Inches, "-1.00");
    EXPECT_TRUE(LengthTexts("12.5").Inches.empty());
    EXPECT_TRUE(LengthTexts("").Millimetres.empty());

    TDecimalField radius, vertPer;
    radius.Fill("0.38", 381);
    vertPer.Fill("0.19", 0.1875L);
    TMarginRanges r = MarginRanges(radius, vertPer);
    EXPECT_EQ(r.X, "-0.75 to 0.75 inches");
    EXPECT_EQ(r.Y, "-0.19 to 0.75 inches");
    radius.Text = "0.5";
    vertPer.Text = "";
    r = MarginRanges(radius, vertPer);
    EXPECT_EQ(r.X, "-1.00 to 1.00 inches"); // 1015 / 1016
    EXPECT_EQ(r.Y, "-0.19 to 1.00 inches") << "an empty vertical combine is clamped as the setting will";
    radius.Text = "5";
    vertPer.Text = "2";
    r = MarginRanges(radius, vertPer);
    EXPECT_EQ(r.X, "-4.00 to 4.00 inches"); // radius clamped to 2032
    EXPECT_EQ(r.Y, "-2.00 to 4.00 inches");
}

TEST_F(SettingsApplyTest, AMachineThatDidNotAnswerIsSentOnlyWhatChanged)
{
    TMachineReadings silent;
    for (size_t i = 0; i < MachineValueCount; ++i)
        silent.Unread.push_back(static_cast<TMachineValue>(i));
    FillMachineFields(silent, fields, memory);
    EXPECT_FALSE(memory.MachineAnswered);
    EXPECT_TRUE(fields.MoveSpeed.empty());
    EXPECT_EQ(fields.StateIndex, 2);
    EXPECT_TRUE(Apply().Completed);
    EXPECT_TRUE(sent.empty()) << sent.front();
    EXPECT_TRUE(messages.empty()) << "empty speed fields are no invalid values";
    fields.Radius.Text = "0.5";
    Apply();
    EXPECT_EQ(sent, (std::vector<std::string>{ESC + ".wradius;508:"}));
}
