#include "hpgl/CanvasSink.h"

#include "foundation/Dialogs.h"
#include "foundation/Progress.h"
#include "foundation/SideThread.h"
#include "foundation/option.h"
#include "hpgl/Canvas.h"
#include "hpgl/HpglWalk.h"
#include "hpgl/IndexedCanvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace grittor {

using hpglimpl::Truncate;

const TPenColors PrintPenColors = {0x000000, 0x000000, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000,
                                   0xFF00FF, 0xFFFF00, 0xCC0073, 0x333366, 0x0066FF, 0xFEFFFF};

TPenColors NoPenColors()
{
    TPenColors c;
    c.fill(NoPenColor);
    return c;
}

// ------------------------------------------------------------- viewport ---

int TViewport::DeviceX(long double x) const
{
    return Truncate(x * Scale.x + Offset.x);
}

int TViewport::DeviceY(long double y) const
{
    return Truncate(y * Scale.y + Offset.y);
}

TViewport TViewport::Fit(const THpglFile &plot, int width, int height, int32_t radius)
{
    const long double m = 2.0L * radius;
    const long double left = plot.MinPoint().x - m, right = plot.MaxPoint().x + m;
    const long double bottom = plot.MinPoint().y - 125, top = plot.MaxPoint().y + 125;
    TViewport v;
    const long double sx = width / (right - left);
    const long double sy = -height / (top - bottom);
    v.Scale.x = std::min(std::fabs(sx), std::fabs(sy));
    v.Scale.y = -v.Scale.x;
    v.Offset = {-left * v.Scale.x, -top * v.Scale.y};
    // The box fills the picture in one direction; centre it in the other
    // rather than leaving all the spare room below or to the right.
    v.Offset.x += (width - (right - left) * v.Scale.x) / 2;
    v.Offset.y += (height - (top - bottom) * v.Scale.x) / 2;
    return v;
}

TViewport TViewport::Print(const THpglFile &plot, long double d, int width, int height, bool fit)
{
    long double left = plot.MinPoint().x, right = plot.MaxPoint().x, bottom = plot.MinPoint().y,
                top = plot.MaxPoint().y;
    TViewport v;
    if (!fit) {
        v.Scale = {d / 1016.0L, -d / 1016.0L};
    } else {
        left -= 125;
        right += 125;
        bottom -= 125;
        top += 125;
        const long double sx = width / (right - left);
        const long double sy = -height / (top - bottom);
        v.Scale.x = std::min(std::fabs(sx), std::fabs(sy));
        v.Scale.y = -v.Scale.x;
    }
    v.Offset = {-left * v.Scale.x, -top * v.Scale.y};
    return v;
}

TViewport::PixelRect TViewport::PlotArea(const THpglFile &plot, int32_t radius) const
{
    const long double m = 2.0L * radius;
    const long double left = plot.MinPoint().x - m, right = plot.MaxPoint().x + m;
    const long double bottom = plot.MinPoint().y - 125, top = plot.MaxPoint().y + 125;
    PixelRect a;
    a.left = ClampToInt(std::floor(left * Scale.x + Offset.x));
    a.right = ClampToInt(std::ceil(right * Scale.x + Offset.x));
    a.top = ClampToInt(std::floor(top * Scale.y + Offset.y));
    a.bottom = ClampToInt(std::ceil(bottom * Scale.y + Offset.y));
    return a;
}

// ----------------------------------------------------------------- sink ---

void TCanvasSink::Move(const TExtendedPoint &point, int)
{
    canvas_.MoveTo(Truncate(point.x * viewport_.Scale.x + viewport_.Offset.x),
                   Truncate(point.y * viewport_.Scale.y + viewport_.Offset.y));
}

// The same arithmetic as Move's (the Extended value of x is x), the table's
// where it has the value.
namespace {
inline int WholePixelInline(int64_t v, long double scale, long double offset)
{
    return Truncate(static_cast<long double>(v) * scale + offset);
}
// Out of the sink's way: few of a drawing's whole points miss the table.
__attribute__((noinline)) int WholePixel(int64_t v, long double scale, long double offset)
{
    return WholePixelInline(v, scale, offset);
}
} // namespace

