// What each instruction does: its scan (plotter state and extent, run once
// while reading, coordinates scaled to plot units there) and its draw
// (replayed through MoveTo/LineTo), plus arcs, rectangles, the encoded
// polyline walk, the drawing primitives and the fitted rendering.
#include "hpgl/Canvas.h"
#include "hpgl/HpglNumbers.h"
#include "hpgl/hpgl.h"

#include "foundation/AbortFlags.h"
#include "foundation/LogOutput.h"
#include "foundation/Progress.h"
#include "foundation/option.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace grittor {

namespace {

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

Sweep Chords(long double sweep, long double step)
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

} // namespace

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// fisttp truncates whatever the x87 rounding mode; every x86-64 processor
// of the last twenty years has it, and the others take the portable way.
static const bool g_haveFisttp = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse3") != 0;
}();
#endif

__attribute__((always_inline)) static inline int Truncate(long double v)
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

int ClampToInt(long double v)
{
    return Truncate(v);
}

// ------------------------------------------------------------- the scan ---

static inline void Extent(THpglFile &f, const TExtendedPoint &p)
{
    if (p.x < f.MinPoint.x)
        f.MinPoint.x = p.x;
    if (p.y < f.MinPoint.y)
        f.MinPoint.y = p.y;
    if (p.x > f.MaxPoint.x)
        f.MaxPoint.x = p.x;
    if (p.y > f.MaxPoint.y)
        f.MaxPoint.y = p.y;
}

void THpglFile::ScanNew(int i, long double *v, int n)
{
    const TCommandKind k = recs_[static_cast<size_t>(i)].kind;
    const long double m = Multiplier;
    switch (k) {
    case TCommandKind::PA:
    case TCommandKind::PR:
    case TCommandKind::PD:
    case TCommandKind::PU:
        ScanPlot(k, v, n);
        break;
    case TCommandKind::AA:
    case TCommandKind::AR:
        if (n < 3) {
            ReportError("Insuficent Number of Parameters to AA command");
            break;
        }
        v[0] *= m;
        v[1] *= m;
        ArcCenter =
            k == TCommandKind::AA ? TExtendedPoint{v[0], v[1]} : TExtendedPoint{Position.x + v[0], Position.y + v[1]};
        ArcAngle = v[2];
        ScanArc();
        break;
    case TCommandKind::CI:
        if (n < 1) {
            ReportError("Insuficent Number of Parameters to CI command");
            break;
        }
        ArcCenter = Position;
        ArcAngle = 360;
        v[0] *= m;
        Position = {ArcCenter.x - v[0], ArcCenter.y};
        ScanArc();
        Position = ArcCenter;
        break;
    case TCommandKind::EA:
    case TCommandKind::ER: {
        if (n < 2) {
            ReportError("Insuficent Number of Parameters to ER command");
            break;
        }
        v[0] *= m;
        v[1] *= m;
        Extent(*this, Position);
        const TExtendedPoint corner =
            k == TCommandKind::EA ? TExtendedPoint{v[0], v[1]} : TExtendedPoint{Position.x + v[0], Position.y + v[1]};
        Extent(*this, corner);
        break;
    }
    default:
        break; // the others change nothing (SP's pen is the reader's business)
    }
}

void THpglFile::ScanPlot(TCommandKind k, long double *v, int n)
{
    switch (k) {
    case TCommandKind::PA:
        Relative = false;
        break;
    case TCommandKind::PR:
        Relative = true;
        break;
    case TCommandKind::PD:
        PenDown = 1;
        break;
    default:
        PenDown = 0;
        break;
    }
    const long double m = Multiplier;
    const bool scale = m != 1.0L; // times one changes nothing, not even a zero's sign
    for (int j = 0; j + 1 < n; j += 2) {
        if (scale) {
            v[j] *= m;
            v[j + 1] *= m;
        }
        if (Relative)
            Position = {Position.x + v[j], Position.y + v[j + 1]};
        else
            Position = {v[j], v[j + 1]};
        Extent(*this, Position);
    }
}

