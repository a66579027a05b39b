#include "geometry/Blow.h"
#include "geometry/BlastJob.h"

#include "GeometryTestSupport.h"
#include "TestDoubles.h"
#include "foundation/AbortFlags.h"
#include "geometry/polygon.h"
#include "geometry/HpglOutput.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace grittor;
using namespace grittor::test;

namespace {

class BlowTest : public ::testing::Test {
protected:
    void SetUp() override { settings = TBlastSettings::From(Options()); }

    // Chooses the material of the job; a fresh collection takes its border flags.
    void Use(int m)
    {
        material = lib.Pens(m);
        poly = std::make_unique<TPolygon>(material.BorderFlags());
    }
    // Builds every pen group's output as the digitize commands do.
    void BuildGroups()
    {
        job = std::make_unique<TBlastJob>(std::move(poly));
        job->BuildOutputs();
    }
    THpglOutput *Group(int pen) { return job->GroupOutput(job->Outlines().GroupIndexOf(pen)); }
    TBlowList Prepared() { return job->PrepareBlowList(material, settings); }
    TBlowList Empty() { return TBlowList(material, settings); }

    // An alignment record that maps the drawing of `out` onto itself.
    static TAlignPoints Same(const THpglOutput &out)
    {
        TAlignPoints r = out.Drawing;
        r.Offset = {0, 0};
        return r;
    }

    static std::vector<int> Pens(const TBlowList &list)
    {
        std::vector<int> v;
        for (int i = 1; i < list.Count(); ++i)
            v.push_back(list.Pen(i));
        return v;
    }

    TempSettings temp;
    LogCapture log;
    TMaterialLibrary lib;
    TMaterialPens material;
    TBlastSettings settings;
    std::unique_ptr<TPolygon> poly = std::make_unique<TPolygon>();
    std::unique_ptr<TBlastJob> job;
};

} // namespace

TEST_F(BlowTest, ResetLeavesOnlyTheStartItem)
{
    TBlowList list = Empty();
    ASSERT_EQ(list.Count(), 1);
    const TBlowItem &s = list.Item(0);
    EXPECT_EQ(s.Output, nullptr);
    EXPECT_EQ(s.Passes, 100);
    EXPECT_EQ(s.Pen, -1);
    EXPECT_EQ(s.StartPoint, (TExtendedPoint{-1000000, -1000000}));
    EXPECT_EQ(s.EndPoint, (TExtendedPoint{-1000000, -1000000}));
    // An empty path adds nothing.
    THpglOutput empty;
    list.Add(&empty, 1);
    list.Add(nullptr, 1);
    EXPECT_EQ(list.Count(), 1);
}

TEST_F(BlowTest, PassesAreCutIntoRunsOfAtMostTimes)
{
    Use(AddPen(lib, "Granite", {.pen = 1, .passes = 5, .times = 2}));
    Outline(*poly, {{0, 0}, {1000, 0}}, 1);
    BuildGroups();
    TBlowList list = Empty();
    list.Add(Group(1), 1);
    ASSERT_EQ(list.Count(), 4);
    const int passes[] = {2, 2, 1}, starts[] = {0, 2, 4};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list.Passes(i + 1), passes[i]);
        EXPECT_EQ(list.StartPass(i + 1), starts[i]);
        EXPECT_EQ(list.Item(i + 1).StartPoint, (TExtendedPoint{0, 0}));
        EXPECT_EQ(list.Item(i + 1).EndPoint, (TExtendedPoint{1000, 0}));
    }
    list.DistanceSort();
    // Runs of an even number of passes end where they began; a run that ends
    // there is walked forwards again.
    EXPECT_EQ(list.Item(1).EndPoint, list.Item(1).StartPoint);
    EXPECT_EQ(list.Item(2).EndPoint, list.Item(2).StartPoint);
    for (int i = 1; i < 4; ++i)
        EXPECT_FALSE(list.Backward(i));
    EXPECT_EQ(list.StartPass(3), 4);

    // Passes 0 makes no run; settings' defaults apply to pens without record.
    Use(AddPen(lib, "Marble", {.pen = 1, .passes = 0, .times = 0}));
    list = Empty();
    list.Add(Group(1), 1);
    EXPECT_EQ(list.Count(), 1);
    Use(-1);
    settings.Passes = (3);
    settings.Times = (3);
    list = Empty();
    list.Add(Group(1), 1);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Passes(1), 3);
}

