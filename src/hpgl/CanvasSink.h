// Drawing a plot on a canvas: the viewport that maps plot units to device
// pixels, the pen colours, the sink that draws a replay's points, and the
// fitted rendering of a whole plot (the window picture, grittor-cli render).
#pragma once

#include "foundation/LargePages.h"
#include "foundation/option.h"
#include "hpgl/PlotReplay.h"

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>

namespace grittor {

class Canvas;

// Line colours on paper by pen number.
extern const TPenColors PrintPenColors;
// Every pen in the canvas colour.
TPenColors NoPenColors();

// Plot units to device pixels: trunc(v * Scale + Offset), clamped to the int
// range (NaN gives 0) so absurd coordinates cannot overflow.
struct TViewport {
    TExtendedPoint Scale;
    TExtendedPoint Offset;

    int DeviceX(long double x) const;
    int DeviceY(long double y) const;

    // The plot fitted into a picture of width x height pixels with margins
    // of 2 x radius left and right and 125 units top and bottom, one scale
    // for both axes, the box centred in the picture.
    static TViewport Fit(const THpglFile &plot, int width, int height, int32_t radius);
    // A printer page: true size at `dotsPerInch`, or fitted to the page of
    // width x height dots with 125 units of margin all round.
    static TViewport Print(const THpglFile &plot, long double dotsPerInch, int width, int height, bool fit);

    // The plot area (extent plus the margins of Fit) in pixels.
    struct PixelRect {
        int left = 0, top = 0, right = 0, bottom = 0;
    };
    PixelRect PlotArea(const THpglFile &plot, int32_t radius) const;
};

// The pixel of every whole plot unit across a plot's extent, worked out once
// for a drawing with TViewport's arithmetic, value by value.  Most points of
// a big plot are whole numbers inside its extent, and working each one out
// in long doubles was a quarter of the time of drawing it.
class TPixelTable {
public:
    // One axis: the pixel of plot unit lo + k is base + px[k], for k < n
    // (two bytes an entry keep the tables of a big plot in the cache).
    struct Axis {
        int64_t lo = 0;
        uint64_t n = 0;
        const uint16_t *px = nullptr;
        int base = 0;
        bool Find(int64_t v, int &out) const
        {
            const uint64_t k = static_cast<uint64_t>(v) - static_cast<uint64_t>(lo);
            if (k >= n)
                return false;
            out = base + px[k];
            return true;
        }
    };
    // The table of a drawing of `plot`; null where the plot has no extent,
    // or the table would take longer to make than it saves: more entries
    // than a quarter of the plot's text has bytes (a point takes a few), or
    // more than 4 Mi (16 MiB).
    static std::unique_ptr<const TPixelTable> For(const THpglFile &plot, const TViewport &viewport);
    // The whole numbers from min to max of each axis; null where they are
    // more than `maxEntries` or not whole numbers of an int64_t, or where
    // their pixels lie more than 65535 apart.
    static std::unique_ptr<const TPixelTable> Make(const TExtendedPoint &min, const TExtendedPoint &max,
                                                   const TViewport &viewport, size_t maxEntries);
    Axis X() const { return {xlo_, x_.size(), x_.data(), xbase_}; }
    Axis Y() const { return {ylo_, y_.size(), y_.data(), ybase_}; }

private:
    int64_t xlo_ = 0, ylo_ = 0;
    int xbase_ = 0, ybase_ = 0;
    LargeVector<uint16_t> x_, y_;
};

// Draws a replay's points on a canvas.  Lines take their pen's colour (the
// canvas colour where the pen has none; `otherPens` for pen numbers beyond
// the table) and leave the canvas colour as it was.
class TCanvasSink final : public TPlotSink {
public:
    // `pixels` (may be null; made for the same viewport) serves the whole
    // points inside it.
    TCanvasSink(Canvas &canvas, const TViewport &viewport, const TPenColors &colors,
                uint32_t otherPens = NoPenColor, const TPixelTable *pixels = nullptr)
        : canvas_(canvas), viewport_(viewport), colors_(colors), otherPens_(otherPens)
    {
        if (pixels) {
            xs_ = pixels->X();
            ys_ = pixels->Y();
        }
    }
    void Move(const TExtendedPoint &point, int pen) override;
    void Line(const TExtendedPoint &point, int pen) override;
    void MoveWhole(int64_t x, int64_t y, int pen) override;
    void LineWhole(int64_t x, int64_t y, int pen) override;

private:
    void LineInPen(int px, int py, int pen);
    int WholeX(int64_t x) const;
    int WholeY(int64_t y) const;

