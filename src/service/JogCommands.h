// The jog panel's commands and its bookkeeping of running slews.  Screen
// right and left move the head along the machine's Y axis, up and down
// along X.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace grittor {

enum class TJogDirection { Right, Left, Up, Down };
enum class TJogAxis { X, Y };

TJogAxis AxisOf(TJogDirection d);

// One jog step: "ESC.wjogy;-1:", "ESC.wjogy;1:", "ESC.wjogx;1:", "ESC.wjogx;-1:".
std::string JogCommand(TJogDirection d);
// Slewing at `speed` (the slew speed field's text): "ESC.wjoyy;-" + speed + ":" ...
std::string SlewCommand(TJogDirection d, const std::string &speed);
// "ESC.wjoyx;0:" or "ESC.wjoyy;0:".
std::string SlewStopCommand(TJogAxis axis);

// A jog distance or slew speed field: a whole number from 1 to `max`.
bool ParseJogNumber(const std::string &text, int max, int &value);
constexpr int MaxJogDistance = 255; // .001 inch
constexpr int MaxSlewSpeed = 96;    // 0.125 inch per second

// Which axes have a slew that has not been stopped.  A slew counts from the
// moment it is asked for, before its command has gone out, so that a
// release arriving while the start is still waiting finds it; however the
// slew ends (release, pointer leaving, focus lost, the panel hidden, a
// modal box, the port closing) the stop is owed exactly once.
class TSlewGuard {
public:
    void Start(TJogAxis axis) { active_[Index(axis)] = true; }
    bool Active(TJogAxis axis) const { return active_[Index(axis)]; }
    bool AnyActive() const { return active_[0] || active_[1]; }
    // The stop command owed for `axis` ("" when none), and forgets the slew.
    std::string TakeStop(TJogAxis axis);
    // The stops owed for every axis.
    std::vector<std::string> TakeStops();

private:
    static size_t Index(TJogAxis axis) { return axis == TJogAxis::X ? 0 : 1; }
    std::array<bool, 2> active_{false, false};
};

} // namespace grittor
