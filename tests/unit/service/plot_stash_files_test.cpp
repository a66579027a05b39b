// The two export files: "plotdata.xls" (the chart's series side by side) and
// "stashdata.xls" (the link's recorded events).
#include "service/PlotDataFile.h"
#include "service/StashFile.h"

#include "foundation/Clock.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace grittor;

namespace {

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t crlf; (crlf = text.find("\r\n", at)) != std::string::npos; at = crlf + 2)
        lines.push_back(text.substr(at, crlf - at));
    EXPECT_EQ(at, text.size()) << "every line ends with CR LF";
    return lines;
}

std::string ReadAll(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class StashFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetClock(&clock);
        ClearStash();
        SetStashMask(DefaultStashMask);
        SetDoStash(true);
    }
    void TearDown() override
    {
        SetDoStash(false);
        ClearStash();
        SetClock(nullptr);
    }
    FakeClock clock;
    QTemporaryDir dir;
};

} // namespace

TEST(PlotDataFile, ThreeAndFivePointsGiveFiveLinesOfEightFields)
{
    std::array<TSeriesPoints, 4> s;
    s[0] = {{1, 2}, {3, -4.5}, {1234567.891, 0}};
    s[1] = {{10, 20}, {11, 21}, {12, 22}, {13, 23}, {-14, -0.001}};
    const auto lines = Lines(TPlotDataFile::Text(s));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "1.00\t2.00\t10.00\t20.00\t\t\t\t\t");
    EXPECT_EQ(lines[2], "1234567.89\t0.00\t12.00\t22.00\t\t\t\t\t");
    EXPECT_EQ(lines[3], "\t\t13.00\t23.00\t\t\t\t\t");
    EXPECT_EQ(lines[4], "\t\t-14.00\t-0.00\t\t\t\t\t");
    for (const auto &l : lines)
        EXPECT_EQ(std::count(l.begin(), l.end(), '\t'), 8) << l;
    EXPECT_EQ(TPlotDataFile::Text({}), "");
}

TEST(StashFile, TimesComeFromTheCounterAndTextsArePrintable)
{
    const QDateTime wall(QDate(2026, 3, 7), QTime(10, 0, 0, 0));
    const int64_t now = 50'000'000'000;
    EXPECT_EQ(TStashFile::TimeText(now - 1'500'000'000, now, wall), "07.09:59:58.500");
    EXPECT_EQ(TStashFile::TimeText(now - 1, now, wall), "07.09:59:59.999"); // cut, as a clock shows it
    EXPECT_EQ(TStashFile::TimeText(now - 86'400'000'000'000, now, wall), "06.10:00:00.000");

    std::vector<TStash> entries(2);
    entries[0] = {now - 2'000'000, 7, STWriteStart, std::string("ok\r\n\x1b", 5)};
    entries[1] = {now, -3, STAck, ""};
    EXPECT_EQ(TStashFile::Text(entries, now, wall),
              "07.09:59:59.998\tSTWriteStart\t7\tok#13#10#27\r\n07.10:00:00.000\tSTAck\t-3\t\r\n");
}

TEST_F(StashFileTest, DumpWritesEveryEntryOldestFirstAndEmptiesTheStash)
{
    StashRecord(STReadComplete, 3, "a\rb");
    clock.Advance(5);
    StashRecord(STOpenError, 0, "driver status");
    StashRecord(STGetByteInput, 1, "masked"); // code 8 is not recorded
    const std::string path = dir.path().toStdString() + "/stashdata.xls";
    {
        std::ofstream old(path);
        old << "an older file";
    }
    ASSERT_EQ(TStashFile::Dump(path, clock.NowNs(), clock.WallNow()), TStashFile::Result::Written);
    const auto lines = Lines(ReadAll(path));
    ASSERT_EQ(lines.size(), 2u);
    // The fake clock's wall time is 10:00:01.000 at the first entry.
    EXPECT_EQ(lines[0], "15.10:00:01.000\tSTReadComplete\t3\ta#13b");
    EXPECT_EQ(lines[1], "15.10:00:01.005\tSTOpenError\t0\tdriver status");
    EXPECT_TRUE(StashSnapshot().empty());
}

TEST_F(StashFileTest, AFileThatCannotBeWrittenKeepsTheEntries)
{
    StashRecord(STAck, 1, "block");
    const std::string path = dir.path().toStdString() + "/no such folder/stashdata.xls";
    EXPECT_EQ(TStashFile::Dump(path, clock.NowNs(), clock.WallNow()), TStashFile::Result::WriteFailed);
    EXPECT_EQ(StashSnapshot().size(), 1u);
}
