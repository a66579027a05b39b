#include "service/SettingsApply.h"

#include "foundation/option.h"
#include "foundation/utils.h"

#include <algorithm>

namespace grittor {

namespace {

std::string Fixed2(long double v)
{
    return FormatExtendedFixed(v, 2);
}

// Inches to whole plotter units, as the inch fields are read.
int32_t UnitsOfInches(long double inches)
{
    const long long r = RoundHalfAway(inches * 1016.0L);
    return static_cast<int32_t>(std::clamp<long long>(r, INT32_MIN, INT32_MAX));
}

void FillInches(TDecimalField &f, int32_t units)
{
    f.Fill(UnitsToInchText(units), units);
}

void FillFixed(TDecimalField &f, long double v)
{
    f.Fill(Fixed2(v), v);
}

} // namespace

void TDecimalField::Fill(const std::string &text, long double exact)
{
    Text = text;
    FilledText = text;
    Exact = exact;
    Filled = true;
}

const char *DecimalFieldCaption(TDecimalFieldId id)
{
    switch (id) {
    case TDecimalFieldId::ScanLine:
        return "Scan Line Separation";
    case TDecimalFieldId::Radius:
        return "Radius";
    case TDecimalFieldId::CenterOffset:
        return "Center Offset";
    case TDecimalFieldId::MarginX:
        return "X Margin Overlap";
    case TDecimalFieldId::MarginY:
        return "Y Margin Overlap";
    case TDecimalFieldId::LaserX:
        return "Laser Pointer Offset x";
    case TDecimalFieldId::LaserY:
        return "Laser Pointer Offset y";
    case TDecimalFieldId::OnTime:
        return "Sand On Time";
    case TDecimalFieldId::VertPer:
        return "Vertical Combine";
    case TDecimalFieldId::Extra:
        return "Extra Rotations";
    case TDecimalFieldId::Multiplier:
        return "Image Multiplier";
    case TDecimalFieldId::None:
        break;
    }
    return "";
}

int MachineStateIndex(const std::string &answer)
{
    if (answer == "unload")
        return 0;
    if (answer == "pause")
        return 1;
    return 2;
}

std::string StateWriteCommand(int index)
{
    static const char *const words[] = {"unload", "pause", "ready"};
    return std::string("\x1b.wstate;") + words[std::clamp(index, 0, 2)] + ":";
}

void FillSettingsFields(const Toption &o, TSettingsPanelFields &f)
{
    FillInches(f.ScanLine, o.ScanLine);
    FillInches(f.Radius, o.Radius);
    FillFixed(f.CenterOffset, o.CenterOffset);
    FillFixed(f.MarginX, o.Margin.x);
    FillFixed(f.MarginY, o.Margin.y);
    FillInches(f.LaserX, o.LaserOffset.x);
    FillInches(f.LaserY, o.LaserOffset.y);
    FillFixed(f.OnTime, o.OnTime);
    FillFixed(f.VertPer, o.VertPer);
    f.Passes = std::to_string(o.Passes);
    f.Times = std::to_string(o.Times);
    FillFixed(f.Extra, o.Extra);
    FillFixed(f.Multiplier, o.Multiplier);
    f.PassOffset = std::to_string(o.PassOffset);
    f.PenUpOff = o.PenUpOff != 0 ? 1 : 0;
}

void FillMachineFields(const TMachineReadings &r, TSettingsPanelFields &f, TSettingsPanelMemory &memory)
{
    f.DrawSpeed = r.DrawSpeed;
    f.MoveSpeed = r.MoveSpeed;
    f.Acceleration = r.Acceleration;
    f.StateIndex = MachineStateIndex(r.State);
    memory.StateIndex = f.StateIndex;
    memory.DrawSpeed = r.DrawSpeed;
    memory.MoveSpeed = r.MoveSpeed;
    memory.Acceleration = r.Acceleration;
    memory.MachineAnswered = r.Unread.size() < MachineValueCount;
}

TLengthTexts LengthTexts(int32_t units)
{
    return {Fixed2(units / 1016.0L), Fixed2(units / 40.0L)};
}

TLengthTexts LengthTexts(const std::string &unitsText)
{
    int units = 0;
    if (!ParseInt(unitsText, units))
        return {};
    return LengthTexts(static_cast<int32_t>(units));
}

TMarginRanges MarginRanges(const TDecimalField &radius, const TDecimalField &vertPer)
{
    long double r = 0;
    if (radius.Untouched())
        r = radius.Exact;
    else if (ParseExtended(radius.Text, r))
        r = UnitsOfInches(r);
    else
        r = 0;
    long double v = 0;
    if (vertPer.Untouched())
        v = vertPer.Exact;
    else if (!ParseExtended(vertPer.Text, v))
        v = 0;
    // The setters clamp these two before they clamp the margins.
    r = std::clamp<long double>(r, 381, 2032);
    v = !(v >= 0.1875L) ? 0.1875L : std::min<long double>(v, 4.0L);
    const long double m = (2 * r - 1) / 1016.0L;
    return {Fixed2(-m) + " to " + Fixed2(m) + " inches", Fixed2(-v) + " to " + Fixed2(m) + " inches"};
}

// --------------------------------------------------------------- apply ---

TSettingsApply::TSettingsApply(Toption &options, Query query, Message message)
    : options_(options), query_(std::move(query)), message_(std::move(message))
{
}

void TSettingsApply::MachineNumber(std::string &text, std::string &remembered, int max, const char *command,
                                   const char *what)
{
    if (text == remembered)
        return;
    int v = 0;
    if (!ParseInt(text, v)) {
        message_(std::string("Invalid value for ") + what);
        return;
    }
    v = std::clamp(v, 1, max);
    remembered = query_(command + std::to_string(v) + ":", 80);
    text = std::to_string(v); // the field shows what the machine was sent
}

bool TSettingsApply::Decimal(TDecimalField &field, TDecimalFieldId id, long double &value, TApplyOutcome &outcome)
{
    if (field.Untouched()) {
        value = field.Exact;
        return true;
    }
    if (ParseExtended(field.Text, value))
        return true;
    outcome.Completed = false;
    outcome.StoppedAt = id;
    outcome.Message = std::string(DecimalFieldCaption(id)) + ": \"" + field.Text + "\" is not a number";
    return false;
}

bool TSettingsApply::Inches(TDecimalField &field, TDecimalFieldId id, int32_t &units, TApplyOutcome &outcome)
{
    long double v = 0;
    if (!Decimal(field, id, v, outcome))
        return false;
    units = field.Untouched() ? static_cast<int32_t>(field.Exact) : UnitsOfInches(v);
    return true;
}

bool TSettingsApply::WholeNumber(const std::string &text, const char *message, int32_t &value)
{
    int v = 0;
    if (!ParseInt(text, v)) {
        message_(message);
        return false;
    }
    value = v;
    return true;
}

TApplyOutcome TSettingsApply::Run(TSettingsPanelFields &f, TSettingsPanelMemory &memory)
{
    Toption &o = options_;
    TApplyOutcome out;
    // 1. state
    if (f.StateIndex != memory.StateIndex) {
        query_(StateWriteCommand(f.StateIndex), 20);
        memory.StateIndex = f.StateIndex; // a second OK of the same showing compares with what was sent
    }
    // 2, 3. speeds
    MachineNumber(f.MoveSpeed, memory.MoveSpeed, 25, "\x1b.wupspeed;", "Move Speed");
    MachineNumber(f.DrawSpeed, memory.DrawSpeed, 25, "\x1b.wdownspeed;", "Draw Speed");
    // 4. scan line
    int32_t units = 0;
    if (!Inches(f.ScanLine, TDecimalFieldId::ScanLine, units, out))
        return out;
    o.SetScanLine(units);
    FillInches(f.ScanLine, o.ScanLine);
    // 5. radius
    if (!Inches(f.Radius, TDecimalFieldId::Radius, units, out))
        return out;
    const int32_t radiusBefore = o.Radius;
    o.SetRadius(units);
    FillInches(f.Radius, o.Radius);
    if (memory.MachineAnswered || o.Radius != radiusBefore)
        query_("\x1b.wradius;" + std::to_string(o.Radius) + ":", 80);
    // 6. centre offset
    long double v = 0;
    if (!Decimal(f.CenterOffset, TDecimalFieldId::CenterOffset, v, out))
        return out;
    const long double centerBefore = o.CenterOffset;
    o.SetCenterOffset(v);
    FillFixed(f.CenterOffset, o.CenterOffset);
    if (memory.MachineAnswered || o.CenterOffset != centerBefore)
        query_("\x1b.wcentervel;" + FormatExtendedFixed(o.CenterOffset * 1000.0L, 0) + ":", 80);
    // 7. margins
    long double mx = 0, my = 0;
    if (!Decimal(f.MarginX, TDecimalFieldId::MarginX, mx, out) ||
        !Decimal(f.MarginY, TDecimalFieldId::MarginY, my, out))
        return out;
    o.SetMargin({mx, my});
    FillFixed(f.MarginX, o.Margin.x);
    FillFixed(f.MarginY, o.Margin.y);
    // 8. laser pointer offset
    int32_t lx = 0, ly = 0;
    if (!Inches(f.LaserX, TDecimalFieldId::LaserX, lx, out) || !Inches(f.LaserY, TDecimalFieldId::LaserY, ly, out))
        return out;
    o.SetLaserOffset(lx, ly);
    FillInches(f.LaserX, o.LaserOffset.x);
    FillInches(f.LaserY, o.LaserOffset.y);
    // 9. on time
    if (!Decimal(f.OnTime, TDecimalFieldId::OnTime, v, out))
        return out;
    o.SetOnTime(v);
    FillFixed(f.OnTime, o.OnTime);
    // 10. save
    o.Save();
    // 11. acceleration
    MachineNumber(f.Acceleration, memory.Acceleration, 4, "\x1b.wacceleration;", "Acceleration");
    // 12. vertical combine
    if (!Decimal(f.VertPer, TDecimalFieldId::VertPer, v, out))
        return out;
    o.SetVertPer(v);
    FillFixed(f.VertPer, o.VertPer);
    // 13, 14. passes, max passes
    int32_t n = 0;
    if (WholeNumber(f.Passes, "conversion error on passes", n))
        o.SetPasses(n);
    f.Passes = std::to_string(o.Passes);
    if (WholeNumber(f.Times, "conversion error on Max Passes", n))
        o.SetTimes(n);
    f.Times = std::to_string(o.Times);
    // 15. extra rotations
    if (!Decimal(f.Extra, TDecimalFieldId::Extra, v, out))
        return out;
    o.SetExtra(v);
    FillFixed(f.Extra, o.Extra);
    // 16. image multiplier
    if (!Decimal(f.Multiplier, TDecimalFieldId::Multiplier, v, out))
        return out;
    o.SetMultiplier(v);
    FillFixed(f.Multiplier, o.Multiplier);
    // 17. pen up off
    o.PenUpOff = f.PenUpOff == 1 ? 1 : 0;
    // 18. pass offset
    if (WholeNumber(f.PassOffset, "conversion error on PassOffset", n))
        o.SetPassOffset(n);
    f.PassOffset = std::to_string(o.PassOffset);
    return out;
}

} // namespace grittor
