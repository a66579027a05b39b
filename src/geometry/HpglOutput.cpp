#include "geometry/HpglOutput.h"

#include "link/MachineNumbers.h"

#include "foundation/LogOutput.h"
#include "geometry/polygon.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace grittor {

// ------------------------------------------------------------ TCommandList ---

void TCommandList::Add(std::string_view text)
{
    size_t k = 0;
    while (k < texts_.size() && texts_[k] != text)
        ++k;
    if (k == texts_.size()) {
        if (k > 0xFFFF)
            throw std::length_error("too many distinct path commands");
        texts_.emplace_back(text);
    }
    index_.push_back(static_cast<uint16_t>(k));
}

void TCommandList::Clear()
{
    texts_.clear();
    index_.clear();
}

// ------------------------------------------------------------- helpers ---

namespace {
bool FitsMachine(long long v)
{
    return v >= MachineIntMin && v <= MachineIntMax;
}
} // namespace

long long ToWholeUnits(long double v)
{
    return RoundHalfAway(v);
}

void AppendInt(std::string &out, long long v)
{
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

namespace {

constexpr long double TenDegrees = 0.17453292519943295L;

// Drawing point to machine point with one Solve result.  The rotation is
// applied as a matrix: it is the same map as turning the polar form of the
// point by Rotate, but costs no trigonometry per point, and a placement that
// is not turned maps points exactly (so halfway values meet the tie rule
// instead of rounding noise).
struct TTransform {
    long double c, s, sx, sy;
    TExtendedPoint from;  // Drawing.Ref
    TExtendedPoint to;    // Digitized.Ref
    TExtendedPoint shift; // Drawing.Offset

    explicit TTransform(const THpglOutput &o)
        : c(std::cos(o.Rotate)), s(std::sin(o.Rotate)), sx(o.ScaleX), sy(o.ScaleY), from(o.Drawing.Ref),
          to(o.Digitized.Ref), shift(o.Drawing.Offset)
    {
    }

    TExtendedPoint Apply(const TExtendedPoint &p) const
    {
        const long double dx = p.x - from.x;
        const long double dy = p.y - from.y;
        return {(dx * c - dy * s) * sx + to.x - shift.x, (dx * s + dy * c) * sy + to.y - shift.y};
    }
};

std::string Num(long double v)
{
    return FormatExtended(v);
}

void LogLine(const std::string &text)
{
    LogOutput().Write(text, true, true);
}

void LogPoint(const char *name, const TExtendedPoint &p)
{
    LogLine(std::string(name) + Num(p.x) + "," + Num(p.y));
}

void LogRecord(const char *title, const TAlignPoints &r, bool skewAndStretchOnly)
{
    LogLine(title);
    if (!skewAndStretchOnly)
        LogPoint("ref ", r.Ref);
    LogPoint("skew ", r.Skew);
    LogPoint("stretch ", r.Stretch);
    if (!skewAndStretchOnly)
        LogPoint("offset ", r.Offset);
}

long double Length(const TExtendedPoint &p)
{
    return std::sqrt(p.x * p.x + p.y * p.y);
}

// Room for `more` bytes without giving up the doubling growth of repeated
// appends.
void Grow(std::string &s, size_t more)
{
    const size_t need = s.size() + more;
    if (s.capacity() < need)
        s.reserve(std::max(need, s.capacity() * 2));
}

// A usable axis scale: positive and finite.
bool UsableScale(long double s)
{
    return std::isfinite(s) && s > 0;
}

} // namespace

// ------------------------------------------------------------- THpglOutput ---

void THpglOutput::AddPoint(const TExtendedPoint &forward, const TExtendedPoint &backward)
{
    ForwardPoints.push_back(forward);
    BackwardPoints.push_back(backward);
    FirstPoint = ForwardPoints.front();
    LastPoint = ForwardPoints.back();
}

long double THpglOutput::BlastLength() const
{
    const int n = std::min(PointCount(), ForwardCommands.Count());
    long double length = 0;
    for (int i = 1; i < n; ++i)
        if (ForwardCommands.Get(i) == "papd")
            length += Distance(ForwardPoints[static_cast<size_t>(i - 1)], ForwardPoints[static_cast<size_t>(i)]);
    return length;
}

void THpglOutput::UpdateExtremes(const TExtendedPoint &p)
{
    if (!Measured) {
        Drawing.Ref = Drawing.Skew = Drawing.Stretch = p;
        Measured = true;
        return;
    }
    if (p.y < Drawing.Ref.y || (p.y == Drawing.Ref.y && p.x <= Drawing.Ref.x))
        Drawing.Ref = p;
    if (p.y < Drawing.Skew.y || (p.y == Drawing.Skew.y && p.x >= Drawing.Skew.x))
        Drawing.Skew = p;
    if (p.x >= Drawing.Stretch.x && p.y >= Drawing.Stretch.y)
        Drawing.Stretch = p;
}

void THpglOutput::BuildPath(const TPolygon &polygon, int pen)
{
    Drawing.Ref = Drawing.Skew = Drawing.Stretch = {};
    Measured = false;
    if (pen == -1)
        return;
    size_t total = 0;
    for (const TObjectList &obj : polygon.Outlines())
        if (obj.Pen == pen && !obj.Empty())
            total += static_cast<size_t>(obj.Count()) + 1;
    ForwardPoints.reserve(ForwardPoints.size() + total);
    BackwardPoints.reserve(BackwardPoints.size() + total);
    ForwardCommands.Reserve(total);
    BackwardCommands.Reserve(total);
    for (const TObjectList &obj : polygon.Outlines()) {
        // An outline whose only lines were too short to keep has the pen but
        // no segment: it adds nothing to the path.
        if (obj.Pen != pen || obj.Empty())
            continue;
        const int n = obj.Count();
        for (int j = 0; j < n; ++j) {
            const TExtendedPoint start = obj.Vertex(j);
            UpdateExtremes(start);
            AddPoint(start, start);
            ForwardCommands.Add(j == 0 ? "papu" : "papd");
            BackwardCommands.Add("papd");
        }
        const TExtendedPoint end = obj.End();
        UpdateExtremes(end);
        AddPoint(end, end);
        ForwardCommands.Add("papd");
        BackwardCommands.Add("papu");
    }
}

TAlignPoints THpglOutput::ToPolar(const TAlignPoints &r, long double sx, long double sy)
{
    TAlignPoints p;
    p.Origin = r.Origin;
    p.Ref = r.Ref;
    auto polar = [&](const TExtendedPoint &q) {
        const long double u = (q.x - r.Ref.x) / sx;
        const long double v = (q.y - r.Ref.y) / sy;
        return TExtendedPoint{std::sqrt(u * u + v * v), std::atan2(v, u)};
    };
    p.Skew = polar(r.Skew);
    p.Stretch = polar(r.Stretch);
    return p;
}

TAlignPoints THpglOutput::FromPolar(const TAlignPoints &polar, long double a, long double sx, long double sy)
{
    TAlignPoints r;
    r.Origin = polar.Origin;
    r.Ref = polar.Ref;
    auto point = [&](const TExtendedPoint &q) {
        return TExtendedPoint{polar.Ref.x + sx * q.x * std::cos(q.y + a), polar.Ref.y + sy * q.x * std::sin(q.y + a)};
    };
    r.Skew = point(polar.Skew);
    r.Stretch = point(polar.Stretch);
    return r;
}

long double THpglOutput::FitError(long double a, long double sx, long double sy) const
{
    const TAlignPoints d = ToPolar(Drawing, 1, 1);
    const TAlignPoints r = FromPolar(d, a, sx, sy);
    // Both sides relative to their own Ref: the digitized vectors against the
    // turned and scaled drawing vectors.
    const TExtendedPoint ds{Digitized.Skew.x - Digitized.Ref.x, Digitized.Skew.y - Digitized.Ref.y};
    const TExtendedPoint dt{Digitized.Stretch.x - Digitized.Ref.x, Digitized.Stretch.y - Digitized.Ref.y};
    const TExtendedPoint rs{r.Skew.x - Drawing.Ref.x, r.Skew.y - Drawing.Ref.y};
    const TExtendedPoint rt{r.Stretch.x - Drawing.Ref.x, r.Stretch.y - Drawing.Ref.y};
    return Length({ds.x - rs.x, ds.y - rs.y}) + Length({dt.x - rt.x, dt.y - rt.y});
}

namespace {

// Bisection on the sign of the error's slope over [lo, hi].  Ends when the
// bracket is narrower than 1e-14 or can no longer be halved (large values
// whose spacing exceeds 1e-14); an empty bracket keeps `current`.
template <class F> long double Search(long double lo, long double hi, long double d, long double current, F error)
{
    long double result = current;
    while (hi - lo > 1e-14L) {
        const long double mid = (lo + hi) / 2;
        if (!(mid > lo && mid < hi))
            break;
        if (error(mid + d) > error(mid - d))
            hi = mid;
        else
            lo = mid;
        result = mid;
    }
    return result;
}

} // namespace

void THpglOutput::MinimizeRotate()
{
    Rotate = Search(Rotate - TenDegrees, Rotate + TenDegrees, 0.001L, Rotate,
                    [&](long double a) { return FitError(a, ScaleX, ScaleY); });
}

void THpglOutput::MinimizeScaleX()
{
    ScaleX = Search(ScaleX / 1.3L, ScaleX * 1.3L, 0.0001L, ScaleX,
                    [&](long double sx) { return FitError(Rotate, sx, ScaleY); });
}

void THpglOutput::MinimizeScaleY()
{
    ScaleY = Search(ScaleY / 1.3L, ScaleY * 1.3L, 0.0001L, ScaleY,
                    [&](long double sy) { return FitError(Rotate, ScaleX, sy); });
}

TAlignPoints THpglOutput::Solve()
{
    LogLine("hpgl.init");
    const long double a0 = std::atan2(Drawing.Skew.y - Drawing.Ref.y, Drawing.Skew.x - Drawing.Ref.x);
    TAlignPoints p = ToPolar(Digitized, 1, 1);
    Rotate = p.Skew.y - a0;
    TAlignPoints u = FromPolar(p, -Rotate, 1, 1);
    int count = 0;
    if (SolveScale) {
        LogLine("prelim rotate " + Num(Rotate));
        const long double wx = Drawing.Stretch.x - Drawing.Ref.x;
        const long double wy = Drawing.Stretch.y - Drawing.Ref.y;
        ScaleX = std::fabs(wx) > 10 ? (u.Stretch.x - Digitized.Ref.x) / wx : 1;
        ScaleY = std::fabs(wy) > 10 ? (u.Stretch.y - Digitized.Ref.y) / wy : 1;
        // A stretch point digitized on or behind the reference gives no
        // usable scale; start the search from 1 instead of dividing by it.
        if (!UsableScale(ScaleX))
            ScaleX = 1;
        if (!UsableScale(ScaleY))
            ScaleY = 1;
        p = ToPolar(Digitized, ScaleX, ScaleY);
        Rotate = p.Skew.y - a0;
        LogLine("iter 0 rotate " + Num(Rotate) + " scale.x " + Num(ScaleX) + " scale.y " + Num(ScaleY));
        long double previous = Rotate + 1;
        while (std::fabs(previous - Rotate) > 1e-9L) {
            ++count;
            if (count > 500)
                break;
            previous = Rotate;
            MinimizeRotate();
            MinimizeScaleX();
            MinimizeScaleY();
            LogLine("iter " + std::to_string(count) + " rotate " + Num(Rotate) + " scale.x " + Num(ScaleX) +
                    " scale.y " + Num(ScaleY));
        }
        p = ToPolar(Digitized, 1, 1);
        u = FromPolar(p, -Rotate, 1, 1);
    } else {
        ScaleX = 1;
        ScaleY = 1;
    }
    Iterations = std::min(count, 500);
    const long double len = Length(Digitized.Offset);
    const long double phi = std::atan2(Digitized.Offset.y, Digitized.Offset.x) + Rotate;
    Drawing.Offset = {std::cos(phi) * ScaleX * len, std::sin(phi) * ScaleY * len};

    LogLine("angleofref " + Num(a0));
    LogRecord("drawing ", Drawing, false);
    LogRecord("digitize ", Digitized, false);
    LogRecord("polar ", p, true);
    LogRecord("unrotated ", u, true);
    LogLine("rotate " + Num(Rotate));
    LogLine("scale.x " + Num(ScaleX));
    LogLine("scale.y " + Num(ScaleY));
    LogLine("iter " + std::to_string(count));
    return u;
}

TExtendedPoint THpglOutput::TransformPoint(const TExtendedPoint &p) const
{
    return TTransform(*this).Apply(p);
}

void THpglOutput::EmitTo(std::string &out, bool backward, bool firstPoint, std::string *debug) const
{
    const int n = std::min({static_cast<int>(ForwardPoints.size()), ForwardCommands.Count(), BackwardCommands.Count(),
                            static_cast<int>(BackwardPoints.size())});
    if (n <= 0)
        return;
    const TTransform t(*this);
    Grow(out, static_cast<size_t>(n) * 20);
    if (debug)
        Grow(*debug, static_cast<size_t>(n) * 14);
    const TCommandList &cmds = backward ? BackwardCommands : ForwardCommands;
    const std::vector<TExtendedPoint> &pts = backward ? BackwardPoints : ForwardPoints;
    for (int step = 0; step < n; ++step) {
        const int i = backward ? n - 1 - step : step;
        const TExtendedPoint q = t.Apply(pts[static_cast<size_t>(i)]);
        // Format the two numbers once; the command and the debug copy share them.
        char xs[24], ys[24];
        const long long X = ToWholeUnits(q.x), Y = ToWholeUnits(q.y);
        if (!OutOfRange.Found && (!FitsMachine(X) || !FitsMachine(Y))) {
            const bool xBad = !FitsMachine(X);
            OutOfRange = {true, pts[static_cast<size_t>(i)], xBad ? X : Y, xBad ? 'x' : 'y'};
        }
        char *xe = std::to_chars(xs, xs + sizeof xs, X).ptr;
        char *ye = std::to_chars(ys, ys + sizeof ys, Y).ptr;
        if (firstPoint) {
            out += "papu ";
            firstPoint = false;
        } else {
            out += cmds.Get(i);
        }
        out.append(xs, xe);
        out += ',';
        out.append(ys, ye);
        out += "\r\n";
        if (debug) {
            debug->append(xs, xe);
            *debug += '\t';
            debug->append(ys, ye);
            *debug += "\r\n";
        }
    }
}

std::string THpglOutput::Emit(bool backward, bool firstPoint, std::string *debug) const
{
    std::string out;
    EmitTo(out, backward, firstPoint, debug);
    return out;
}

} // namespace grittor
