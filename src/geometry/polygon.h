// The outline collection: the pen movements of one replay of a plot cut into
// outlines of straight segments, the outlines grouped by pen, and the border
// flags of the material's pens.  It is a plot sink: replaying a plot into it
// (ReplayInto, or beside a drawing through TOutlineCollector) collects the plot.
#pragma once

#include "foundation/LargePages.h"
#include "foundation/utils.h"
#include "hpgl/PlotReplay.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <deque>
#include <vector>

namespace grittor {

class TObjectList;

enum class TIntersectionType { ITNoIntersection, ITIntersection, ITStartPoint, ITEndPoint };

// Display name, padded with blanks to 16 characters.
const char *IntersectionTypeName(TIntersectionType t);

// Below this a new segment is degenerate (length 0) and dropped.
constexpr long double SegmentMinLength = 0.8L;
// A recomputed edge shorter than this has length 0.
constexpr long double SegmentZeroLength = 0.01L;
// A last segment shorter than this is extended by the next line.
constexpr long double SegmentExtendLength = 1.0L;
// Moves closer than this to the current point do not start a new outline, and
// outline ends closer than this count as closed.
constexpr long double SamePointTolerance = 0.8L;
// Outlines of one plot whose start (and open end) is written to the debug log.
constexpr long MaxLoggedOutlines = 1000;

class TSegment {
public:
    TSegment() = default;
    TSegment(const TExtendedPoint &start, const TExtendedPoint &end, int pen);

    TExtendedPoint StartPoint;
    TExtendedPoint EndPoint;
    long double m = 0; // y = m x + b through the edge
    long double b = 0;
    long double length = 0; // 0 marks a degenerate edge
    uint32_t Parent = 0;    // number of the owning outline (shown in the debug line)
    int Pen = 0;
    TIntersectionType IntersectionType = TIntersectionType::ITNoIntersection;
    TExtendedPoint IntersectionPoint;

    // Recomputes length, slope and intercept from the two points.
    void Recompute();
    // Tab-separated line for the polygon debug log.
    std::string DebugLine() const;
};

class TPolygon;

// One outline: the segments drawn between two pen-up moves.  Its vertices
// live in the collection's store (segment j runs from vertex j to vertex
// j + 1), so a plot of millions of segments stays compact.
class TObjectList {
public:
    bool NotClosed = false;
    int Pen = -1; // pen of the last line added

    int Count() const { return vertices_ > 0 ? static_cast<int>(vertices_) - 1 : 0; }
    bool Empty() const { return vertices_ < 2; }
    // Vertex k, 0 <= k <= Count().
    TExtendedPoint Vertex(int k) const;
    // Segment j with its line equation computed.
    TSegment Segment(int j) const;
    TExtendedPoint Start() const { return Vertex(0); }
    TExtendedPoint End() const { return Vertex(Count()); }

private:
    friend class TPolygon;
    const TPolygon *owner_ = nullptr;
    uint32_t number_ = 0;   // position in the collection
    uint32_t first_ = 0;    // first vertex in the store
    uint32_t vertices_ = 0; // 0, or segments + 1
};

bool SamePoint(const TExtendedPoint &a, const TExtendedPoint &b, long double tolerance);

// Border flag per pen record number 0..10 (a material's TMaterialPens::BorderFlags).
using TBorderFlags = std::array<bool, 11>;

// The outlines of a collection, in creation order (a deque: growing never
// copies it).
using TOutlineList = std::deque<TObjectList, TArenaAllocator<TObjectList>>;

class TPolygon final : public TPlotSink {
public:
    // An empty collection for a plot blasted with a material of these
    // border flags; `debug` ("Polygon Fill Debug") writes every segment to
    // the debug log as it is made.  Vertices on whole coordinates within
    // 32767 units of `middle` take half the room of the others: the middle
    // of the plot's extent (MiddleOf) suits a plot best.  Any point is kept
    // exactly wherever it lies.
    explicit TPolygon(const TBorderFlags &border = {}, bool debug = false, const TExtendedPoint &middle = {});
    // The middle of the plot's extent, (0, 0) for a plot without one.
    static TExtendedPoint MiddleOf(const THpglFile &plot);
    ~TPolygon() override;
    TPolygon(const TPolygon &) = delete;
    TPolygon &operator=(const TPolygon &) = delete;