void THpglFile::ScanArc()
{
    const long double dx = Position.x - ArcCenter.x;
    const long double dy = Position.y - ArcCenter.y;
    if (std::fabs(dx) < 1e-5L && std::fabs(dy) < 1e-5L)
        return; // zero radius
    ArcAngle = ArcAngle * kPi / 180;
    const Sweep s = Chords(ArcAngle, kScanStep);
    // When the whole circle lies inside the extent already (with room for
    // rounding), no point can move it: only the end point is needed, from
    // the same sum of steps.
    const long double r = std::sqrt(dx * dx + dy * dy);
    const long double room = (r + std::fabs(ArcCenter.x) + std::fabs(ArcCenter.y)) * 1e-15L;
    const long double reach = r + room;
    if (s.n > 1 && ArcCenter.x - reach > MinPoint.x && ArcCenter.x + reach < MaxPoint.x &&
        ArcCenter.y - reach > MinPoint.y && ArcCenter.y + reach < MaxPoint.y) {
        long double a = 0;
        for (long j = 0; j < s.n; ++j)
            a += s.delta;
        long double sn, c;
        SinCos(a, sn, c);
        Position.x = dx * c - dy * sn + ArcCenter.x;
        Position.y = dy * c + dx * sn + ArcCenter.y;
        return;
    }
    long double a = 0;
    for (long j = 0; j < s.n; ++j) {
        a += s.delta;
        long double sn, c;
        SinCos(a, sn, c);
        Position.x = dx * c - dy * sn + ArcCenter.x;
        Position.y = dy * c + dx * sn + ArcCenter.y;
        Extent(*this, Position);
    }
}

// ------------------------------------------------------------- the draw ---

void THpglFile::Draw(int i)
{
    if (i < 0 || i >= CommandCount())
        return;
    const Rec &r = recs_[static_cast<size_t>(i)];
    switch (r.kind) {
    case TCommandKind::Escape:
    case TCommandKind::Ignored:
    case TCommandKind::SP:
        return;
    case TCommandKind::PA:
    case TCommandKind::PR:
    case TCommandKind::PD:
    case TCommandKind::PU:
        DrawPlot(r.kind, i, PenOf(i));
        return;
    case TCommandKind::AA:
    case TCommandKind::AR: {
        if (NumberCountOf(i) < 3) {
            ReportError("Insuficent Number of Parameters to AA command");
            return;
        }
        const long double p1 = NumberOf(i, 0), p2 = NumberOf(i, 1);
        ArcCenter =
            r.kind == TCommandKind::AA ? TExtendedPoint{p1, p2} : TExtendedPoint{Position.x + p1, Position.y + p2};
        ArcAngle = NumberOf(i, 2);
        DrawArc(PenOf(i));
        return;
    }
    case TCommandKind::CI: {
        if (NumberCountOf(i) < 1) {
            ReportError("Insuficent Number of Parameters to CI command");
            return;
        }
        const int pen = PenOf(i);
        const int savedPenDown = PenDown;
        PenDown = 1;
        ArcCenter = Position;
        ArcAngle = 360;
        Position = {ArcCenter.x - NumberOf(i, 0), ArcCenter.y};
        MoveTo(Position, pen);
        DrawArc(pen);
        Position = ArcCenter;
        MoveTo(Position, pen);
        PenDown = savedPenDown;
        return;
    }
    case TCommandKind::EA:
    case TCommandKind::ER: {
        const bool saved = Relative;
        Relative = r.kind == TCommandKind::ER;
        DrawRectangle(i, PenOf(i));
        Relative = saved;
        return;
    }
    case TCommandKind::PE:
        WalkPE(i, true);
        return;
    }
}

void THpglFile::DrawAll()
{
    for (int i = 0; i < CommandCount(); ++i)
        Draw(i);
}

