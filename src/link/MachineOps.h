// Small machine operations the settings panel offers and the digitize, send
// and jog commands use without showing it: the head position, the two
// speeds and the machine's own joystick.  Each is one query on the link.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace grittor {

class TSerial;

// The head position in plotter units from "ESC.vposition:" (answer "X,Y").
// An answer without a comma leaves both axes unread; an axis whose text is
// not a whole number stays unread.
struct TMachinePosition {
    int32_t X = 0;
    int32_t Y = 0;
    bool HaveX = false;
    bool HaveY = false;
    bool Complete() const { return HaveX && HaveY; }
};
TMachinePosition ParsePosition(const std::string &answer);
// The digitizing answer ("oc": "X,Y,pen"): both fields whole numbers, else
// false.
bool ParseOcAnswer(const std::string &answer, int32_t &x, int32_t &y);
// The message for an answer that is not one:
// "unexpected data from cutter in response to oc HPGL command" CR LF "was " + answer.
std::string OcAnswerMessage(const std::string &answer);
TMachinePosition ReadPosition(TSerial &link);

// The answers to "ESC.vdownspeed:" and "ESC.vupspeed:" (empty without one).
std::string ReadDrawSpeed(TSerial &link);
std::string ReadMoveSpeed(TSerial &link);

// A command that must reach the machine whatever else goes on: asked as
// usual when the link is free; written at once, no answer read ("" then),
// while another exchange waits for its answer (a query would throw that
// answer away) or the program is closing or cancelling (a query would not
// send it).  Stops of a running slew and the machine's joystick going back on.
std::string TellMachine(TSerial &link, const std::string &command, int limit);

// "ESC.wjoystick;ton:" and "ESC.wjoystick;toff:"; the machine's answer.
// Switching it on always reaches the machine (TellMachine).
std::string JoystickOn(TSerial &link);
std::string JoystickOff(TSerial &link);

// The machine values the settings panel shows, in the order it asks for them.
enum class TMachineValue { LastError, MediaHeight, DrawSpeed, State, Version, MoveSpeed, Acceleration, Position };
constexpr size_t MachineValueCount = 8;

struct TMachineReadings {
    std::string LastError;    // "ESC.verror_message:" (limit 150)
    std::string MediaHeight;  // "ESC.vheight:" (20)
    std::string DrawSpeed;    // "ESC.vdownspeed:" (80)
    std::string State;        // "ESC.vstate:" (20)
    std::string Version;      // "ESC.a" (100)
    std::string MoveSpeed;    // "ESC.vupspeed:" (80)
    std::string Acceleration; // "ESC.vacceleration:" (80)
    TMachinePosition Position;
    // The values that got no answer at all, in asking order.
    std::vector<TMachineValue> Unread;
};

// Asks for every value in the panel's order.  Once one question got no
// answer at all, the rest are asked with a short reply timeout (the link's
// own is put back afterwards): a silent machine then costs one timeout and a
// little, not eight, and a machine that answers is asked everything as usual.
TMachineReadings ReadMachineSettings(TSerial &link);
constexpr int64_t SilentMachineTimeoutMs = 500;

} // namespace grittor