    // The pen movements of a replay.
    void Move(const TExtendedPoint &point, int pen) override;
    void Line(const TExtendedPoint &point, int pen) override;
    // A line to a point of whole numbers (most of a big plot's points): the
    // same outlines as Line, in integer arithmetic.
    void LineWhole(int64_t x, int64_t y, int pen) override;
    // A move to a point of whole numbers: the same outlines as Move.
    void MoveWhole(int64_t x, int64_t y, int pen) override;

    int ObjectCount() const { return static_cast<int>(Objects.size()); }
    const TOutlineList &Outlines() const { return Objects; }
    const TBorderFlags &Border() const { return border_; }

    // ---- pen groups: the pens that drew a kept segment, ascending
    int GroupCount() const { return PenGroups.Count(); }
    int GroupPen(int index) const { return PenGroups.Value(index); }
    int GroupIndexOf(int pen) const { return PenGroups.IndexOf(pen); }

    // A plot pen is the border pen when the record of its number modulo 10
    // is marked as border (the job leaves such groups out).
    bool IsBorderPen(int pen) const;
    // Index of the first pen group that is the border pen, -1 when none.
    int BorderGroupIndex() const;

    // Writes every outline as "\t\tPen\t<pen>" followed by its vertices
    // (tab-separated x and y), CR LF line ends.  Raises std::runtime_error
    // when the file cannot be written.
    void DumpSegments(const std::string &fileName, bool append) const;

    // Bytes held for the outlines (records, vertices, pens).
    size_t OutlineBytes() const;

private:
    TBorderFlags border_{};
    bool debug_ = false;
    TIntegerList PenGroups;          // sorted, duplicate-free
    // Holds the outline records (a quarter of a million for a big plot):
    // small regions first, huge pages once the plot proves big.
    TLargeArena outlineArena_{HugePageBytes, size_t(16) << 10};
    TOutlineList Objects{TArenaAllocator<TObjectList>(outlineArena_)};

    friend class TObjectList;
    // Most vertices of a plot lie on whole coordinates near the middle of
    // its extent: such a vertex takes 4 bytes, its offsets from the store's
    // origin.  Any other vertex takes a wide slot of its group: 8 bytes
    // where a float holds it exactly (whole or short binary coordinates), and
    // otherwise a NaN-marked reference to a side store that keeps all 64 bits
    // of mantissa.  Nothing is rounded.
    struct Cell {
        int16_t x; // FarCell: y is the number of the vertex's wide slot
        int16_t y;
    };
    static constexpr int16_t FarCell = INT16_MIN;
    struct Slot {
        uint32_t x;
        uint32_t y;
    };
    struct PackedPoint {
        unsigned char x[sizeof(long double) == 16 ? 10 : sizeof(long double)];
        unsigned char y[sizeof(long double) == 16 ? 10 : sizeof(long double)];
    };
    // A group of 2^16 cells numbers its wide slots in 16 bits: a cell that
    // once took a wide slot keeps it, so there are never more of them than
    // cells.  The cells of eight groups make one 2 MB block, which the
    // kernel may back by a single huge page (far fewer page faults on a big
    // plot).
    static constexpr uint32_t GroupBits = 16;
    static constexpr uint32_t GroupsPerBlock = 8;
    static constexpr uint32_t ExactChunkBits = 16;
    struct Group {
        Cell *cells;
        std::vector<Slot> wide;
    };
    struct BlockFree {
        void operator()(Cell *p) const;
    };
    static PackedPoint Pack(const TExtendedPoint &p);
    static TExtendedPoint Unpack(const PackedPoint &p);
    // NaN fails the comparison and goes to the exact store.
    static bool FitsFloat(long double v) { return static_cast<long double>(static_cast<float>(v)) == v; }
    uint32_t AddExact(const TExtendedPoint &p);
    TExtendedPoint SlotValue(const Slot &s) const;
    void SetSlot(Slot &s, const TExtendedPoint &p);
    void SetSlotWhole(Slot &s, int64_t x, int64_t y);
    // The wide slot of a cell, made for it when it has none.
    Slot &WideSlot(Group &g, Cell &c);
    TExtendedPoint VertexAt(uint32_t index) const;
    void SetVertexAt(uint32_t index, const TExtendedPoint &p);
    void AppendVertex(const TExtendedPoint &p, int pen);
    // A cell for the next vertex (its pen noted), not yet filled.
    uint32_t NewCell(int pen);
    void AppendWhole(int64_t x, int64_t y, int pen);
    // Most vertices: near the origin, in the pen of the one before, with
    // room left in the last group.  Such a vertex goes straight into the
    // next cell (true); any other is left to the caller (false).
    bool AppendNear(int64_t x, int64_t y, int pen)
    {
        const int64_t dx = x - originX_;
        const int64_t dy = y - originY_;
        if (cellsLeft_ == 0 || pen != runPen_ || dx < -INT16_MAX || dx > INT16_MAX || dy < -INT16_MAX ||
            dy > INT16_MAX)
            return false;
        *nextCell_++ = {static_cast<int16_t>(dx), static_cast<int16_t>(dy)};
        --cellsLeft_;
        ++vertexCount_;
        return true;
    }
    // LineWhole for everything its few instructions leave.
    [[gnu::noinline]] void LineWholeGenerally(int64_t x, int64_t y, int pen);
    void SetWholeAt(uint32_t index, int64_t x, int64_t y);
    int PenOfVertex(uint32_t index) const;
    // Line; true when the pen is now at `point` (false for a step too
    // short to keep, which leaves it where it was).
    bool LineTo(const TExtendedPoint &point, int pen);
    // A segment drawn with `pen` is kept: the pen joins the groups.
    void NoteGroupPen(int pen)
    {
        if (!haveLastGroupPen_ || lastGroupPen_ != pen || PenGroups.Count() == 0)
            AddGroupPen(pen);
    }
    void AddGroupPen(int pen);
    TObjectList &NewObject();
    // Ends the last outline for a move that leaves it (flagged when open)
    // and begins the next.
    void StartNextOutline(TObjectList &last);
    // The debug log's line for a move (the first outlines' only).
    void NoteMove(const TExtendedPoint &point);

