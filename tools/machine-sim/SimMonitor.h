// The controller's engineering monitor, entered with "ESC.cdiag_run;19:".
// It reads blank-separated "S" commands: S 9 a reads the 50 gains and 19
// periods of axis a (6 x, 7 y), S 6 / S 7 store them, S 8 saves, S 19 loads
// defaults, S 36 toggles high gain, and the motion tests answer a "begin"
// line, four series of x,y pairs separated by 0,0 and "eof".  ETX or S 23
// leaves the monitor.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace grittor::sim {

class SimMonitor {
public:
    static constexpr int GainCount = 50;
    static constexpr int PeriodCount = 19;
    static constexpr int PointsPerSeries = 60;

    SimMonitor();
    // Banner of a fresh monitor.
    void Enter(std::string &out);
    // One byte; false when the monitor has ended.
    bool Receive(unsigned char c, std::string &out);
    bool Active() const { return active_; }

    void SetEol(const std::string &eol) { eol_ = eol; }
    // Tables of axis 6 (x) or 7 (y).
    const std::array<long, GainCount> &Gains(int axis) const { return gains_[axis == 7 ? 1 : 0]; }
    const std::array<long, PeriodCount> &Periods(int axis) const { return periods_[axis == 7 ? 1 : 0]; }
    bool HighGain() const { return highGain_; }
    int Saves() const { return saves_; }

    // The data of a motion test (also used by tests): the pairs in order,
    // (0,0) between the four series.
    static std::vector<std::pair<long, long>> MotionData(int test, long accel, long vel);

private:
    void Token(const std::string &token, std::string &out);
    void Run(std::string &out);
    void Line(std::string &out, const std::string &text) { out += text + eol_; }
    int ArgumentCount(int command) const;
    void Defaults(int axisIndex);

    bool active_ = false;
    std::string eol_ = "\r\n";
    std::string token_;
    bool haveS_ = false;
    bool haveCommand_ = false;
    int command_ = 0;
    std::vector<std::string> args_;
    std::array<std::array<long, GainCount>, 2> gains_{};
    std::array<std::array<long, PeriodCount>, 2> periods_{};
    bool highGain_ = false;
    int saves_ = 0;
};

} // namespace grittor::sim
