#include "geometry/polygon.h"

#include "GeometryTestSupport.h"
#include "TestDoubles.h"
#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"
#include "geometry/HpglOutput.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <random>
#include <string>

using namespace grittor;
using namespace grittor::test;

namespace {

class PolygonTest : public ::testing::Test {
protected:
    TempSettings settings;
    LogCapture log;
    TPolygon poly;
};

} // namespace

TEST_F(PolygonTest, ClosedSquareIsOneOutlineOfFourSegments)
{
    // PU0,0;PD1000,0,1000,1000,0,1000,0,0;PU; followed by the closing move
    // of the rendering back to the current position.
    poly.Move({0, 0}, 3);
    for (TExtendedPoint p : {TExtendedPoint{1000, 0}, {1000, 1000}, {0, 1000}, {0, 0}})
        poly.Line(p, 3);
    poly.Move({0, 0}, 0);

    ASSERT_EQ(poly.ObjectCount(), 1);
    const TObjectList &o = poly.Outlines()[0];
    ASSERT_EQ(o.Count(), 4);
    EXPECT_FALSE(o.NotClosed);
    EXPECT_EQ(o.Pen, 3);
    EXPECT_EQ(o.Segment(1).StartPoint, (TExtendedPoint{1000, 0}));
    EXPECT_EQ(o.Segment(3).EndPoint, (TExtendedPoint{0, 0}));
    for (int j = 0; j < o.Count(); ++j) {
        const TSegment s = o.Segment(j);
        EXPECT_EQ(s.Parent, 0u);
        EXPECT_EQ(s.length, 1000);
        EXPECT_EQ(s.IntersectionType, TIntersectionType::ITNoIntersection);
    }
    ASSERT_EQ(poly.GroupCount(), 1);
    EXPECT_EQ(poly.GroupPen(0), 3);
}

TEST_F(PolygonTest, MovesSplitOutlinesUnlessTheyStayWithinTolerance)
{
    Rect(poly, 0, 0, 100, 100, 1);
    // 0.7 away in both axes: the same point, the outline goes on.
    poly.Move({0.7L, 0.7L}, 1);
    EXPECT_EQ(poly.ObjectCount(), 1);
    poly.Line({50, 50}, 1);
    EXPECT_EQ(poly.Outlines()[0].Count(), 5);
    poly.Move({50.79L, 50}, 1);
    EXPECT_EQ(poly.ObjectCount(), 1);
    poly.Move({51, 50}, 1);
    EXPECT_EQ(poly.ObjectCount(), 2);
    // The rectangle's own first move reuses the still empty outline.
    Rect(poly, 500, 500, 10, 10, 2);
    ASSERT_EQ(poly.ObjectCount(), 2);
    EXPECT_EQ(poly.Outlines()[1].Count(), 4);
    EXPECT_EQ(poly.Outlines()[1].Pen, 2);
}

TEST_F(PolygonTest, OpenOutlineIsFlaggedWhenTheNextOneStarts)
{
    Outline(poly, {{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}, {0, 5}}, 1);
    EXPECT_FALSE(poly.Outlines()[0].NotClosed);
    EXPECT_EQ(log.Count("Object not closed"), 0);
    poly.Move({3000, 3000}, 1);
    EXPECT_TRUE(poly.Outlines()[0].NotClosed);
    EXPECT_EQ(log.Count("Object not closed"), 1);
    EXPECT_EQ(log.Count("start new object (3000,3000)"), 1);

    // The last outline of a plot is never tested.
    Outline(poly, {{3000, 3000}, {4000, 3000}}, 1);
    EXPECT_FALSE(poly.Outlines().back().NotClosed);
    EXPECT_EQ(log.Count("Object not closed"), 1);
    // An outline that stays in the list keeps its segments.
    EXPECT_EQ(poly.Outlines()[0].Count(), 4);
}