    int lastGroupPen_ = 0;
    // A point of the collection's walk: the pen's position, or the start of
    // the last segment of the outline being built.  A whole-numbered point
    // of moderate size is kept as integers, so the integer path neither
    // converts it nor takes it through memory as an 80-bit value; its sums
    // and squares are exact in either form.
    struct WalkPoint {
        bool whole = true;
        int64_t x = 0, y = 0; // when whole
        TExtendedPoint p;     // otherwise
        TExtendedPoint Get() const
        {
            return whole ? TExtendedPoint{static_cast<long double>(x), static_cast<long double>(y)} : p;
        }
        // Keeps the integers where the point is whole and in range.
        void Set(const TExtendedPoint &point);
        // Keeps the point as it is, unexamined (a line's end: finding out
        // costs more than it saves; LineWhole takes the integers up again
        // at the next whole point).
        void SetExtended(const TExtendedPoint &point)
        {
            whole = false;
            p = point;
        }
    };
    WalkPoint current_;
    WalkPoint lastStart_;
    // Whether the last segment is short enough for the next line to extend it.
    bool lastExtends_ = true;
    long movesLogged_ = 0;
    long notClosedLogged_ = 0;
    // The vertex store, in blocks so that growing it never copies it.
    int32_t originX_ = 0;
    int32_t originY_ = 0;
    std::vector<std::unique_ptr<Cell[], BlockFree>> blocks_;
    std::vector<Group> groups_;
    uint32_t vertexCount_ = 0;
    // The next cell of the last group and how many it has left: the common
    // vertex (near, in the pen of the one before) is written there at once.
    Cell *nextCell_ = nullptr;
    uint32_t cellsLeft_ = 0;
    int runPen_ = 0; // the pen of the last pen run (when there is a cell)
    // The outline being built (Objects never shrinks, and a deque keeps
    // its elements where they are as it grows).
    TObjectList *last_ = nullptr;
    std::vector<std::unique_ptr<PackedPoint[]>> exactChunks_;
    uint32_t exactCount_ = 0;
    // (first vertex, pen): the pen of the segment ending at each vertex from
    // there on.
    LargeVector<std::pair<uint32_t, int32_t>> penRuns_;

    bool haveLastGroupPen_ = false;
};

} // namespace grittor
