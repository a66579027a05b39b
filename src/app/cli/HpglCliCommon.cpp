// Pieces shared by the plot commands of grittor-cli, the front included (no
// toolkit here: see CliFront.cpp).
#include "app/cli/HpglCliCommon.h"

#include "app/cli/CliCommand.h"

#include "foundation/utils.h"
#include "hpgl/hpgl.h"

#include <cstdio>

namespace grittor::cli {

int UsageError(const std::string &message)
{
    std::fprintf(stderr, "grittor-cli: %s\n", message.c_str());
    return 2;
}

void MessageToStderr(const std::string &message, bool)
{
    std::fprintf(stderr, "%s\n", message.c_str());
}

namespace {
bool g_acceptPartial = false;
}

void SetAcceptPartialPlots(bool accept)
{
    g_acceptPartial = accept;
}

std::unique_ptr<THpglFile> ReadPlotForCli(const std::string &path, long double multiplier)
{
    std::unique_ptr<THpglFile> plot;
    try {
        plot = std::make_unique<THpglFile>(path, multiplier, MessageToStderr);
    } catch (const THpglReadError &e) {
        UsageError(e.what());
        return nullptr;
    }
    if (plot->ReadStop() == TReadStop::Complete)
        return plot;
    // A partial plot must never pass for the whole one.
    const std::string why = plot->ReadStop() == TReadStop::TooManyErrors ? "more than 100 errors" : "cancelled";
    const std::string where = "reading " + path + " stopped at byte " + std::to_string(plot->StopPos()) + " of " +
                              std::to_string(plot->Source().size()) + " (" + why + "): the rest of the plot is missing";
    if (!g_acceptPartial) {
        UsageError(where + "; --partial goes on with the part read");
        return nullptr;
    }
    std::fprintf(stderr, "grittor-cli: %s; going on with the part read (--partial)\n", where.c_str());
    return plot;
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

} // namespace grittor::cli
