#include "hpgl/IndexedRender.h"

#include "foundation/Dialogs.h"
#include "foundation/Progress.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace grittor {

namespace {

// The second part's picture starts in this index; a part that needs it as a
// colour is not laid over the first.
constexpr uint8_t kUntouched = 255;

// Whether the second part, drawn from the checkpoint's state, is what a
// drawing in one piece draws after the first part ended in `reached`.  Arc
// centre and angle are set by every instruction that reads them; the
// position matters unless the first instruction of the part replaces it
// (the reading's arcs may differ from the drawing's in the last bits).
bool SameStart(const THpglFile &plot, const TScanCheckpoint &from, const TPlotterState &reached)
{
    const TPlotterState &s = from.State;
    if (reached.Relative != s.Relative || reached.PenDown != s.PenDown)
        return false;
    return (reached.Position.x == s.Position.x && reached.Position.y == s.Position.y) ||
           plot.MovesAfresh(from.Index, s);
}

// The checkpoint nearest the middle of the text, when there is one inside
// the plot.
const TScanCheckpoint *MiddleCheckpoint(const THpglFile &plot)
{
    const auto &all = plot.Checkpoints();
    if (all.empty())
        return nullptr;
    const TScanCheckpoint &c = all[all.size() / 2];
    return c.Index > 0 && c.Index < plot.CommandCount() ? &c : nullptr;
}

// What the second core drew.
struct SecondPart {
    explicit SecondPart(int w, int h) : image(w, h)
    {
        std::memset(image.pixels.data(), kUntouched, image.pixels.size());
    }
    TIndexedImage image;
    std::vector<std::string> messages;
    TPlotterState end;
    bool complete = false;
    bool failed = false;
};

void DrawSecondPart(const THpglFile &plot, const TScanCheckpoint &from, const TViewport &viewport,
                    const TPenColors &colors, SecondPart &part)
{
    try {
        IndexedCanvas canvas(part.image);
        canvas.SetPenColor(clWindowText);
        TCanvasSink sink(canvas, viewport, colors);
        TPlotReplay replay(plot, sink, nullptr, [&part](const std::string &m, bool) { part.messages.push_back(m); });
        replay.SetState(from.State);
        replay.MoveTo(from.State.Position, 0); // where the first part leaves the canvas pen
        part.complete = replay.PlayRange(from.Index, plot.CommandCount());
        part.end = replay.State();
    } catch (...) {
        part.failed = true;
    }
}

} // namespace

bool OverlayIndexed(TIndexedImage &base, const TIndexedImage &top, uint8_t untouched)
{
    if (base.width != top.width || base.height != top.height || base.pixels.size() != top.pixels.size())
        return false;
    std::array<uint8_t, 256> map{};
    std::vector<uint32_t> table = base.colors;
    for (size_t j = 0; j < top.colors.size(); ++j) {
        if (j == untouched)
            return false; // the mark is a colour of the top picture
        const auto it = std::find(table.begin(), table.end(), top.colors[j]);
        if (it != table.end()) {
            map[j] = static_cast<uint8_t>(it - table.begin());
            continue;
        }
        if (table.size() >= 256)
            return false;
        table.push_back(top.colors[j]);
        map[j] = static_cast<uint8_t>(table.size() - 1);
    }
    base.colors = std::move(table);
    const uint8_t *t = top.pixels.data();
    uint8_t *b = base.pixels.data();
    for (size_t i = 0, n = base.pixels.size(); i < n; ++i) {
        const uint8_t v = t[i];
        if (v != untouched)
            b[i] = map[v];
    }
    return true;
}

TIndexedRenderResult RenderPlotIndexed(const THpglFile &plot, TIndexedImage &image, int32_t radius,
                                       const TPenColors &colors, THpglFile::ErrorEvent onError, bool split)
{
    TIndexedRenderResult result;
    const int width = image.width, height = image.height;
    result.Viewport = TViewport::Fit(plot, width, height, radius);
    IndexedCanvas canvas(image);
    canvas.FillRect(0, 0, width, height, 0xFFFFFF);
    if (plot.HasExtent()) { // a plot of no point has no area to show
        const TViewport::PixelRect area = result.Viewport.PlotArea(plot, radius);
        canvas.FillRect(area.left, area.top, area.right, area.bottom, clAppWorkSpace);
    }
    canvas.SetPenColor(clWindowText);
    TCanvasSink sink(canvas, result.Viewport, colors);
    TPlotReplay replay(plot, sink, nullptr, onError);
    replay.Reset();
    replay.MoveTo(replay.State().Position, 0);
    Progress &progress = GetProgress();
    progress.Show("Render image");
    const int count = plot.CommandCount();

    const TScanCheckpoint *from = split ? MiddleCheckpoint(plot) : nullptr;
    std::unique_ptr<SecondPart> part;
    std::thread worker;
    if (from) {
        try {
            part = std::make_unique<SecondPart>(width, height);
            worker = std::thread(DrawSecondPart, std::cref(plot), std::cref(*from), std::cref(result.Viewport),
                                 std::cref(colors), std::ref(*part));
        } catch (const std::bad_alloc &) {
            from = nullptr;
        } catch (const std::system_error &) {
            from = nullptr;
        }
    }
    bool complete = replay.PlayRange(0, from ? from->Index : count, &progress);
    if (from) {
        const bool sameStart = complete && SameStart(plot, *from, replay.State()) &&
                               canvas.PenX() == result.Viewport.DeviceX(from->State.Position.x) &&
                               canvas.PenY() == result.Viewport.DeviceY(from->State.Position.y) &&
                               canvas.PenColor() == clWindowText;
        worker.join();
        if (sameStart && part->complete && !part->failed && OverlayIndexed(image, part->image, kUntouched)) {
            replay.SetState(part->end);
            for (const std::string &m : part->messages) {
                if (onError)
                    onError(m, true);
                else
                    GetDialogs().Message(m);
            }
            result.SplitAt = from->Index;
        } else if (complete) {
            complete = replay.PlayRange(from->Index, count, &progress);
        }
    }
    replay.MoveTo(replay.State().Position, 0);
    progress.Hide();
    result.Complete = complete;
    result.End = replay.State().Position;
    return result;
}

} // namespace grittor
