// Small machine operations the settings panel offers and the digitize, send
// and jog commands use without showing it: the head position, the two
// speeds and the machine's own joystick.  Each is one query on the link.
#pragma once

#include <cstdint>
#include <string>

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

// "ESC.wjoystick;ton:" and "ESC.wjoystick;toff:"; the machine's answer.
std::string JoystickOn(TSerial &link);
std::string JoystickOff(TSerial &link);

} // namespace grittor
