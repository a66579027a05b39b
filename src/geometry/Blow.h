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

// One pass of a job as it lies in the job text: where it starts, whose it
// is and how long the machine blasts it.
struct TJobPass {
    size_t Offset = 0; // first byte of the pass in the job text
    int Pen = 0;
    int Pass = 0;      // 1-based among the pen's passes
    int PenPasses = 0; // the pen's passes
    int Speed = 0;     // cm/s, the "vs" of its run
    long double BlastLength = 0; // plotter units blown (pen-down moves)
    // 40 plotter units a millimetre, the speed in cm/s.
    long double BlastMs() const { return Speed > 0 ? BlastLength / (400.0L * Speed) * 1000.0L : 0; }
};

struct TJobMap {
    std::vector<TJobPass> Passes;
    size_t Length = 0; // bytes of the job text
    long double TotalBlastMs() const;
    // The pass the byte at `offset` belongs to (-1 before the first).
    int PassAt(size_t offset) const;
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
    // `map`, when given, receives where each pass lies and what it blasts.
    std::string BuildJobStream(int speed, const TAlignPoints &digitized, std::ostream *debug, TJobMap *map = nullptr);

private:
    std::vector<TBlowItem> items_;
    TMaterialPens material_;
    TBlastSettings settings_;
};

// One debug log entry per pen record of the material.
void WritePenHeaderLog(const TMaterialPens &material);
std::string PenHeaderText(const std::string &materialName, const TPens &rec);

} // namespace grittor