std::unique_ptr<const TPixelTable> TPixelTable::For(const THpglFile &plot, const TViewport &viewport)
{
    if (!plot.HasExtent())
        return nullptr;
    return Make(plot.MinPoint(), plot.MaxPoint(), viewport, std::min(size_t(1) << 22, plot.Source().size() / 4));
}

std::unique_ptr<const TPixelTable> TPixelTable::Make(const TExtendedPoint &min, const TExtendedPoint &max,
                                                     const TViewport &viewport, size_t maxEntries)
{
    constexpr long double kFar = 1e15L; // whole values of an int64_t, and no more
    const long double x0 = std::ceil(min.x), x1 = std::floor(max.x);
    const long double y0 = std::ceil(min.y), y1 = std::floor(max.y);
    if (!(x0 <= x1 && y0 <= y1 && x0 > -kFar && x1 < kFar && y0 > -kFar && y1 < kFar))
        return nullptr;
    const long double wanted = (x1 - x0 + 1) + (y1 - y0 + 1);
    if (wanted > static_cast<long double>(maxEntries))
        return nullptr;
    auto table = std::unique_ptr<TPixelTable>(new TPixelTable);
    // The pixels of one axis from those of its ends (the arithmetic is
    // monotonic in the plot unit, whatever the sign of the scale).
    auto fill = [](LargeVector<uint16_t> &px, int &base, int64_t lo, long double count, long double scale,
                   long double offset) {
        px.resize(static_cast<size_t>(count));
        const int64_t hi = lo + static_cast<int64_t>(px.size()) - 1;
        base = std::min(WholePixel(lo, scale, offset), WholePixel(hi, scale, offset));
        for (size_t k = 0; k < px.size(); ++k) {
            const int64_t d = int64_t(WholePixelInline(lo + static_cast<int64_t>(k), scale, offset)) - base;
            if (d < 0 || d > 0xFFFF)
                return false;
            px[k] = static_cast<uint16_t>(d);
        }
        return true;
    };
    table->xlo_ = static_cast<int64_t>(x0);
    table->ylo_ = static_cast<int64_t>(y0);
    if (!fill(table->x_, table->xbase_, table->xlo_, x1 - x0 + 1, viewport.Scale.x, viewport.Offset.x) ||
        !fill(table->y_, table->ybase_, table->ylo_, y1 - y0 + 1, viewport.Scale.y, viewport.Offset.y))
        return nullptr;
    return table;
}

inline int TCanvasSink::WholeX(int64_t x) const
{
    int px;
    return xs_.Find(x, px) ? px : WholePixel(x, viewport_.Scale.x, viewport_.Offset.x);
}

inline int TCanvasSink::WholeY(int64_t y) const
{
    int py;
    return ys_.Find(y, py) ? py : WholePixel(y, viewport_.Scale.y, viewport_.Offset.y);
}

void TCanvasSink::MoveWhole(int64_t x, int64_t y, int)
{
    canvas_.MoveTo(WholeX(x), WholeY(y));
}

void TCanvasSink::LineInPen(int px, int py, int pen)
{
    const uint32_t saved = canvas_.PenColor();
    const uint32_t wanted = pen >= 0 && pen < PenColorSlots ? colors_[static_cast<size_t>(pen)] : otherPens_;
    const uint32_t color = wanted != NoPenColor ? wanted : saved;
    if (color != saved)
        canvas_.SetPenColor(color);
    canvas_.LineTo(px, py);
    if (color != saved)
        canvas_.SetPenColor(saved);
}

void TCanvasSink::Line(const TExtendedPoint &point, int pen)
{
    LineInPen(Truncate(point.x * viewport_.Scale.x + viewport_.Offset.x),
              Truncate(point.y * viewport_.Scale.y + viewport_.Offset.y), pen);
}

void TCanvasSink::LineWhole(int64_t x, int64_t y, int pen)
{
    LineInPen(WholeX(x), WholeY(y), pen);
}

// ------------------------------------------------------------ rendering ---

bool TDrawingPartition::FirstTakes(int j)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (j >= limit_)
        return false;
    begun_ = std::max(begun_, j);
    return true;
}

