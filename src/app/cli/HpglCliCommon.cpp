// Pieces shared by the plot commands of grittor-cli.
#include "app/cli/HpglCliCommon.h"

#include "app/cli/CliCommand.h"
#include "app/cli/RenderHooks.h"

#include "foundation/option.h"
#include "foundation/utils.h"
#include "hpgl/hpgl.h"

#include <cstdio>

namespace grittor::cli {

std::unique_ptr<THpglFile> ReadPlotForCli(const std::string &path)
{
    auto toStderr = [](const std::string &message, bool) { std::fprintf(stderr, "%s\n", message.c_str()); };
    try {
        return std::make_unique<THpglFile>(path, nullptr, toStderr);
    } catch (const THpglReadError &e) {
        UsageError(e.what());
        return nullptr;
    }
}

bool ApplyMultiplier(const std::string &text, std::string &error)
{
    long double m = 0;
    if (!ParseExtended(text, m) || !(m >= 0.01L) || m > 100.0L) {
        error = "--multiplier needs a number from 0.01 to 100, not '" + text + "'";
        return false;
    }
    Options().SetMultiplier(m);
    return true;
}

static std::vector<FirstRenderHook> &HookList()
{
    static std::vector<FirstRenderHook> hooks;
    return hooks;
}
void AddFirstRenderHook(FirstRenderHook hook)
{
    HookList().push_back(std::move(hook));
}
const std::vector<FirstRenderHook> &FirstRenderHooks()
{
    return HookList();
}

} // namespace grittor::cli
