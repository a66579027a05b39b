#include "app/cli/CliCommand.h"
#include "app/cli/HpglCliCommon.h"

#include "foundation/BuildInfo.h"
#include "foundation/DataFiles.h"
#include "foundation/ExceptionReporting.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

namespace grittor::cli {

static std::vector<CliCommandInfo> &Registry()
{
    static std::vector<CliCommandInfo> commands;
    return commands;
}

void RegisterCommand(CliCommandInfo info) { Registry().push_back(std::move(info)); }
const std::vector<CliCommandInfo> &Commands() { return Registry(); }

static void PrintUsage(std::FILE *out)
{
    std::fprintf(out, "usage: grittor-cli COMMAND [ARGS...]\n");
    for (const auto &c : Registry())
        std::fprintf(out, "  grittor-cli %s\n", c.usage.c_str());
    std::fprintf(out, "  grittor-cli --version\n"
                      "exit status: 0 done, 1 the command failed, 2 bad arguments or unreadable input\n");
    std::fprintf(out,
                 "A plot whose reading stops early (more than 100 errors) is refused unless --partial is given.\n");
}

} // namespace grittor::cli

int main(int argc, char **argv)
{
    using namespace grittor::cli;
    // Started through the front (grittor-cli): the program is the front, for
    // the log's name and where data files are looked for.  Not passed on to
    // programs this one starts.
    if (const char *front = std::getenv("GRITTOR_CLI_FRONT")) {
        if (*front)
            grittor::SetExecutablePath(front);
        ::unsetenv("GRITTOR_CLI_FRONT");
    }
    grittor::InstallProcessHooks();
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("grittor-cli %s\n", grittor::GrittorProjectVersion);
        return 0;
    }
    std::vector<std::string> args;
    for (int i = 2; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--partial")
            SetAcceptPartialPlots(true); // every plot command takes it
        else
            args.emplace_back(argv[i]);
    }
    for (const auto &c : Commands())
        if (c.name == name) {
            try {
                return c.run(args);
            } catch (const std::exception &e) {
                return UsageError(e.what());
            }
        }
    return UsageError("unknown command '" + name + "' (try grittor-cli --help)");
}
