// Pieces the reading (the scan of the extent) and the replays share: arc
// chords, sine and cosine, truncation to device pixels, and the walk over an
// encoded polyline (PE).  Internal to the hpgl folder.
#pragma once

#include "foundation/utils.h"
#include "hpgl/hpgl.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace grittor::hpglimpl {

// Hands a walk's diagnostics to the writer set with SetPeDiagnostics.
void WritePeDiagnostics(const std::string &entry);

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr long double kScanStep = 0.08726646259971647L;      // 5 degrees
constexpr long double kMinChordStep = 0.008726646259971648L; // 0.5 degree
constexpr long double kMaxChordStep = 0.17453292519943295L;  // 10 degrees

// Chords for a sweep: floor(|sweep| / step), at least one.  Sweeps of more
// than two turns only retrace the circle, so they are folded to one turn
// plus the remainder (same end point) and a file cannot ask for billions.
struct Sweep {
    long n = 1;
    long double delta = 0;
};

inline Sweep Chords(long double sweep, long double step)
{
    Sweep s;
    if (!std::isfinite(sweep)) {
        s.n = 0;
        return s;
    }
    long double a = sweep;
    const long double turn = 2 * kPi;
    if (std::fabs(a) > 2 * turn)
        a = std::copysign(turn + std::fmod(std::fabs(a), turn), a);
    const long double q = std::fabs(a) / step;
    if (q >= 1 && q < 1e6L)
        s.n = static_cast<long>(std::floor(q));
    else if (q >= 1e6L)
        s.n = 1000000;
    s.delta = a / static_cast<long double>(s.n);
    return s;
}

// Sine and cosine of an angle of at most a few turns.  The x87 instruction
// reduces such angles exactly enough and is many times faster than the
// library's general Extended reduction.
inline void SinCos(long double a, long double &s, long double &c)
{
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
    if (std::fabs(a) < 1e15L) {
        asm("fsincos" : "=t"(c), "=u"(s) : "0"(a));
        return;
    }
#endif
    sincosl(a, &s, &c);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// fisttp truncates whatever the x87 rounding mode; every x86-64 processor
// of the last twenty years has it, and the others take the portable way.
inline const bool g_haveFisttp = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse3") != 0;
}();
#endif

__attribute__((always_inline)) inline int Truncate(long double v)
{
    if (v > -2147483648.0L && v < 2147483647.0L) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
        if (g_haveFisttp) {
            int i;
            asm("fisttpl %0" : "=m"(i) : "t"(v) : "st");
            return i;
        }
#endif
        // Through a double, which converts without switching the x87
        // rounding mode; the rounding to double may have crossed a whole
        // number, which the comparison with v puts right.
        int i = static_cast<int>(static_cast<double>(v));
        if (v >= 0) {
            if (static_cast<long double>(i) > v)
                --i;
        } else if (static_cast<long double>(i) < v) {
            ++i;
        }
        return i;
    }
    if (std::isnan(v))
        return 0;
    return v > 0 ? INT_MAX : INT_MIN;
}