TEST_F(BlowTest, TwoPensAlternate)
{
    const int m = AddPen(lib, "Granite", {.pen = 1, .passes = 3, .times = 1});
    AddPen(lib, "Granite", {.pen = 2, .passes = 3, .times = 1});
    Use(m);
    Rect(*poly, 0, 0, 100, 100, 1);
    Rect(*poly, 5000, 0, 100, 100, 2);
    BuildGroups();
    TBlowList list = Empty();
    list.Add(Group(1), 1);
    list.Add(Group(2), 2);
    list.DistanceSort();
    EXPECT_EQ(Pens(list), (std::vector<int>{1, 2, 1, 2, 1, 2}));
}

TEST_F(BlowTest, LongerRunsOfAnotherPenComeFirst)
{
    const int m = AddPen(lib, "Granite", {.pen = 1, .passes = 2, .times = 1}); // two 1-pass runs, near
    AddPen(lib, "Granite", {.pen = 2, .passes = 6, .times = 3});               // two 3-pass runs, far
    AddPen(lib, "Granite", {.pen = 3, .passes = 1, .times = 1});               // one 1-pass run, near
    Use(m);
    Rect(*poly, 0, 0, 100, 100, 1);
    Rect(*poly, 90000, 90000, 100, 100, 2);
    Rect(*poly, 300, 0, 100, 100, 3);
    BuildGroups();
    TBlowList list = Empty();
    for (int pen : {1, 2, 3})
        list.Add(Group(pen), pen);
    list.DistanceSort();
    const std::vector<int> pens = Pens(list);
    ASSERT_EQ(pens.size(), 5u);
    EXPECT_EQ(pens[0], 2); // the long run, although far away
    EXPECT_EQ(pens[2], 2); // again before the nearer 1-pass run of the other pen
    EXPECT_EQ(list.Passes(1), 3);
    EXPECT_EQ(list.Passes(3), 3);
}

TEST_F(BlowTest, NearerEndDecidesTheDirection)
{
    const int m = AddPen(lib, "Granite", {.pen = 1, .passes = 1, .times = 1});
    AddPen(lib, "Granite", {.pen = 2, .passes = 1, .times = 1});
    Use(m);
    Outline(*poly, {{0, 0}, {1000, 0}}, 1);
    Outline(*poly, {{5000, 0}, {1100, 0}}, 2); // its end is next to pen 1's end
    BuildGroups();
    TBlowList list = Empty();
    list.Add(Group(1), 1);
    list.Add(Group(2), 2);
    list.DistanceSort();
    EXPECT_EQ(Pens(list), (std::vector<int>{1, 2}));
    EXPECT_FALSE(list.Backward(1));
    EXPECT_TRUE(list.Backward(2));
    EXPECT_EQ(list.Item(2).StartPoint, (TExtendedPoint{1100, 0}));

    TBlowItem a;
    a.EndPoint = {0, 0};
    TBlowItem b;
    b.StartPoint = {3, 4};
    b.EndPoint = {6, 8};
    const TBlowDistance d = TBlowList::Distance(a, b);
    EXPECT_EQ(d.ToStart, 5);
    EXPECT_EQ(d.ToEnd, 10);
    EXPECT_EQ(d.Min, 5);
}

TEST_F(BlowTest, DistanceSortShowsAndHidesProgress)
{
    RecordingProgress progress;
    Rect(*poly, 0, 0, 100, 100, 1);
    BuildGroups();
    TBlowList list = Empty();
    list.Add(Group(1), 1);
    list.DistanceSort();
    ASSERT_FALSE(progress.events.empty());
    EXPECT_EQ(progress.events.front().kind, ProgressEvent::Show);
    EXPECT_EQ(progress.events.front().caption, "Distance Sort");
    EXPECT_EQ(progress.events.back().kind, ProgressEvent::Hide);
}

