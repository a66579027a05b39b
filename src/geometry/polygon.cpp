#include "geometry/polygon.h"

#include "foundation/AbortFlags.h"
#include "foundation/UiHooks.h"
#include "foundation/LogOutput.h"
#include "hpgl/HpglWalk.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <sys/mman.h>

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
    std::snprintf(parent, sizeof parent, "%08X", static_cast<unsigned>(Parent));
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

namespace {

long double SquaredDistance(const TExtendedPoint &a, const TExtendedPoint &b)
{
    const long double dx = a.x - b.x;
    const long double dy = a.y - b.y;
    return dx * dx + dy * dy;
}

// The same answer as Distance(a, b) < limit, taking the square root only
// when the squared distance lies within a hair of limit squared (every line
// of a plot passes here, most far from either limit).
bool ShorterThan(long double squared, long double limit)
{
    const long double l2 = limit * limit;
    if (squared < l2 * 0.999L)
        return true;
    if (squared > l2 * 1.001L)
        return false;
    return std::sqrt(squared) < limit;
}

} // namespace

bool SamePoint(const TExtendedPoint &a, const TExtendedPoint &b, long double tolerance)
{
    return std::fabs(a.x - b.x) < tolerance && std::fabs(a.y - b.y) < tolerance;
}

// ------------------------------------------------------- the vertex store ---

TPolygon::PackedPoint TPolygon::Pack(const TExtendedPoint &p)
{
    PackedPoint out;
    std::memcpy(out.x, &p.x, sizeof out.x);
    std::memcpy(out.y, &p.y, sizeof out.y);
    return out;
}

TExtendedPoint TPolygon::Unpack(const PackedPoint &p)
{
    TExtendedPoint out{0, 0};
    std::memcpy(&out.x, p.x, sizeof p.x);
    std::memcpy(&out.y, p.y, sizeof p.y);
    return out;
}

namespace {
constexpr uint32_t kMarkerBits = 0x7FC00000u; // a quiet NaN: never a stored coordinate
constexpr uint32_t kMarkerMask = 0xFFC00000u;
constexpr uint32_t kLowBits = 22;

uint32_t FloatBits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

float BitsFloat(uint32_t u)
{
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}
} // namespace

void TPolygon::BlockFree::operator()(Cell *p) const { std::free(p); }

uint32_t TPolygon::AddExact(const TExtendedPoint &p)
{
    const uint32_t index = exactCount_;
    if ((index >> ExactChunkBits) >= exactChunks_.size())
        exactChunks_.emplace_back(new PackedPoint[size_t{1} << ExactChunkBits]);
    exactChunks_[index >> ExactChunkBits][index & ((1u << ExactChunkBits) - 1)] = Pack(p);
    ++exactCount_;
    return index;
}

TExtendedPoint TPolygon::SlotValue(const Slot &s) const
{
    if ((s.x & kMarkerMask) != kMarkerBits)
        return {BitsFloat(s.x), BitsFloat(s.y)};
    const uint32_t exact = (s.x & ~kMarkerMask) | (s.y << kLowBits);
    return Unpack(exactChunks_[exact >> ExactChunkBits][exact & ((1u << ExactChunkBits) - 1)]);
}

void TPolygon::SetSlot(Slot &s, const TExtendedPoint &p)
{
    if (FitsFloat(p.x) && FitsFloat(p.y)) {
        s.x = FloatBits(static_cast<float>(p.x));
        s.y = FloatBits(static_cast<float>(p.y));
        return;
    }
    if ((s.x & kMarkerMask) == kMarkerBits) {
        // Already in the exact store (an extended segment end): reuse it.
        const uint32_t exact = (s.x & ~kMarkerMask) | (s.y << kLowBits);
        exactChunks_[exact >> ExactChunkBits][exact & ((1u << ExactChunkBits) - 1)] = Pack(p);
        return;
    }
    const uint32_t exact = AddExact(p);
    s.x = kMarkerBits | (exact & ((1u << kLowBits) - 1));
    s.y = exact >> kLowBits;
}

