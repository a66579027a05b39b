#include "geometry/HpglOutput.h"
#include "geometry/Placement.h"

#include "GeometryTestSupport.h"
#include "TestDoubles.h"
#include "geometry/polygon.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace grittor;
using namespace grittor::test;

namespace {

class HpglOutputTest : public ::testing::Test {
protected:
    // The path of one pen, built as the digitize commands do.
    void Build(THpglOutput &out, int pen) { out.BuildPath(poly, pen); }

    // An alignment that changes nothing.
    static void Identity(THpglOutput &out)
    {
        out.Digitized = out.Drawing;
        out.Digitized.Offset = {0, 0};
        out.SolveScale = false;
        out.Solve();
    }

    TempSettings settings;
    LogCapture log;
    TPolygon poly;
};

// The machine point of a drawing point under a known placement.
TExtendedPoint Place(const TExtendedPoint &p, const TExtendedPoint &from, const TExtendedPoint &to, long double r,
                     long double sx, long double sy)
{
    const long double dx = p.x - from.x, dy = p.y - from.y;
    return {to.x + sx * (dx * std::cos(r) - dy * std::sin(r)), to.y + sy * (dx * std::sin(r) + dy * std::cos(r))};
}

} // namespace

TEST_F(HpglOutputTest, PathCommandsAndExtremes)
{
    Rect(poly, 1016, 0, 1016, 1016, 1);
    Outline(poly, {{5000, 200}, {6000, 200}, {6000, 900}}, 1); // open
    Rect(poly, 0, -50, 10, 10, 2);                             // another pen
    THpglOutput out;
    Build(out, 1);
    ASSERT_EQ(out.PointCount(), 8);
    ASSERT_EQ(out.ForwardCommands.Count(), 8);
    ASSERT_EQ(out.BackwardCommands.Count(), 8);
    const char *fwd[] = {"papu", "papd", "papd", "papd", "papd", "papu", "papd", "papd"};
    const char *bwd[] = {"papd", "papd", "papd", "papd", "papu", "papd", "papd", "papu"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(out.ForwardCommands.Get(i), fwd[i]) << i;
        EXPECT_EQ(out.BackwardCommands.Get(i), bwd[i]) << i;
        EXPECT_EQ(out.ForwardPoints[static_cast<size_t>(i)], out.BackwardPoints[static_cast<size_t>(i)]);
    }
    EXPECT_EQ(out.FirstPoint, (TExtendedPoint{1016, 0}));
    EXPECT_EQ(out.LastPoint, (TExtendedPoint{6000, 900}));
    EXPECT_EQ(out.Drawing.Ref, (TExtendedPoint{1016, 0}));
    EXPECT_EQ(out.Drawing.Skew, (TExtendedPoint{2032, 0}));
    EXPECT_EQ(out.Drawing.Stretch, (TExtendedPoint{2032, 1016})); // (6000, 900) is not above it
}

TEST_F(HpglOutputTest, ExtremeTiesGoToTheLaterVertex)
{
    THpglOutput out;
    for (TExtendedPoint p : {TExtendedPoint{5, 0}, {1, 0}, {9, 0}, {1, 0}, {9, 0}, {9, 7}, {3, 9}})
        out.UpdateExtremes(p);
    EXPECT_TRUE(out.Measured);
    EXPECT_EQ(out.Drawing.Ref, (TExtendedPoint{1, 0}));
    EXPECT_EQ(out.Drawing.Skew, (TExtendedPoint{9, 0}));
    EXPECT_EQ(out.Drawing.Stretch, (TExtendedPoint{9, 7})); // (3, 9) is not right of it
}

