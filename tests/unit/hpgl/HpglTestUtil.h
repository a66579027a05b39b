// Shared helpers of the HPGL suites: reading a text with recorded messages,
// replaying it onto a recording canvas, and encoding PE numbers.
#pragma once

#include "TestDoubles.h"
#include "foundation/Progress.h"
#include "hpgl/Canvas.h"
#include "hpgl/PlotReplay.h"
#include "hpgl/hpgl.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace grittor::test {

struct ReadResult {
    std::vector<std::string> errors;
    std::vector<std::string> dialogs;
    std::unique_ptr<THpglFile> file;
    THpglFile &operator*() { return *file; }
    THpglFile *operator->() { return file.get(); }
};

inline ReadResult ReadHpgl(THpglFile::FromText source)
{
    ReadResult r;
    ScriptedDialogs dialogs;
    r.file = std::make_unique<THpglFile>(std::move(source), [&r](const std::string &m, bool) { r.errors.push_back(m); });
    r.dialogs = dialogs.messages;
    return r;
}

inline ReadResult ReadHpgl(const std::string &text, long double multiplier = 1.0L)
{
    return ReadHpgl(THpglFile::FromText{text, multiplier});
}

// A replay as the application's rendering starts it, recording moves and
// lines in plot units.
struct Replay {
    std::vector<std::string> events; // "M x,y p" / "L x,y p"
    std::vector<TExtendedPoint> points;
};

inline std::string Num(long double v)
{
    return FormatExtended(v);
}

// Records every point of a replay.
class RecordingSink final : public TPlotSink {
public:
    void Move(const TExtendedPoint &p, int pen) override { Add('M', p, pen); }
    void Line(const TExtendedPoint &p, int pen) override { Add('L', p, pen); }
    Replay out;

private:
    void Add(char kind, const TExtendedPoint &p, int pen)
    {
        out.events.push_back(std::string(1, kind) + " " + Num(p.x) + "," + Num(p.y) + " " + std::to_string(pen));
        out.points.push_back(p);
    }
};

// Every instruction from (0,0), absolute, the pen as the reading left it
// (or `penDown` when given), without the moves PlayAll adds around them.
inline Replay ReplayPlot(const THpglFile &f, int penDown = -1, THpglFile::ErrorEvent onError = nullptr)
{
    RecordingSink sink;
    TPlotReplay replay(f, sink, nullptr, std::move(onError));
    replay.Reset();
    if (penDown >= 0) {
        TPlotterState st = replay.State();
        st.PenDown = penDown;
        replay.SetState(st);
    }
    for (int i = 0; i < f.CommandCount(); ++i)
        replay.Draw(i);
    return sink.out;
}

// One PE coordinate: sign in the lowest bit, base 64 (or 32 in 7-bit mode)
// digits from the lowest, the last one marked.
inline std::string PeNumber(long long n, bool sevenBit = false)
{
    unsigned long long v =
        n >= 0 ? 2ULL * static_cast<unsigned long long>(n) : 2ULL * static_cast<unsigned long long>(-n) + 1;
    const unsigned base = sevenBit ? 32 : 64;
    std::string s;
    while (v >= base) {
        s += static_cast<char>(63 + v % base);
        v /= base;
    }
    s += static_cast<char>((sevenBit ? 95 : 191) + v);
    return s;
}

inline std::string PePoint(long long x, long long y, bool sevenBit = false)
{
    return PeNumber(x, sevenBit) + PeNumber(y, sevenBit);
}

// The real-world plots beside the checkout (or named by GRITTOR_SHARED_PLOTS).
inline std::string PlotsDir()
{
    if (const char *p = std::getenv("GRITTOR_SHARED_PLOTS"); p && *p)
        return p;
    return SharedPlotsDir();
}

// A progress that holds a drawing's first core back at each step, so that
// the second core claims its part before the first is done, however busy
// the host (install it with SetProgress, and take it away after).
class SlowFirstCore final : public Progress {
public:
    explicit SlowFirstCore(std::chrono::microseconds pause = std::chrono::milliseconds(2)) : pause_(pause) {}
    void Show(const std::string &) override {}
    void SetProgress(double fraction) override
    {
        if (fraction < 1.0)
            std::this_thread::sleep_for(pause_);
    }
    void Hide() override {}

private:
    std::chrono::microseconds pause_;
};

} // namespace grittor::test