TEST_F(PolygonTest, TinyStepsMergeAndShortSegmentsAreExtended)
{
    poly.Move({0, 0}, 1);
    poly.Line({0.45L, 0}, 1); // 0.45 from the current point: dropped
    EXPECT_EQ(poly.Outlines()[0].Count(), 0);
    poly.Line({0.9L, 0}, 1); // 0.9: a segment, still shorter than 1.0
    ASSERT_EQ(poly.Outlines()[0].Count(), 1);
    EXPECT_NEAR(static_cast<double>(poly.Outlines()[0].Segment(0).length), 0.9, 1e-15);
    poly.Line({1.35L, 0}, 1); // extends the short segment instead of adding one
    ASSERT_EQ(poly.Outlines()[0].Count(), 1);
    EXPECT_EQ(poly.Outlines()[0].Segment(0).EndPoint, (TExtendedPoint{1.35L, 0}));
    poly.Line({1.8L, 0}, 1); // 0.45 beyond the extended end: dropped
    EXPECT_EQ(poly.Outlines()[0].Count(), 1);
    poly.Line({2.25L, 0}, 1);
    ASSERT_EQ(poly.Outlines()[0].Count(), 2);
    // The chain stays continuous.
    EXPECT_EQ(poly.Outlines()[0].Segment(1).StartPoint, (TExtendedPoint{1.35L, 0}));
}

TEST_F(PolygonTest, ExtendingAShortSegmentKeepsTheCornerItReaches)
{
    // A short chord followed by a long edge: the far corner must stay a
    // vertex of the blast path.
    Outline(poly, {{0, 0}, {0.9L, 0}, {1000, 0}, {1000, 1000}, {0, 1000}, {0, 0}}, 1);
    const TObjectList &o = poly.Outlines()[0];
    ASSERT_EQ(o.Count(), 4);
    EXPECT_EQ(o.Segment(0).EndPoint, (TExtendedPoint{1000, 0}));
    EXPECT_EQ(o.Segment(1).StartPoint, (TExtendedPoint{1000, 0}));

    THpglOutput out;
    out.BuildPath(poly, 1);
    ASSERT_EQ(out.PointCount(), 5);
    EXPECT_EQ(out.ForwardPoints[1], (TExtendedPoint{1000, 0}));
}

TEST_F(PolygonTest, SegmentLineEquation)
{
    TSegment vertical({10, 0}, {10, 100}, 1);
    vertical.Recompute();
    EXPECT_NEAR(static_cast<double>(vertical.m), 100 / 0.05, 1e-9); // x2 = end.x + 0.05
    EXPECT_NEAR(static_cast<double>(vertical.b), 100 - 2000.0 * 10, 1e-9);
    EXPECT_TRUE(std::isfinite(vertical.m));

    TSegment slope({0, 1}, {4, 9}, 1);
    slope.Recompute();
    EXPECT_EQ(slope.m, 2);
    EXPECT_EQ(slope.b, 1);

    TSegment shortOne({0, 0}, {0.5L, 0.5L}, 1);
    EXPECT_EQ(shortOne.length, 0); // below 0.8 when made
    shortOne.EndPoint = {0.005L, 0};
    shortOne.m = 7;
    shortOne.Recompute();
    EXPECT_EQ(shortOne.length, 0); // below 0.01: nothing else changes
    EXPECT_EQ(shortOne.m, 7);
}

TEST_F(PolygonTest, LeadingLinesStartAtTheOriginInTheFirstOutline)
{
    poly.Line({100, 0}, 4);
    poly.Line({100, 100}, 4);
    ASSERT_EQ(poly.ObjectCount(), 1);
    EXPECT_EQ(poly.Outlines()[0].Segment(0).StartPoint, (TExtendedPoint{0, 0}));
    EXPECT_EQ(poly.Outlines()[0].Pen, 4);
}

TEST_F(PolygonTest, PenGroupsAreSortedAndFreeOfDuplicates)
{
    Rect(poly, 0, 0, 10, 10, 5);
    Rect(poly, 20, 0, 10, 10, 2);
    Rect(poly, 40, 0, 10, 10, 5);
    Rect(poly, 60, 0, 10, 10, 12);
    ASSERT_EQ(poly.GroupCount(), 3);
    EXPECT_EQ(poly.GroupPen(0), 2);
    EXPECT_EQ(poly.GroupPen(1), 5);
    EXPECT_EQ(poly.GroupPen(2), 12);
    // A pen whose lines were all too short makes no group.
    poly.Move({100, 100}, 7);
    poly.Line({100.5L, 100}, 7);
    EXPECT_EQ(poly.GroupCount(), 3);
    EXPECT_EQ(poly.GroupIndexOf(12), 2);
    EXPECT_EQ(poly.GroupIndexOf(7), -1);
}

