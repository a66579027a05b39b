// The three roads from digitized points to the machine: what each fits,
// when a fit is refused before anything is sent, and the residuals.
#include "geometry/Placement.h"

#include "GeometryTestSupport.h"
#include "TestDoubles.h"
#include "geometry/BlastJob.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>

using namespace grittor;
using namespace grittor::test;

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

// The machine point of a drawing point when the plot lies turned by `deg`
// and scaled by `s` about its reference, which sits at `at`.
TExtendedPoint Placed(const TExtendedPoint &p, const TExtendedPoint &ref, const TExtendedPoint &at, long double deg,
                      long double s = 1)
{
    const long double a = deg * kPi / 180, dx = p.x - ref.x, dy = p.y - ref.y;
    return {at.x + s * (dx * std::cos(a) - dy * std::sin(a)), at.y + s * (dx * std::sin(a) + dy * std::cos(a))};
}

// A drawing's reference points: lowest-left, lowest-right, upper-right.
TAlignPoints Drawing()
{
    TAlignPoints d;
    d.Ref = {1000, 500};
    d.Skew = {9000, 500};
    d.Stretch = {9000, 6500};
    return d;
}

class PlacementTest : public ::testing::Test {
protected:
    TempSettings settings;
    LogCapture log;
};

} // namespace

TEST_F(PlacementTest, EachRoadFitsOnlyWhatItsPointsTell)
{
    const TAlignPoints d = Drawing();
    // One point: no turn, scales 1, and the drawing sits on it exactly.
    const TFitReport origin = CheckFit(d, OriginPlacement(d, {20000, 3000}));
    ASSERT_TRUE(origin.Usable) << origin.Problem;
    EXPECT_EQ(origin.RotationDegrees, 0);
    EXPECT_EQ(origin.ScaleX, 1);
    ASSERT_EQ(origin.Residuals.size(), 1u);
    EXPECT_EQ(origin.Residuals[0].Point, "reference");
    EXPECT_NEAR(static_cast<double>(origin.Residuals[0].Mm), 0, 1e-9);

    // Load key: the turn from the skew point, scales stay 1 even when the
    // workpiece is 2 % larger (no stretch point was taken to say so).
    const TExtendedPoint ref{20000, 3000};
    const TExtendedPoint skew = Placed(d.Skew, d.Ref, ref, 30, 1.02L);
    const TFitReport key = CheckFit(d, LoadKeyPlacement(ref, skew));
    ASSERT_TRUE(key.Usable) << key.Problem;
    EXPECT_NEAR(static_cast<double>(key.RotationDegrees), 30, 1e-9);
    EXPECT_EQ(key.ScaleX, 1);
    EXPECT_EQ(key.ScaleY, 1);
    ASSERT_EQ(key.Residuals.size(), 2u);
    EXPECT_NEAR(static_cast<double>(key.Residuals[1].Mm), 8000 * 0.02 / 40, 1e-6) << "the 2 % shows at the skew point";
    EXPECT_EQ(key.Worst()->Point, "skew");
    EXPECT_EQ(key.Question(), "The digitized points do not fit the drawing (worst 4.00 mm at the skew point). Send "
                              "anyway?");

    // Three points: turn and both scales.
    const TFitReport three = CheckFit(
        d, ThreePointPlacement(ref, skew, Placed(d.Stretch, d.Ref, ref, 30, 1.02L)));
    ASSERT_TRUE(three.Usable) << three.Problem;
    EXPECT_NEAR(static_cast<double>(three.RotationDegrees), 30, 1e-6);
    EXPECT_NEAR(static_cast<double>(three.ScaleX), 1.02, 1e-6);
    EXPECT_NEAR(static_cast<double>(three.ScaleY), 1.02, 1e-6);
    ASSERT_EQ(three.Residuals.size(), 3u);
    EXPECT_LT(three.Worst()->Mm, 0.01L);
    EXPECT_TRUE(std::regex_match(three.Summary(), std::regex(R"(rotation 30\.00 deg, scale x 1\.0200 y 1\.0200, )"
                                                              R"(residual reference 0\.00 mm, skew 0\.00 mm, stretch 0\.00 mm)")))
        << three.Summary();
}

