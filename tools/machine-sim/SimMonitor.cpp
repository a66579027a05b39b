#include "SimMonitor.h"

#include <cmath>
#include <cstdlib>

namespace grittor::sim {

namespace {
bool IsMotionTest(int c)
{
    return c == 0 || c == 1 || c == 18 || c == 22 || (c >= 24 && c <= 33);
}

bool ParseInt(const std::string &s, long &v)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    v = std::strtol(s.c_str(), &end, 10);
    return *end == '\0';
}

const char *TestName(int c)
{
    switch (c) {
    case 0:
        return "xshoot";
    case 1:
        return "yshoot";
    case 18:
        return "circle";
    case 22:
        return "diamond";
    case 24:
        return "closure";
    case 33:
        return "dac max";
    default:
        return c <= 28 ? "position error" : "velocity error";
    }
}
} // namespace

SimMonitor::SimMonitor()
{
    Defaults(0);
    Defaults(1);
}

void SimMonitor::Defaults(int axisIndex)
{
    for (int k = 0; k < GainCount; ++k)
        gains_[static_cast<size_t>(axisIndex)][static_cast<size_t>(k)] = 100 + 10 * axisIndex + k;
    for (int j = 0; j < PeriodCount; ++j)
        periods_[static_cast<size_t>(axisIndex)][static_cast<size_t>(j)] = 1000 + 50 * j + axisIndex;
}

void SimMonitor::Enter(std::string &out)
{
    active_ = true;
    token_.clear();
    haveS_ = haveCommand_ = false;
    args_.clear();
    Line(out, "Engineering diagnostic monitor");
    Line(out, "axis 6 = x, axis 7 = y");
}

int SimMonitor::ArgumentCount(int c) const
{
    if (IsMotionTest(c))
        return c == 33 ? 3 : 2;
    switch (c) {
    case 6:
        return 1 + GainCount;
    case 7:
        return 1 + PeriodCount;
    case 8:
    case 9:
    case 19:
        return 1;
    default:
        return 0;
    }
}

bool SimMonitor::Receive(unsigned char c, std::string &out)
{
    if (!active_)
        return false;
    if (c == 3) { // ETX: break out of the monitor
        active_ = false;
        Line(out, "monitor stopped");
        return false;
    }
    if (c == 27) {
        Line(out, "monitor ready");
        return true;
    }
    if (c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == ',') {
        if (!token_.empty()) {
            std::string t;
            t.swap(token_);
            Token(t, out);
        }
        return active_;
    }
    if (token_.size() < 64)
        token_ += static_cast<char>(c);
    return active_;
}

void SimMonitor::Token(const std::string &token, std::string &out)
{
    if (!haveS_) {
        if (token == "S" || token == "s")
            haveS_ = true;
        return; // anything else before an S is ignored
    }
    if (!haveCommand_) {
        long n = 0;
        if (!ParseInt(token, n)) {
            Line(out, "error: bad command '" + token + "'");
            haveS_ = false;
            return;
        }
        command_ = static_cast<int>(n);
        haveCommand_ = true;
        args_.clear();
    } else {
        args_.push_back(token);
    }
    if (static_cast<int>(args_.size()) >= ArgumentCount(command_))
        Run(out);
}

void SimMonitor::Run(std::string &out)
{
    const int c = command_;
    haveS_ = haveCommand_ = false;
    std::vector<long> v;
    for (const auto &a : args_) {
        long n = 0;
        if (!ParseInt(a, n)) {
            Line(out, "error: S " + std::to_string(c) + " argument '" + a + "' is not a number");
            Line(out, "ok");
            return;
        }
        v.push_back(n);
    }
    auto axisIndex = [&](long a) { return a == 7 ? 1 : (a == 6 ? 0 : -1); };
    if (c == 23) {
        active_ = false;
        Line(out, "monitor stopped");
        return;
    }
    if (c == 9 || c == 6 || c == 7 || c == 8 || c == 19) {
        const int ax = axisIndex(v[0]);
        if (ax < 0) {
            Line(out, "error: axis " + std::to_string(v[0]) + " (6 x, 7 y)");
            Line(out, "ok");
            return;
        }
        auto &g = gains_[static_cast<size_t>(ax)];
        auto &p = periods_[static_cast<size_t>(ax)];
        if (c == 9) {
            std::string line;
            for (long x : g)
                line += std::to_string(x) + ",";
            for (int j = 0; j < PeriodCount; ++j)
                line += std::to_string(p[static_cast<size_t>(j)]) + (j + 1 < PeriodCount ? "," : "");
            Line(out, line);
        } else if (c == 6) {
            for (int k = 0; k < GainCount; ++k)
                g[static_cast<size_t>(k)] = v[static_cast<size_t>(k + 1)];
        } else if (c == 7) {
            for (int j = 0; j < PeriodCount; ++j)
                p[static_cast<size_t>(j)] = v[static_cast<size_t>(j + 1)];
        } else if (c == 8) {
            ++saves_;
            Line(out, "tables saved");
        } else {
            Defaults(ax);
        }
        Line(out, "ok");
        return;
    }
    if (c == 36) {
        highGain_ = !highGain_;
        Line(out, highGain_ ? "high gain on" : "high gain off");
        Line(out, "ok");
        return;
    }
    if (IsMotionTest(c)) {
        Line(out, std::string("begin ") + TestName(c) + " test " + std::to_string(c) + " accel " +
                      std::to_string(v[0]) + " vel " + std::to_string(v[1]));
        for (const auto &[x, y] : MotionData(c, v[0], v[1]))
            Line(out, std::to_string(x) + "," + std::to_string(y));
        Line(out, "eof");
        Line(out, "ok");
        return;
    }
    Line(out, "error: unknown command S " + std::to_string(c));
    Line(out, "ok");
}

std::vector<std::pair<long, long>> SimMonitor::MotionData(int test, long accel, long vel)
{
    std::vector<std::pair<long, long>> d;
    const double amp = 50.0 + 10.0 * static_cast<double>(std::labs(vel)) / (std::labs(accel) + 1);
    for (int series = 0; series < 4; ++series) {
        if (series > 0)
            d.emplace_back(0, 0);
        for (int i = 1; i <= PointsPerSeries; ++i) {
            const double t = i / 10.0;
            const double y = amp * std::sin(t + series * 0.5 + test * 0.1) * std::exp(-t / (4.0 + series));
            d.emplace_back(i, std::lround(y));
        }
    }
    return d;
}

} // namespace grittor::sim
