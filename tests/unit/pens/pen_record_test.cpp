#include "pens/TPens.h"

#include "foundation/option.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>

using namespace grittor;

namespace {

TPens Record(int32_t radius, long double vertper)
{
    TPens p;
    p.SetRadius(radius);
    p.SetVertPer(vertper);
    return p;
}

} // namespace

TEST(PenRecord, MarginLimitsFollowRadiusAndVertPer)
{
    TPens p = Record(1016, 0.5L);
    EXPECT_EQ(p.MarginLimit(), 2031.0L / 1016);
    p.SetMargin({-5, 5});
    EXPECT_EQ(p.margin.x, -2031.0L / 1016);
    EXPECT_EQ(p.margin.y, 2031.0L / 1016);
    p.SetMargin({5, -1});
    EXPECT_EQ(p.margin.x, 2031.0L / 1016);
    EXPECT_EQ(p.margin.y, -0.5L); // the lower y bound is -vertper, not -limit
    p.SetMargin({0.25L, -0.25L});
    EXPECT_EQ(p.margin.x, 0.25L);
    EXPECT_EQ(p.margin.y, -0.25L);

    // The bounds are taken from the record as it is when SetMargin runs.
    TPens small = Record(381, 0.1875L);
    small.SetMargin({-5, -5});
    EXPECT_EQ(small.margin.x, -761.0L / 1016);
    EXPECT_EQ(small.margin.y, -0.1875L);
}

TEST(PenRecord, TimesIsBoundedByPassesAndNeverZeroWhilePassesIsNot)
{
    struct Case {
        int passes, times, expected;
    } cases[] = {{0, 5, 0}, {4, 0, 1}, {4, 9, 4}, {4, -3, 1}, {0, 0, 0}, {30, 30, 30}, {31, 31, 30}};
    for (const Case &c : cases) {
        TPens p;
        p.SetPasses(c.passes);
        p.SetTimes(c.times);
        EXPECT_EQ(p.Times, c.expected) << "passes " << c.passes << " times " << c.times;
    }
}

TEST(PenRecord, SettersClampToTheirRanges)
{
    TPens p;
    p.SetBlowSpeed(0);
    EXPECT_EQ(p.blowspeed, 1);
    p.SetBlowSpeed(26);
    EXPECT_EQ(p.blowspeed, 25);
    p.SetCenterOffset(0.05L);
    EXPECT_EQ(p.CenterOffset, 0.4L); // below the range means "the default"
    p.SetCenterOffset(1.5L);
    EXPECT_EQ(p.CenterOffset, 1.0L);
    p.SetColor(18);
    EXPECT_EQ(p.Color, 17);
    p.SetColor(-1);
    EXPECT_EQ(p.Color, 0);
    p.SetExtra(-1);
    EXPECT_EQ(p.extra, 0);
    p.SetExtra(4.0L);
    EXPECT_EQ(p.extra, 4.0L);
    p.SetPasses(-1);
    EXPECT_EQ(p.passes, 0);
    p.SetPen(11);
    EXPECT_EQ(p.pen, 10);
    p.SetPen(-1);
    EXPECT_EQ(p.pen, 0);
    p.SetRadius(0);
    EXPECT_EQ(p.radius, 381);
    p.SetRadius(3048);
    EXPECT_EQ(p.radius, 2032);
    p.SetScanLine(0);
    EXPECT_EQ(p.ScanLine, 381);
    p.SetScanLine(5000);
    EXPECT_EQ(p.ScanLine, 4064);
    p.SetVertPer(0);
    EXPECT_EQ(p.vertper, 0.1875L);
    p.SetVertPer(9);
    EXPECT_EQ(p.vertper, 4.0L);
}

TEST(PenRecord, NotANumberNeverReachesARecord)
{
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    TPens p = Record(1016, 0.5L);
    p.SetCenterOffset(nan);
    p.SetExtra(nan);
    p.SetMargin({nan, nan});
    EXPECT_EQ(p.CenterOffset, 0.4L);
    EXPECT_EQ(p.extra, 0);
    EXPECT_EQ(p.margin.x, 0);
    EXPECT_EQ(p.margin.y, 0);
    p.SetVertPer(nan);
    EXPECT_EQ(p.vertper, 0.1875L);
}

TEST(PenText, InchTextToUnitsRoundsToNearestAndHalvesAwayFromZero)
{
    EXPECT_EQ(InchesToUnits("0.5"), 508);
    EXPECT_EQ(InchesToUnits("0.2"), 203);  // 203.2
    EXPECT_EQ(InchesToUnits("0.38"), 386); // 386.08
    EXPECT_EQ(InchesToUnits(" 1 "), 1016);
    EXPECT_EQ(InchesToUnits("-0.5"), -508);
    EXPECT_EQ(InchesToUnits("abc"), 0);
    EXPECT_EQ(InchesToUnits(""), 0);
    EXPECT_EQ(InchesToUnits("1,5"), 0); // a comma is not a decimal point, whatever the desktop's language
    EXPECT_EQ(InchesToUnits("1e30"), std::numeric_limits<int32_t>::max());

    // A text whose value is exactly half a unit: 1/2032 inch.
    const long double half = 1.0L / 2032;
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, half);
    const std::string text(buf, r.ptr);
    ASSERT_EQ(DecimalOrZero(text) * 1016, 0.5L) << text;
    EXPECT_EQ(InchesToUnits(text), 1);
    EXPECT_EQ(InchesToUnits("-" + text), -1);
    EXPECT_EQ(InchesToUnits(text + "1"), 1);

    EXPECT_EQ(UnitsToInchesText(381), "0.38");
    EXPECT_EQ(UnitsToInchesText(2032), "2.00");
    EXPECT_EQ(UnitsToInchesText(508), "0.50");
    EXPECT_EQ(UnitsToInchesText(-1), "0.00");
    EXPECT_EQ(WholeOr("x", 10), 10);
    EXPECT_EQ(WholeOr("1.5", 1), 1);
    EXPECT_EQ(WholeOr(" 7", 1), 7);
}

TEST(PenText, ListLineHasEveryItemInHeaderOrder)
{
    TPens p = Record(1016, 0.5L);
    p.SetPen(10);
    p.SetScanLine(508);
    p.SetMargin({-5, -1});
    p.SetColor(13);
    p.fill = 0;
    p.border = 1;
    p.SetBlowSpeed(12);
    p.SetPasses(4);
    p.SetTimes(2);
    p.SetCenterOffset(1.0L / 3);
    p.SetExtra(1.5L);
    EXPECT_EQ(PenListLine(p), "10 : 0.50 : (-2.00, -0.50) : Red     : Off : True : 1.00 : 12 : 4 : 2 : "
                              "0.33333333333333333 : 1.50 : 0.50");
    p.fill = 1;
    p.border = 0;
    p.SetCenterOffset(0.4L);
    EXPECT_NE(PenListLine(p).find(" : On : False : "), std::string::npos);
    EXPECT_NE(PenListLine(p).find(" : 0.4 : "), std::string::npos);
    EXPECT_EQ(std::string(PenListHeader), "Pen : ScanLine : (X , Y) Margin : Color : Fill : Border : Radius : Speed : "
                                          "Passes : Max Passes : Center Offset : Extra : Vert Comb");
}