void THpglFile::DrawPlot(TCommandKind k, int i, int pen)
{
    switch (k) {
    case TCommandKind::PA:
        Relative = false;
        break;
    case TCommandKind::PR:
        Relative = true;
        break;
    case TCommandKind::PD:
        PenDown = 1;
        break;
    default:
        PenDown = 0;
        break;
    }
    const int n = NumberCountOf(i);
    const Rec &r = recs_[static_cast<size_t>(i)];
    const uint32_t *w = nums_.data() + r.numOff;
    const bool wide = r.flags & FlagWide;
    for (int j = 0; j + 1 < n; j += 2) {
        long double x, y;
        if (wide) {
            x = hpglnum::DecodeWide(w + 3 * j);
            y = hpglnum::DecodeWide(w + 3 * j + 3);
        } else {
            x = hpglnum::DecodeNarrow(w[j]);
            y = hpglnum::DecodeNarrow(w[j + 1]);
        }
        if (Relative)
            Position = {Position.x + x, Position.y + y};
        else
            Position = {x, y};
        if (PenDown == 1)
            LineTo(Position, pen);
        else
            MoveTo(Position, pen);
    }
}

void THpglFile::DrawArc(int pen)
{
    const long double dx = Position.x - ArcCenter.x;
    const long double dy = Position.y - ArcCenter.y;
    if (std::fabs(dx) < 1e-5L && std::fabs(dy) < 1e-5L)
        return;
    ArcAngle = ArcAngle * kPi / 180;
    const long double r = std::sqrt(dx * dx + dy * dy);
    long double step = std::exp(-0.5L * std::log(r) + 1.056L);
    if (step < 1e-5L)
        step = kMinChordStep;
    if (step > kMaxChordStep)
        step = kMaxChordStep;
    const Sweep s = Chords(ArcAngle, step);
    long double a = 0;
    for (long j = 0; j < s.n; ++j) {
        a += s.delta;
        long double sn, c;
        SinCos(a, sn, c);
        Position.x = dx * c - dy * sn + ArcCenter.x;
        Position.y = dy * c + dx * sn + ArcCenter.y;
        if (PenDown == 1)
            LineTo(Position, pen);
        else
            MoveTo(Position, pen);
    }
}

void THpglFile::DrawRectangle(int i, int pen)
{
    if (NumberCountOf(i) < 2) {
        ReportError("insuficient number of parameters to ea or er command");
        return;
    }
    const TExtendedPoint a = Position;
    TExtendedPoint b{NumberOf(i, 0), NumberOf(i, 1)};
    if (Relative)
        b = {b.x + a.x, b.y + a.y};
    LineTo({a.x, b.y}, pen);
    LineTo({b.x, b.y}, pen);
    LineTo({b.x, a.y}, pen);
    LineTo({a.x, a.y}, pen);
}

// ------------------------------------------------- the encoded polyline ---

namespace {

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

} // namespace

void THpglFile::WalkPE(int i, bool draw)
{
    if (PeDiagnostics())
        WalkPEImpl<true>(i, draw);
    else
        WalkPEImpl<false>(i, draw);
}

template <bool Log> void THpglFile::WalkPEImpl(int i, bool draw)
{
    const Rec &r = recs_[static_cast<size_t>(i)];
    PeReader<Log> rd;
    rd.data = PeData(r);
    std::string log;
    if constexpr (Log) {
        rd.log = &log;
        log = draw ? "\t\t\tpegl draw entry\r\n" : "\t\t\tpegl minmax entry\r\n";
    }
    const int entryPenDown = PenDown;
    const bool entryRelative = Relative;
    int lastPointPenDown = entryPenDown;
    // Every walk starts with the pen the instruction was read with, so a
    // redraw draws the points before a pen selection as the first walk did.
    int pen = PenOf(i);
    Relative = true;
    PenDown = 1;
    const long double m = Multiplier;
    while (!rd.Ended) {
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
                    PenDown = 0;
                    rd.Note("penup");
                } else if (c == '=') {
                    Relative = false;
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
                    lastPointPenDown = PenDown;
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
                CurrentPen = pen;
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
                lastPointPenDown = PenDown;
                havePoint = true;
                break;
            }
        }
        if (!havePoint)
            break;
        pt.x *= m;
        pt.y *= m;
        if (Relative)
            Position = {Position.x + pt.x, Position.y + pt.y};
        else
            Position = pt;
        if (draw) {
            if (PenDown == 1)
                LineTo(Position, pen);
            else
                MoveTo(Position, pen);
        } else {
            Extent(*this, Position);
        }
        Relative = true; // "<" and "=" hold for one point only
        PenDown = 1;
    }
    Relative = entryRelative;
    PenDown = lastPointPenDown;
    nums_[r.numOff] = static_cast<uint32_t>(pen);
    if (!log.empty())
        LogOutput().Write(log, false, false);
}

