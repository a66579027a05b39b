// Shared helpers of the HPGL suites: reading a text with recorded messages,
// replaying it onto a recording canvas, and encoding PE numbers.
#pragma once

#include "TestDoubles.h"
#include "hpgl/Canvas.h"
#include "hpgl/hpgl.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace grittor::test {

struct ReadResult {
    std::vector<std::string> errors;
    std::vector<std::string> dialogs;
    std::unique_ptr<THpglFile> file;
    THpglFile &operator*() { return *file; }
    THpglFile *operator->() { return file.get(); }
};

inline ReadResult ReadHpgl(const std::string &text, long double multiplier = 1.0L, Canvas *canvas = nullptr)
{
    ReadResult r;
    ScriptedDialogs dialogs;
    r.file = std::make_unique<THpglFile>(THpglFile::FromText{text, multiplier}, canvas,
                                         [&r](const std::string &m, bool) { r.errors.push_back(m); });
    r.dialogs = dialogs.messages;
    return r;
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

inline Replay ReplayPlot(THpglFile &f)
{
    Replay out;
    f.OnMove = [&](const TExtendedPoint &p, int pen) {
        out.events.push_back("M " + Num(p.x) + "," + Num(p.y) + " " + std::to_string(pen));
        out.points.push_back(p);
    };
    f.OnLine = [&](const TExtendedPoint &p, int pen) {
        out.events.push_back("L " + Num(p.x) + "," + Num(p.y) + " " + std::to_string(pen));
        out.points.push_back(p);
    };
    f.Position = {0, 0};
    f.Relative = false;
    f.DrawAll();
    f.OnMove = nullptr;
    f.OnLine = nullptr;
    return out;
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

} // namespace grittor::test
