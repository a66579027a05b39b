// grittor-cli plot and job: the text the machine would receive for a plot
// placed at digitized points.
//
//   plot FILE --origin X,Y            what "Digitize origin and send plot"
//                                     sends for a nozzle read back at (X, Y)
//   job FILE --reference X,Y --skew X,Y [--speed N] [--border]
//                                     the blast job (or the border) of a plot
//                                     placed by the load-key sequence
//
// Both read the plot, collect its outlines and build every pen group's blast
// path through the one pipeline the application uses (geometry/BlastJob.h).
// stdout gets exactly the bytes for the machine; the job's stderr gets the
// job position.
#include "app/cli/CliCommand.h"
#include "app/cli/HpglCliCommon.h"

#include "foundation/option.h"
#include "foundation/utils.h"
#include "geometry/BlastJob.h"
#include "hpgl/hpgl.h"
#include "link/MachineNumbers.h"
#include "pens/MaterialLibrary.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

namespace grittor::cli {
namespace {

// A machine point: two whole numbers "X,Y", as the machine reports them.
bool ParseMachinePoint(const std::string &text, TExtendedPoint &out)
{
    const size_t comma = text.find(',');
    if (comma == std::string::npos)
        return false;
    int x = 0, y = 0;
    if (!ParseInt(Trim(text.substr(0, comma)), x) || !ParseInt(Trim(text.substr(comma + 1)), y))
        return false;
    out = {static_cast<long double>(x), static_cast<long double>(y)};
    return true;
}

struct Common {
    std::string path;
    std::string material;
    std::string library;
    bool haveMaterial = false;
    long double multiplier = 1.0L;
};

// Handles the options both commands share; returns false when `a` is not
// one of them.  `error` is set for a bad value.
bool CommonOption(const std::vector<std::string> &args, size_t &i, Common &c, std::string &error)
{
    const std::string &a = args[i];
    auto value = [&](const char *what) -> std::optional<std::string> {
        if (i + 1 >= args.size()) {
            error = a + " needs " + what;
            return std::nullopt;
        }
        return args[++i];
    };
    if (a == "--material") {
        if (auto v = value("a material name")) {
            c.material = *v;
            c.haveMaterial = true;
        }
        return true;
    }
    if (a == "--library") {
        if (auto v = value("a library file"))
            c.library = *v;
        return true;
    }
    if (a == "--multiplier") {
        if (auto v = value("a value"))
            ParseMultiplier(*v, c.multiplier, error);
        return true;
    }
    return false;
}

// Library and material: the user's library unless --library names another;
// no material (every pen blasted with the settings' defaults) unless
// --material names one.
bool ChooseMaterial(const Common &c, TMaterialPens &material, std::string &error)
{
    material = TMaterialPens{};
    if (!c.haveMaterial && c.library.empty())
        return true;
    TMaterialLibrary library;
    std::string why;
    if (!ReadLibraryForCli(c.library, library, why)) {
        error = c.haveMaterial ? "unknown material '" + c.material + "': " + why : why;
        return false;
    }
    if (!c.haveMaterial)
        return true;
    const int m = library.FindMaterial(c.material);
    if (m < 0) {
        error = "unknown material '" + c.material + "'";
        return false;
    }
    material = library.Pens(m);
    return true;
}

// Reads the plot and collects its outlines.  Returns the job, or nullptr
// with `status` set.
std::unique_ptr<TBlastJob> LoadJob(const std::string &command, const Common &c, const TMaterialPens &material,
                                   int &status, std::unique_ptr<THpglFile> &plot)
{
    plot = ReadPlotForCli(c.path, c.multiplier);
    if (!plot) {
        status = 2;
        return nullptr;
    }
    if (!plot->HasExtent()) {
        status = UsageError(command + ": " + c.path + ": no drawing");
        return nullptr;
    }
    auto job = std::make_unique<TBlastJob>(TBlastJob::CollectOutlines(*plot, material.BorderFlags(), false,
                                                                       MessageToStderr));
    if (job->GroupCount() == 0) {
        status = UsageError(command + ": " + c.path + " draws nothing: the plot has no pen groups");
        return nullptr;
    }
    job->BuildOutputs();
    return job;
}

// A text with a coordinate the machine cannot take is refused, naming the
// instruction it came from; nothing is written.
bool Refused(const std::string &command, const THpglFile &plot, const TBlastJob &job)
{
    const std::string problem = OutOfRangeProblem(plot, job);
    if (problem.empty())
        return false;
    UsageError(command + ": " + problem + "; nothing written");
    return true;
}

void WriteStdout(const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

int RunPlot(const std::vector<std::string> &args)
{
    Common c;
    std::optional<TExtendedPoint> origin;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (CommonOption(args, i, c, error)) {
            if (!error.empty())
                return UsageError("plot: " + error);
            continue;
        }
        const std::string &a = args[i];
        if (a == "--origin") {
            TExtendedPoint p;
            if (i + 1 >= args.size() || !ParseMachinePoint(args[i + 1], p))
                return UsageError("plot: --origin needs the machine point X,Y in whole plotter units");
            origin = p;
            ++i;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return UsageError("plot: unknown option '" + a + "'");
        } else if (c.path.empty()) {
            c.path = a;
        } else {
            return UsageError("plot: more than one file given");
        }
    }
    if (c.path.empty() || !origin)
        return UsageError("plot: usage: grittor-cli plot FILE --origin X,Y [--material NAME] [--library FILE]");
    std::string error;
    TMaterialPens material;
    if (!ChooseMaterial(c, material, error))
        return UsageError("plot: " + error);
    int status = 0;
    std::unique_ptr<THpglFile> plot;
    auto job = LoadJob("plot", c, material, status, plot);
    if (!job)
        return status;
    const std::string text = job->PlacedText(OriginPlacement(job->Drawing(), *origin));
    if (Refused("plot", *plot, *job))
        return 2;
    WriteStdout(text);
    return 0;
}

int RunJob(const std::vector<std::string> &args)
{
    Common c;
    std::optional<TExtendedPoint> reference, skew;
    int speed = 10;
    bool border = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (CommonOption(args, i, c, error)) {
            if (!error.empty())
                return UsageError("job: " + error);
            continue;
        }
        const std::string &a = args[i];
        if (a == "--reference" || a == "--skew") {
            TExtendedPoint p;
            if (i + 1 >= args.size() || !ParseMachinePoint(args[i + 1], p))
                return UsageError("job: " + a + " needs the machine point X,Y in whole plotter units");
            (a == "--reference" ? reference : skew) = p;
            ++i;
        } else if (a == "--speed") {
            if (i + 1 >= args.size() || !ParseInt(args[i + 1], speed))
                return UsageError("job: --speed needs a whole number (the machine's down speed)");
            if (const std::string problem = CheckMachineSpeed(speed, "--speed"); !problem.empty())
                return UsageError("job: " + problem);
            ++i;
        } else if (a == "--border") {
            border = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return UsageError("job: unknown option '" + a + "'");
        } else if (c.path.empty()) {
            c.path = a;
        } else {
            return UsageError("job: more than one file given");
        }
    }
    if (c.path.empty() || !reference || !skew)
        return UsageError("job: usage: grittor-cli job FILE --reference X,Y --skew X,Y [--speed N] "
                          "[--material NAME] [--library FILE] [--border]");
    std::string error;
    TMaterialPens material;
    if (!ChooseMaterial(c, material, error))
        return UsageError("job: " + error);
    int status = 0;
    std::unique_ptr<THpglFile> plot;
    auto job = LoadJob("job", c, material, status, plot);
    if (!job)
        return status;

