#include "link/MachineOps.h"

#include "foundation/utils.h"
#include "link/TSerial.h"

namespace grittor {

TMachinePosition ParsePosition(const std::string &answer)
{
    TMachinePosition p;
    const size_t comma = answer.find(',');
    if (comma == std::string::npos)
        return p;
    int v = 0;
    if (ParseInt(Trim(answer.substr(0, comma)), v)) {
        p.X = v;
        p.HaveX = true;
    }
    // The second field ends at a further comma (the "oc" answer carries a third).
    const size_t end = answer.find(',', comma + 1);
    const std::string y = answer.substr(comma + 1, end == std::string::npos ? std::string::npos : end - comma - 1);
    if (ParseInt(Trim(y), v)) {
        p.Y = v;
        p.HaveY = true;
    }
    return p;
}

bool ParseOcAnswer(const std::string &answer, int32_t &x, int32_t &y)
{
    const TMachinePosition p = ParsePosition(answer);
    if (!p.Complete())
        return false;
    x = p.X;
    y = p.Y;
    return true;
}

std::string OcAnswerMessage(const std::string &answer)
{
    return "unexpected data from cutter in response to oc HPGL command\r\nwas " + answer;
}

TMachinePosition ReadPosition(TSerial &link)
{
    return ParsePosition(link.query("\x1b.vposition:", 100));
}

std::string ReadDrawSpeed(TSerial &link)
{
    return link.query("\x1b.vdownspeed:", 80);
}

std::string ReadMoveSpeed(TSerial &link)
{
    return link.query("\x1b.vupspeed:", 80);
}

std::string JoystickOn(TSerial &link)
{
    return link.query("\x1b.wjoystick;ton:", 80);
}

std::string JoystickOff(TSerial &link)
{
    return link.query("\x1b.wjoystick;toff:", 80);
}

} // namespace grittor