TEST_F(BlowTest, TwoPassSquareJobLineByLine)
{
    settings.Passes = (2);
    settings.Times = (2);
    settings.Radius = (762);
    settings.CenterOffset = (0.5L);
    settings.Extra = (1);
    settings.PenUpOff = 0;
    Rect(*poly, 1016, 0, 1016, 1016, 1);
    BuildGroups();
    TBlowList list = Prepared();
    ASSERT_EQ(list.Count(), 2);
    std::ostringstream debug;
    const std::string job = list.BuildJobStream(20, Same(*Group(1)), &debug);
    const std::vector<std::string> want = {
        "papu0,0;", "vs20;", "bp762,0.50,1.00,0",
        // first pass, forwards
        "papu 1016,0", "papd2032,0", "papd2032,1016", "papd1016,1016", "papd1016,0", "",
        // second pass, backwards, shifted 190.5 units at 45 degrees
        "papu1151,135", "papd1151,1151", "papd2167,1151", "papd2167,135", "papd1151,135", "", "pa0,0,0,0,0,0;"};
    EXPECT_EQ(Lines(job), want);
    EXPECT_EQ(job.substr(job.size() - 2), "\r\n");
    EXPECT_EQ(debug.str(), "1016\t0\r\n2032\t0\r\n2032\t1016\r\n1016\t1016\r\n1016\t0\r\n"
                           "1151\t135\r\n1151\t1151\r\n2167\t1151\r\n2167\t135\r\n1151\t135\r\n");
    EXPECT_EQ(log.Count("Blow HPGL file 1 ploygon groups"), 1);
    EXPECT_EQ(log.Count("output for pen 1 StartPass 0 for 2 passes backward False"), 1);
    EXPECT_EQ(log.Count("bp762,0.50,1.00,0"), 1);
}

TEST_F(BlowTest, PassShiftsTurnByFortyFiveDegrees)
{
    // radius 1016 and 25 percent: 254 units.
    Use(AddPen(lib, "Granite", {.pen = 1, .passes = 4, .times = 4, .radius = 1016}));
    Outline(*poly, {{0, 0}, {1000, 0}}, 1);
    BuildGroups();
    const TAlignPoints same = Same(*Group(1));
    TBlowList list = Prepared();
    const auto lines = Lines(list.BuildJobStream(10, same, nullptr));
    // papu0,0; vs bp, then 3 lines per pass (2 points and the blank line).
    ASSERT_EQ(lines.size(), 3u + 4 * 3 + 1);
    EXPECT_EQ(lines[3], "papu 0,0");     // pass 0: not shifted
    EXPECT_EQ(lines[6], "papu1180,180"); // pass 1: backwards, 254 at 45 degrees
    EXPECT_EQ(lines[7], "papd180,180");
    EXPECT_EQ(lines[9], "papu0,254");    // pass 2: 90 degrees
    EXPECT_EQ(lines[12], "papu820,180"); // pass 3: 135 degrees, backwards
    EXPECT_EQ(lines[13], "papd-180,180");

    // A later run of the same pen goes on turning from its own first pass.
    Use(AddPen(lib, "Marble", {.pen = 1, .passes = 4, .times = 2, .radius = 1016}));
    list = Prepared();
    const auto runs = Lines(list.BuildJobStream(10, same, nullptr));
    ASSERT_EQ(list.StartPass(2), 2);
    EXPECT_EQ(runs[11], "papu0,254"); // third pass overall: 90 degrees
}

TEST_F(BlowTest, ZeroPassOffsetShiftsNothing)
{
    settings.PassOffset = (0);
    Use(AddPen(lib, "Granite", {.pen = 1, .passes = 3, .times = 3}));
    Outline(*poly, {{0, 0}, {1000, 0}}, 1);
    BuildGroups();
    TBlowList list = Prepared();
    const auto lines = Lines(list.BuildJobStream(10, Same(*Group(1)), nullptr));
    EXPECT_EQ(lines[3], "papu 0,0");
    EXPECT_EQ(lines[6], "papu1000,0");
    EXPECT_EQ(lines[9], "papu0,0");
}