namespace {
// Whole numbers up to 2^24 are floats as they stand.
constexpr int64_t kFloatWhole = int64_t{1} << 24;
bool FloatWhole(int64_t v) { return v >= -kFloatWhole && v <= kFloatWhole; }

// The offset of a whole number from the origin, when a cell can hold it
// (INT16_MIN marks a far cell).
bool NearWhole(int64_t v, int32_t origin, int16_t &offset)
{
    const int64_t d = v - origin;
    if (d < -INT16_MAX || d > INT16_MAX)
        return false;
    offset = static_cast<int16_t>(d);
    return true;
}

// The same for an Extended coordinate: it must be whole, and not -0 (which
// comes back as it went in, and a cell would make it +0).
bool NearExtended(long double v, int32_t origin, int16_t &offset)
{
    if (!(v > -4e9L && v < 4e9L)) // NaN fails too
        return false;
    const int64_t i = static_cast<int64_t>(v);
    if (static_cast<long double>(i) != v || (i == 0 && std::signbit(v)))
        return false;
    return NearWhole(i, origin, offset);
}

int32_t OriginOf(long double middle)
{
    // Whole, and far enough from the ends of 32 bits that origin + offset
    // never overflows.
    return middle > -1e9L && middle < 1e9L ? static_cast<int32_t>(middle) : 0;
}
} // namespace

void TPolygon::SetSlotWhole(Slot &s, int64_t x, int64_t y)
{
    if (!FloatWhole(x) || !FloatWhole(y)) {
        SetSlot(s, {static_cast<long double>(x), static_cast<long double>(y)});
        return;
    }
    s.x = FloatBits(static_cast<float>(x));
    s.y = FloatBits(static_cast<float>(y));
}

TPolygon::Slot &TPolygon::WideSlot(Group &g, Cell &c)
{
    if (c.x != FarCell) {
        c.x = FarCell;
        c.y = static_cast<int16_t>(static_cast<uint16_t>(g.wide.size()));
        g.wide.push_back(Slot{0, 0}); // no reference to the exact store yet
    }
    return g.wide[static_cast<uint16_t>(c.y)];
}

TExtendedPoint TPolygon::VertexAt(uint32_t index) const
{
    const Group &g = groups_[index >> GroupBits];
    const Cell c = g.cells[index & ((1u << GroupBits) - 1)];
    if (c.x != FarCell)
        return {static_cast<long double>(originX_ + c.x), static_cast<long double>(originY_ + c.y)};
    return SlotValue(g.wide[static_cast<uint16_t>(c.y)]);
}

void TPolygon::SetVertexAt(uint32_t index, const TExtendedPoint &p)
{
    Group &g = groups_[index >> GroupBits];
    Cell &c = g.cells[index & ((1u << GroupBits) - 1)];
    int16_t dx, dy;
    if (c.x != FarCell && NearExtended(p.x, originX_, dx) && NearExtended(p.y, originY_, dy)) {
        c = {dx, dy};
        return;
    }
    SetSlot(WideSlot(g, c), p);
}

uint32_t TPolygon::NewCell(int pen)
{
    const uint32_t index = vertexCount_;
    if (cellsLeft_ == 0) {
        // The last group is full (index is the first of the next), or
        // there is none yet.
        if (groups_.size() % GroupsPerBlock == 0) {
            constexpr size_t bytes = (sizeof(Cell) << GroupBits) * GroupsPerBlock;
            void *mem = std::aligned_alloc(bytes, bytes); // filled as it grows, no need to clear
            if (!mem)
                throw std::bad_alloc();
            ::madvise(mem, bytes, MADV_HUGEPAGE);
            blocks_.emplace_back(static_cast<Cell *>(mem));
        }
        groups_.push_back(Group{blocks_.back().get() + ((groups_.size() % GroupsPerBlock) << GroupBits), {}});
        nextCell_ = groups_.back().cells;
        cellsLeft_ = 1u << GroupBits;
    }
    nextCell_->x = 0; // a fresh cell has no wide slot
    ++nextCell_;
    --cellsLeft_;
    ++vertexCount_;
    if (penRuns_.empty() || penRuns_.back().second != pen)
        penRuns_.emplace_back(index, pen);
    runPen_ = pen;
    return index;
}

