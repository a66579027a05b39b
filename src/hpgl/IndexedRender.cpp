#include "hpgl/IndexedRender.h"

#include "hpgl/PixelLines.h"

namespace grittor {

bool OverlayIndexed(TIndexedImage &base, const TIndexedImage &top, uint8_t untouched)
{
    if (base.pixels.size() != static_cast<size_t>(base.width) * static_cast<size_t>(base.height))
        return false;
    return OverlayIndexed(base.pixels.data(), static_cast<size_t>(base.width), base.width, base.height, base.colors,
                          top, untouched);
}

TRenderResult RenderPlotIndexed(const THpglFile &plot, TIndexedImage &image, int32_t radius, const TPenColors &colors,
                                THpglFile::ErrorEvent onError, bool twoCores)
{
    IndexedCanvas canvas(image);
    return RenderPlot(plot, canvas, image.width, image.height, radius, colors, nullptr, std::move(onError), twoCores);
}

} // namespace grittor
