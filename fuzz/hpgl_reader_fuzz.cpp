// libFuzzer target: reading, scanning, text forms and drawing of any bytes.
#include "foundation/Dialogs.h"
#include "hpgl/Canvas.h"
#include "hpgl/CanvasSink.h"
#include "hpgl/PlotReplay.h"
#include "hpgl/hpgl.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

class QuietDialogs final : public grittor::Dialogs {
public:
    void Message(const std::string &) override {}
    bool Confirm(const std::string &) override { return false; }
    std::optional<std::string> OpenFile(const std::string &, const std::string &, const std::string &) override
    {
        return std::nullopt;
    }
    std::optional<std::string> SaveFile(const std::string &, const std::string &, const std::string &) override
    {
        return std::nullopt;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace grittor;
    static QuietDialogs dialogs;
    static const bool installed = [] {
        SetDialogs(&dialogs);
        return true;
    }();
    (void)installed;

    // The first byte picks the image multiplier and the render size, so the
    // scaled paths and odd canvases get their share.
    long double multiplier = 1.0L;
    int width = 1000, height = 700;
    if (size > 0) {
        const uint8_t b = data[0];
        if (b & 1)
            multiplier = 0.01L + (b >> 1) * 0.8L;
        if (b & 2) {
            width = 1 + (b >> 2);
            height = 1 + (b >> 4);
        }
    }
    std::string text(reinterpret_cast<const char *>(data), size);
    size_t messages = 0;
    THpglFile plot(THpglFile::FromText{std::move(text), multiplier},
                   [&](const std::string &m, bool) { messages += m.size() > 0; });

    // Every text form, as sending or a debug dump would ask for it.
    size_t textBytes = 0;
    for (int i = 0; i < plot.CommandCount(); ++i) {
        auto c = plot.Command(i);
        textBytes += c.GetText().size() + c.Strings().Count() + static_cast<size_t>(c.NumberCount());
    }

    // The first rendering with a second sink beside it (the outline
    // collection of the window).
    struct Counter final : TPlotSink {
        size_t points = 0;
        void Move(const TExtendedPoint &, int) override { ++points; }
        void Line(const TExtendedPoint &, int) override { ++points; }
    } counter;
    RecordingCanvas canvas;
    canvas.Limit = 4096;
    const TRenderResult r =
        RenderPlot(plot, canvas, width, height, (size > 1 ? data[1] : 0) * 40, NoPenColors(), &counter);
    // A second replay (the printer) must be just as safe.
    TCanvasSink paper(canvas, TViewport::Print(plot, 600, width, height, true), PrintPenColors, PrintPenColors[0]);
    ReplayInto(plot, paper, [&](const std::string &m, bool) { messages += m.size() > 0; });
    return static_cast<int>((messages + textBytes + counter.points + static_cast<size_t>(r.Complete)) & 0);
}