void TPolygon::AppendVertex(const TExtendedPoint &p, int pen)
{
    SetVertexAt(NewCell(pen), p);
}

void TPolygon::AppendWhole(int64_t x, int64_t y, int pen)
{
    if (!AppendNear(x, y, pen))
        SetWholeAt(NewCell(pen), x, y);
}

void TPolygon::SetWholeAt(uint32_t index, int64_t x, int64_t y)
{
    Group &g = groups_[index >> GroupBits];
    Cell &c = g.cells[index & ((1u << GroupBits) - 1)];
    int16_t dx, dy;
    if (c.x != FarCell && NearWhole(x, originX_, dx) && NearWhole(y, originY_, dy)) {
        c = {dx, dy};
        return;
    }
    SetSlotWhole(WideSlot(g, c), x, y);
}

int TPolygon::PenOfVertex(uint32_t index) const
{
    auto it = std::upper_bound(penRuns_.begin(), penRuns_.end(), index,
                               [](uint32_t v, const std::pair<uint32_t, int32_t> &r) { return v < r.first; });
    return it == penRuns_.begin() ? 0 : std::prev(it)->second;
}

TObjectList &TPolygon::NewObject()
{
    TObjectList o;
    o.owner_ = this;
    o.number_ = static_cast<uint32_t>(Objects.size());
    o.first_ = vertexCount_;
    Objects.push_back(o);
    last_ = &Objects.back();
    return *last_;
}

size_t TPolygon::OutlineBytes() const
{
    size_t wide = 0;
    for (const Group &g : groups_)
        wide += g.wide.capacity() * sizeof(Slot);
    return Objects.size() * sizeof(TObjectList) + blocks_.size() * ((sizeof(Cell) << GroupBits) * GroupsPerBlock) +
           wide + exactChunks_.size() * (sizeof(PackedPoint) << ExactChunkBits) +
           penRuns_.capacity() * sizeof(penRuns_[0]);
}

TExtendedPoint TObjectList::Vertex(int k) const { return owner_->VertexAt(first_ + static_cast<uint32_t>(k)); }

TSegment TObjectList::Segment(int j) const
{
    const uint32_t end = first_ + static_cast<uint32_t>(j) + 1;
    TSegment s(owner_->VertexAt(end - 1), owner_->VertexAt(end), owner_->PenOfVertex(end));
    s.Recompute();
    s.Parent = number_;
    return s;
}

// ---------------------------------------------------------------- TPolygon ---

TPolygon::TPolygon(const TBorderFlags &border, bool debug, const TExtendedPoint &middle)
    : border_(border), debug_(debug), originX_(OriginOf(middle.x)), originY_(OriginOf(middle.y))
{
    PenGroups.SetSorted(true);
    PenGroups.SetDuplicateFree(true);
    LogOutput().Write("Start Collection of segments", true, true);
    if (debug_)
        LogOutput().Write("startp      \tEndp        \tParent     \tm    \tb    \tlen    \tInter type  \tInter \tColor",
                          true, true);
    NewObject();
}

TPolygon::~TPolygon() = default;

TExtendedPoint TPolygon::MiddleOf(const THpglFile &plot)
{
    if (!plot.HasExtent())
        return {0, 0};
    return {(plot.MinPoint().x + plot.MaxPoint().x) / 2, (plot.MinPoint().y + plot.MaxPoint().y) / 2};
}

namespace {
// The integer path takes coordinates below 2^30: differences then stay
// below 2^31 and sums of their squares below 2^63, exact as int64_t and as
// Extended alike.
constexpr int64_t kWholeLimit = int64_t{1} << 30;
bool WholeInRange(int64_t v) { return v > -kWholeLimit && v < kWholeLimit; }
} // namespace

