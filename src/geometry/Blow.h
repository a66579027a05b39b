// The blast job: each pen group's passes cut into runs, the runs ordered so
// that pens alternate and travel stays short, and the whole job written as
// one HPGL text with speed and blow-pattern lines before every run.
#pragma once

#include "foundation/utils.h"
#include "hpgl/HpglOutput.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace grittor {

class THpglOutput;
class TPens;
class TPolygon;

struct TBlowItem {
    THpglOutput *Output = nullptr; // not owned; none for the start item
    int32_t Passes = 0;
    int32_t Pen = 0;
    int32_t StartPass = 0; // index of the run's first pass among the pen's passes
    bool Backward = false; // the run's first pass walks the path backwards
    TExtendedPoint StartPoint;
    TExtendedPoint EndPoint;
};

struct TBlowDistance {
    long double ToStart = 0;
    long double ToEnd = 0;
    long double Min = 0;
};

class TBlowList {
public:
    TBlowList();

    // Empties the list and appends the start item.
    void Reset();
    // Appends the runs of one pen group.
    void Add(THpglOutput *output, int pen);

    int Count() const { return static_cast<int>(items_.size()); }
    const TBlowItem &Item(int i) const { return items_[static_cast<size_t>(i)]; }
    THpglOutput *Output(int i) const { return Item(i).Output; }
    int Passes(int i) const { return Item(i).Passes; }
    int Pen(int i) const { return Item(i).Pen; }
    int StartPass(int i) const { return Item(i).StartPass; }
    bool Backward(int i) const { return Item(i).Backward; }

    static TBlowDistance Distance(const TBlowItem &a, const TBlowItem &b);
    static void Reverse(TBlowItem &item);

    // Orders items 1..Count-1 and decides their direction.
    void DistanceSort();

    // The job text (without the final ";" the send adds).  `debug`, when
    // given, receives every emitted point as "X<TAB>Y" CR LF.
    std::string BuildJobStream(int speed, const TAlignPoints &digitized, std::ostream *debug);

private:
    std::vector<TBlowItem> items_;
};

// The program's one blast list, created on first use.
TBlowList &BlowList();

// One debug log entry per pen record of the selected material.
void WritePenHeaderLog();
std::string PenHeaderText(int material, const TPens &rec);

// Fills the blast list from the collection's pen groups the way a job does:
// every group with an output and a non-empty path whose pen is not the border
// pen, in group order; then sorts it.
void PrepareBlowList(TBlowList &list, const TPolygon &polygon);

} // namespace grittor
