// The binary answer to "ec32760;": records found by their CR LF framing.
#include "service/MotorRecords.h"

#include <gtest/gtest.h>

using namespace grittor;

namespace {

std::string Words(std::initializer_list<uint32_t> words)
{
    std::string s;
    for (uint32_t w : words)
        for (int b = 0; b < 4; ++b)
            s += static_cast<char>((w >> (8 * b)) & 0xFF);
    return s;
}

} // namespace

TEST(MotorRecords, OnlyRecordsWithBothFirstWordsNonZeroAddPoints)
{
    const std::string reply = "motor data 32760\r\n" + Words({100, 98, 50, 51}) + "\r\n" + Words({0, 7, 1, 1}) + "\r\n";
    const auto p = TMotorRecordParser::PlotPoints(reply);
    EXPECT_EQ(p.X, (std::vector<TMotorPoint>{{100, 98}}));
    EXPECT_EQ(p.Y, (std::vector<TMotorPoint>{{50, 51}}));
    EXPECT_EQ(TMotorRecordParser::Records(reply).size(), 2u);
    EXPECT_TRUE(TMotorRecordParser::PlotPoints(Words({7, 0, 1, 1}) + "\r\n").X.empty());
}

TEST(MotorRecords, CrAndLfInsideARecordAreDataAndWordsAreSigned)
{
    // Bytes 13 and 10 inside the words do not end the record.
    const std::string reply = "\r\n" + Words({0x0A0D0A0D, 0xFFFFFFFF, 0x80000000, 13}) + "\r\n";
    const auto r = TMotorRecordParser::Records(reply);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0], (TMotorRecord{0x0A0D0A0D, -1, -2147483647 - 1, 13}));
}

TEST(MotorRecords, ARecordNotEndedByCrIsDroppedAndTheHuntFindsTheNext)
{
    const std::string reply = "text\r\n" + Words({1, 2, 3, 4}) + "x" + "junk\r\n" + Words({5, 6, 7, 8}) + "\r\n";
    const auto r = TMotorRecordParser::Records(reply);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0], (TMotorRecord{5, 6, 7, 8}));
}

TEST(MotorRecords, AnAnswerThatNeverSynchronisesGivesNothing)
{
    EXPECT_TRUE(TMotorRecordParser::Records("").empty());
    EXPECT_TRUE(TMotorRecordParser::Records(std::string(400, 'a')).empty());
    // CR without LF, then a record cut short by the end of the answer.
    EXPECT_TRUE(TMotorRecordParser::Records("\rx\r\n" + Words({1, 2, 3})).empty());
}