void TPolygon::WalkPoint::Set(const TExtendedPoint &point)
{
    // -0 stays an Extended value (as an integer it would become +0).
    whole = hpglimpl::IntegralPosition(point.x, x) && hpglimpl::IntegralPosition(point.y, y) && WholeInRange(x) &&
            WholeInRange(y);
    p = point;
}

void TPolygon::Move(const TExtendedPoint &point, int /*pen*/)
{
    if (Objects.empty())
        NewObject();
    TObjectList &o = Objects.back();
    if (!o.Empty()) {
        // A pen-up move that goes nowhere does not end the outline.
        if (SamePoint(point, current_.Get(), SamePointTolerance))
            return;
        StartNextOutline(o);
    }
    current_.Set(point);
    NoteMove(point);
}

void TPolygon::MoveWhole(int64_t x, int64_t y, int pen)
{
    if (!last_ || !current_.whole || !WholeInRange(x) || !WholeInRange(y)) {
        Move({static_cast<long double>(x), static_cast<long double>(y)}, pen);
        return;
    }
    TObjectList &o = *last_;
    if (!o.Empty()) {
        // Whole numbers within the tolerance (0.8) of each other are equal.
        if (x == current_.x && y == current_.y)
            return;
        StartNextOutline(o);
    }
    current_.whole = true;
    current_.x = x;
    current_.y = y;
    if (movesLogged_ <= MaxLoggedOutlines)
        NoteMove({static_cast<long double>(x), static_cast<long double>(y)});
    else
        ++movesLogged_;
}

void TPolygon::StartNextOutline(TObjectList &last)
{
    if (!SamePoint(last.Start(), last.End(), SamePointTolerance)) {
        last.NotClosed = true;
        if (notClosedLogged_ < MaxLoggedOutlines)
            LogOutput().Write("Object not closed", true, true);
        else if (notClosedLogged_ == MaxLoggedOutlines)
            LogOutput().Write("Object not closed: further open outlines of this plot are not logged", true, true);
        ++notClosedLogged_;
    }
    NewObject();
}

void TPolygon::NoteMove(const TExtendedPoint &point)
{
    // A big CAD plot starts hundreds of thousands of outlines; logging each
    // would rotate the whole log history away on every opening.
    if (movesLogged_ < MaxLoggedOutlines)
        LogOutput().Write("start new object " + FormatPoint(point), true, true);
    else if (movesLogged_ == MaxLoggedOutlines)
        LogOutput().Write("start new object: further outlines of this plot are not logged", true, true);
    ++movesLogged_;
}

void TPolygon::AddGroupPen(int pen)
{
    PenGroups.Add(pen, nullptr);
    lastGroupPen_ = pen;
    haveLastGroupPen_ = true;
}

void TPolygon::Line(const TExtendedPoint &point, int pen) { LineTo(point, pen); }

bool TPolygon::LineTo(const TExtendedPoint &point, int pen)
{
    if (Objects.empty())
        NewObject();
    TObjectList &o = Objects.back();
    o.Pen = pen;
    if (!o.Empty() && lastExtends_) {
        // Short pieces (arc chords) are extended rather than multiplied.
        // The current point follows the extended end, so the next segment
        // starts where this one now ends and no vertex is lost from the path.
        const uint32_t last = o.first_ + o.vertices_ - 1;
        lastExtends_ = ShorterThan(SquaredDistance(lastStart_.Get(), point), SegmentExtendLength);
        SetVertexAt(last, point);
        current_.SetExtended(point);
        return true;
    }
    const TExtendedPoint current = current_.Get();
    const long double length2 = SquaredDistance(current, point);
    if (ShorterThan(length2, SegmentMinLength))
        return false; // a tiny step: wait until the pen has moved far enough
    NoteGroupPen(pen);
    if (o.Empty()) {
        o.first_ = vertexCount_;
        AppendVertex(current, pen);
        o.vertices_ = 1;
    }
    // Within an outline each segment starts where the last one ended: the
    // current point is always the outline's last vertex.
    AppendVertex(point, pen);
    ++o.vertices_;
    lastStart_ = current_;
    lastExtends_ = ShorterThan(length2, SegmentExtendLength);
    current_.SetExtended(point);
    if (debug_)
        LogOutput().Write(o.Segment(o.Count() - 1).DebugLine(), true, true);
    return true;
}

