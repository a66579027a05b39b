// The render look read without the toolkit (for the front, see CliFront.cpp).
#include "app/cli/RenderCommand.h"

#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"

#include <filesystem>

namespace grittor::cli {

std::optional<TRenderLook> PlainRenderLook(const TEnvironment &env)
{
    const std::optional<TPlainSettings> settings = ReadPlainSettings(env);
    if (!settings)
        return std::nullopt;
    // As StoredRenderLook reads it: no file is an empty library, and so is a
    // file that cannot be read.
    TMaterialLibrary library;
    const std::string file = MaterialLibraryPath(settings->Folder);
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        std::string bytes, error;
        TLibrarySnapshot snapshot;
        if (ReadLibraryBytes(file, bytes, error) && LibraryFromJson(bytes, snapshot, error)) {
            if (!snapshot.Notes.empty())
                return std::nullopt; // the debug log must have them
            InstallLibrary(library, std::move(snapshot));
        }
    }
    return TRenderLook{settings->Radius, library.SelectedPens().PenColors()};
}

} // namespace grittor::cli
