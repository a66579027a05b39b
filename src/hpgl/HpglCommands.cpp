// The scan of the reading: what each instruction does to the plotter state
// and the extent, run once per instruction behind the reading, from the
// numbers it stored (scaled to plot units as they were read).  The drawing of the instructions is the
// replay's (PlotReplay.cpp); both share the pieces of HpglWalk.h.
#include "hpgl/HpglNumbers.h"
#include "hpgl/HpglWalk.h"
#include "hpgl/hpgl.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace grittor {

using namespace hpglimpl;

int ClampToInt(long double v)
{
    return Truncate(v);
}

// ------------------------------------------------------------- the scan ---

inline void THpglFile::Extent(const TExtendedPoint &p)
{
    if (!hasExtent_) {
        // The first point is the whole extent; a point that is no number
        // (which no comparison would ever take) does not start one.
        if (std::isnan(p.x) || std::isnan(p.y))
            return;
        minPoint_ = maxPoint_ = p;
        hasExtent_ = true;
        return;
    }
    if (p.x < minPoint_.x)
        minPoint_.x = p.x;
    if (p.y < minPoint_.y)
        minPoint_.y = p.y;
    if (p.x > maxPoint_.x)
        maxPoint_.x = p.x;
    if (p.y > maxPoint_.y)
        maxPoint_.y = p.y;
}

void THpglFile::ScaleForScan(TCommandKind k, long double *v, int n)
{
    // Times one changes nothing, not even a zero's sign: `v` may then be
    // null, and only the count is looked at.
    const long double m = multiplier_;
    const bool scale = m != 1.0L;
    switch (k) {
    case TCommandKind::PA:
    case TCommandKind::PR:
    case TCommandKind::PD:
    case TCommandKind::PU:
        if (scale)
            for (int j = 0; j + 1 < n; j += 2) {
                v[j] *= m;
                v[j + 1] *= m;
            }
        break;
    case TCommandKind::AA:
    case TCommandKind::AR:
        if (n < 3) {
            ReportError("Insuficent Number of Parameters to AA command");
            break;
        }
        if (scale) {
            v[0] *= m;
            v[1] *= m;
        }
        break;
    case TCommandKind::CI:
        if (n < 1) {
            ReportError("Insuficent Number of Parameters to CI command");
            break;
        }
        if (scale)
            v[0] *= m;
        break;
    case TCommandKind::EA:
    case TCommandKind::ER:
        if (n < 2) {
            ReportError("Insuficent Number of Parameters to ER command");
            break;
        }
        if (scale) {
            v[0] *= m;
            v[1] *= m;
        }
        break;
    default:
        break; // the others change nothing (SP's pen is the reader's business)
    }
}