TEST_F(PlacementTest, DegenerateFitsAreRefusedNamingThePoints)
{
    const TAlignPoints d = Drawing();
    // Skew 0.05 inch from the reference: no direction.
    const TFitReport close = CheckFit(d, LoadKeyPlacement({1000, 1000}, {1050, 1010}));
    EXPECT_FALSE(close.Usable);
    EXPECT_EQ(close.Problem, "The digitized reference point (0, 0) and skew point (50, 10) are 0.05 inch apart; they "
                             "must be at least 0.10 inch apart. Nothing was sent.");

    // A stretch point that makes the plot three times as wide.
    const TFitReport wide =
        CheckFit(d, ThreePointPlacement({0, 0}, {8000, 0}, {24000, 6000}));
    EXPECT_FALSE(wide.Usable);
    EXPECT_NE(wide.Problem.find("The fitted X scale"), std::string::npos) << wide.Problem;
    EXPECT_NE(wide.Problem.find("stretch point (24000, 6000)"), std::string::npos) << wide.Problem;

    // Two digitized points on top of each other among three.
    EXPECT_FALSE(CheckFit(d, ThreePointPlacement({0, 0}, {8000, 0}, {8000, 60})).Usable);
    // Not a number.
    const TFitReport nan = CheckFit(d, ThreePointPlacement({0, 0}, {std::nanl(""), 0}, {8000, 6000}));
    EXPECT_FALSE(nan.Usable);
    EXPECT_NE(nan.Problem.find("skew point"), std::string::npos) << nan.Problem;
    // A drawing whose lowest points coincide cannot be turned by a skew point,
    TAlignPoints dot = d;
    dot.Skew = dot.Ref;
    const TFitReport still = CheckFit(dot, LoadKeyPlacement({0, 0}, {8000, 0}));
    EXPECT_FALSE(still.Usable);
    EXPECT_NE(still.Problem.find("drawing's reference point (1000, 500) and skew point (1000, 500)"), std::string::npos);
    // ... but it can be placed by one point, and an empty plot by none.
    EXPECT_TRUE(CheckFit(dot, OriginPlacement(dot, {0, 0})).Usable);
    // A drawing without a vertex has no reference point, wherever the
    // record's points lie; one far out (20,000,000 units) has one.
    TAlignPoints empty;
    const TFitReport none = CheckFit(empty, OriginPlacement(empty, {0, 0}), false);
    EXPECT_FALSE(none.Usable);
    EXPECT_NE(none.Problem.find("no usable reference point"), std::string::npos) << none.Problem;
    TAlignPoints far;
    far.Ref = {20000000, 20000000};
    far.Skew = {20010000, 20000000};
    far.Stretch = {20010000, 20010000};
    EXPECT_TRUE(CheckFit(far, LoadKeyPlacement({0, 0}, {10000, 0})).Usable);
}

TEST_F(PlacementTest, ALoadKeyJobAfterAThreePointSendTurnsTheOutlinesWithoutCollapsingThem)
{
    // Outputs once fitted with scales (three points) are used again with a
    // load-key record, whose stretch point is (0,0): the job must fit the
    // turn only, or every point lands on one line.
    auto poly = std::make_unique<TPolygon>();
    Rect(*poly, 1000, 500, 8000, 6000, 1);
    TBlastJob job(std::move(poly));
    job.BuildOutputs();
    const TAlignPoints d = job.Drawing();
    const TExtendedPoint ref{20000, 3000};
    job.PlacedText(ThreePointPlacement(ref, Placed(d.Skew, d.Ref, ref, 30), Placed(d.Stretch, d.Ref, ref, 30)));
    const TPlacement key = LoadKeyPlacement(ref, Placed(d.Skew, d.Ref, ref, 30));
    TBlastSettings settings;
    settings.Passes = 1;
    const auto lines = Lines(job.JobText(TMaterialPens{}, settings, 10, key, nullptr));
    // papu0,0; vs; bp; five corners; the blank line ending the pass; the closing pa.
    ASSERT_EQ(lines.size(), 10u);
    const TExtendedPoint corners[] = {{1000, 500}, {9000, 500}, {9000, 6500}, {1000, 6500}, {1000, 500}};
    for (int k = 0; k < 5; ++k) {
        // Relative to the job position (the reference point).
        const TExtendedPoint want = Placed(corners[k], d.Ref, {0, 0}, 30);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(lines[static_cast<size_t>(3 + k)], m, std::regex(R"((-?\d+),(-?\d+)$)")));
        EXPECT_NEAR(std::stod(m[1]), static_cast<double>(want.x), 1.0) << lines[static_cast<size_t>(3 + k)];
        EXPECT_NEAR(std::stod(m[2]), static_cast<double>(want.y), 1.0) << lines[static_cast<size_t>(3 + k)];
    }
}