TEST_F(PolygonTest, BorderFlagsComeFromTheMaterial)
{
    TMaterialLibrary lib;
    const int m = AddPen(lib, "Granite", {.pen = 1});
    AddPen(lib, "Granite", {.pen = 4, .border = true});
    AddPen(lib, "Granite", {.pen = 6, .border = true});
    AddPen(lib, "Marble", {.pen = 2, .border = true});
    TPolygon granite(lib.Pens(m).BorderFlags());
    EXPECT_TRUE(granite.Border()[4]);
    EXPECT_TRUE(granite.Border()[6]);
    EXPECT_FALSE(granite.Border()[1]);
    EXPECT_FALSE(granite.Border()[2]);
    EXPECT_TRUE(granite.IsBorderPen(14));
    EXPECT_FALSE(granite.IsBorderPen(12));
    EXPECT_FALSE(granite.IsBorderPen(-4));

    Rect(granite, 0, 0, 10, 10, 1);
    Rect(granite, 20, 0, 10, 10, 16);
    EXPECT_EQ(granite.BorderGroupIndex(), 1);

    // Without a material no pen is the border pen.
    Rect(poly, 0, 0, 10, 10, 6);
    EXPECT_FALSE(poly.Border()[6]);
    EXPECT_EQ(poly.BorderGroupIndex(), -1);
}

TEST_F(PolygonTest, DebugLinesOnlyWithTheDebugFlag)
{
    Rect(poly, 0, 0, 10, 10, 1);
    EXPECT_EQ(log.Count("ITNoIntersection"), 0);
    TPolygon debug({}, true);
    EXPECT_EQ(log.Count("startp      \tEndp        \tParent     \tm    \tb    \tlen    \tInter type  \tInter \tColor"),
              1);
    Outline(debug, {{0, 0}, {4, 8}}, 3);
    const std::string line = debug.Outlines()[0].Segment(0).DebugLine();
    // (start) (end) parent m b len type (inter) pen
    const std::string expectTail = "\t2.000\t0.000\t8.9\tITNoIntersection\t(0.0,0.0)\t3";
    EXPECT_EQ(line.substr(0, 20), "(0.0,0.0)\t(4.0,8.0)\t");
    EXPECT_EQ(line.substr(28), expectTail);
    EXPECT_EQ(log.Count(line), 1);
    EXPECT_STREQ(IntersectionTypeName(TIntersectionType::ITEndPoint), "ITEndPoint      ");
}

TEST_F(PolygonTest, SegmentDumpListsEveryOutline)
{
    Rect(poly, 0, 0, 1016, 2.5L, 3);
    poly.Move({5000, 5000}, 0); // leaves an empty last outline
    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/HpglOutput before combine.xls";
    poly.DumpSegments(file, false);
    EXPECT_EQ(ReadFile(file), "\t\tPen\t3\r\n0\t0\r\n1016\t0\r\n1016\t2.5\r\n0\t2.5\r\n0\t0\r\n"
                              "\t\tPen\t-1\r\n");
    poly.DumpSegments(file, true);
    EXPECT_EQ(Lines(ReadFile(file)).size(), 14u);
    EXPECT_THROW(poly.DumpSegments(dir.path().toStdString() + "/no/such/folder/x.xls", false), std::runtime_error);
}