// Reading state of one walk over a PE's data (which ends in ";").
template <bool Log> struct PeReader {
    std::string_view data; // without the closing ";"
    long DataPos = 0;      // 1-based position of the last character read
    int State = 0;
    bool Ended = false;
    bool SevenBit = false;
    int FractionBits = 0;
    std::string *log = nullptr;

    int Fetch()
    {
        ++DataPos;
        int c = -1;
        if (__builtin_expect(DataPos <= static_cast<long>(data.size()), 1))
            c = static_cast<unsigned char>(data[static_cast<size_t>(DataPos - 1)]);
        else if (DataPos == static_cast<long>(data.size()) + 1)
            c = ';';
        if constexpr (Log) {
            if (c >= 0) {
                *log += "\t\t\t" + std::to_string(c) + " ";
                *log += (c >= 32 && c <= 126) ? static_cast<char>(c) : '?';
                *log += "\r\n";
            }
        }
        return c;
    }
    void StepBack()
    {
        if (DataPos > 0)
            --DataPos;
    }
    void Note(const char *flag)
    {
        if constexpr (Log) {
            *log += "\t\t\t";
            *log += flag;
            *log += "\r\n";
        }
    }

    // One base-64 (or base-32) number; false when the data ends first.
    // Nine digits are summed as integers (no digit exceeds 2^7, so the sum
    // stays below 2^60); longer runs, which only garbage makes, go on in
    // Extended.
    bool Decode(long double &out)
    {
        const int base = SevenBit ? 32 : 64;
        int64_t iv = 0, imul = 1;
        int count = 0;
        if constexpr (!Log) {
            // The same reads as Fetch, straight from the data.
            const auto *d = reinterpret_cast<const unsigned char *>(data.data());
            const long size = static_cast<long>(data.size());
            long pos = DataPos;
            for (;;) {
                if (pos >= size) { // the closing ";"
                    DataPos = pos + 1;
                    Ended = true;
                    return false;
                }
                const int c = d[pos++];
                if (c == ';') {
                    DataPos = pos;
                    Ended = true;
                    return false;
                }
                const bool last = SevenBit ? c > 94 : c > 126;
                const int digit = last ? (SevenBit ? c - 32 : c - 128) : c;
                iv += static_cast<int64_t>(digit - 63) * imul;
                if (last) {
                    DataPos = pos;
                    const int64_t half = iv / 2;
                    out = static_cast<long double>(iv % 2 != 0 ? -half : half);
                    return true;
                }
                imul *= base;
                if (++count == 9) {
                    DataPos = pos;
                    return DecodeLong(static_cast<long double>(iv), static_cast<long double>(imul), out);
                }
            }
        }
        for (;;) {
            const int c = Fetch();
            if (c == ';' || c < 0) {
                Ended = true;
                return false;
            }
            const bool last = SevenBit ? c > 94 : c > 126;
            const int digit = last ? (SevenBit ? c - 32 : c - 128) : c;
            iv += static_cast<int64_t>(digit - 63) * imul;
            if (last) {
                const int64_t half = iv / 2; // toward zero, as div does
                out = static_cast<long double>(iv % 2 != 0 ? -half : half);
                return true;
            }
            imul *= base;
            if (++count == 9)
                return DecodeLong(static_cast<long double>(iv), static_cast<long double>(imul), out);
        }
    }

    // One number of at most nine digits as a whole number, without moving
    // on when it is longer or the data ends first (false then).
    bool DecodeShort(long &pos, int64_t &out) const
    {
        const auto *d = reinterpret_cast<const unsigned char *>(data.data());
        const long size = static_cast<long>(data.size());
        const int base = SevenBit ? 32 : 64;
        int64_t iv = 0, imul = 1;
        long p = pos;
        for (int count = 0; count < 9; ++count) {
            if (p >= size)
                return false;
            const int c = d[p++];
            if (c == ';')
                return false;
            const bool last = SevenBit ? c > 94 : c > 126;
            const int digit = last ? (SevenBit ? c - 32 : c - 128) : c;
            iv += static_cast<int64_t>(digit - 63) * imul;
            if (last) {
                const int64_t half = iv / 2;
                out = iv % 2 != 0 ? -half : half;
                pos = p;
                return true;
            }
            imul *= base;
        }
        return false;
    }

    bool DecodeLong(long double value, long double mult, long double &out)
    {
        const long double base = SevenBit ? 32 : 64;
        for (;;) {
            const int c = Fetch();
            if (c == ';' || c < 0) {
                Ended = true;
                return false;
            }
            bool last;
            int digit = c;
            if (!SevenBit) {
                last = c > 126;
                if (last)
                    digit = c - 128;
            } else {
                last = c > 94;
                if (last)
                    digit = c - 32;
            }
            // Garbage can run on without a last digit; past 1e300 the
            // number is meaningless anyway and must not overflow.
            if (mult < 1e300L) {
                value += static_cast<long double>(digit - 63) * mult;
                mult *= base;
            }
            if (last)
                break;
        }
        const long double half = std::trunc(value / 2);
        out = std::fmod(value, 2.0L) != 0 ? -half : half;
        if (out == 0)
            out = 0; // no negative zero
        return true;
    }
};

// A whole number that an Extended position holds exactly, far enough from
// the ends of 64 bits that the sums of a PE's points stay exact in both.
inline bool IntegralPosition(long double v, int64_t &out)
{
    constexpr long double kLimit = 4611686018427387904.0L; // 2^62
    if (!(v > -kLimit && v < kLimit) || (v == 0 && std::signbit(v)))
        return false;
    const int64_t i = static_cast<int64_t>(v);
    if (static_cast<long double>(i) != v)
        return false;
    out = i;
    return true;
}

