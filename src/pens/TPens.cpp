#include "pens/TPens.h"

#include "foundation/option.h"

#include <algorithm>
#include <cmath>

namespace grittor {

namespace {
// A NaN would pass every comparison of the clamps and end up in a job.
long double Number(long double v)
{
    return std::isnan(v) ? 0.0L : v;
}
} // namespace

void TPens::SetBlowSpeed(int32_t v)
{
    blowspeed = std::clamp<int32_t>(v, 1, 25);
}

void TPens::SetCenterOffset(long double v)
{
    CenterOffset = Number(v);
    if (CenterOffset < 0.1L)
        CenterOffset = 0.4L;
    if (CenterOffset > 1.0L)
        CenterOffset = 1.0L;
}

void TPens::SetColor(int v)
{
    Color = static_cast<uint8_t>(std::clamp(v, 0, 17));
}

void TPens::SetExtra(long double v)
{
    extra = Number(v);
    if (extra < 0)
        extra = 0;
    if (extra >= 4.0L)
        extra = 4.0L;
}

void TPens::SetPasses(int32_t v)
{
    passes = std::clamp<int32_t>(v, 0, 30);
}

void TPens::SetPen(int32_t v)
{
    pen = std::clamp<int32_t>(v, MinPenNumber, MaxPenNumber);
}

void TPens::SetRadius(int32_t v)
{
    radius = std::clamp<int32_t>(v, 381, 2032);
}

void TPens::SetScanLine(int32_t v)
{
    ScanLine = std::clamp<int32_t>(v, 381, 4064);
}

void TPens::SetTimes(int32_t v)
{
    Times = v;
    if (Times < 0)
        Times = 0;
    if (Times > passes)
        Times = passes;
    if (Times == 0 && passes != 0)
        Times = 1;
}

void TPens::SetVertPer(long double v)
{
    vertper = Number(v);
    if (vertper < 0.1875L)
        vertper = 0.1875L;
    if (vertper >= 4.0L)
        vertper = 4.0L;
}

long double MarginLimitFor(int32_t radius)
{
    return (2.0L * radius - 1.0L) / PlotUnitsPerInch;
}

long double TPens::MarginLimit() const
{
    return MarginLimitFor(radius);
}

void TPens::SetMargin(const TExtendedPoint &v)
{
    const long double limit = MarginLimit();
    margin.x = std::clamp(Number(v.x), -limit, limit);
    // The radius is at least 381 units, so the upper bound is always above
    // the lower one (-vertper).
    const long double y = Number(v.y);
    margin.y = y > limit ? limit : (y < -vertper ? -vertper : y);
}

void TPens::AssignValues(const TPens &s)
{
    SetBlowSpeed(s.blowspeed);
    border = s.border;
    SetCenterOffset(s.CenterOffset);
    SetColor(s.Color);
    SetExtra(s.extra);
    fill = s.fill;
    SetPasses(s.passes);
    SetPen(s.pen);
    SetRadius(s.radius);
    SetScanLine(s.ScanLine);
    SetTimes(s.Times);
    SetVertPer(s.vertper);
    SetMargin(s.margin);
}

int32_t InchesToUnits(const std::string &text)
{
    return InchTextToUnits(text);
}

std::string UnitsToInchesText(long double units)
{
    return UnitsToInchText(units);
}

long double DecimalOrZero(const std::string &text)
{
    long double v = 0;
    return ParseExtended(text, v) ? v : 0.0L;
}

const char *const PenListHeader = "Pen : ScanLine : (X , Y) Margin : Color : Fill : Border : Radius : Speed : "
                                  "Passes : Max Passes : Center Offset : Extra : Vert Comb";

std::string PenListLine(const TPens &p)
{
    const std::string sep = " : ";
    return std::to_string(p.pen) + sep + UnitsToInchesText(p.ScanLine) + sep + "(" +
           FormatExtendedFixed(p.margin.x, 2) + ", " + FormatExtendedFixed(p.margin.y, 2) + ")" + sep +
           PenColorTable[std::min<int>(p.Color, PenColorCount - 1)].Name + sep + (p.fill ? "On" : "Off") + sep +
           (p.border ? "True" : "False") + sep + UnitsToInchesText(p.radius) + sep + std::to_string(p.blowspeed) + sep +
           std::to_string(p.passes) + sep + std::to_string(p.Times) + sep + FormatExtended(p.CenterOffset) + sep +
           FormatExtendedFixed(p.extra, 2) + sep + FormatExtendedFixed(p.vertper, 2);
}

int32_t WholeOr(const std::string &text, int32_t fallback)
{
    return StrToIntDef(text, fallback);
}

} // namespace grittor
