// The fitted rendering of a whole plot into an 8-bit picture on two cores:
// the same picture, colour table and messages as RenderPlot on one
// IndexedCanvas, in about half the time on a big plot.
//
// The second core draws the instructions after a scan checkpoint of the
// reading (THpglFile::Checkpoints) into a picture of its own, starting from
// the plotter state the reading recorded there; this core draws the
// instructions before it.  The second part is laid over the first only when
// the drawing of the first ends in the recorded state (pen position, unless
// the part starts with a move to an absolute point; move mode; pen up or
// down; canvas pen position and colour) and the two colour tables fit in one; otherwise the second part is drawn again
// here, after the first.  Either way the result is that of a drawing in one piece.
#pragma once

#include "hpgl/CanvasSink.h"
#include "hpgl/IndexedCanvas.h"

namespace grittor {

struct TIndexedRenderResult : TRenderResult {
    // The instruction the second core started from when its part was used;
    // -1 when the plot was drawn in one piece.
    int SplitAt = -1;
};

// As RenderPlot on an IndexedCanvas on `image` (no second sink).  `split`
// false draws in one piece (for comparison).
TIndexedRenderResult RenderPlotIndexed(const THpglFile &plot, TIndexedImage &image, int32_t radius,
                                       const TPenColors &colors, THpglFile::ErrorEvent onError = nullptr,
                                       bool split = true);

// Lays `top` over `base`: every pixel of `top` that is not `untouched` is
// written to `base`, its colour mapped into `base`'s table (colours `base`
// lacks are appended in the order of `top`'s table).  False, with `base`
// unchanged, when the tables together hold more than 256 colours.
bool OverlayIndexed(TIndexedImage &base, const TIndexedImage &top, uint8_t untouched);

} // namespace grittor