TEST_F(PolygonTest, ALongSegmentDumpLetsTheWindowsRunAndStopsWhenTheProgramCloses)
{
    for (int i = 0; i < 8000; ++i)
        Rect(poly, i * 2000.0L, 0, 1016, 1016, 1 + i % 5);
    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/dump.xls";
    // A clock on which every look takes `step` ms.
    struct SteppingClock final : Clock {
        int64_t now = 1000, step = 0;
        int64_t NowMs() override { return now += step; }
        int64_t NowNs() override { return NowMs() * 1000000; }
        int64_t WallMs() override { return QDateTime(QDate(2026, 1, 15), QTime(10, 0)).addMSecs(now).toMSecsSinceEpoch(); }
        void SleepMs(int ms) override { now += ms; }
    } clock;
    SetClock(&clock);
    test::CountingUiHooks hooks;

    poly.DumpSegments(file, false); // no time passes: no breaks
    EXPECT_EQ(hooks.calls.load(), 0);
    const std::string whole = ReadFile(file);
    ASSERT_GT(whole.size(), 4u * 65536u);

    clock.step = 10; // 15 ms pass every second block or so
    poly.DumpSegments(file, false);
    EXPECT_GE(hooks.calls.load(), 2);
    EXPECT_EQ(ReadFile(file), whole) << "the same dump, breaks or not";

    // The main window closing during a break ends the dump early.
    hooks.onProcess = [] { GetAbortFlags().Closing = true; };
    poly.DumpSegments(file, false);
    GetAbortFlags().Closing = false;
    SetClock(nullptr);
    const size_t cut = ReadFile(file).size();
    EXPECT_GT(cut, 0u);
    EXPECT_LT(cut, whole.size());
}

TEST_F(PolygonTest, ABigPlotLogsItsFirstThousandOutlinesOnly)
{
    // Open squares side by side: every move starts an outline and finds the
    // one before it not closed.
    for (int i = 0; i < MaxLoggedOutlines + 3; ++i) {
        const long double x = i * 10.0L;
        poly.Move({x, 0}, 1);
        poly.Line({x + 5, 0}, 1);
        poly.Line({x + 5, 5}, 1);
    }
    EXPECT_EQ(poly.ObjectCount(), MaxLoggedOutlines + 3);
    EXPECT_EQ(log.Count("start new object ("), MaxLoggedOutlines);
    EXPECT_EQ(log.Count("start new object: further outlines of this plot are not logged"), 1);
    EXPECT_EQ(log.Count("Object not closed: further open outlines of this plot are not logged"), 1);
    // A new plot logs again.
    TPolygon next;
    next.Move({1, 1}, 1);
    EXPECT_EQ(log.Count("start new object ("), MaxLoggedOutlines + 1);
}

namespace {

bool SameBits(long double a, long double b)
{
    // The 80 bits of an x87 Extended (the rest of its 16 bytes is padding).
    return std::memcmp(&a, &b, sizeof(long double) == 16 ? 10 : sizeof(long double)) == 0;
}

// Everything a collection holds: outlines, their vertices bit for bit, the
// pen of every segment, open flags and the pen groups.
void ExpectSameCollection(const TPolygon &got, const TPolygon &want, const std::string &what)
{
    SCOPED_TRACE(what);
    ASSERT_EQ(got.ObjectCount(), want.ObjectCount());
    for (int i = 0; i < got.ObjectCount(); ++i) {
        const TObjectList &a = got.Outlines()[static_cast<size_t>(i)];
        const TObjectList &b = want.Outlines()[static_cast<size_t>(i)];
        ASSERT_EQ(a.Count(), b.Count()) << "outline " << i;
        ASSERT_EQ(a.Empty(), b.Empty()) << "outline " << i;
        EXPECT_EQ(a.NotClosed, b.NotClosed) << "outline " << i;
        EXPECT_EQ(a.Pen, b.Pen) << "outline " << i;
        for (int k = 0; k <= a.Count() && !a.Empty(); ++k) {
            const TExtendedPoint p = a.Vertex(k), q = b.Vertex(k);
            ASSERT_TRUE(SameBits(p.x, q.x) && SameBits(p.y, q.y))
                << "outline " << i << " vertex " << k << ": " << FormatPoint(p) << " against " << FormatPoint(q);
        }
        for (int j = 0; j < a.Count(); ++j)
            ASSERT_EQ(a.Segment(j).Pen, b.Segment(j).Pen) << "outline " << i << " segment " << j;
    }
    ASSERT_EQ(got.GroupCount(), want.GroupCount());
    for (int g = 0; g < got.GroupCount(); ++g)
        EXPECT_EQ(got.GroupPen(g), want.GroupPen(g));
}

} // namespace