TDrawingPartition::Piece TDrawingPartition::Claim()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    // Half of the ranges not yet begun before the last piece (at first:
    // before the end of the plot).
    const int last = limit_ - 1;
    const int k = begun_ + (last - begun_ + 1) / 2;
    if (k <= begun_ || k >= last || k < 0)
        return {};
    limit_ = k + 1;
    claimed_ = k;
    return {k, last};
}

int TDrawingPartition::Claimed() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return claimed_;
}

namespace {

// The second part's picture starts in this index; a part that needs it as a
// colour is not laid over the first.
constexpr uint8_t kUntouched = 255;
// What the second core's pictures may take together, beyond its first.
constexpr size_t kPiecesBytes = size_t(64) << 20;

// The pieces of a drawing after checkpoints, drawn on a thread of its own.
class TSecondPart {
public:
    // Starts the thread, or returns null where the plot or the canvas does
    // not allow a drawing in parts.
    static std::unique_ptr<TSecondPart> Start(const THpglFile &plot, Canvas &canvas, const TViewport &viewport,
                                              const TPenColors &colors, const TPixelTable *pixels, int width,
                                              int height, const TSecondCoreShare &share)
    {
        int x = 0, y = 0;
        if (plot.Checkpoints().empty() || width < 1 || height < 1 || !canvas.PenAt(x, y))
            return nullptr;
        // The colours the pieces may draw in, as the canvas stores them
        // (asked here: a window canvas reads the application palette).
        TColorEntries entries;
        std::vector<uint32_t> wanted(colors.begin(), colors.end());
        wanted.push_back(0);
        wanted.push_back(clWindowText);
        for (uint32_t c : wanted) {
            uint32_t argb = 0;
            if (c == NoPenColor)
                continue;
            if (!canvas.ArgbOf(c, argb))
                return nullptr;
            entries.emplace_back(c, argb);
        }
        try {
            auto part = std::unique_ptr<TSecondPart>(new TSecondPart(plot, viewport, colors, pixels, width, height));
            TSecondPart *p = part.get();
            part->work_ = std::make_unique<TSideWork>([p, entries = std::move(entries), ready = share.ready] {
                if (ready) {
                    try {
                        ready();
                    } catch (...) {
                        // Waiting is only for good order: draw anyway.
                    }
                }
                p->DrawPieces(entries);
            });
            // Drawn after the first part on this thread, it would only be
            // laid over what this thread could have drawn itself.
            return part->work_->OnSideThread() ? std::move(part) : nullptr;
        } catch (const std::bad_alloc &) {
            return nullptr;
        }
    }
    // The first core is about to draw range `j` (TDrawingPartition::FirstTakes).
    bool FirstTakes(int j) { return partition_.FirstTakes(j); }
    // Where the second core's first piece begins; null while it has claimed
    // none.  Once the first core has been refused a range, or has begun the
    // last, this no longer changes.
    const TScanCheckpoint *From() const
    {
        const int k = partition_.Claimed();
        return k < 0 ? nullptr : &plot_.Checkpoints()[static_cast<size_t>(k)];
    }

    // Waits until the pieces are drawn (or stopped), moving `progress`
    // every 15 ms meanwhile: in the window that keeps the event loop running.
    void Wait(Progress &progress, double fraction)
    {
        work_->Wait([&progress, fraction] { progress.SetProgress(fraction); });
    }

