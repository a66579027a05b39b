// grittor-cli render, shared by the front (which reads the settings without
// the toolkit where it can) and the full program (which reads them through
// the settings store).
#pragma once

#include "foundation/PlainSettings.h"
#include "foundation/option.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace grittor::cli {

// What the user's settings make of a drawing: the line radius and the pen
// colours of the material selected in the library.
struct TRenderLook {
    int32_t Radius = 381;
    TPenColors Colors{};
};

// Runs "render" with `args` (the command's own arguments); `look` is asked
// once, after the plot has been read.
int RunRender(const std::vector<std::string> &args, const std::function<TRenderLook()> &look);

// The look read through the settings store and the library store.  A library
// that cannot be read leaves every pen in the canvas colour.
TRenderLook StoredRenderLook();

// The same look read without the toolkit, where the settings are in their
// plain form (ReadPlainSettings) and the library reads without a note for
// the debug log; nullopt otherwise.
std::optional<TRenderLook> PlainRenderLook(const TEnvironment &env);

} // namespace grittor::cli
