// What the full grittor-cli reads through the settings store: the user's
// material library, and the render command's look.
#include "app/cli/CliCommand.h"
#include "app/cli/HpglCliCommon.h"
#include "app/cli/RenderCommand.h"

#include "foundation/option.h"
#include "pens/LibraryStore.h"

#include <filesystem>

namespace grittor::cli {

bool ReadLibraryForCli(const std::string &path, TMaterialLibrary &library, std::string &error)
{
    const std::string file = path.empty() ? MaterialLibraryPath(Options().SettingsFolder()) : path;
    library.Clear();
    std::error_code ec;
    if (path.empty() && !std::filesystem::exists(file, ec))
        return true; // no library saved yet
    TLibrarySnapshot snapshot;
    std::string why;
    if (!ReadLibraryFile(file, snapshot, why)) {
        error = "cannot read the material library " + file + ": " + why;
        return false;
    }
    InstallLibrary(library, std::move(snapshot));
    return true;
}

TRenderLook StoredRenderLook()
{
    TMaterialLibrary library;
    std::string error;
    ReadLibraryForCli("", library, error);
    return TRenderLook{Options().Radius, library.SelectedPens().PenColors()};
}

namespace {
const CliRegistration registration("render", "render FILE -o OUT.png [--size WxH] [--multiplier M]",
                                   [](const std::vector<std::string> &args) { return RunRender(args, StoredRenderLook); });
} // namespace

} // namespace grittor::cli
