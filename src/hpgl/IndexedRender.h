// The fitted rendering of a whole plot into an 8-bit picture (grittor-cli
// render): RenderPlot on an IndexedCanvas, on two cores where the plot is
// big enough to pay for it (see RenderPlot).
#pragma once

#include "hpgl/CanvasSink.h"
#include "hpgl/IndexedCanvas.h"

namespace grittor {

// As RenderPlot on an IndexedCanvas on `image` (no second sink).
// `twoCores` false draws in one piece (for comparison).
TRenderResult RenderPlotIndexed(const THpglFile &plot, TIndexedImage &image, int32_t radius,
                                const TPenColors &colors, THpglFile::ErrorEvent onError = nullptr,
                                bool twoCores = true);

// Lays `top` over `base` (OverlayIndexed of PixelLines.h on whole pictures).
bool OverlayIndexed(TIndexedImage &base, const TIndexedImage &top, uint8_t untouched);

} // namespace grittor
