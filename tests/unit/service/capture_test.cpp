// A motion test's lines: the begin line, the pairs, eof, the statistics and
// the four series of the chart.
#include "service/CaptureParser.h"
#include "service/CaptureStatistics.h"

#include <gtest/gtest.h>

using namespace grittor;
using R = TCaptureParser::Result;

namespace {

TCaptureParser Parsed(const std::vector<std::string> &lines)
{
    TCaptureParser p;
    for (const auto &l : lines)
        p.Feed(l);
    return p;
}

} // namespace

TEST(Capture, RunFiveGivesItsPointsBehindAndStatistics)
{
    const TCaptureParser p = Parsed({"begin run 5", "10,20", "0,0", "30,-40", "eof"});
    ASSERT_TRUE(p.Finished());
    EXPECT_EQ(p.Behind(), "run 5");
    ASSERT_EQ(p.Pairs().size(), 3u);

    const TCaptureStatistics s(p.Pairs());
    EXPECT_EQ(s.Text(), "x (0, 30) y (-40, 20) avg (13.33, -6.67, |20.00|)");

    const auto series = TCaptureStatistics::SplitSeries(p.Pairs());
    EXPECT_EQ(series[0], (std::vector<TCapturePair>{{10, 20}}));
    EXPECT_EQ(series[1], (std::vector<TCapturePair>{{30, -40}}));
    EXPECT_TRUE(series[2].empty());
    EXPECT_TRUE(series[3].empty());
}

TEST(Capture, BeginStandsAtTheFirstOrSecondCharacter)
{
    for (const std::string line : {"xbegin", "begins", "begin", "#begin run"}) {
        TCaptureParser p;
        EXPECT_EQ(p.Feed(line), R::Begin) << line;
    }
    EXPECT_EQ(Parsed({"xbegin"}).Behind(), "");
    EXPECT_EQ(Parsed({"#begin run"}).Behind(), " run"); // from the seventh character on
    for (const std::string line : {"xxbegin", "beg", "", "BEGIN", " okbegin"}) {
        TCaptureParser p;
        EXPECT_EQ(p.Feed(line), R::Ignored) << line;
        EXPECT_EQ(p.Behind(), "Ignoring " + line);
        EXPECT_FALSE(p.Started());
    }
}

TEST(Capture, LinesBeforeBeginAreShownAndNotCounted)
{
    const TCaptureParser p = Parsed({"ok", "5,5", "begin x", "1,2", "eof"});
    EXPECT_EQ(p.Pairs(), (std::vector<TCapturePair>{{1, 2}}));
    TCaptureParser waiting = Parsed({"ok", "5,5"});
    EXPECT_EQ(waiting.Behind(), "Ignoring 5,5");
}

TEST(Capture, EofEndsAsTheWholeLineOrAfterOneCharacter)
{
    EXPECT_TRUE(Parsed({"begin", "1,1", "eof"}).Finished());
    EXPECT_TRUE(Parsed({"begin", "1,1", ">eof"}).Finished());
    const TCaptureParser p = Parsed({"begin", "1,1", "eofx", "xxeof", " eof "});
    EXPECT_FALSE(p.Finished());
    EXPECT_EQ(p.SkippedLines(), 3);
    EXPECT_EQ(p.Pairs().size(), 1u);
}

TEST(Capture, AtMost4499PairsTheNextLineEndsTheData)
{
    TCaptureParser p;
    p.Feed("begin");
    for (int i = 1; i <= 4499; ++i)
        ASSERT_EQ(p.Feed(std::to_string(i) + ",1"), R::Pair);
    EXPECT_FALSE(p.Finished());
    EXPECT_EQ(p.Feed("4500,1"), R::End);
    EXPECT_TRUE(p.Finished());
    EXPECT_EQ(p.Pairs().size(), 4499u);
    EXPECT_EQ(p.Feed("eof"), R::End); // nothing changes afterwards
    EXPECT_EQ(p.Pairs().back(), (TCapturePair{4499, 1}));
}

TEST(Capture, DataLinesThatAreNotTwoWholeNumbersAreSkippedAndCounted)
{
    const TCaptureParser p = Parsed({"begin run 7", "1.5,2", "abc", "7", "3, 4 ", " -5 ,6,99", "2147483648,1", "eof"});
    EXPECT_EQ(p.Pairs(), (std::vector<TCapturePair>{{3, 4}, {-5, 6}}));
    EXPECT_EQ(p.SkippedLines(), 4);
    EXPECT_EQ(p.Behind(), "run 7  (4 lines skipped: not x,y)");
    EXPECT_EQ(Parsed({"begin run 7", "x", "eof"}).Behind(), "run 7  (1 line skipped: not x,y)");
}

TEST(Capture, StatisticsWithoutPairsAreZeroAndRangesAlwaysHoldZero)
{
    EXPECT_EQ(TCaptureStatistics({}).Text(), "x (0, 0) y (0, 0) avg (0.00, 0.00, |0.00|)");
    const TCaptureStatistics s({{5, 7}, {9, 8}});
    EXPECT_EQ(s.MinX(), 0);
    EXPECT_EQ(s.MinY(), 0);
    EXPECT_EQ(s.MaxX(), 9);
    // Sums of many large values do not overflow.
    const std::vector<TCapturePair> big(4499, {2147483647, -2147483647 - 1});
    const TCaptureStatistics b(big);
    EXPECT_EQ(TCaptureStatistics::Fixed2(b.AvgX()), "2147483647.00");
    EXPECT_EQ(TCaptureStatistics::Fixed2(b.AvgAbsY()), "2147483648.00");
    EXPECT_EQ(TCaptureStatistics::Fixed2(-0.001), "-0.00"); // as printf writes it
}

TEST(Capture, SeriesSplitAtZeroZeroAndNothingAfterTheFourth)
{
    const auto s = TCaptureStatistics::SplitSeries(
        {{0, 0}, {1, 1}, {0, 0}, {2, 2}, {0, 5}, {0, 0}, {3, 3}, {0, 0}, {4, 4}, {0, 0}, {5, 5}});
    EXPECT_TRUE(s[0].empty());
    EXPECT_EQ(s[1], (std::vector<TCapturePair>{{1, 1}}));
    EXPECT_EQ(s[2], (std::vector<TCapturePair>{{2, 2}, {0, 5}}));
    EXPECT_EQ(s[3], (std::vector<TCapturePair>{{3, 3}}));
}
