#include "geometry/Blow.h"

#include "foundation/AbortFlags.h"
#include "foundation/LogOutput.h"
#include "foundation/Progress.h"
#include "foundation/option.h"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace grittor {

namespace {

constexpr long double StartCorner = -1000000.0L;

// Direction of the pass shift, k x 45 degrees, exact at quarter turns.
TExtendedPoint PassDirection(int k)
{
    static const long double r = std::sqrt(0.5L);
    static const TExtendedPoint dirs[8] = {{1, 0}, {r, r}, {0, 1}, {-r, r}, {-1, 0}, {-r, -r}, {0, -1}, {r, -r}};
    return dirs[((k % 8) + 8) % 8];
}

struct ProgressGuard {
    explicit ProgressGuard(const std::string &caption) { GetProgress().Show(caption); }
    ~ProgressGuard() { GetProgress().Hide(); }
};

} // namespace

TBlastSettings TBlastSettings::From(const Toption &o)
{
    TBlastSettings s;
    s.Passes = o.Passes;
    s.Times = o.Times;
    s.CenterOffset = o.CenterOffset;
    s.Radius = o.Radius;
    s.Extra = o.Extra;
    s.PassOffset = o.PassOffset;
    s.PenUpOff = o.PenUpOff;
    return s;
}

TBlowList::TBlowList(TMaterialPens material, const TBlastSettings &settings)
    : material_(std::move(material)), settings_(settings)
{
    Reset();
}

void TBlowList::Reset()
{
    items_.clear();
    TBlowItem start;
    start.Output = nullptr;
    start.Passes = 100;
    start.Pen = -1;
    start.StartPass = 0;
    start.Backward = false;
    start.StartPoint = {StartCorner, StartCorner};
    start.EndPoint = {StartCorner, StartCorner};
    items_.push_back(start);
}

void TBlowList::Add(THpglOutput *output, int pen)
{
    if (!output || output->Empty())
        return;
    int passes = settings_.Passes;
    int times = settings_.Times;
    if (const TPens *rec = material_.ForPlotPen(pen)) {
        passes = rec->passes;
        times = rec->Times;
    }
    // The setters keep Times at 1 or more whenever there are passes; hold to
    // that here too so a bad record can never stall the loop.
    if (times < 1)
        times = 1;
    for (int start = 0; start < passes; start += times) {
        TBlowItem item;
        item.Output = output;
        item.Pen = pen;
        item.StartPass = start;
        item.Passes = std::min(times, passes - start);
        item.Backward = false;
        item.StartPoint = output->FirstPoint;
        item.EndPoint = output->LastPoint;
        items_.push_back(item);
    }
}

TBlowDistance TBlowList::Distance(const TBlowItem &a, const TBlowItem &b)
{
    TBlowDistance d;
    d.ToStart = grittor::Distance(a.EndPoint, b.StartPoint);
    d.ToEnd = grittor::Distance(a.EndPoint, b.EndPoint);
    d.Min = std::min(d.ToStart, d.ToEnd);
    return d;
}

void TBlowList::Reverse(TBlowItem &item)
{
    std::swap(item.StartPoint, item.EndPoint);
    item.Backward = !item.Backward;
}

void TBlowList::DistanceSort()
{
    ProgressGuard progress("Distance Sort");
    const int count = Count();
    if (count == 0)
        return;
    for (int i = 0; i + 1 < count; ++i) {
        if (GetAbortFlags().Closing)
            break;
        TBlowItem &cur = items_[static_cast<size_t>(i)];
        // Passes alternate direction, so an even number of them ends where
        // the run began.
        if (cur.Passes % 2 == 0)
            cur.EndPoint = cur.StartPoint;
        GetProgress().SetProgress(static_cast<double>(i) / count);

        int j = i + 1;
        while (j < count && items_[static_cast<size_t>(j)].Pen == cur.Pen)
            ++j;
        if (j < count && j != i + 1)
            std::swap(items_[static_cast<size_t>(i + 1)], items_[static_cast<size_t>(j)]);

        TBlowDistance best = Distance(cur, items_[static_cast<size_t>(i + 1)]);
        for (int k = i + 2; k < count; ++k) {
            const TBlowItem &cand = items_[static_cast<size_t>(k)];
            if (cand.Pen == cur.Pen)
                continue;
            const TBlowItem &nxt = items_[static_cast<size_t>(i + 1)];
            const TBlowDistance d = Distance(cur, cand);
            if (cand.Passes > nxt.Passes || (cand.Passes == nxt.Passes && d.Min < best.Min)) {
                std::swap(items_[static_cast<size_t>(i + 1)], items_[static_cast<size_t>(k)]);
                best = d;
            }
        }
        // Start the run at its nearer end.
        if (best.Min != best.ToStart)
            Reverse(items_[static_cast<size_t>(i + 1)]);
    }
}

long double TJobMap::TotalBlastMs() const
{
    long double ms = 0;
    for (const TJobPass &p : Passes)
        ms += p.BlastMs();
    return ms;
}