void TPolygon::LineWhole(int64_t x, int64_t y, int pen)
{
    // Most lines of a big plot: a new segment of an outline under way, from
    // a whole point after one at least 1 long, to a whole point near the
    // origin in the pen of the vertex before, a pen of the groups already.
    // Everything else takes the general way, out of line, so that this one
    // calls nothing and stays short.
    if (!debug_ && last_ && current_.whole && !lastExtends_ && !last_->Empty() && WholeInRange(x) &&
        WholeInRange(y) && haveLastGroupPen_ && lastGroupPen_ == pen && PenGroups.Count() != 0 &&
        (x != current_.x || y != current_.y) && AppendNear(x, y, pen)) {
        TObjectList &o = *last_;
        o.Pen = pen;
        ++o.vertices_;
        lastStart_.x = current_.x;
        lastStart_.y = current_.y;
        lastStart_.whole = true;
        current_.x = x;
        current_.y = y;
        return;
    }
    LineWholeGenerally(x, y, pen);
}

void TPolygon::LineWholeGenerally(int64_t x, int64_t y, int pen)
{
    // The integer path ends where an Extended value or the debug lines come in.
    if (debug_ || !last_ || !current_.whole || !WholeInRange(x) || !WholeInRange(y) ||
        (lastExtends_ && !lastStart_.whole && !last_->Empty())) {
        // The pen at a whole point again: the integer path goes on from there.
        if (LineTo({static_cast<long double>(x), static_cast<long double>(y)}, pen) && WholeInRange(x) &&
            WholeInRange(y)) {
            current_.whole = true;
            current_.x = x;
            current_.y = y;
        }
        return;
    }
    // Squared lengths are whole numbers here: one shorter than the extension
    // length (1) or the least length (0.8) is 0.
    TObjectList &o = *last_;
    o.Pen = pen;
    if (!o.Empty() && lastExtends_) {
        const int64_t sx = x - lastStart_.x;
        const int64_t sy = y - lastStart_.y;
        lastExtends_ = sx == 0 && sy == 0;
        SetWholeAt(o.first_ + o.vertices_ - 1, x, y);
        current_.x = x;
        current_.y = y;
        return;
    }
    if (x == current_.x && y == current_.y)
        return;
    NoteGroupPen(pen);
    if (o.Empty()) {
        o.first_ = vertexCount_;
        AppendWhole(current_.x, current_.y, pen);
        o.vertices_ = 1;
    }
    AppendWhole(x, y, pen);
    ++o.vertices_;
    lastStart_.whole = true;
    lastStart_.x = current_.x;
    lastStart_.y = current_.y;
    lastExtends_ = false;
    current_.x = x;
    current_.y = y;
}

bool TPolygon::IsBorderPen(int pen) const
{
    if (pen < 0)
        return false;
    return border_[static_cast<size_t>(pen % 10)];
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
    // A big plot's dump takes a while: the windows keep moving (and a
    // closing main window is noticed) between the blocks written.
    TBreather breather;
    for (const TObjectList &obj : Objects) {
        if (GetAbortFlags().Closing)
            break;
        buf += "\t\tPen\t";
        buf += std::to_string(obj.Pen);
        buf += "\r\n";
        for (int k = 0; k <= obj.Count() && !obj.Empty(); ++k)
            AppendXY(buf, obj.Vertex(k));
        if (buf.size() > (1 << 16) - 256) {
            ok = ok && std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
            buf.clear();
            if (GetUiHooks().IsUiThread())
                breather.Breathe();
        }
    }
    ok = ok && std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok)
        throw std::runtime_error("cannot write " + fileName);
}

} // namespace grittor