// ---------------------------------------------------- drawing primitives ---

int THpglFile::DeviceX(long double x) const
{
    return Truncate(x * Scale.x + Offset.x);
}
int THpglFile::DeviceY(long double y) const
{
    return Truncate(y * Scale.y + Offset.y);
}

void THpglFile::MoveTo(const TExtendedPoint &point, int pen)
{
    if (OnMove)
        OnMove(point, pen);
    Canvas *canvas = Printing ? Printer : Image;
    if (canvas)
        canvas->MoveTo(Truncate(point.x * Scale.x + Offset.x), Truncate(point.y * Scale.y + Offset.y));
}

void THpglFile::LineTo(const TExtendedPoint &point, int pen)
{
    Canvas *canvas = Printing ? Printer : Image;
    if (canvas) {
        const uint32_t saved = canvas->PenColor();
        uint32_t color = saved;
        if (Printing)
            color = PrintPenColors[(pen >= 0 && pen < PenColorSlots) ? pen : 0];
        else if (pen >= 0 && pen < PenColorSlots && PenColors[pen] != NoPenColor)
            color = PenColors[pen];
        if (color != saved)
            canvas->SetPenColor(color);
        canvas->LineTo(Truncate(point.x * Scale.x + Offset.x), Truncate(point.y * Scale.y + Offset.y));
        if (color != saved)
            canvas->SetPenColor(saved);
    }
    if (OnLine)
        OnLine(point, pen);
}

// ------------------------------------------------------------- rendering ---

THpglFile::PixelRect THpglFile::PlotArea(int32_t radius) const
{
    const long double m = 2.0L * radius;
    const long double left = MinPoint.x - m, right = MaxPoint.x + m;
    const long double bottom = MinPoint.y - 125, top = MaxPoint.y + 125;
    PixelRect a;
    a.left = ClampToInt(std::floor(left * Scale.x + Offset.x));
    a.right = ClampToInt(std::ceil(right * Scale.x + Offset.x));
    a.top = ClampToInt(std::floor(top * Scale.y + Offset.y));
    a.bottom = ClampToInt(std::ceil(bottom * Scale.y + Offset.y));
    return a;
}

void THpglFile::RenderImage(Canvas &canvas, int width, int height, int32_t radius)
{
    Image = &canvas;
    Printing = false;
    const long double m = 2.0L * radius;
    const long double left = MinPoint.x - m, right = MaxPoint.x + m;
    const long double bottom = MinPoint.y - 125, top = MaxPoint.y + 125;
    Position = {0, 0};
    Relative = false;
    canvas.FillRect(0, 0, width, height, 0xFFFFFF);
    const long double sx = width / (right - left);
    const long double sy = -height / (top - bottom);
    Scale.x = std::min(std::fabs(sx), std::fabs(sy));
    Scale.y = -Scale.x;
    Offset = {-left * Scale.x, -top * Scale.y};
    // The box fills the picture in one direction; centre it in the other
    // rather than leaving all the spare room below or to the right.
    Offset.x += (width - (right - left) * Scale.x) / 2;
    Offset.y += (height - (top - bottom) * Scale.x) / 2;
    const PixelRect area = PlotArea(radius);
    canvas.FillRect(area.left, area.top, area.right, area.bottom, clAppWorkSpace);
    canvas.SetPenColor(clWindowText);
    MoveTo(Position, 0);
    Progress &progress = GetProgress();
    progress.Show("Render image");
    const int count = CommandCount();
    for (int i = 0; i < count; ++i) {
        if (GetAbortFlags().StopLongWork())
            break;
        if (i % 400 == 0) {
            canvas.Repaint();
            progress.SetProgress(static_cast<double>(i) / count);
        }
        Draw(i);
    }
    MoveTo(Position, 0);
    canvas.Repaint();
    progress.Hide();
}

} // namespace grittor
