// Pieces shared by the plot commands of grittor-cli.
#include "app/cli/HpglCliCommon.h"

#include "app/cli/CliCommand.h"

#include "foundation/option.h"
#include "foundation/utils.h"
#include "hpgl/hpgl.h"
#include "pens/LibraryStore.h"

#include <cstdio>
#include <filesystem>

namespace grittor::cli {

void MessageToStderr(const std::string &message, bool)
{
    std::fprintf(stderr, "%s\n", message.c_str());
}

std::unique_ptr<THpglFile> ReadPlotForCli(const std::string &path, long double multiplier)
{
    try {
        return std::make_unique<THpglFile>(path, multiplier, MessageToStderr);
    } catch (const THpglReadError &e) {
        UsageError(e.what());
        return nullptr;
    }
}

bool ParseMultiplier(const std::string &text, long double &multiplier, std::string &error)
{
    long double m = 0;
    if (!ParseExtended(text, m) || !(m >= 0.01L) || m > 100.0L) {
        error = "--multiplier needs a number from 0.01 to 100, not '" + text + "'";
        return false;
    }
    multiplier = m;
    return true;
}

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

} // namespace grittor::cli
