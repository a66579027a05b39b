#include "geometry/BlastJob.h"

#include "foundation/StringUtils.h"
#include "hpgl/PlotReplay.h"
#include "link/MachineNumbers.h"

namespace grittor {

TBlastJob::TBlastJob(std::unique_ptr<TPolygon> outlines) : outlines_(std::move(outlines))
{
    if (!outlines_)
        outlines_ = std::make_unique<TPolygon>();
}

std::unique_ptr<TPolygon> TBlastJob::CollectOutlines(const THpglFile &plot, const TBorderFlags &border, bool debug,
                                                     THpglFile::ErrorEvent onError)
{
    auto outlines = std::make_unique<TPolygon>(border, debug, TPolygon::MiddleOf(plot));
    ReplayInto(plot, *outlines, std::move(onError));
    return outlines;
}

void TBlastJob::BuildOutputs()
{
    outputs_.clear();
    for (int i = 0; i < GroupCount(); ++i) {
        auto out = std::make_unique<THpglOutput>();
        out->BuildPath(*outlines_, GroupPen(i));
        outputs_.push_back(std::move(out));
    }
    // All pens are placed by the plot's own reference points (the extremes
    // over the vertices of every group), so that they keep their places
    // relative to each other on the workpiece.
    THpglOutput all;
    for (const auto &out : outputs_)
        for (const TExtendedPoint &p : out->ForwardPoints)
            all.UpdateExtremes(p);
    for (const auto &out : outputs_)
        if (!out->Empty()) {
            out->Drawing.Ref = all.Drawing.Ref;
            out->Drawing.Skew = all.Drawing.Skew;
            out->Drawing.Stretch = all.Drawing.Stretch;
            out->Measured = all.Measured;
        }
}

THpglOutput *TBlastJob::GroupOutput(int index) const
{
    return index >= 0 && index < static_cast<int>(outputs_.size()) ? outputs_[static_cast<size_t>(index)].get()
                                                                     : nullptr;
}

void TBlastJob::EnsureOutputs()
{
    if (!HasOutputs())
        BuildOutputs();
}

TAlignPoints TBlastJob::Drawing()
{
    EnsureOutputs();
    for (const auto &out : outputs_)
        if (!out->Empty())
            return out->Drawing;
    return TAlignPoints{};
}

bool TBlastJob::DrawingMeasured()
{
    EnsureOutputs();
    for (const auto &out : outputs_)
        if (!out->Empty())
            return out->Measured;
    return false;
}

void TBlastJob::UseRoad(const TPlacement &placement)
{
    EnsureOutputs();
    for (const auto &out : outputs_)
        out->SolveScale = placement.FitsScale();
}

void TBlastJob::ClearOutOfRange()
{
    for (const auto &out : outputs_)
        out->OutOfRange = TOutOfRange{};
}

TOutOfRange TBlastJob::OutOfRange() const
{
    for (const auto &out : outputs_)
        if (out->OutOfRange.Found)
            return out->OutOfRange;
    return {};
}

std::string OutOfRangeProblem(const THpglFile &plot, const TBlastJob &job)
{
    const TOutOfRange bad = job.OutOfRange();
    if (!bad.Found)
        return {};
    const int i = InstructionDrawing(plot, bad.Drawing);
    std::string what = "the point ";
    if (i >= 0)
        what = "the " + UpperCase(plot.Command(i).Name()) + " instruction at byte " +
               std::to_string(plot.Command(i).TextPos()) + " reaches ";
    what += "(" + FormatExtended(bad.Drawing.x) + ", " + FormatExtended(bad.Drawing.y) + "), which the placement makes " +
            bad.Axis;
    return CheckMachineCoordinate(static_cast<long double>(bad.Value), what);
}

std::vector<std::string> TBlastJob::PlacedTexts(const TPlacement &placement)
{
    UseRoad(placement);
    ClearOutOfRange();
    std::vector<std::string> texts;
    for (const auto &out : outputs_) {
        if (placement.Road == TPlacementRoad::Origin)
            out->Digitized = OriginPlacement(out->Drawing, placement.Record.Ref).Record;
        else
            out->Digitized = placement.Record;
        out->Solve();
        std::string text;
        out->EmitTo(text, false, false);
        text += ";\r\n";
        texts.push_back(std::move(text));
    }
    return texts;
}

std::string TBlastJob::PlacedText(const TPlacement &placement)
{
    std::string text;
    for (const std::string &t : PlacedTexts(placement))
        text += t;
    return text;
}

std::string TBlastJob::BorderText(const TPlacement &placement)
{
    const int index = BorderGroupIndex();
    if (index < 0)
        return {};
    UseRoad(placement);
    ClearOutOfRange();
    THpglOutput &out = *outputs_[static_cast<size_t>(index)];
    out.Digitized = placement.Record;
    out.Solve();
    std::string text = "papu0,0;\r\n";
    out.EmitTo(text, false, false);
    text += "papu0,0;\r\n";
    return text;
}

TBlowList TBlastJob::PrepareBlowList(const TMaterialPens &material, const TBlastSettings &settings)
{
    EnsureOutputs();
    TBlowList list(material, settings);
    for (int i = 0; i < GroupCount(); ++i) {
        const int pen = GroupPen(i);
        if (outlines_->IsBorderPen(pen))
            continue;
        list.Add(outputs_[static_cast<size_t>(i)].get(), pen);
    }
    list.DistanceSort();
    return list;
}

std::string TBlastJob::JobText(const TMaterialPens &material, const TBlastSettings &settings, int speed,
                               const TPlacement &placement, std::ostream *pattern, TJobMap *map)
{
    UseRoad(placement);
    ClearOutOfRange();
    WritePenHeaderLog(material);
    TBlowList list = PrepareBlowList(material, settings);
    return list.BuildJobStream(speed, placement.Record, pattern, map);
}

} // namespace grittor
