// grittor-cli as started: a front that does not load the toolkit.
//
// Loading the toolkit's core library and what it brings along (Unicode
// tables, the event library, compression libraries) took 5-9 ms, a quarter
// of the whole render of a 1 MB plot.  The front renders plots itself when
// it can read the settings without the toolkit (PlainRenderLook), and
// otherwise hands the command line, unchanged, to grittor-cli-full: every
// other command, and render with settings in any other form.  The full
// program is told where the front is (GRITTOR_CLI_FRONT), so it names its
// log and finds its data files as the front would.
#include "app/cli/CliCommand.h"
#include "app/cli/HpglCliCommon.h"
#include "app/cli/RenderCommand.h"

#include "foundation/BuildInfo.h"
#include "foundation/ExceptionReporting.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// A fault in the front goes to stderr, with its backtrace: the front keeps
// no debug log.
void PrintFatalReport(const std::string &, const std::string &text, const std::string &backtrace)
{
    std::fprintf(stderr, "grittor-cli: %s\n%s", text.c_str(), backtrace.c_str());
}

int HandOver(char **argv)
{
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        std::fprintf(stderr, "grittor-cli: cannot find where this program is: %s\n", ec.message().c_str());
        return 1;
    }
    const std::filesystem::path here = self.parent_path();
    // In the build tree the full program sits beside the front; installed,
    // in the package's program folder.
    std::vector<std::filesystem::path> candidates = {here / "grittor-cli-full"};
    candidates.push_back((here / grittor::InstalledCliFullFromBin).lexically_normal());
    for (const auto &full : candidates) {
        if (::access(full.c_str(), X_OK) != 0)
            continue;
        ::setenv("GRITTOR_CLI_FRONT", self.c_str(), 1);
        ::execv(full.c_str(), argv);
        std::fprintf(stderr, "grittor-cli: cannot start %s: %s\n", full.c_str(), std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "grittor-cli: %s is missing (the installation is incomplete)\n",
                 candidates.back().c_str());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    using namespace grittor::cli;
    grittor::InstallProcessHooksWith(PrintFatalReport);
    const std::string_view name = argc >= 2 ? argv[1] : "";
    if (name == "--version" && argc == 2) {
        std::printf("grittor-cli %s\n", grittor::GrittorProjectVersion);
        return 0;
    }
    if (name == "render") {
        const std::optional<TRenderLook> look = PlainRenderLook(std::getenv);
        if (look) {
            std::vector<std::string> args;
            for (int i = 2; i < argc; ++i) {
                if (std::string_view(argv[i]) == "--partial")
                    SetAcceptPartialPlots(true); // as the full program takes it
                else
                    args.emplace_back(argv[i]);
            }
            try {
                return RunRender(args, [&look] { return *look; });
            } catch (const std::exception &e) {
                return UsageError(e.what());
            }
        }
    }
    return HandOver(argv);
}
