// grittor-cli run: a plot blasted on the machine without the window, as the
// window's Send Job does it for a plot placed by the given points.
//
//   run FILE --port DEVICE --reference X,Y --skew X,Y [--stretch X,Y]
//       [--material NAME] [--library FILE] [--multiplier M] [--baud N]
//
// Without --stretch the plot is placed as the load-key sequence places it
// (the job text is byte for byte `grittor-cli job` with the same points);
// with it, turn and both scales are fitted.  Progress goes to stderr; "done"
// and exit 0 only when the whole job was sent and the machine then reported
// idle.  Ctrl-C stops the job on the machine (pause, kill, ready).
#include "app/cli/CliCommand.h"
#include "app/cli/HpglCliCommon.h"
#include "app/cli/LinkCli.h"

#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"
#include "foundation/UiHooks.h"
#include "foundation/option.h"
#include "geometry/BlastJob.h"
#include "hpgl/hpgl.h"
#include "link/JobWait.h"
#include "link/MachineNumbers.h"
#include "link/TSerial.h"
#include "operation/JobRun.h"
#include "pens/MaterialLibrary.h"

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>

namespace grittor::cli {
namespace {

std::atomic<bool> g_interrupt{false};

extern "C" void OnRunInterrupt(int)
{
    g_interrupt = true;
}

bool ParsePoint(const std::string &text, TExtendedPoint &out)
{
    const size_t comma = text.find(',');
    int x = 0, y = 0;
    if (comma == std::string::npos || !ParseInt(Trim(text.substr(0, comma)), x) ||
        !ParseInt(Trim(text.substr(comma + 1)), y))
        return false;
    out = {static_cast<long double>(x), static_cast<long double>(y)};
    return true;
}

// The window messages of a headless run: the link calls this while it
// waits, which is when Ctrl-C's cancel runs and the progress is printed.
class RunHooks final : public UiHooks {
public:
    RunHooks(TSerial &link, TJobRun &run) : link_(link), run_(run) {}
    void ProcessMessages() override
    {
        if (g_interrupt && !cancelling_) {
            cancelling_ = true;
            std::fprintf(stderr, "grittor-cli: run: cancelling the job on the machine\n");
            SendCancelSequence(link_, [](int ms) { GetClock().SleepMs(ms); });
            GetAbortFlags().Cancelled = true;
        }
        const int64_t now = GetClock().NowMs();
        if (now - lastPrint_ >= 2000) {
            lastPrint_ = now;
            const TJobProgress p = run_.Progress(now);
            if (p.Total > 0) {
                const std::string where =
                    p.Waiting ? "all sent, the machine is blasting"
                              : "pass " + std::to_string(p.Pass) + " of " + std::to_string(p.Passes) + ", pen " +
                                    std::to_string(p.Pen);
                std::fprintf(stderr, "%s: %llu of %llu bytes sent, about %lld s of blasting left\n", where.c_str(),
                             static_cast<unsigned long long>(p.Sent), static_cast<unsigned long long>(p.Total),
                             static_cast<long long>(std::llround(static_cast<double>(p.RemainingMs) / 1000.0)));
            }
        }
    }
    bool IsUiThread() override { return true; }

private:
    TSerial &link_;
    TJobRun &run_;
    bool cancelling_ = false;
    int64_t lastPrint_ = 0;
};

int RunRun(const std::vector<std::string> &args)
{
    std::string path, port, material, library;
    bool haveMaterial = false;
    long double multiplier = 1.0L;
    int32_t baud = 38400;
    std::optional<TExtendedPoint> reference, skew, stretch;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        if (a == "--reference" || a == "--skew" || a == "--stretch") {
            TExtendedPoint p;
            const auto v = value();
            if (!v || !ParsePoint(*v, p))
                return UsageError("run: " + a + " needs the machine point X,Y in whole plotter units");
            (a == "--reference" ? reference : a == "--skew" ? skew : stretch) = p;
        } else if (a == "--port") {
            const auto v = value();
            if (!v)
                return UsageError("run: --port needs a device");
            port = *v;
        } else if (a == "--material") {
            const auto v = value();
            if (!v)
                return UsageError("run: --material needs a material name");
            material = *v;
            haveMaterial = true;
        } else if (a == "--library") {
            const auto v = value();
            if (!v)
                return UsageError("run: --library needs a library file");
            library = *v;
        } else if (a == "--multiplier") {
            const auto v = value();
            std::string error;
            if (!v || !ParseMultiplier(*v, multiplier, error))
                return UsageError("run: " + (v ? error : std::string("--multiplier needs a value")));
        } else if (a == "--baud") {
            const auto v = value();
            int b = 0;
            if (!v || !ParseInt(*v, b) || (b != 4800 && b != 9600 && b != 19200 && b != 38400))
                return UsageError("run: --baud needs 4800, 9600, 19200 or 38400");
            baud = b;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return UsageError("run: unknown option '" + a + "'");
        } else if (path.empty()) {
            path = a;
        } else {
            return UsageError("run: more than one file given");
        }
    }
    if (path.empty() || port.empty() || !reference || !skew)
        return UsageError("run: usage: grittor-cli run FILE --port DEVICE --reference X,Y --skew X,Y "
                          "[--stretch X,Y] [--material NAME] [--library FILE]");
    for (const auto &[p, what] : {std::pair{reference, "--reference"}, std::pair{skew, "--skew"}, std::pair{stretch, "--stretch"}})
        if (p)
            for (const long double v : {p->x, p->y})
                if (const std::string problem = CheckMachineCoordinate(v, what); !problem.empty())
                    return UsageError("run: " + problem);

