// The blast job: each pen group's passes cut into runs, the runs ordered so
// that pens alternate and travel stays short, and the whole job written as
// one HPGL text with speed and blow-pattern lines before every run.
#pragma once

#include "foundation/utils.h"
#include "geometry/HpglOutput.h"
#include "pens/MaterialLibrary.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace grittor {

class THpglOutput;
class Toption;
class TPens;

// The settings a blast job reads: the blast pattern of a pen without a
// record, the shift between passes and the pen-up switch.
struct TBlastSettings {
    int32_t Passes = 1;
    int32_t Times = 1;
    long double CenterOffset = 0.4L;
    int32_t Radius = 0; // plotter units
    long double Extra = 0;
    int32_t PassOffset = 25; // percent of the radius
    uint8_t PenUpOff = 0;
    // The values of a settings object.
    static TBlastSettings From(const Toption &options);
};

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
    // A list for a job blasted with `material` (each plot pen uses the
    // record of its last digit, or the settings' defaults without one).
    TBlowList(TMaterialPens material, const TBlastSettings &settings);

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
    TMaterialPens material_;
    TBlastSettings settings_;
};

// One debug log entry per pen record of the material.
void WritePenHeaderLog(const TMaterialPens &material);
std::string PenHeaderText(const std::string &materialName, const TPens &rec);

} // namespace grittor
