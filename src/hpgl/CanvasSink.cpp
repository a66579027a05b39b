#include "hpgl/CanvasSink.h"

#include "foundation/option.h"
#include "hpgl/Canvas.h"
#include "hpgl/HpglWalk.h"

#include <algorithm>
#include <cmath>

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

void TCanvasSink::Line(const TExtendedPoint &point, int pen)
{
    const uint32_t saved = canvas_.PenColor();
    const uint32_t wanted = pen >= 0 && pen < PenColorSlots ? colors_[static_cast<size_t>(pen)] : otherPens_;
    const uint32_t color = wanted != NoPenColor ? wanted : saved;
    if (color != saved)
        canvas_.SetPenColor(color);
    canvas_.LineTo(Truncate(point.x * viewport_.Scale.x + viewport_.Offset.x),
                   Truncate(point.y * viewport_.Scale.y + viewport_.Offset.y));
    if (color != saved)
        canvas_.SetPenColor(saved);
}

// ------------------------------------------------------------ rendering ---

TRenderResult RenderPlot(const THpglFile &plot, Canvas &canvas, int width, int height, int32_t radius,
                         const TPenColors &colors, TPlotSink *also, THpglFile::ErrorEvent onError)
{
    TRenderResult result;
    result.Viewport = TViewport::Fit(plot, width, height, radius);
    canvas.FillRect(0, 0, width, height, 0xFFFFFF);
    if (plot.HasExtent()) { // a plot of no point has no area to show
        const TViewport::PixelRect area = result.Viewport.PlotArea(plot, radius);
        canvas.FillRect(area.left, area.top, area.right, area.bottom, clAppWorkSpace);
    }
    canvas.SetPenColor(clWindowText);
    TCanvasSink sink(canvas, result.Viewport, colors);
    TPlotReplay replay(plot, sink, also, std::move(onError));
    result.Complete = replay.PlayAll("Render image", [&canvas] { canvas.Repaint(); });
    result.End = replay.State().Position;
    canvas.Repaint();
    return result;
}

} // namespace grittor