TEST_F(HpglOutputTest, TheFirstVertexSetsEveryReferencePointWhereverItLies)
{
    // Far beyond any start value a search could begin with, above and below.
    for (long double at : {20000000.0L, -20000000.0L, 1e12L}) {
        THpglOutput out;
        out.UpdateExtremes({at, at});
        EXPECT_EQ(out.Drawing.Ref, (TExtendedPoint{at, at}));
        EXPECT_EQ(out.Drawing.Skew, (TExtendedPoint{at, at}));
        EXPECT_EQ(out.Drawing.Stretch, (TExtendedPoint{at, at}));
        out.UpdateExtremes({at + 1000, at});
        out.UpdateExtremes({at + 1000, at + 500});
        EXPECT_EQ(out.Drawing.Ref, (TExtendedPoint{at, at}));
        EXPECT_EQ(out.Drawing.Skew, (TExtendedPoint{at + 1000, at}));
        EXPECT_EQ(out.Drawing.Stretch, (TExtendedPoint{at + 1000, at + 500}));
    }
    // A square drawn at 20,000,000 units: its path keeps its own corners.
    Rect(poly, 20000000, 20000000, 1016, 1016, 1);
    THpglOutput square;
    Build(square, 1);
    EXPECT_EQ(square.Drawing.Ref, (TExtendedPoint{20000000, 20000000}));
    EXPECT_EQ(square.Drawing.Skew, (TExtendedPoint{20001016, 20000000}));
    EXPECT_EQ(square.Drawing.Stretch, (TExtendedPoint{20001016, 20001016}));
}

TEST_F(HpglOutputTest, PenWithoutOutlinesGivesAnEmptyPath)
{
    Rect(poly, 0, 0, 100, 100, 1);
    THpglOutput out;
    Build(out, 9);
    EXPECT_TRUE(out.Empty());
    EXPECT_FALSE(out.Measured); // nothing measured: no reference point at all
    EXPECT_EQ(out.Drawing.Ref, (TExtendedPoint{0, 0}));
    EXPECT_EQ(out.Drawing.Skew, (TExtendedPoint{0, 0}));
    EXPECT_EQ(out.Drawing.Stretch, (TExtendedPoint{0, 0}));
    EXPECT_EQ(out.Emit(false, true), "");
    THpglOutput none;
    Build(none, -1);
    EXPECT_TRUE(none.Empty());
}

TEST_F(HpglOutputTest, EmitForwardsBackwardsAndFirstPoint)
{
    Rect(poly, 1016, 0, 1016, 1016, 1);
    THpglOutput out;
    Build(out, 1);
    Identity(out);
    EXPECT_EQ(out.Emit(false, false), "papu1016,0\r\npapd2032,0\r\npapd2032,1016\r\npapd1016,1016\r\npapd1016,0\r\n");
    EXPECT_EQ(out.Emit(true, false), "papu1016,0\r\npapd1016,1016\r\npapd2032,1016\r\npapd2032,0\r\npapd1016,0\r\n");
    std::string debug;
    EXPECT_EQ(out.Emit(false, true, &debug),
              "papu 1016,0\r\npapd2032,0\r\npapd2032,1016\r\npapd1016,1016\r\npapd1016,0\r\n");
    EXPECT_EQ(debug, "1016\t0\r\n2032\t0\r\n2032\t1016\r\n1016\t1016\r\n1016\t0\r\n");
    EXPECT_EQ(Lines(out.Emit(true, true))[0], "papu 1016,0");
}

TEST_F(HpglOutputTest, HalfwayValuesRoundAwayFromZero)
{
    EXPECT_EQ(ToWholeUnits(2.5L), 3);
    EXPECT_EQ(ToWholeUnits(-2.5L), -3);
    EXPECT_EQ(ToWholeUnits(2.4999L), 2);
    EXPECT_EQ(ToWholeUnits(-0.4L), 0);
    EXPECT_EQ(ToWholeUnits(NAN), 0);

    Outline(poly, {{0.5L, -1.5L}, {10.5L, -1.5L}}, 1);
    THpglOutput out;
    Build(out, 1);
    Identity(out);
    EXPECT_EQ(out.Emit(false, false), "papu1,-2\r\npapd11,-2\r\n");
}

TEST_F(HpglOutputTest, SolveWithoutScaleKeepsScalesAtOneAndTakesTheRotation)
{
    Rect(poly, 3000, 2000, 4000, 1000, 1);
    THpglOutput out;
    Build(out, 1);
    out.Digitized.Ref = {100, 200};
    out.Digitized.Skew = {100 + 3000, 200 + 400};
    out.Digitized.Stretch = {-77, 12345}; // not used without the scale fit
    out.SolveScale = false;
    out.Solve();
    EXPECT_EQ(out.ScaleX, 1);
    EXPECT_EQ(out.ScaleY, 1);
    EXPECT_EQ(out.Rotate, std::atan2(400.0L, 3000.0L) - 0);
    EXPECT_EQ(out.Iterations, 0);
    EXPECT_EQ(log.Count("iter 0"), 1); // only the closing "iter 0"
    EXPECT_EQ(log.Count("prelim rotate"), 0);
}

