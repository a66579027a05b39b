#include "geometry/polygon.h"

#include "foundation/AbortFlags.h"
#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "hpgl/HpglOutput.h"
#include "hpgl/hpgl.h"
#include "pens/MaterialLibrary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace grittor {

const char *IntersectionTypeName(TIntersectionType t)
{
    switch (t) {
    case TIntersectionType::ITNoIntersection:
        return "ITNoIntersection";
    case TIntersectionType::ITIntersection:
        return "ITIntersection  ";
    case TIntersectionType::ITStartPoint:
        return "ITStartPoint    ";
    case TIntersectionType::ITEndPoint:
        return "ITEndPoint      ";
    }
    return "ITNoIntersection";
}

// ---------------------------------------------------------------- TSegment ---

TSegment::TSegment(const TExtendedPoint &start, const TExtendedPoint &end, int pen)
    : StartPoint(start), EndPoint(end), Pen(pen)
{
    length = Distance(start, end);
    if (length < SegmentMinLength)
        length = 0;
}

void TSegment::Recompute()
{
    length = Distance(StartPoint, EndPoint);
    if (length < SegmentZeroLength) {
        length = 0;
        return;
    }
    long double x2 = EndPoint.x;
    // A near-vertical edge gets a large finite slope instead of a division
    // by (almost) zero.
    if (std::fabs(StartPoint.x - EndPoint.x) < SegmentZeroLength)
        x2 = EndPoint.x + 0.05L;
    m = (EndPoint.y - StartPoint.y) / (x2 - StartPoint.x);
    b = EndPoint.y - m * EndPoint.x;
}

std::string TSegment::DebugLine() const
{
    char parent[16];
    std::snprintf(parent, sizeof parent, "%08X",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(Parent) & 0xFFFFFFFFu));
    std::string s;
    s.reserve(120);
    s += FormatPointFixed(StartPoint, 1);
    s += '\t';
    s += FormatPointFixed(EndPoint, 1);
    s += '\t';
    s += parent;
    s += '\t';
    s += FormatExtendedFixed(m, 3);
    s += '\t';
    s += FormatExtendedFixed(b, 3);
    s += '\t';
    s += FormatExtendedFixed(length, 1);
    s += '\t';
    s += IntersectionTypeName(IntersectionType);
    s += '\t';
    s += FormatPointFixed(IntersectionPoint, 1);
    s += '\t';
    s += std::to_string(Pen);
    return s;
}

bool SamePoint(const TExtendedPoint &a, const TExtendedPoint &b, long double tolerance)
{
    return std::fabs(a.x - b.x) < tolerance && std::fabs(a.y - b.y) < tolerance;
}

// ---------------------------------------------------------------- TPolygon ---

TPolygon::TPolygon()
{
    PenGroups.SetSorted(true);
    PenGroups.SetDuplicateFree(true);
}

TPolygon::~TPolygon() = default;

void TPolygon::StartCollection(THpglFile *file)
{
    LogOutput().Write("Start Collection of segments", true, true);
    movesLogged_ = 0;
    notClosedLogged_ = 0;
    if (Debug)
        LogOutput().Write("startp      \tEndp        \tParent     \tm    \tb    \tlen    \tInter type  \tInter \tColor",
                          true, true);
    Objects.clear();
    Objects.push_back(std::make_unique<TObjectList>());
    CurrentPoint = {0, 0};
    HpglFile = file;
    if (file) {
        file->OnMove = [this](const TExtendedPoint &p, int pen) { Move(p, pen); };
        file->OnLine = [this](const TExtendedPoint &p, int pen) { Line(p, pen); };
    }
    Border.fill(false);
    ClearPenGroups();
    CurrentPen = -1;
    for (TPens *rec : PensOfMaterial(SelectedMaterial())) {
        if (rec->pen < 0 || rec->pen >= static_cast<int>(Border.size()))
            continue; // the record's setter keeps pen within 0..10
        Border[static_cast<size_t>(rec->pen)] = rec->border != 0;
        if (rec->border)
            CurrentPen = rec->pen; // the last border record wins
    }
}

void TPolygon::Move(const TExtendedPoint &point, int /*pen*/)
{
    if (Objects.empty())
        Objects.push_back(std::make_unique<TObjectList>());
    TObjectList &o = *Objects.back();
    if (!o.Segments.empty()) {
        // A pen-up move that goes nowhere does not end the outline.
        if (SamePoint(point, CurrentPoint, SamePointTolerance))
            return;
        if (!SamePoint(o.Segments.front().StartPoint, o.Segments.back().EndPoint, SamePointTolerance)) {
            o.NotClosed = true;
            if (notClosedLogged_ < MaxLoggedOutlines)
                LogOutput().Write("Object not closed", true, true);
            else if (notClosedLogged_ == MaxLoggedOutlines)
                LogOutput().Write("Object not closed: further open outlines of this plot are not logged", true, true);
            ++notClosedLogged_;
        }
        Objects.push_back(std::make_unique<TObjectList>());
    }
    CurrentPoint = point;
    // A big CAD plot starts hundreds of thousands of outlines; logging each
    // would rotate the whole log history away on every opening.
    if (movesLogged_ < MaxLoggedOutlines)
        LogOutput().Write("start new object " + FormatPoint(point), true, true);
    else if (movesLogged_ == MaxLoggedOutlines)
        LogOutput().Write("start new object: further outlines of this plot are not logged", true, true);
    ++movesLogged_;
}