// One walk over a PE's data from the plotter state `st`, starting with pen
// `pen`: every point decoded goes to point(position, pen) with st.PenDown
// telling whether it is drawn, every pen selected to selectPen(pen).  "<"
// and "=" hold for one point only; afterwards the move mode is the one of
// the walk's entry and the pen state the one of its last point.  Returns
// the pen of the walk's end.  With Log, every character and flag goes to
// the debug log (one entry per walk), under `title`.
//
// Most PE data is plain pairs of short numbers from a whole-numbered
// position at multiplier 1: such runs are walked in 64-bit integers, which
// give exactly the Extended sums (every value stays far below 2^64) without
// taking each position through memory in 80 bits.  A `point` that also
// takes (x, y, pen) as whole numbers gets those points so.
template <bool Log, class Point, class SelectPen>
int WalkPE(std::string_view data, TPlotterState &st, int pen, long double m, const char *title, Point &&point,
           SelectPen &&selectPen)
{
    PeReader<Log> rd;
    rd.data = data;
    std::string log;
    if constexpr (Log) {
        rd.log = &log;
        log = title;
    }
    const int entryPenDown = st.PenDown;
    const bool entryRelative = st.Relative;
    int lastPointPenDown = entryPenDown;
    st.Relative = true;
    st.PenDown = 1;
    while (!rd.Ended) {
        if constexpr (!Log) {
            int64_t ix = 0, iy = 0;
            if (m == 1 && rd.FractionBits == 0 && IntegralPosition(st.Position.x, ix) &&
                IntegralPosition(st.Position.y, iy)) {
                constexpr int64_t kLimit = int64_t(1) << 62;
                const auto *d = reinterpret_cast<const unsigned char *>(data.data());
                const long size = static_cast<long>(data.size());
                bool moved = false;
                for (;;) {
                    long pos = rd.DataPos; // 0-based: the next character
                    if (pos >= size)
                        break;
                    const int c = d[pos];
                    if (c == '<') {
                        st.PenDown = 0;
                        rd.DataPos = pos + 1;
                        continue;
                    }
                    if (c == '=') {
                        st.Relative = false;
                        rd.DataPos = pos + 1;
                        continue;
                    }
                    if (c == ';' || c == ':' || c == '>' || c == '7')
                        break; // the general walk below
                    int64_t x = 0, y = 0;
                    if (!rd.DecodeShort(pos, x) || !rd.DecodeShort(pos, y))
                        break; // a long number, or the end: the general walk
                    if (st.Relative) {
                        x += ix;
                        y += iy;
                    }
                    if (x <= -kLimit || x >= kLimit || y <= -kLimit || y >= kLimit)
                        break;
                    rd.DataPos = pos;
                    ix = x;
                    iy = y;
                    moved = true;
                    lastPointPenDown = st.PenDown;
                    if constexpr (std::is_invocable_v<Point, int64_t, int64_t, int>)
                        point(ix, iy, pen);
                    else
                        point(TExtendedPoint{static_cast<long double>(ix), static_cast<long double>(iy)}, pen);
                    st.Relative = true;
                    st.PenDown = 1;
                }
                if (moved)
                    st.Position = {static_cast<long double>(ix), static_cast<long double>(iy)};
            }
        }
        // NextPoint
        TExtendedPoint pt;
        bool havePoint = false;
        while (!rd.Ended && !havePoint) {
            const int c = rd.Fetch();
            if (c == ';' || c < 0) {
                rd.Ended = true;
                break;
            }
            long double v = 0;
            switch (rd.State) {
            case 0:
                if (c == '7') {
                    rd.SevenBit = true;
                    rd.Note("7bit");
                } else if (c == ':') {
                    rd.State = 1;
                    rd.Note("selectpen");
                } else if (c == '<') {
                    st.PenDown = 0;
                    rd.Note("penup");
                } else if (c == '=') {
                    st.Relative = false;
                    rd.Note("absolute");
                } else if (c == '>') {
                    rd.State = 2;
                    rd.Note("fractdata");
                } else if constexpr (!Log) {
                    // Straight through states 3 and 4: x, then y unless
                    // the data ends between them.
                    rd.StepBack();
                    if (!rd.Decode(v))
                        break;
                    const long double x = v;
                    const int c2 = rd.Fetch();
                    if (c2 == ';' || c2 < 0) {
                        rd.Ended = true;
                        break;
                    }
                    rd.StepBack();
                    if (!rd.Decode(v))
                        break;
                    pt.x = rd.FractionBits ? std::ldexp(x, -rd.FractionBits) : x;
                    pt.y = rd.FractionBits ? std::ldexp(v, -rd.FractionBits) : v;
                    lastPointPenDown = st.PenDown;
                    havePoint = true;
                } else {
                    rd.StepBack();
                    rd.State = 3;
                }
                break;
            case 1:
                rd.StepBack();
                if (!rd.Decode(v))
                    break;
                pen = ClampToInt(v);
                selectPen(pen);
                rd.State = 0;
                break;
            case 2:
                rd.StepBack();
                if (!rd.Decode(v))
                    break;
                rd.FractionBits = (v >= -10 && v <= 10) ? static_cast<int>(v) : 0;
                rd.State = 0;
                break;
            case 3:
                rd.StepBack();
                if (!rd.Decode(v))
                    break;
                pt.x = rd.FractionBits ? std::ldexp(v, -rd.FractionBits) : v;
                rd.State = 4;
                break;
            default:
                rd.StepBack();
                if (!rd.Decode(v))
                    break;
                pt.y = rd.FractionBits ? std::ldexp(v, -rd.FractionBits) : v;
                rd.State = 0;
                lastPointPenDown = st.PenDown;
                havePoint = true;
                break;
            }
        }
        if (!havePoint)
            break;
        pt.x *= m;
        pt.y *= m;
        if (st.Relative)
            st.Position = {st.Position.x + pt.x, st.Position.y + pt.y};
        else
            st.Position = pt;
        point(st.Position, pen);
        st.Relative = true; // "<" and "=" hold for one point only
        st.PenDown = 1;
    }
    st.Relative = entryRelative;
    st.PenDown = lastPointPenDown;
    if (!log.empty())
        WritePeDiagnostics(log);
    return pen;
}

} // namespace grittor::hpglimpl