TEST_F(HpglOutputTest, SolveRecoversAKnownPlacement)
{
    // A drawing well away from the origin, placed with a turn and two scales.
    Rect(poly, 5000, 3000, 4000, 3000, 1);
    Outline(poly, {{6000, 4000}, {7500, 5200}}, 1);
    THpglOutput out;
    Build(out, 1);
    const TExtendedPoint to{12345, 6789};
    const long double r = 0.05L, sx = 1.02L, sy = 0.98L;
    out.Digitized.Ref = to;
    out.Digitized.Skew = Place(out.Drawing.Skew, out.Drawing.Ref, to, r, sx, sy);
    out.Digitized.Stretch = Place(out.Drawing.Stretch, out.Drawing.Ref, to, r, sx, sy);
    out.SolveScale = true;
    const TAlignPoints u = out.Solve();
    EXPECT_NEAR(static_cast<double>(out.Rotate), static_cast<double>(r), 1e-6);
    EXPECT_NEAR(static_cast<double>(out.ScaleX), static_cast<double>(sx), 1e-6);
    EXPECT_NEAR(static_cast<double>(out.ScaleY), static_cast<double>(sy), 1e-6);
    EXPECT_GT(out.Iterations, 0);
    EXPECT_LE(out.Iterations, 500);
    EXPECT_EQ(u.Ref, to);

    for (TExtendedPoint p : {TExtendedPoint{5000, 3000}, {9000, 6000}, {7500, 5200}, {5000, 6000}}) {
        const TExtendedPoint want = Place(p, out.Drawing.Ref, to, r, sx, sy);
        const TExtendedPoint got = out.TransformPoint(p);
        EXPECT_LT(std::fabs(got.x - want.x), 0.5L);
        EXPECT_LT(std::fabs(got.y - want.y), 0.5L);
    }
    // Every emitted point is the transformed vertex in whole units.
    const auto lines = Lines(out.Emit(false, false));
    ASSERT_EQ(lines.size(), static_cast<size_t>(out.PointCount()));
    const TExtendedPoint q = out.TransformPoint(out.ForwardPoints[2]);
    EXPECT_EQ(lines[2], "papd" + std::to_string(ToWholeUnits(q.x)) + "," + std::to_string(ToWholeUnits(q.y)));

    // The log tells the whole fit, in order.
    const std::string text = log.Text();
    size_t pos = 0;
    for (const char *needle :
         {"hpgl.init", "prelim rotate ", "iter 0 rotate ", "iter 1 rotate ", "angleofref ", "drawing ", "ref 5000,3000",
          "digitize ", "polar ", "unrotated ", "rotate ", "scale.x ", "scale.y ", "iter "}) {
        pos = text.find(needle, pos);
        ASSERT_NE(pos, std::string::npos) << needle;
    }
}