    // Waits for the pieces and lays them over `canvas` in the order of the
    // plot, when each begins where what comes before it ended (the first
    // piece where the first part, drawn by `first`, ended), and as far as
    // the colour tables fit.  `first` then goes on from where the last piece
    // laid over ended, and the pieces' messages follow those of the first
    // part.  Returns whether any piece was laid over and the instruction from
    // which `first` has to draw on (the plot's instruction count when every
    // piece was).
    struct TLaid {
        bool any = false;
        int rest = 0;
    };
    TLaid LayOver(Canvas &canvas, TPlotReplay &first, const THpglFile::ErrorEvent &onError)
    {
        TCanvasEnd reached;
        reached.state = first.State();
        reached.penKnown = canvas.PenAt(reached.penX, reached.penY);
        reached.penColor = canvas.PenColor();
        const int from = From()->Index;
        work_->Wait();
        if (failed_)
            return {false, from};
        // Drawn from the end of the plot backwards: laid over from the front.
        std::vector<const TPiece *> order;
        for (auto it = pieces_.rbegin(); it != pieces_.rend(); ++it)
            order.push_back(&*it);
        if (order.empty() || order.front()->from != partition_.Claimed())
            return {false, from};
        const int n = static_cast<int>(plot_.Checkpoints().size());
        for (size_t i = 0; i < order.size(); ++i) {
            const TPiece &piece = *order[i];
            const bool joined = i + 1 < order.size() ? piece.to == order[i + 1]->from : piece.to == n;
            if (!piece.complete || !joined || !BeginsAt(piece.from, i == 0 ? reached : order[i - 1]->end))
                return {false, from};
        }
        size_t laid = 0;
        while (laid < order.size() && canvas.Overlay(order[laid]->image, kUntouched))
            ++laid;
        if (laid == 0)
            return {false, from};
        const TCanvasEnd &end = order[laid - 1]->end;
        first.SetState(end.state);
        if (laid < order.size())
            canvas.MoveTo(end.penX, end.penY); // known: the next piece begins there
        for (size_t i = 0; i < laid; ++i)
            for (const std::string &m : order[i]->messages) {
                if (onError)
                    onError(m, true);
                else
                    GetDialogs().Message(m);
            }
        return {true, laid < order.size() ? plot_.Checkpoints()[static_cast<size_t>(order[laid]->from)].Index
                                          : plot_.CommandCount()};
    }

private:
    // Where a drawing left the plotter and the canvas pen.
    struct TCanvasEnd {
        TPlotterState state;
        bool penKnown = false;
        int penX = 0, penY = 0;
        uint32_t penColor = 0;
    };
    struct TPiece {
        int from = 0, to = 0; // checkpoints
        TIndexedImage image{0, 0};
        std::vector<std::string> messages;
        TCanvasEnd end;
        bool complete = false;
    };

    TSecondPart(const THpglFile &plot, const TViewport &viewport, const TPenColors &colors,
                const TPixelTable *pixels, int width, int height)
        : plot_(plot), partition_(static_cast<int>(plot.Checkpoints().size())), viewport_(viewport), colors_(colors),
          pixels_(pixels), width_(width), height_(height)
    {
    }

    void DrawPieces(const TColorEntries &entries) noexcept
    {
        try {
            const auto &checkpoints = plot_.Checkpoints();
            const size_t pictureBytes = static_cast<size_t>(width_) * static_cast<size_t>(height_);
            for (;;) {
                // Every piece holds a picture until the end: a big picture
                // (a large render) is left at one piece.
                if (!pieces_.empty() && (pieces_.size() + 1) * pictureBytes > kPiecesBytes)
                    return;
                const TDrawingPartition::Piece claim = partition_.Claim();
                if (claim.from < 0)
                    return; // the first core draws the rest
                pieces_.emplace_back();
                TPiece &piece = pieces_.back();
                piece.from = claim.from;
                piece.to = claim.to;
                // Made here, so that the side thread clears its own memory.
                piece.image = TIndexedImage(width_, height_, kUntouched);
                IndexedCanvas canvas(piece.image, entries);
                canvas.SetPenColor(clWindowText);
                TCanvasSink sink(canvas, viewport_, colors_, NoPenColor, pixels_);
                TPlotReplay replay(plot_, sink, nullptr,
                                   [&piece](const std::string &m, bool) { piece.messages.push_back(m); });
                const TScanCheckpoint &start = checkpoints[static_cast<size_t>(claim.from)];
                replay.SetState(start.State);
                replay.MoveTo(start.State.Position, 0); // where what comes before leaves the canvas pen
                const int to = claim.to < static_cast<int>(checkpoints.size())
                                   ? std::max(checkpoints[static_cast<size_t>(claim.to)].Index, start.Index)
                                   : plot_.CommandCount();
                piece.complete = replay.PlayRange(start.Index, to);
                piece.end.state = replay.State();
                piece.end.penKnown = canvas.PenAt(piece.end.penX, piece.end.penY);
                piece.end.penColor = canvas.PenColor();
                if (!piece.complete)
                    return;
            }
        } catch (...) {
            failed_ = true;
        }
    }