    TMaterialPens pens;
    if (haveMaterial || !library.empty()) {
        TMaterialLibrary lib;
        std::string why;
        if (!ReadLibraryForCli(library, lib, why))
            return UsageError("run: " + (haveMaterial ? "unknown material '" + material + "': " + why : why));
        if (haveMaterial) {
            const int m = lib.FindMaterial(material);
            if (m < 0)
                return UsageError("run: unknown material '" + material + "'");
            pens = lib.Pens(m);
        }
    }
    auto plot = ReadPlotForCli(path, multiplier);
    if (!plot)
        return 2;
    TBlastJob job(TBlastJob::CollectOutlines(*plot, pens.BorderFlags(), false, MessageToStderr));
    if (job.GroupCount() == 0)
        return UsageError("run: " + path + " draws nothing: the plot has no pen groups");
    job.BuildOutputs();
    const TPlacement placement =
        stretch ? ThreePointPlacement(*reference, *skew, *stretch) : LoadKeyPlacement(*reference, *skew);

    int rc = 0;
    auto link = OpenCliLink(port, baud, -1, rc);
    if (!link)
        return rc;
    std::signal(SIGINT, OnRunInterrupt);
    TJobRun run(*link, job, baud / 10.0);
    RunHooks hooks(*link, run);
    SetUiHooks(&hooks);
    TWaitEvents events;
    events.StillWaiting = [](const std::string &text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    const TJobResult result = run.SendJob(pens, TJobSettings::From(Options()), placement, events);
    SetUiHooks(nullptr);
    std::signal(SIGINT, SIG_DFL);
    if (result.Ok()) {
        std::printf("done\n");
        return 0;
    }
    std::fprintf(stderr, "grittor-cli: run: %s\n", result.Message.c_str());
    return result.Outcome == TJobOutcome::Refused ? 2 : 1;
}

const CliRegistration registration("run",
                                   "run FILE --port DEVICE --reference X,Y --skew X,Y [--stretch X,Y] "
                                   "[--material NAME] [--library FILE] [--multiplier M] [--baud N]",
                                   RunRun);

} // namespace
} // namespace grittor::cli
