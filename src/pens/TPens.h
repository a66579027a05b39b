// One pen record: how a plot pen is blasted on one material.
#pragma once

#include "foundation/utils.h"

#include <cstdint>
#include <string>

namespace grittor {

constexpr int PlotUnitsPerInch = 1016;

// Every field is assigned through its setter, which stores the value and
// then clamps it; a value that is not a number is taken as 0 first.
class TPens {
public:
    int32_t blowspeed = 0;        // cm/s, 1..25
    uint8_t border = 0;           // 1 = the border pen
    long double CenterOffset = 0; // diameters per revolution, 0.1..1.0
    uint8_t Color = 0;            // index into the pen colour table, 0..17
    long double extra = 0;        // extra rotations, 0..4
    uint8_t fill = 0;             // 0 Off (follow the outline), 1 On
    TExtendedPoint margin;        // inches
    int32_t Material = 0;         // index into Materials
    int32_t passes = 0;           // 0..30
    int32_t pen = 0;              // 0..10
    int32_t radius = 0;           // plotter units, 381..2032
    int32_t ScanLine = 0;         // plotter units, 381..4064
    int32_t Times = 0;            // passes blown in one go, 0..passes
    long double vertper = 0;      // inches, 0.1875..4

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

    // Every field of `source` except Material, through the setters in the
    // order that keeps the dependent clamps right (passes before Times,
    // radius and vertper before margin).
    void AssignValues(const TPens &source);
};

constexpr int MinPenNumber = 0;
constexpr int MaxPenNumber = 10;

// Inch text to plotter units: the text read as a decimal number (0 when it
// is not one) times 1016, halves rounded away from zero.
int32_t InchesToUnits(const std::string &text);
// Plotter units to inches with two decimals.
std::string UnitsToInchesText(long double units);
// A decimal field: the number, or 0 when the text is not one.
long double DecimalOrZero(const std::string &text);
// A whole-number field: the number, or `fallback` when the text is not one.
int32_t WholeOr(const std::string &text, int32_t fallback);
// Margin limit in inches for a radius in plotter units.
long double MarginLimitFor(int32_t radius);

// Caption of the pen editor's list, and the list's line for one record:
// the items of the caption, in its order, joined by " : ".
extern const char *const PenListHeader;
std::string PenListLine(const TPens &p);

} // namespace grittor