    // Whether a piece drawn from checkpoint `c`'s state is what a drawing in
    // one piece draws after what ended in `reached`.  Arc centre and angle
    // are set by every instruction that reads them; the position matters
    // unless the first instruction of the piece replaces it (the reading's
    // arcs may differ from the drawing's in the last bits).
    bool BeginsAt(int c, const TCanvasEnd &reached) const
    {
        const TScanCheckpoint &cp = plot_.Checkpoints()[static_cast<size_t>(c)];
        const TPlotterState &s = cp.State;
        if (reached.state.Relative != s.Relative || reached.state.PenDown != s.PenDown)
            return false;
        if (!(reached.state.Position.x == s.Position.x && reached.state.Position.y == s.Position.y) &&
            !plot_.MovesAfresh(cp.Index, s))
            return false;
        return reached.penKnown && reached.penX == viewport_.DeviceX(s.Position.x) &&
               reached.penY == viewport_.DeviceY(s.Position.y) && reached.penColor == clWindowText;
    }

    const THpglFile &plot_;
    TDrawingPartition partition_;
    const TViewport viewport_;
    const TPenColors colors_;
    const TPixelTable *const pixels_;
    const int width_, height_;
    std::deque<TPiece> pieces_; // as drawn: from the end of the plot backwards
    bool failed_ = false;
    std::unique_ptr<TSideWork> work_; // last: waited for before the rest goes
};

} // namespace

TRenderResult RenderPlot(const THpglFile &plot, Canvas &canvas, int width, int height, int32_t radius,
                         const TPenColors &colors, TPlotSink *also, THpglFile::ErrorEvent onError, bool twoCores,
                         const TSecondCoreShare &share)
{
    TRenderResult result;
    result.Viewport = TViewport::Fit(plot, width, height, radius);
    canvas.FillRect(0, 0, width, height, 0xFFFFFF);
    if (plot.HasExtent()) { // a plot of no point has no area to show
        const TViewport::PixelRect area = result.Viewport.PlotArea(plot, radius);
        canvas.FillRect(area.left, area.top, area.right, area.bottom, clAppWorkSpace);
    }
    canvas.SetPenColor(clWindowText);
    const std::unique_ptr<const TPixelTable> pixels = TPixelTable::For(plot, result.Viewport);
    TCanvasSink sink(canvas, result.Viewport, colors, NoPenColor, pixels.get());
    std::unique_ptr<TSecondPart> second;
    if (twoCores && !also)
        second = TSecondPart::Start(plot, canvas, result.Viewport, colors, pixels.get(), width, height, share);
    TPlotReplay replay(plot, sink, also, onError);
    const std::function<void()> repaint = [&canvas] { canvas.Repaint(); };
    // As TPlotReplay::PlayAll, in one or two parts.
    replay.Reset();
    replay.MoveTo(replay.State().Position, 0);
    Progress &progress = GetProgress();
    progress.Show("Render image");
    const int count = plot.CommandCount();
    bool complete = true;
    if (!second) {
        complete = replay.PlayRange(0, count, &progress, repaint);
    } else {
        // Range by range, until the second core has claimed the rest.
        const auto &checkpoints = plot.Checkpoints();
        const int n = static_cast<int>(checkpoints.size());
        int from = 0;
        for (int j = 0; complete && j <= n && second->FirstTakes(j); ++j) {
            const int to = j < n ? std::max(checkpoints[static_cast<size_t>(j)].Index, from) : count;
            complete = replay.PlayRange(from, to, &progress, repaint);
            from = to;
        }
    }
    if (second && complete && second->From()) {
        const int from = second->From()->Index;
        second->Wait(progress, static_cast<double>(from) / count);
        const auto laid = second->LayOver(canvas, replay, onError);
        if (laid.any)
            result.SplitAt = from;
        if (laid.rest < count)
            complete = replay.PlayRange(laid.rest, count, &progress, repaint);
    }
    // A second core that took no part, or one stopped with the first, may
    // still be busy (waiting until it is ready, or stopping): waited for
    // with the progress moving, which keeps the window's event loop going.
    if (second)
        second->Wait(progress, 1.0);
    second.reset();
    replay.MoveTo(replay.State().Position, 0);
    progress.Hide();
    result.Complete = complete;
    result.End = replay.State().Position;
    canvas.Repaint();
    return result;
}

} // namespace grittor
