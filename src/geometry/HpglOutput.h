// The blast path of one pen group and its placement on the workpiece: the
// vertices of the pen's outlines with the commands that reach them walked
// forwards and backwards, the alignment fitted from digitized points, and one
// pass over the path as HPGL text in machine coordinates.
#pragma once

#include "foundation/utils.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace grittor {

class TPolygon;

struct TAlignPoints {
    TExtendedPoint Origin;
    TExtendedPoint Ref;
    TExtendedPoint Skew;
    TExtendedPoint Stretch;
    TExtendedPoint Offset;
};

// A list of command texts.  A path holds hundreds of thousands of entries
// but only a handful of distinct texts, so each entry is an index into a
// small table of the texts seen.
class TCommandList {
public:
    void Add(std::string_view text);
    int Count() const { return static_cast<int>(index_.size()); }
    const std::string &Get(int i) const { return texts_[index_[static_cast<size_t>(i)]]; }
    void Clear();
    void Reserve(size_t n) { index_.reserve(n); }

private:
    std::vector<std::string> texts_;
    std::vector<uint16_t> index_;
};

// The first point of an emission whose machine coordinate is no number the
// controller takes (its integers are 32-bit signed).
struct TOutOfRange {
    bool Found = false;
    TExtendedPoint Drawing; // the drawing vertex
    long long Value = 0;    // the whole number it became
    char Axis = 'x';
};

class THpglOutput {
public:
    TCommandList ForwardCommands;
    TCommandList BackwardCommands;
    TExtendedPoint FirstPoint;
    TExtendedPoint LastPoint;
    std::vector<TExtendedPoint> ForwardPoints;
    std::vector<TExtendedPoint> BackwardPoints;
    TAlignPoints Drawing;
    TAlignPoints Digitized;
    long double ScaleX = 0;
    long double ScaleY = 0;
    long double Rotate = 0; // radians
    bool SolveScale = false;
    // Whether Drawing's Ref, Skew and Stretch were measured on a vertex:
    // the first vertex sets all three, before it they are (0, 0).
    bool Measured = false;
    // Rounds of the search loop in the last Solve (diagnostic).
    int Iterations = 0;
    // Kept by every emission since it was last cleared: the text is written
    // as computed, and whoever sends it refuses it when this was found.
    mutable TOutOfRange OutOfRange;

    int PointCount() const { return static_cast<int>(ForwardPoints.size()); }
    // The length the nozzle blasts in one pass (the pen-down moves), in
    // drawing units.
    long double BlastLength() const;
    bool Empty() const { return ForwardPoints.empty(); }

    void AddPoint(const TExtendedPoint &forward, const TExtendedPoint &backward);
    // Fills an empty output from the outlines drawn with `pen` (none for -1),
    // and measures the drawing's reference points on them.
    void BuildPath(const TPolygon &polygon, int pen);
    void UpdateExtremes(const TExtendedPoint &p);

    static TAlignPoints ToPolar(const TAlignPoints &r, long double sx, long double sy);
    static TAlignPoints FromPolar(const TAlignPoints &polar, long double a, long double sx, long double sy);
    long double FitError(long double a, long double sx, long double sy) const;
    void MinimizeRotate();
    void MinimizeScaleX();
    void MinimizeScaleY();

    // Fits Rotate (and the scales when SolveScale) mapping Drawing onto
    // Digitized; returns the digitized record turned back by -Rotate.
    TAlignPoints Solve();
    TExtendedPoint TransformPoint(const TExtendedPoint &p) const;

    // One pass over the path as HPGL text.  `debug`, when given, receives
    // "X<TAB>Y" CR LF for every emitted point.
    std::string Emit(bool backward, bool firstPoint, std::string *debug = nullptr) const;
    // Same, appended to `out`.
    void EmitTo(std::string &out, bool backward, bool firstPoint, std::string *debug = nullptr) const;
};

// Machine coordinates are whole plotter units; a value halfway between two
// units goes away from zero (as everywhere else in the program).
long long ToWholeUnits(long double v);
// Appends the decimal form of v.
void AppendInt(std::string &out, long long v);


} // namespace grittor