void TPolygon::Line(const TExtendedPoint &point, int pen)
{
    if (Objects.empty())
        Objects.push_back(std::make_unique<TObjectList>());
    TObjectList &o = *Objects.back();
    o.Pen = pen;
    if (!o.Segments.empty() && o.Segments.back().length < SegmentExtendLength) {
        // Short pieces (arc chords) are extended rather than multiplied.  The
        // current point follows the extended end, so the next segment starts
        // where this one now ends and no vertex is lost from the path.
        TSegment &last = o.Segments.back();
        last.EndPoint = point;
        last.Recompute();
        CurrentPoint = point;
        return;
    }
    TSegment seg(CurrentPoint, point, pen);
    if (seg.length == 0)
        return; // a tiny step: wait until the pen has moved far enough
    if (!haveLastGroupPen_ || lastGroupPen_ != pen || PenGroups.Count() == 0) {
        PenGroups.Add(pen, nullptr);
        lastGroupPen_ = pen;
        haveLastGroupPen_ = true;
    }
    CurrentPoint = point;
    seg.Recompute();
    seg.Parent = &o;
    o.Segments.push_back(seg);
    if (Debug)
        LogOutput().Write(o.Segments.back().DebugLine(), true, true);
}

THpglOutput *TPolygon::GroupOutput(int index) const
{
    return static_cast<THpglOutput *>(PenGroups.Data(index));
}

void TPolygon::SetGroupOutput(int index, std::unique_ptr<THpglOutput> output)
{
    THpglOutput *old = GroupOutput(index);
    if (old == output.get())
        return;
    if (old) {
        auto it = std::find_if(outputs_.begin(), outputs_.end(),
                               [old](const std::unique_ptr<THpglOutput> &p) { return p.get() == old; });
        if (it != outputs_.end())
            outputs_.erase(it);
    }
    THpglOutput *raw = output.get();
    if (output)
        outputs_.push_back(std::move(output));
    PenGroups.SetData(index, raw);
}

THpglOutput &TPolygon::NewGroupOutput(int index, bool solveScale)
{
    auto out = std::make_unique<THpglOutput>();
    out->SolveScale = solveScale;
    CurrentPen = GroupPen(index);
    out->BuildPath(*this);
    THpglOutput &ref = *out;
    SetGroupOutput(index, std::move(out));
    return ref;
}

void TPolygon::ShareDrawingAlignment()
{
    THpglOutput all;
    all.Drawing.Ref = {1e7L, 1e7L};
    all.Drawing.Skew = {-1e7L, 1e7L};
    all.Drawing.Stretch = {-1e7L, -1e7L};
    for (int i = 0; i < GroupCount(); ++i)
        if (const THpglOutput *out = GroupOutput(i))
            for (const TExtendedPoint &p : out->ForwardPoints)
                all.UpdateExtremes(p);
    for (int i = 0; i < GroupCount(); ++i)
        if (THpglOutput *out = GroupOutput(i); out && !out->Empty()) {
            out->Drawing.Ref = all.Drawing.Ref;
            out->Drawing.Skew = all.Drawing.Skew;
            out->Drawing.Stretch = all.Drawing.Stretch;
        }
}

void TPolygon::FreeOutputs()
{
    for (int i = 0; i < PenGroups.Count(); ++i)
        PenGroups.SetData(i, nullptr);
    outputs_.clear();
}

void TPolygon::ClearPenGroups()
{
    FreeOutputs();
    PenGroups.Clear();
    haveLastGroupPen_ = false;
}

bool TPolygon::IsBorderPen(int pen) const
{
    if (pen < 0)
        return false;
    return Border[static_cast<size_t>(pen % 10)];
}

int TPolygon::BorderGroupIndex() const
{
    for (int i = 0; i < PenGroups.Count(); ++i)
        if (IsBorderPen(PenGroups.Value(i)))
            return i;
    return -1;
}

namespace {

void AppendXY(std::string &out, const TExtendedPoint &p)
{
    out += FormatExtended(p.x);
    out += '\t';
    out += FormatExtended(p.y);
    out += "\r\n";
}

} // namespace

void TPolygon::DumpSegments(const std::string &fileName, bool append) const
{
    std::FILE *f = std::fopen(fileName.c_str(), append ? "ab" : "wb");
    if (!f)
        throw std::runtime_error("cannot write " + fileName + ": " + std::strerror(errno));
    std::string buf;
    buf.reserve(1 << 16);
    bool ok = true;
    for (const auto &obj : Objects) {
        if (GetAbortFlags().Closing)
            break;
        buf += "\t\tPen\t";
        buf += std::to_string(obj->Pen);
        buf += "\r\n";
        if (!obj->Segments.empty())
            AppendXY(buf, obj->Segments.front().StartPoint);
        for (const TSegment &s : obj->Segments)
            AppendXY(buf, s.EndPoint);
        if (buf.size() > (1 << 16) - 256) {
            ok = ok && std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
            buf.clear();
        }
    }
    ok = ok && std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok)
        throw std::runtime_error("cannot write " + fileName);
}

TPolygon &Polygon()
{
    static TPolygon polygon;
    return polygon;
}

} // namespace grittor