TEST_F(PolygonTest, WholeNumberLinesAndMovesCollectExactlyAsExtendedOnes)
{
    // The integer path for whole-numbered points must leave the collection
    // bit for bit as the same points given as Extended values.  Random walks
    // mix whole lines with Extended lines and moves (fractions, -0, huge
    // values) and take steps of 0 and 1 (merged and extended segments), near
    // the limits of floats (2^24) and of the integer path (2^30) and beyond.
    std::mt19937_64 rng(20261210);
    const int64_t bases[] = {0, -5000, (int64_t{1} << 24) - 3, -(int64_t{1} << 24) - 2, (int64_t{1} << 30) - 4,
                             -(int64_t{1} << 30) + 2, int64_t{1} << 40};
    for (int walk = 0; walk < 300; ++walk) {
        const int64_t base = bases[walk % std::size(bases)];
        // The vertex store keeps a point exactly wherever it lies from its
        // origin: a third collection, whose origin lies elsewhere, stores
        // other vertices in cells and wide slots and must hold the same.
        TPolygon whole, extended, elsewhere({}, false, {static_cast<long double>(base) + 20000, -30000.5L});
        const auto both = [&](auto &&f) {
            f(whole, true);
            f(extended, false);
            f(elsewhere, true);
        };
        int64_t x = base, y = base / 2;
        int pen = 1;
        for (int step = 0; step < 400; ++step) {
            const unsigned kind = static_cast<unsigned>(rng() % 100);
            if (kind < 3)
                pen = static_cast<int>(rng() % 4) + 1;
            if (kind < 8) {
                // A move: to a whole point (often the same one, or one step
                // along one axis), a fraction or -0.
                if (kind == 3)
                    x += static_cast<int64_t>(rng() % 9) - 4;
                else if (kind == 4)
                    y += static_cast<int64_t>(rng() % 9) - 4;
                TExtendedPoint p{static_cast<long double>(x), static_cast<long double>(y)};
                if (kind == 5)
                    p.x += 0.5L;
                else if (kind == 6)
                    p = {-0.0L, static_cast<long double>(y)};
                else if (kind == 7)
                    p.y = 1e13L;
                // Whole points move the integer collection by MoveWhole.
                both([&](TPolygon &poly, bool integer) {
                    if (integer && kind != 5 && kind != 6)
                        poly.MoveWhole(static_cast<int64_t>(p.x), static_cast<int64_t>(p.y), pen);
                    else
                        poly.Move(p, pen);
                });
                if (kind != 7 && kind != 6)
                    x = static_cast<int64_t>(p.x), y = static_cast<int64_t>(p.y);
                continue;
            }
            if (kind < 16) {
                // An Extended line off the whole grid (too short to keep, or
                // short enough for the next line to extend it), or to -0.
                const long double off[] = {0.25L, 0.9L, -0.85L};
                const TExtendedPoint p{kind == 8 ? -0.0L : static_cast<long double>(x) + off[rng() % 3],
                                       static_cast<long double>(y)};
                both([&](TPolygon &poly, bool) { poly.Line(p, pen); });
                continue;
            }
            const unsigned size = static_cast<unsigned>(rng() % 10);
            const int64_t span = size < 4 ? 1 : size < 8 ? 40 : int64_t{1} << 26;
            x += static_cast<int64_t>(rng() % static_cast<uint64_t>(2 * span + 1)) - span;
            y += static_cast<int64_t>(rng() % static_cast<uint64_t>(2 * span + 1)) - span;
            both([&](TPolygon &poly, bool integer) {
                if (integer)
                    poly.LineWhole(x, y, pen);
                else
                    poly.Line({static_cast<long double>(x), static_cast<long double>(y)}, pen);
            });
        }
        ExpectSameCollection(whole, extended, "walk " + std::to_string(walk));
        ExpectSameCollection(elsewhere, whole, "walk " + std::to_string(walk) + ", another origin");
        if (HasFailure())
            return;
    }
}