TEST_F(BlowTest, HalfUnitShiftsRoundAwayFromZero)
{
    // radius 762 at 25 percent: 190.5 units, straight up on the third pass.
    settings.Radius = (762);
    settings.Passes = (3);
    settings.Times = (3);
    Outline(*poly, {{0, 0}, {1000, 0}}, 1);
    BuildGroups();
    TBlowList list = Prepared();
    const auto lines = Lines(list.BuildJobStream(10, Same(*Group(1)), nullptr));
    EXPECT_EQ(lines[9], "papu0,191");
    EXPECT_EQ(lines[10], "papd1000,191");
}

TEST_F(BlowTest, PlotPenTwelveUsesTheRecordOfPenTwo)
{
    Use(AddPen(lib, "Granite",
        {.pen = 2, .passes = 1, .times = 1, .radius = 1000, .blowspeed = 7, .centerOffset = 0.25L, .extra = 2.5L}));
    settings.PenUpOff = 1;
    Rect(*poly, 0, 0, 100, 100, 12);
    BuildGroups();
    TBlowList list = Prepared();
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Pen(1), 12);
    const auto lines = Lines(list.BuildJobStream(20, Same(*Group(12)), nullptr));
    EXPECT_EQ(lines[1], "vs7;");
    EXPECT_EQ(lines[2], "bp1000,0.25,2.50,1");
}

TEST_F(BlowTest, PenWithoutRecordUsesTheDefaults)
{
    Use(AddPen(lib, "Granite", {.pen = 1, .passes = 1, .times = 1}));
    Rect(*poly, 0, 0, 100, 100, 3);
    BuildGroups();
    TBlowList list = Prepared();
    const auto lines = Lines(list.BuildJobStream(17, Same(*Group(3)), nullptr));
    EXPECT_EQ(lines[1], "vs17;");
    EXPECT_EQ(lines[2], "bp381,0.40,0.00,0"); // settings: radius 381, CenterOffset 0.4, extra 0
}

TEST_F(BlowTest, BorderOnlyPlotGivesAnEmptyJob)
{
    Use(AddPen(lib, "Granite", {.pen = 4, .border = true}));
        Rect(*poly, 0, 0, 100, 100, 4);
    BuildGroups();
    TBlowList list = Prepared();
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.BuildJobStream(10, Same(*Group(4)), nullptr) + ";", "papu0,0;\r\npa0,0,0,0,0,0;\r\n;");
}

TEST_F(BlowTest, BorderPenIsLeftOutOfTheJob)
{
    const int m = AddPen(lib, "Granite", {.pen = 4, .border = true});
    AddPen(lib, "Granite", {.pen = 1, .passes = 2, .times = 1});
    Use(m);
        Rect(*poly, 0, 0, 100, 100, 4);
    Rect(*poly, 10, 10, 50, 50, 1);
    Rect(*poly, 20, 20, 50, 50, 14); // 14 shares the border record of pen 4
    BuildGroups();
    TBlowList list = Prepared();
    EXPECT_EQ(Pens(list), (std::vector<int>{1, 1}));
}

TEST_F(BlowTest, PenHeaderLogEntries)
{
    const int m = AddPen(lib, "Granite", {.pen = 3,
                                     .passes = 4,
                                     .times = 2,
                                     .radius = 1016,
                                     .blowspeed = 12,
                                     .centerOffset = 0.5L,
                                     .extra = 1,
                                     .border = true});
    Use(m);
    WritePenHeaderLog(material);
    EXPECT_EQ(log.Count("(Name: 'Granite'; pen: 3; CenterOffset: 0.50; radius: 1016; blowspeed: 12; Color: eclBlue; "
                        "border: true ; margin: (x:0.0000; y:0.0000); passes: 4; ScanLine: 1200; fill: true ; "
                        "Times: 2; extra: 1.00; vertper: 0.50),"),
              1);
}
