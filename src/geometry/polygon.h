// The outline collection: the pen movements of one replay of a plot cut into
// outlines of straight segments, the outlines grouped by pen, and the border
// flags of the selected material's pens.
#pragma once

#include "foundation/utils.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace grittor {

class THpglFile;
class THpglOutput;
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
constexpr long MaxLoggedOutlines = 10000;

class TSegment {
public:
    TSegment(const TExtendedPoint &start, const TExtendedPoint &end, int pen);

    TExtendedPoint StartPoint;
    TExtendedPoint EndPoint;
    long double m = 0; // y = m x + b through the edge
    long double b = 0;
    long double length = 0; // 0 marks a degenerate edge
    TObjectList *Parent = nullptr;
    int Pen = 0;
    TIntersectionType IntersectionType = TIntersectionType::ITNoIntersection;
    TExtendedPoint IntersectionPoint;

    // Recomputes length, slope and intercept from the two points.
    void Recompute();
    // Tab-separated line for the polygon debug log.
    std::string DebugLine() const;
};

// One outline: the segments drawn between two pen-up moves.
class TObjectList {
public:
    std::vector<TSegment> Segments; // drawing order
    bool NotClosed = false;
    int Pen = -1; // pen of the last line added

    int Count() const { return static_cast<int>(Segments.size()); }
};

bool SamePoint(const TExtendedPoint &a, const TExtendedPoint &b, long double tolerance);

class TPolygon {
public:
    TPolygon();
    ~TPolygon();
    TPolygon(const TPolygon &) = delete;
    TPolygon &operator=(const TPolygon &) = delete;

    long double ScanLine = 0;      // scan-line spacing, plotter units
    std::array<bool, 11> Border{}; // border flag per pen record number 0..10
    int CurrentPen = -1;           // -1 none; the border pen after StartCollection
    TIntegerList PenGroups;        // sorted, duplicate-free; Data = the group's THpglOutput
    TExtendedPoint CurrentPoint;
    bool Debug = false;                                // "Polygon Fill Debug"
    THpglFile *HpglFile = nullptr;                     // the plot being collected (not owned)
    std::vector<std::unique_ptr<TObjectList>> Objects; // creation order

    // Empties the collection, reads the border flags of the selected
    // material and hooks the move and line handlers into the file.  A null
    // file prepares the collection for handlers called directly.
    void StartCollection(THpglFile *file);

    // Installed as the file's OnMove and OnLine.
    void Move(const TExtendedPoint &point, int pen);
    void Line(const TExtendedPoint &point, int pen);

    int ObjectCount() const { return static_cast<int>(Objects.size()); }

    // ---- pen groups and their blast paths (owned here)
    int GroupCount() const { return PenGroups.Count(); }
    int GroupPen(int index) const { return PenGroups.Value(index); }
    THpglOutput *GroupOutput(int index) const;
    // Replaces (and frees) the group's output.
    void SetGroupOutput(int index, std::unique_ptr<THpglOutput> output);
    // Builds a fresh blast path for group `index` as the digitize commands
    // do (current pen := the group's pen, BuildPath), stores it as the
    // group's output in place of the old one and returns it.
    THpglOutput &NewGroupOutput(int index, bool solveScale);
    // Gives every group's output the alignment points of the whole plot
    // (the extremes over the vertices of all groups), so that all pens are
    // placed by the same reference and keep their places on the workpiece.
    void ShareDrawingAlignment();
    // Empties the pen groups and frees their outputs.
    void ClearPenGroups();

    // A plot pen is the border pen when the record of its number modulo 10
    // is marked as border (the job leaves such groups out).
    bool IsBorderPen(int pen) const;
    // Index of the first pen group that is the border pen, -1 when none.
    int BorderGroupIndex() const;

    // Writes every outline as "\t\tPen\t<pen>" followed by its vertices
    // (tab-separated x and y), CR LF line ends.  Raises std::runtime_error
    // when the file cannot be written.
    void DumpSegments(const std::string &fileName, bool append) const;

private:
    void FreeOutputs();
    std::vector<std::unique_ptr<THpglOutput>> outputs_;
    int lastGroupPen_ = 0;
    long movesLogged_ = 0;
    long notClosedLogged_ = 0;
    bool haveLastGroupPen_ = false;
};

// The program's one collection, created on first use.
TPolygon &Polygon();

} // namespace grittor
