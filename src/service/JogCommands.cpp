#include "service/JogCommands.h"

#include "foundation/utils.h"

namespace grittor {

TJogAxis AxisOf(TJogDirection d)
{
    return d == TJogDirection::Up || d == TJogDirection::Down ? TJogAxis::X : TJogAxis::Y;
}

namespace {
// The sign of a direction on its axis: left and up are the positive ones.
bool Negative(TJogDirection d)
{
    return d == TJogDirection::Right || d == TJogDirection::Down;
}
const char *AxisLetter(TJogAxis a)
{
    return a == TJogAxis::X ? "x" : "y";
}
} // namespace

std::string JogCommand(TJogDirection d)
{
    return std::string("\x1b.wjog") + AxisLetter(AxisOf(d)) + (Negative(d) ? ";-1:" : ";1:");
}

std::string SlewCommand(TJogDirection d, const std::string &speed)
{
    return std::string("\x1b.wjoy") + AxisLetter(AxisOf(d)) + (Negative(d) ? ";-" : ";") + speed + ":";
}

std::string SlewStopCommand(TJogAxis axis)
{
    return std::string("\x1b.wjoy") + AxisLetter(axis) + ";0:";
}

bool ParseJogNumber(const std::string &text, int max, int &value)
{
    int v = 0;
    if (!ParseInt(text, v) || v < 1 || v > max)
        return false;
    value = v;
    return true;
}

std::string TSlewGuard::TakeStop(TJogAxis axis)
{
    if (!active_[Index(axis)])
        return {};
    active_[Index(axis)] = false;
    return SlewStopCommand(axis);
}

std::vector<std::string> TSlewGuard::TakeStops()
{
    std::vector<std::string> stops;
    for (TJogAxis a : {TJogAxis::X, TJogAxis::Y}) {
        std::string s = TakeStop(a);
        if (!s.empty())
            stops.push_back(std::move(s));
    }
    return stops;
}

} // namespace grittor