TEST_F(PolygonTest, VerticesComeBackBitForBitWhereverTheyLieFromTheStoresOrigin)
{
    // One long open outline over more than three groups of the store: whole
    // points near and far from the origin, fractions a float holds, thirds
    // it does not, -0, whole numbers beyond floats and beyond 32 bits.  From
    // an origin of 0, one among the points, and one far from all of them
    // (every vertex then takes a wide slot: their numbers in a group run up
    // to 65535), each vertex must come back as it went in.
    std::vector<TExtendedPoint> points;
    for (int k = 0; k < 200000; ++k) {
        const long double y = (2 * k) % 60000 - 30000; // consecutive points at least 2 apart
        long double x = k % 1000;
        if (k % 5 == 0)
            x = 70000 + k % 7;
        else if (k % 7 == 1)
            x = 0.5L + k % 3;
        else if (k % 11 == 2)
            x = 1.0L / 3;
        else if (k % 13 == 3)
            x = -0.0L;
        else if (k % 17 == 4)
            x = (1 << 24) + 1;
        else if (k % 19 == 5)
            x = -5e9L - k;
        points.push_back({x, y});
    }
    const TExtendedPoint origins[] = {{0, 0}, {50000, -50000}, {1e8L, 1e8L}, {1e12L, -1e12L}};
    for (const TExtendedPoint &origin : origins) {
        SCOPED_TRACE(FormatPoint(origin));
        TPolygon store({}, false, origin);
        store.Move(points[0], 1);
        for (size_t k = 1; k < points.size(); ++k)
            store.Line(points[k], 1);
        ASSERT_EQ(store.ObjectCount(), 1);
        const TObjectList &o = store.Outlines()[0];
        ASSERT_EQ(o.Count() + 1, static_cast<int>(points.size()));
        for (size_t k = 0; k < points.size(); ++k) {
            const TExtendedPoint v = o.Vertex(static_cast<int>(k));
            ASSERT_TRUE(SameBits(v.x, points[k].x) && SameBits(v.y, points[k].y))
                << "vertex " << k << ": " << FormatPoint(v) << " for " << FormatPoint(points[k]);
        }
    }
}

TEST_F(PolygonTest, AVertexWrittenAgainKeepsEveryValueExactly)
{
    // A segment shorter than 1 is extended by the next line, which writes
    // its end vertex again: here from a float in a wide slot to a point a
    // cell could hold, to one only the side store holds, and back, in a
    // store whose origin is near.
    TPolygon store({}, false, {100, 100});
    store.Move({100, 100}, 1);
    const TExtendedPoint ends[] = {{100.5L, 100.75L}, {100, 100}, {100.25L, 100 + 1.0L / 3}, {100.5L, 100.5L},
                                   {100.75L, 100 - 1.0L / 3}, {101, 100}};
    for (const TExtendedPoint &end : ends) {
        store.Line(end, 1);
        const TObjectList &o = store.Outlines()[0];
        ASSERT_EQ(o.Count(), 1);
        ASSERT_TRUE(SameBits(o.Vertex(1).x, end.x) && SameBits(o.Vertex(1).y, end.y))
            << FormatPoint(o.Vertex(1)) << " for " << FormatPoint(end);
    }
    store.LineWhole(101, 200, 1); // 1 long: the next segment
    const TObjectList &o = store.Outlines()[0];
    ASSERT_EQ(o.Count(), 2);
    EXPECT_EQ(o.Vertex(0), (TExtendedPoint{100, 100}));
    EXPECT_EQ(o.Vertex(1), (TExtendedPoint{101, 100}));
    EXPECT_EQ(o.Vertex(2), (TExtendedPoint{101, 200}));
}

TEST_F(PolygonTest, WholeVerticesNearTheMiddleTakeHalfTheRoom)
{
    // A million vertices of a plot far from (0, 0): from an origin in their
    // middle they take 4 bytes each, from (0, 0) 12 (a cell and a wide slot).
    const auto bytesPerVertex = [](const TExtendedPoint &origin) {
        TPolygon store({}, false, origin);
        constexpr int n = 1000000;
        store.MoveWhole(200000, 100000, 1);
        for (int k = 1; k < n; ++k)
            store.LineWhole(200000 + (k * 7) % 20000, 100000 + (k % 2) * 5000, 1);
        EXPECT_EQ(store.Outlines()[0].Count() + 1, n);
        EXPECT_EQ(store.Outlines()[0].Vertex(n - 1), (TExtendedPoint{219993, 105000}));
        return static_cast<double>(store.OutlineBytes()) / n;
    };
    EXPECT_LT(bytesPerVertex({210000, 102500}), 4.5);
    EXPECT_GT(bytesPerVertex({0, 0}), 11.5);
}