TEST_F(HpglOutputTest, ShortDrawingAxisKeepsTheStartScale)
{
    // Stretch within 10 units of Ref in x: the x scale starts at 1 and the
    // fit still finds the turn.
    Outline(poly, {{100, 100}, {2100, 100}, {108, 2100}, {100, 100}}, 1);
    THpglOutput out;
    Build(out, 1);
    ASSERT_EQ(out.Drawing.Stretch, (TExtendedPoint{2100, 100}));
    // Make Stretch the top vertex by hand to get the short x axis.
    out.Drawing.Stretch = {108, 2100};
    out.Digitized.Ref = {0, 0};
    out.Digitized.Skew = Place(out.Drawing.Skew, out.Drawing.Ref, {0, 0}, 0.02L, 1, 1.1L);
    out.Digitized.Stretch = Place(out.Drawing.Stretch, out.Drawing.Ref, {0, 0}, 0.02L, 1, 1.1L);
    out.SolveScale = true;
    out.Solve();
    const std::string text = log.Text();
    const size_t at = text.find("iter 0 rotate ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(text.substr(at, text.find('\r', at) - at).find(" scale.x 1 scale.y "), std::string::npos);
    EXPECT_NEAR(static_cast<double>(out.Rotate), 0.02, 1e-6);
    EXPECT_NEAR(static_cast<double>(out.ScaleY), 1.1, 1e-6);
}

TEST_F(HpglOutputTest, SearchLoopIsBoundedOnADegenerateDrawing)
{
    // A drawing of one single vertex: every angle and scale fits equally
    // badly, so the rotation keeps moving by ten degrees a round.
    THpglOutput out;
    out.Drawing.Ref = out.Drawing.Skew = out.Drawing.Stretch = {100, 100};
    out.AddPoint({100, 100}, {100, 100});
    out.ForwardCommands.Add("papu");
    out.BackwardCommands.Add("papu");
    out.Digitized.Ref = {0, 0};
    out.Digitized.Skew = {1000, 0};
    out.Digitized.Stretch = {1000, 1000};
    out.SolveScale = true;
    out.Solve();
    EXPECT_EQ(out.Iterations, 500);
    EXPECT_EQ(log.Count("iter 500 rotate"), 1);
    EXPECT_EQ(log.Count("iter 501 rotate"), 0);
    EXPECT_TRUE(std::isfinite(out.Rotate));
    EXPECT_TRUE(std::isfinite(out.ScaleX));
    // The one vertex still lands on the digitized reference.
    EXPECT_EQ(out.Emit(false, false), "papu0,0\r\n");
}

TEST_F(HpglOutputTest, UnusableStretchPointFallsBackToUnitScale)
{
    // The stretch point digitized left of the reference would give a
    // negative x scale (and one on the reference a zero one).
    Rect(poly, 0, 0, 2000, 1000, 1);
    THpglOutput out;
    Build(out, 1);
    out.Digitized.Ref = {500, 500};
    out.Digitized.Skew = {2500, 500};
    out.Digitized.Stretch = {500, 1500};
    out.SolveScale = true;
    out.Solve();
    EXPECT_TRUE(std::isfinite(out.Rotate));
    EXPECT_GT(out.ScaleX, 0);
    EXPECT_GT(out.ScaleY, 0);
    EXPECT_NE(log.Text().find("iter 0 rotate 0 scale.x 1 scale.y 1"), std::string::npos);
    for (const std::string &l : Lines(out.Emit(false, false)))
        EXPECT_EQ(l.find("nan"), std::string::npos) << l;
}

TEST_F(HpglOutputTest, DigitizedOffsetTurnsWithThePlacement)
{
    Rect(poly, 0, 0, 1000, 1000, 1);
    THpglOutput out;
    Build(out, 1);
    out.Digitized.Ref = {0, 0};
    out.Digitized.Skew = {0, 1000}; // a quarter turn
    out.Digitized.Offset = {10, 0};
    out.Solve();
    EXPECT_NEAR(static_cast<double>(out.Rotate), M_PI / 2, 1e-15);
    EXPECT_NEAR(static_cast<double>(out.Drawing.Offset.x), 0, 1e-12);
    EXPECT_NEAR(static_cast<double>(out.Drawing.Offset.y), 10, 1e-12);
    const TExtendedPoint q = out.TransformPoint({1000, 0});
    EXPECT_NEAR(static_cast<double>(q.x), 0, 1e-9);
    EXPECT_NEAR(static_cast<double>(q.y), 990, 1e-9);
}

TEST_F(HpglOutputTest, OneSpotPlacementMovesWithoutTurning)
{
    // A drawing whose lowest-left vertex is far from the drawing origin.
    Rect(poly, 4000, 1000, 3000, 2000, 1);
    THpglOutput out;
    Build(out, 1);
    out.Digitized = OriginPlacement(out.Drawing, {250, 750}).Record;
    out.SolveScale = false;
    out.Solve();
    EXPECT_EQ(out.Rotate, 0);
    EXPECT_EQ(out.Emit(false, false),
              "papu250,750\r\npapd3250,750\r\npapd3250,2750\r\npapd250,2750\r\npapd250,750\r\n");
}