int TJobMap::PassAt(size_t offset) const
{
    const auto it = std::upper_bound(Passes.begin(), Passes.end(), offset,
                                     [](size_t o, const TJobPass &p) { return o < p.Offset; });
    return static_cast<int>(it - Passes.begin()) - 1;
}

std::string TBlowList::BuildJobStream(int speed, const TAlignPoints &digitized, std::ostream *debug, TJobMap *map)
{
    LogOutput().Write("Blow HPGL file " + std::to_string(Count() - 1) + " ploygon groups", true, true);
    std::string text = "papu0,0;\r\n";
    size_t estimate = text.size() + 16;
    for (const TBlowItem &item : items_)
        if (item.Output)
            estimate +=
                static_cast<size_t>(item.Passes) * (static_cast<size_t>(item.Output->PointCount()) * 20 + 2) + 64;
    text.reserve(estimate);

    bool firstPass = true;
    std::string debugText;
    const TBlastSettings &opt = settings_;
    for (const TBlowItem &item : items_) {
        if (!item.Output)
            continue;
        LogOutput().Write("output for pen " + std::to_string(item.Pen) + " StartPass " +
                              std::to_string(item.StartPass) + " for " + std::to_string(item.Passes) + " passes" +
                              " backward " + (item.Backward ? "True" : "False"),
                          true, true);
        int penSpeed = speed;
        long double centerOffset = opt.CenterOffset;
        long double radius = opt.Radius;
        long double extra = opt.Extra;
        if (const TPens *rec = material_.ForPlotPen(item.Pen)) {
            penSpeed = rec->blowspeed;
            centerOffset = rec->CenterOffset;
            radius = rec->radius;
            extra = rec->extra;
        }
        const std::string vs = "vs" + std::to_string(penSpeed) + ";";
        const std::string bp = "bp" + std::to_string(static_cast<long long>(radius)) + "," +
                               FormatExtendedFixed(centerOffset, 2) + "," + FormatExtendedFixed(extra, 2) + "," +
                               std::to_string(static_cast<int>(opt.PenUpOff));
        text += vs;
        text += "\r\n";
        text += bp;
        text += "\r\n";
        LogOutput().Write(vs, true, true);
        LogOutput().Write(bp, true, true);

        THpglOutput &out = *item.Output;
        const long double shift = radius * opt.PassOffset / 100;
        const long double blastLength = map ? out.BlastLength() : 0;
        int penPasses = opt.Passes;
        if (const TPens *rec = material_.ForPlotPen(item.Pen))
            penPasses = rec->passes;
        bool backward = item.Backward;
        for (int p = 1; p <= item.Passes; ++p) {
            const int k = item.StartPass + p - 1;
            out.Digitized = digitized;
            if (k != 0) {
                // Each pass of a pen is laid a little beside the previous one.
                const TExtendedPoint dir = PassDirection(k);
                const TExtendedPoint d{shift * dir.x, shift * dir.y};
                out.Digitized.Ref.x += d.x;
                out.Digitized.Ref.y += d.y;
                out.Digitized.Skew.x += d.x;
                out.Digitized.Skew.y += d.y;
            }
            out.Solve();
            const size_t passStart = text.size();
            if (map)
                map->Passes.push_back({passStart, item.Pen, k + 1, penPasses, penSpeed, blastLength});
            debugText.clear();
            out.EmitTo(text, backward, firstPass, debug ? &debugText : nullptr);
            text += "\r\n";
            LogOutput().Write(text.substr(passStart), false, false);
            if (debug && !debugText.empty())
                debug->write(debugText.data(), static_cast<std::streamsize>(debugText.size()));
            backward = !backward;
            firstPass = false;
        }
    }
    text += "pa0,0,0,0,0,0;\r\n";
    if (map)
        map->Length = text.size();
    return text;
}

std::string PenHeaderText(const std::string &name, const TPens &rec)
{
    std::string colour = rec.Color < PenColorCount ? PenColorTable[rec.Color].Name : "";
    while (!colour.empty() && colour.back() == ' ')
        colour.pop_back();
    auto flag = [](bool b) { return std::string(b ? "true " : "false"); };
    return "(Name: '" + name + "'; pen: " + std::to_string(rec.pen) +
           "; CenterOffset: " + FormatExtendedFixed(rec.CenterOffset, 2) + "; radius: " + std::to_string(rec.radius) +
           "; blowspeed: " + std::to_string(rec.blowspeed) + "; Color: ecl" + colour +
           "; border: " + flag(rec.border != 0) + "; margin: (x:" + FormatExtendedFixed(rec.margin.x, 4) +
           "; y:" + FormatExtendedFixed(rec.margin.y, 4) + "); passes: " + std::to_string(rec.passes) +
           "; ScanLine: " + std::to_string(rec.ScanLine) + "; fill: " + flag(rec.fill != 0) +
           "; Times: " + std::to_string(rec.Times) + "; extra: " + FormatExtendedFixed(rec.extra, 2) +
           "; vertper: " + FormatExtendedFixed(rec.vertper, 2) + "),";
}

void WritePenHeaderLog(const TMaterialPens &material)
{
    for (const TPens &rec : material.Pens)
        LogOutput().Write(PenHeaderText(material.Name, rec), true, true);
}

} // namespace grittor
