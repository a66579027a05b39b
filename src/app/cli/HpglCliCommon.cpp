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

void RenderFirstTime(THpglFile &plot, Canvas &canvas, int width, int height)
{
    // The listeners end in reverse order, also when the rendering fails.
    struct Endings {
        std::vector<std::function<void()>> list;
        void RunAll()
        {
            while (!list.empty()) {
                auto end = std::move(list.back());
                list.pop_back();
                if (end)
                    end();
            }
        }
        ~Endings()
        {
            try {
                RunAll();
            } catch (...) {
                // already failing: the first failure is the one reported
            }
        }
    } endings;
    for (const auto &hook : FirstRenderHooks())
        endings.list.push_back(hook(plot));
    plot.RenderImage(canvas, width, height, Options().Radius);
    endings.RunAll();
}

} // namespace grittor::cli
