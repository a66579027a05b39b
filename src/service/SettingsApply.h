// What the machine settings panel does with its fields, without the window:
// filling them from the settings object and the machine's answers, the
// margin range labels, and the eighteen steps of OK.  The panel copies its
// edits into a TSettingsPanelFields, runs the steps and shows the fields
// the steps refilled; machine writes go through the query it is given.
#pragma once

#include "link/MachineOps.h"

#include <cstdint>
#include <functional>
#include <string>

namespace grittor {

class Toption;

// A decimal field as the panel shows it: its text, and the exact value it
// was filled from.  While the text is as filled the exact value counts, so
// that OK without an edit leaves every setting as it was (a radius of 381
// units shows as 0.38 inches, which read back would be 386).
struct TDecimalField {
    std::string Text;
    long double Exact = 0;
    std::string FilledText;
    bool Filled = false;

    void Fill(const std::string &text, long double exact);
    bool Untouched() const { return Filled && Text == FilledText; }
};

// Everything of the panel that OK reads or writes.
struct TSettingsPanelFields {
    int StateIndex = 2; // 0 unload, 1 pause, 2 ready
    std::string MoveSpeed, DrawSpeed, Acceleration;
    TDecimalField ScanLine, Radius, CenterOffset, MarginX, MarginY, LaserX, LaserY, OnTime, VertPer, Extra, Multiplier;
    std::string Passes, Times, PassOffset;
    int PenUpOff = 0;
};

// What the panel remembers of the machine from loading to OK.
struct TSettingsPanelMemory {
    int StateIndex = 2;
    std::string MoveSpeed, DrawSpeed, Acceleration;
    // The machine answered something when the panel was filled.  A machine
    // that did not is sent only what the operator changed: every unchanged
    // write would only wait out its reply timeout.
    bool MachineAnswered = true;
};

// The decimal fields, for naming the one that stopped OK.
enum class TDecimalFieldId {
    None,
    ScanLine,
    Radius,
    CenterOffset,
    MarginX,
    MarginY,
    LaserX,
    LaserY,
    OnTime,
    VertPer,
    Extra,
    Multiplier
};
// The field's caption on the panel ("Radius", "X Margin Overlap", ...).
const char *DecimalFieldCaption(TDecimalFieldId id);

// "unload" 0, "pause" 1, anything else 2 (ready).
int MachineStateIndex(const std::string &answer);
// "ESC.wstate;unload:", "ESC.wstate;pause:" or "ESC.wstate;ready:".
std::string StateWriteCommand(int index);

// The settings part of the panel from the settings object.
void FillSettingsFields(const Toption &options, TSettingsPanelFields &fields);
// The machine part from what the machine answered (the state index is also
// what the panel remembers).
void FillMachineFields(const TMachineReadings &readings, TSettingsPanelFields &fields, TSettingsPanelMemory &memory);

// A machine length for the panel: units / 1016 and units / 40 with two
// decimals; both empty when the text is not a whole number.
struct TLengthTexts {
    std::string Inches, Millimetres;
};
TLengthTexts LengthTexts(const std::string &unitsText);
TLengthTexts LengthTexts(int32_t units);

// The margin range labels for the radius and vertical-combine fields: X is
// -m to m, Y is -v to m, m = (2 r - 1) / 1016, each "<a> to <b> inches".
// Radius and vertical combine are taken as their setters will clamp them.
struct TMarginRanges {
    std::string X, Y;
};
TMarginRanges MarginRanges(const TDecimalField &radius, const TDecimalField &vertPer);

// The outcome of OK: completed, or stopped at a decimal field that is no
// number (the steps before it stay applied).
struct TApplyOutcome {
    bool Completed = true;
    TDecimalFieldId StoppedAt = TDecimalFieldId::None;
    std::string Message; // names the field and its text
};

class TSettingsApply {
public:
    using Query = std::function<std::string(const std::string &command, int limit)>;
    using Message = std::function<void(const std::string &text)>;

    TSettingsApply(Toption &options, Query query, Message message);

    // The eighteen steps in order.  Settings go through the settings
    // object's setters and their fields are refilled from what it stored;
    // speeds and acceleration are sent only when their text changed since
    // loading.  Conversion messages of the whole-number fields go to the
    // message callback and the step is skipped; a decimal field that is no
    // number stops the steps there (its message is in the outcome).
    TApplyOutcome Run(TSettingsPanelFields &fields, TSettingsPanelMemory &memory);

private:
    void MachineNumber(std::string &text, std::string &remembered, int max, const char *command, const char *what);
    bool Decimal(TDecimalField &field, TDecimalFieldId id, long double &value, TApplyOutcome &outcome);
    bool Inches(TDecimalField &field, TDecimalFieldId id, int32_t &units, TApplyOutcome &outcome);
    bool WholeNumber(const std::string &text, const char *message, int32_t &value);

    Toption &options_;
    Query query_;
    Message message_;
};

} // namespace grittor
