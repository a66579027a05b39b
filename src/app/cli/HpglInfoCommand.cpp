// grittor-cli info FILE [--json] [--multiplier M]: what reading a plot finds.
#include "app/cli/CliCommand.h"
#include "app/cli/HpglCliCommon.h"

#include "foundation/utils.h"
#include "hpgl/PlotReplay.h"
#include "hpgl/hpgl.h"

#include <cmath>
#include <cstdio>
#include <set>

namespace grittor::cli {

namespace {

// Pens that draw at least one line.
class PenCensus final : public TPlotSink {
public:
    void Move(const TExtendedPoint &, int) override {}
    void Line(const TExtendedPoint &, int pen) override { pens.insert(pen); }
    std::set<int> pens;
};

// A replay as a rendering would run it (its messages were already shown
// while reading).
std::set<int> PensUsed(const THpglFile &plot)
{
    PenCensus census;
    ReplayInto(plot, census, [](const std::string &, bool) {});
    return census.pens;
}

std::string JsonNumber(long double v)
{
    return std::isfinite(v) ? FormatExtended(v) : "null";
}

int RunInfo(const std::vector<std::string> &args)
{
    std::string path;
    bool json = false;
    long double multiplier = 1.0L;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--json") {
            json = true;
        } else if (a == "--multiplier") {
            if (i + 1 >= args.size())
                return UsageError("--multiplier needs a value");
            std::string error;
            if (!ParseMultiplier(args[++i], multiplier, error))
                return UsageError(error);
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return UsageError("info: unknown option '" + a + "'");
        } else if (path.empty()) {
            path = a;
        } else {
            return UsageError("info: more than one file given");
        }
    }
    if (path.empty())
        return UsageError("info: no plot file given (grittor-cli info FILE [--json] [--multiplier M])");
    auto plot = ReadPlotForCli(path, multiplier);
    if (!plot)
        return 2;
    // A plot that reaches no point has no extent and no size.
    const bool drawing = plot->HasExtent();
    const TExtendedPoint mn = plot->MinPoint(), mx = plot->MaxPoint();
    const std::string w = FormatExtendedFixed((mx.x - mn.x) / 1016.0L, 2);
    const std::string h = FormatExtendedFixed((mx.y - mn.y) / 1016.0L, 2);
    const std::set<int> pens = PensUsed(*plot);
    std::string penList;
    for (int p : pens)
        penList += (penList.empty() ? "" : json ? "," : " ") + std::to_string(p);
    if (json) {
        const auto pair = [drawing](const std::string &a, const std::string &b) {
            return drawing ? "[" + a + "," + b + "]" : std::string("null");
        };
        std::printf("{\"instructions\":%d,\"errors\":%d,\"min\":%s,\"max\":%s,\"size_inches\":%s,\"pens\":[%s]}\n",
                    plot->CommandCount(), plot->ErrorCount(), pair(JsonNumber(mn.x), JsonNumber(mn.y)).c_str(),
                    pair(JsonNumber(mx.x), JsonNumber(mx.y)).c_str(), pair(w, h).c_str(), penList.c_str());
    } else {
        std::printf("instructions: %d\n", plot->CommandCount());
        std::printf("unrecognised: %d\n", plot->ErrorCount());
        if (drawing) {
            std::printf("min: %s\n", FormatPoint(mn).c_str());
            std::printf("max: %s\n", FormatPoint(mx).c_str());
            std::printf("size: %s x %s inches\n", w.c_str(), h.c_str());
        } else {
            std::printf("size: no drawing\n");
        }
        std::printf("pens: %s\n", pens.empty() ? "none" : penList.c_str());
    }
    return 0;
}

const CliRegistration registration("info", "info FILE [--json] [--multiplier M]", RunInfo);

} // namespace
} // namespace grittor::cli