    Canvas &canvas_;
    TViewport viewport_;
    TPenColors colors_;
    uint32_t otherPens_;
    TPixelTable::Axis xs_, ys_;
};

// The first and every later rendering of a plot in a picture: fills white
// and the workspace-coloured plot area, then replays every instruction in
// the fitted viewport with progress "Render image", the canvas repainted
// every 400 instructions.  `also` (may be null) receives the same points
// (the outline collection of the first rendering).  Stops early when long
// work is to stop.
//
// On two cores, when `twoCores`, there is no second sink, the plot has scan
// checkpoints and the canvas can take a second picture (Canvas::Overlay):
// a second thread draws pieces of the plot that end at checkpoints it
// claims (TDrawingPartition) into 8-bit pictures of its own, each from the
// plotter state the reading recorded at its start, while this one draws
// the ranges before them.  The pieces are laid over the canvas, in the
// order of the plot, only when each begins where what comes before it
// ended (pen position, unless the piece starts with a move to an absolute
// point; move mode; pen up or down; canvas pen position and colour) and
// the colour tables fit in one; otherwise the rest is drawn again here.
// Either way the picture, its colour table and the messages are those of a
// drawing in one piece.
struct TRenderResult {
    TViewport Viewport;
    TExtendedPoint End; // where the replay ended, in plot units
    bool Complete = false;
    // The instruction the second core started from when its part was
    // used; -1 when the plot was drawn in one piece.
    int SplitAt = -1;
};
// How the two cores of a drawing in two parts divide it.  The checkpoints
// cut the plot into ranges (range j ends at checkpoint j, the last one at
// the end of the plot); the first core draws them in order from the start.
// The second, once it is ready, claims the checkpoint half way through the
// ranges the first has not begun and draws from there to the end; when it
// is done and ranges are still not begun, it claims half of those again,
// up to where its last piece began.  So neither core waits for the other
// for longer than about a range, however their speeds come out.  A second
// core with other work first (the window's outline collection) takes the
// share that is left when it comes; one that is ready at once takes the
// half after the middle checkpoint first.
class TDrawingPartition {
public:
    explicit TDrawingPartition(int checkpoints) : n_(checkpoints), limit_(checkpoints + 1) {}
    // The first core is about to draw range `j` (`j` == the number of
    // checkpoints: the last range).  False when that range is the second
    // core's.
    bool FirstTakes(int j);
    // A piece of the second core: from checkpoint `from` to checkpoint `to`
    // (`to` == the number of checkpoints: the end of the plot).
    struct Piece {
        int from = -1;
        int to = -1;
    };
    // The second core's next piece; `from` is -1 when less than two ranges
    // are left before its last piece (then the first core draws them).
    Piece Claim();
    // Where the second core's first piece begins (the lowest checkpoint it
    // claimed), -1 before (or without) a claim.
    int Claimed() const;

private:
    mutable std::mutex mutex_;
    const int n_;
    int begun_ = -1;   // the last range the first core has begun
    int limit_;        // the first range of the second core
    int claimed_ = -1; // the second core's lowest checkpoint
};

// What the second core of a drawing does first: `ready` (if set) is called
// on it before it claims its part.
struct TSecondCoreShare {
    std::function<void()> ready;
};
TRenderResult RenderPlot(const THpglFile &plot, Canvas &canvas, int width, int height, int32_t radius,
                         const TPenColors &colors, TPlotSink *also = nullptr,
                         THpglFile::ErrorEvent onError = nullptr, bool twoCores = true,
                         const TSecondCoreShare &share = {});

} // namespace grittor
