// The numbers the machine's controller can take.  Whatever sends numbers to
// it (the link commands of grittor-cli, the job command, the service
// windows) checks them here first, so that a value the controller would
// misread is refused with a sentence naming it, and nothing is sent.
//
//   - Whole numbers (coordinates, variable values, HPGL parameters) are the
//     controller's 32-bit signed integers: -2147483648 .. 2147483647.  A
//     decimal value must lie in the same range.
//   - A speed (HPGL "vs", the variables "upspeed" and "downspeed") is at
//     least 1.
//   - A count is whatever its user allows (the caller gives the bounds);
//     the memory dump's length is at least 1 and its start is an unsigned
//     32-bit address.
//
// Each check returns "" when the value may be sent, else one sentence that
// names the value, ready for an error line or a message box:
//   CheckMachineSpeed(-5, "--speed")
//     -> "--speed -5: the speed must be at least 1"
//   CheckMachineCoordinate(3e9L, "x of --reference")
//     -> "x of --reference 3000000000: outside the machine's integer range -2147483648..2147483647"
//   CheckMachineText("papu0,0;\r\nvs-5;\r\n")
//     -> "line 2: vs -5: the speed must be at least 1"
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace grittor {

constexpr long long MachineIntMin = INT32_MIN;
constexpr long long MachineIntMax = INT32_MAX;

std::string CheckMachineCoordinate(long double value, const std::string &what);
std::string CheckMachineSpeed(long double value, const std::string &what);
std::string CheckCount(long long value, long long min, long long max, const std::string &what);

// Scans text about to be sent (HPGL instructions and "ESC." sequences, as
// the job stream and the commands are written) and returns the problem of
// the first number the machine cannot take, with its line.  Label text
// ("LB" up to ETX) and encoded polylines ("PE" up to ";") are not numbers
// and are skipped.
std::string CheckMachineText(std::string_view text);

} // namespace grittor
