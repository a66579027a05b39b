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

std::string TellMachine(TSerial &link, const std::string &command, int limit)
{
    if (!link.Flags().Any() && !link.Exchanging())
        return link.query(command, limit);
    link.send_now(command);
    return std::string();
}

std::string JoystickOn(TSerial &link)
{
    return TellMachine(link, "\x1b.wjoystick;ton:", 80);
}

std::string JoystickOff(TSerial &link)
{
    return link.query("\x1b.wjoystick;toff:", 80);
}

TMachineReadings ReadMachineSettings(TSerial &link)
{
    TMachineReadings r;
    const int64_t timeout = link.ReplyTimeout();
    bool shortened = false;
    auto noAnswer = [&](TMachineValue value) {
        r.Unread.push_back(value);
        if (!shortened && timeout > SilentMachineTimeoutMs) {
            link.set_timeout(SilentMachineTimeoutMs);
            shortened = true;
        }
    };
    auto ask = [&](TMachineValue value, const char *command, int limit, std::string &answer) {
        answer = link.query(command, limit);
        if (answer.empty() && link.LastStatus() == RsTimeout)
            noAnswer(value);
    };
    ask(TMachineValue::LastError, "\x1b.verror_message:", 150, r.LastError);
    ask(TMachineValue::MediaHeight, "\x1b.vheight:", 20, r.MediaHeight);
    r.DrawSpeed = ReadDrawSpeed(link);
    if (r.DrawSpeed.empty() && link.LastStatus() == RsTimeout)
        noAnswer(TMachineValue::DrawSpeed);
    ask(TMachineValue::State, "\x1b.vstate:", 20, r.State);
    ask(TMachineValue::Version, "\x1b.a", 100, r.Version);
    r.MoveSpeed = ReadMoveSpeed(link);
    if (r.MoveSpeed.empty() && link.LastStatus() == RsTimeout)
        noAnswer(TMachineValue::MoveSpeed);
    ask(TMachineValue::Acceleration, "\x1b.vacceleration:", 80, r.Acceleration);
    r.Position = ReadPosition(link);
    if (!r.Position.HaveX && !r.Position.HaveY && link.LastStatus() == RsTimeout)
        noAnswer(TMachineValue::Position);
    if (shortened)
        link.set_timeout(timeout);
    return r;
}

} // namespace grittor