    // The record the load-key sequence makes from the two machine points.
    const TPlacement placement = LoadKeyPlacement(*reference, *skew);
    const TAlignPoints &digitized = placement.Record;

    const Toption &opt = Options();
    if (border) {
        if (job->BorderGroupIndex() < 0)
            return UsageError("job: There is no border pen in the plot file");
        const std::string text = job->BorderText(placement);
        if (Refused("job", *plot, *job))
            return 2;
        std::fprintf(stderr, "position %lld,%lld\n", static_cast<long long>(std::floor(digitized.Origin.x)),
                     static_cast<long long>(std::floor(digitized.Origin.y)));
        WriteStdout(text);
        return 0;
    }

    std::fprintf(stderr, "position %lld,%lld\n",
                 static_cast<long long>(std::floor(digitized.Origin.x)) - opt.LaserOffset.x,
                 static_cast<long long>(std::floor(digitized.Origin.y)) - opt.LaserOffset.y);
    // The debug copy of every emitted point, as a job run writes it.
    std::ofstream pattern;
    {
        std::error_code ec;
        std::filesystem::create_directories(opt.Directory, ec);
        const std::string name = opt.Directory + "blowpattern.xls";
        std::filesystem::remove(name, ec);
        pattern.open(name, std::ios::binary | std::ios::trunc);
    }
    const std::string text = job->JobText(material, TBlastSettings::From(opt), speed, placement,
                                          pattern.is_open() ? &pattern : nullptr) +
                             ";";
    if (Refused("job", *plot, *job))
        return 2;
    WriteStdout(text);
    return 0;
}

const CliRegistration
    plotRegistration("plot", "plot FILE --origin X,Y [--material NAME] [--library FILE] [--multiplier M]", RunPlot);
const CliRegistration jobRegistration("job",
                                      "job FILE --reference X,Y --skew X,Y [--speed N] [--material NAME] "
                                      "[--library FILE] [--border] [--multiplier M]",
                                      RunJob);

} // namespace
} // namespace grittor::cli
