// Listeners of the first rendering of a plot in grittor-cli render.  The
// outline collection registers itself here (it installs OnMove/OnLine on the
// plot, as opening a plot in the application does); until it exists the
// list is empty and the plot is rendered without it.
#pragma once

#include <functional>
#include <vector>

namespace grittor {
class THpglFile;
}

namespace grittor::cli {

// Called with the freshly read plot just before its first rendering.
using FirstRenderHook = std::function<void(THpglFile &plot)>;
void AddFirstRenderHook(FirstRenderHook hook);
const std::vector<FirstRenderHook> &FirstRenderHooks();

struct FirstRenderRegistration {
    explicit FirstRenderRegistration(FirstRenderHook hook) { AddFirstRenderHook(std::move(hook)); }
};

} // namespace grittor::cli