void THpglFile::ScanStored(int i, uint32_t numbersEnd)
{
    const Rec &r = recs_[static_cast<size_t>(i)];
    const TCommandKind k = r.kind;
    const int n = CountOf(r, numbersEnd);
    const auto v = [this, i](int j) { return NumberOf(i, j); };
    switch (k) {
    case TCommandKind::PA:
    case TCommandKind::PR:
    case TCommandKind::PD:
    case TCommandKind::PU: {
        if (k == TCommandKind::PA)
            scan_.Relative = false;
        else if (k == TCommandKind::PR)
            scan_.Relative = true;
        else
            scan_.PenDown = k == TCommandKind::PD ? 1 : 0;
        int j = 0;
        if (!(r.flags & FlagWide)) {
            // Pairs of whole numbers (the low four bits of a word hold no
            // decimal places), absolute or from a whole-numbered position,
            // are summed up in integers and go into the extent as corners,
            // as PE points do: exactly the Extended sums (far below 2^63),
            // without each position going through memory in 80 bits.
            int64_t px = 0, py = 0;
            if (!scan_.Relative || (IntegralPosition(scan_.Position.x, px) && IntegralPosition(scan_.Position.y, py))) {
                const uint32_t *w = nums_.data() + r.numOff;
                int64_t minX = 0, minY = 0, maxX = 0, maxY = 0;
                for (; j + 1 < n && hpglnum::BothWhole(w[j], w[j + 1]); j += 2) {
                    const int64_t x = hpglnum::WholeOf(w[j]);
                    const int64_t y = hpglnum::WholeOf(w[j + 1]);
                    px = scan_.Relative ? px + x : x;
                    py = scan_.Relative ? py + y : y;
                    if (j == 0) {
                        minX = maxX = px;
                        minY = maxY = py;
                    } else {
                        minX = std::min(minX, px);
                        maxX = std::max(maxX, px);
                        minY = std::min(minY, py);
                        maxY = std::max(maxY, py);
                    }
                }
                if (j > 0) {
                    scan_.Position = {static_cast<long double>(px), static_cast<long double>(py)};
                    Extent({static_cast<long double>(minX), static_cast<long double>(minY)});
                    Extent({static_cast<long double>(maxX), static_cast<long double>(maxY)});
                }
            }
        }
        for (; j + 1 < n; j += 2) {
            const long double x = v(j), y = v(j + 1);
            if (scan_.Relative)
                scan_.Position = {scan_.Position.x + x, scan_.Position.y + y};
            else
                scan_.Position = {x, y};
            Extent(scan_.Position);
        }
        break;
    }
    case TCommandKind::AA:
    case TCommandKind::AR:
        if (n < 3)
            break;
        scan_.ArcCenter = k == TCommandKind::AA ? TExtendedPoint{v(0), v(1)}
                                                : TExtendedPoint{scan_.Position.x + v(0), scan_.Position.y + v(1)};
        scan_.ArcAngle = v(2);
        ScanArc();
        break;
    case TCommandKind::CI:
        if (n < 1)
            break;
        scan_.ArcCenter = scan_.Position;
        scan_.ArcAngle = 360;
        scan_.Position = {scan_.ArcCenter.x - v(0), scan_.ArcCenter.y};
        ScanArc();
        scan_.Position = scan_.ArcCenter;
        break;
    case TCommandKind::EA:
    case TCommandKind::ER: {
        if (n < 2)
            break;
        Extent(scan_.Position);
        const TExtendedPoint corner = k == TCommandKind::EA
                                          ? TExtendedPoint{v(0), v(1)}
                                          : TExtendedPoint{scan_.Position.x + v(0), scan_.Position.y + v(1)};
        Extent(corner);
        break;
    }
    case TCommandKind::PE: {
        // Whole-numbered points are summed up as such and go into the
        // extent as its corners at the end: the same smallest and largest
        // values, without a comparison of Extended values per point.
        struct PeExtent {
            THpglFile &file;
            bool any = false;
            int64_t minX = 0, minY = 0, maxX = 0, maxY = 0;
            void operator()(const TExtendedPoint &p, int) { file.Extent(p); }
            void operator()(int64_t x, int64_t y, int)
            {
                if (!any) {
                    minX = maxX = x;
                    minY = maxY = y;
                    any = true;
                    return;
                }
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
        } extent{*this};
        const auto select = [](int) {}; // the reading took the pens (PePenWalk)
        const int pen = ScannedPenOf(i);
        if (PeDiagnostics())
            WalkPE<true>(PeData(r), scan_, pen, multiplier_, "\t\t\tpegl minmax entry\r\n", extent, select);
        else
            WalkPE<false>(PeData(r), scan_, pen, multiplier_, "", extent, select);
        if (extent.any) {
            Extent({static_cast<long double>(extent.minX), static_cast<long double>(extent.minY)});
            Extent({static_cast<long double>(extent.maxX), static_cast<long double>(extent.maxY)});
        }
        break;
    }
    default:
        break;
    }
}

void THpglFile::ScanArc()
{
    const long double dx = scan_.Position.x - scan_.ArcCenter.x;
    const long double dy = scan_.Position.y - scan_.ArcCenter.y;
    if (std::fabs(dx) < 1e-5L && std::fabs(dy) < 1e-5L)
        return; // zero radius
    scan_.ArcAngle = scan_.ArcAngle * kPi / 180;
    const Sweep s = Chords(scan_.ArcAngle, kScanStep);
    // When the whole circle lies inside the extent already (with room for
    // rounding), no point can move it: only the end point is needed, from
    // the same sum of steps.
    const long double r = std::sqrt(dx * dx + dy * dy);
    const long double room = (r + std::fabs(scan_.ArcCenter.x) + std::fabs(scan_.ArcCenter.y)) * 1e-15L;
    const long double reach = r + room;
    if (s.n > 1 && hasExtent_ && scan_.ArcCenter.x - reach > minPoint_.x && scan_.ArcCenter.x + reach < maxPoint_.x &&
        scan_.ArcCenter.y - reach > minPoint_.y && scan_.ArcCenter.y + reach < maxPoint_.y) {
        long double a = 0;
        for (long j = 0; j < s.n; ++j)
            a += s.delta;
        long double sn, c;
        SinCos(a, sn, c);
        scan_.Position.x = dx * c - dy * sn + scan_.ArcCenter.x;
        scan_.Position.y = dy * c + dx * sn + scan_.ArcCenter.y;
        return;
    }
    long double a = 0;
    for (long j = 0; j < s.n; ++j) {
        a += s.delta;
        long double sn, c;
        SinCos(a, sn, c);
        scan_.Position.x = dx * c - dy * sn + scan_.ArcCenter.x;
        scan_.Position.y = dy * c + dx * sn + scan_.ArcCenter.y;
        Extent(scan_.Position);
    }
}

int THpglFile::PePenWalk(int i, int pen)
{
    // Only ":" starts a pen selection; without one the walk ends with the
    // pen it started with, and the reading need not decode it.
    const std::string_view data = PeData(recs_[static_cast<size_t>(i)]);
    if (data.find(':') == std::string_view::npos)
        return pen;
    TPlotterState scratch;
    const auto nowhere = [](const TExtendedPoint &, int) {};
    const auto select = [this](int selected) { CurrentPen = selected; };
    return WalkPE<false>(data, scratch, pen, multiplier_, "", nowhere, select);
}

} // namespace grittor
