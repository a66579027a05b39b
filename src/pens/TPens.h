// One pen record: how a plot pen is blasted on one material.
#pragma once

#include "foundation/utils.h"

#include <cstdint>

namespace grittor {

constexpr int PlotUnitsPerInch = 1016;

class TPens {
public:
    int32_t blowspeed = 0;     // cm/s, 1..25
    uint8_t border = 0;        // 1 = the border pen
    long double CenterOffset = 0; // diameters per revolution, 0.1..1.0
    uint8_t Color = 0;         // index into the pen colour table, 0..17
    long double extra = 0;     // extra rotations, 0..4
    uint8_t fill = 0;          // 0 Off (follow the outline), 1 On
    TExtendedPoint margin;     // inches
    int32_t Material = 0;      // index into Materials
    int32_t passes = 0;        // 0..30
    int32_t pen = 0;           // 0..10
    int32_t radius = 0;        // plotter units, 381..2032
    int32_t ScanLine = 0;      // plotter units, 381..4064
    int32_t Times = 0;         // passes blown in one go, 0..passes
    long double vertper = 0;   // inches, 0.1875..4

    void SetBlowSpeed(int32_t v);
    void SetCenterOffset(long double v);
    void SetColor(int v);
    void SetExtra(long double v);
    void SetPasses(int32_t v);
    void SetPen(int32_t v);
    void SetRadius(int32_t v);
    void SetScanLine(int32_t v);
    // Call after SetPasses: the bound is the record's passes.
    void SetTimes(int32_t v);
    void SetVertPer(long double v);
    // Call after SetRadius and SetVertPer: the bounds come from them.
    void SetMargin(const TExtendedPoint &v);
    // (2 x radius - 1) / 1016 inches.
    long double MarginLimit() const;
};

} // namespace grittor
