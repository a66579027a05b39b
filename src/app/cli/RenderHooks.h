// Listeners of the first rendering of a plot in grittor-cli render.  The
// outline collection registers itself here (it installs OnMove/OnLine on the
// plot, as opening a plot in the application does); until it exists the
// list is empty and the plot is rendered without it.
#pragma once

#include <functional>
#include <vector>

namespace grittor {
class Canvas;
class THpglFile;
}

namespace grittor::cli {

// Called with the freshly read plot just before its first rendering.
// A listener that joins the first rendering of a plot: called before the
// rendering starts, it returns what to do once the rendering has ended.
using FirstRenderHook = std::function<std::function<void()>(THpglFile &plot)>;
void AddFirstRenderHook(FirstRenderHook hook);
const std::vector<FirstRenderHook> &FirstRenderHooks();

// The first rendering of a plot as opening it in the application does it,
// with every registered listener: fitted into width x height pixels.
void RenderFirstTime(THpglFile &plot, Canvas &canvas, int width, int height);

struct FirstRenderRegistration {
    explicit FirstRenderRegistration(FirstRenderHook hook) { AddFirstRenderHook(std::move(hook)); }
};

} // namespace grittor::cli
