// From plot to machine text, in one place.  Every road that sends a plot to
// the machine goes through here: grittor-cli plot, job and run, and the
// window's digitize, send and queue commands.
//
//   THpglFile (hpgl/hpgl.h)           the plot document, read once
//     | replayed into
//   TPolygon (geometry/polygon.h)     its outlines, grouped by pen
//     | one blast path per pen group
//   THpglOutput (geometry/HpglOutput.h)  path, alignment fitted to the
//     |                                  digitized points, HPGL text
//   TBlowList (geometry/Blow.h)       runs of passes ordered between pens,
//                                     the whole job text
//
// TBlastJob holds the outline collection of one plot and the blast path of
// each of its pen groups.  Everything else comes in as arguments: the
// material (pens/MaterialLibrary.h), the settings values (TBlastSettings) and
// the placement (geometry/Placement.h: the digitized record and the road it
// came by, which decides what the fit may change).  Nothing here reads a
// global.
#pragma once

#include "geometry/Blow.h"
#include "geometry/HpglOutput.h"
#include "geometry/Placement.h"
#include "geometry/polygon.h"
#include "hpgl/hpgl.h"
#include "pens/MaterialLibrary.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace grittor {

class TBlastJob {
public:
    // Takes over an outline collection already made (the window collects
    // the outlines while it draws the plot for the first time).
    explicit TBlastJob(std::unique_ptr<TPolygon> outlines);
    // Collects the outlines of `plot` by replaying it, for a material of
    // these border flags.  Drawing messages go to `onError`.
    static std::unique_ptr<TPolygon> CollectOutlines(const THpglFile &plot, const TBorderFlags &border,
                                                     bool debug = false, THpglFile::ErrorEvent onError = nullptr);

    const TPolygon &Outlines() const { return *outlines_; }
    // The same, kept alive for work that may outlast the job (the segment
    // dump written beside the window); the collection does not change
    // once collected.
    std::shared_ptr<const TPolygon> SharedOutlines() const { return outlines_; }
    int GroupCount() const { return outlines_->GroupCount(); }
    int GroupPen(int index) const { return outlines_->GroupPen(index); }
    // Index of the first pen group that is the border pen, -1 when none.
    int BorderGroupIndex() const { return outlines_->BorderGroupIndex(); }

    // ---- blast paths
    // Builds a fresh blast path for every pen group, all placed by the
    // reference points of the whole plot, so that the pens keep their
    // places relative to each other.
    void BuildOutputs();
    bool HasOutputs() const { return !outputs_.empty(); }
    // The path of group `index`; nullptr before BuildOutputs.
    THpglOutput *GroupOutput(int index) const;
    // The reference points every path is placed by (built first if needed).
    TAlignPoints Drawing();
    // Whether the paths have a vertex to measure those points on; without
    // one Drawing() is all (0, 0) and places nothing.
    bool DrawingMeasured();

    // ---- texts for the machine (the outputs are built first if needed)
    // The digitize commands' text: each group's outline once, placed, one
    // text per group ended by ";" CR LF, all joined.
    std::string PlacedText(const TPlacement &placement);
    // The same, one text per group (the window sends them one by one).
    std::vector<std::string> PlacedTexts(const TPlacement &placement);
    // The border group's outline once, between "papu0,0;" lines; "" when
    // the plot has no border pen.
    std::string BorderText(const TPlacement &placement);
    // The runs of every group but the border's, ordered (the list refers to
    // this job's paths).
    TBlowList PrepareBlowList(const TMaterialPens &material, const TBlastSettings &settings);
    // The whole blast job of every group but the border's (without the
    // final ";" the send adds), each pass written to `pattern` as well
    // ("blowpattern.xls") when given.  The pen header of the material goes
    // to the debug log first.
    std::string JobText(const TMaterialPens &material, const TBlastSettings &settings, int speed,
                        const TPlacement &placement, std::ostream *pattern, TJobMap *map = nullptr);
    // The first coordinate of the last text made above that the machine
    // cannot take (Found false when every one fits).
    TOutOfRange OutOfRange() const;

private:
    void ClearOutOfRange();
    void EnsureOutputs();
    // Every path fits what the placement's road allows.
    void UseRoad(const TPlacement &placement);

    std::shared_ptr<TPolygon> outlines_;
    std::vector<std::unique_ptr<THpglOutput>> outputs_; // by group index
};

// Why the last text `job` made for the machine must not be sent: the
// instruction of `plot` (name and byte position) whose point became a
// coordinate the machine cannot take, and that coordinate; "" when every
// coordinate fits.
std::string OutOfRangeProblem(const THpglFile &plot, const TBlastJob &job);

} // namespace grittor
