#include "pens/TPens.h"

#include <algorithm>

namespace grittor {

void TPens::SetBlowSpeed(int32_t v) { blowspeed = std::clamp<int32_t>(v, 1, 25); }

void TPens::SetCenterOffset(long double v)
{
    CenterOffset = v;
    if (CenterOffset < 0.1L)
        CenterOffset = 0.4L;
    if (CenterOffset > 1.0L)
        CenterOffset = 1.0L;
}

void TPens::SetColor(int v) { Color = static_cast<uint8_t>(std::clamp(v, 0, 17)); }

void TPens::SetExtra(long double v)
{
    extra = v;
    if (extra < 0)
        extra = 0;
    if (extra >= 4.0L)
        extra = 4.0L;
}

void TPens::SetPasses(int32_t v) { passes = std::clamp<int32_t>(v, 0, 30); }

void TPens::SetPen(int32_t v) { pen = std::clamp<int32_t>(v, 0, 10); }

void TPens::SetRadius(int32_t v) { radius = std::clamp<int32_t>(v, 381, 2032); }

void TPens::SetScanLine(int32_t v) { ScanLine = std::clamp<int32_t>(v, 381, 4064); }

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
    vertper = v;
    if (vertper < 0.1875L)
        vertper = 0.1875L;
    if (vertper >= 4.0L)
        vertper = 4.0L;
}

long double TPens::MarginLimit() const
{
    return (2.0L * radius - 1.0L) / PlotUnitsPerInch;
}

void TPens::SetMargin(const TExtendedPoint &v)
{
    const long double limit = MarginLimit();
    margin.x = std::clamp(v.x, -limit, limit);
    // The lower bound comes from vertper; keep the upper one when the two cross.
    margin.y = v.y > limit ? limit : (v.y < -vertper ? -vertper : v.y);
}

} // namespace grittor
