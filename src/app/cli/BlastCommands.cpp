// grittor-cli plot and job: the text the machine would receive for a plot
// placed at digitized points.
//
//   plot FILE --origin X,Y            what "Digitize origin and send plot"
//                                     sends for a nozzle read back at (X, Y)
//   job FILE --reference X,Y --skew X,Y [--speed N] [--border]
//                                     the blast job (or the border) of a plot
//                                     placed by the load-key sequence
//
// Both read the plot, collect its outlines during the first rendering and
// build every pen group's blast path as the application does.  stdout gets
// exactly the bytes for the machine; the job's stderr gets the job position.
#include "app/cli/CliCommand.h"
#include "app/cli/HpglCliCommon.h"
#include "app/cli/RenderHooks.h"

#include "foundation/option.h"
#include "foundation/utils.h"
#include "geometry/Blow.h"
#include "geometry/OutlineFeed.h"
#include "geometry/polygon.h"
#include "hpgl/Canvas.h"
#include "hpgl/HpglOutput.h"
#include "hpgl/hpgl.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

namespace grittor::cli {
namespace {

// Opening a plot collects its outlines during the first rendering.
// The collection runs beside the drawing, on the second core.
const FirstRenderRegistration collectOutlines([](THpglFile &plot) -> std::function<void()> {
    TPolygon &poly = Polygon();
    poly.ScanLine = Options().ScanLine;
    poly.Debug = false;
    poly.StartCollection(&plot);
    auto feed = std::make_shared<TOutlineFeed>(poly);
    feed->Attach(plot);
    return [feed] { feed->Finish(); };
});

// The rendering needs a target; nothing is shown here.
class NullCanvas final : public Canvas {
public:
    void MoveTo(int, int) override {}
    void LineTo(int, int) override {}
    void FillRect(int, int, int, int, uint32_t) override {}
    uint32_t PenColor() const override { return pen_; }
    void SetPenColor(uint32_t c) override { pen_ = c; }

private:
    uint32_t pen_ = 0;
};

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
            ApplyMultiplier(*v, error);
        return true;
    }
    return false;
}

// Library and material: the user's library unless --library names another;
// no material selected unless --material names one.
bool SelectMaterial(const Common &c, std::string &error)
{
    if (!c.library.empty()) {
        TLibrarySnapshot snapshot;
        std::string why;
        if (!ReadLibraryFile(c.library, snapshot, why)) {
            error = "cannot read the material library " + c.library + ": " + why;
            return false;
        }
        InstallLibrary(std::move(snapshot));
    }
    SetSelectedMaterial(-1);
    if (c.haveMaterial) {
        const auto &names = Options().Materials;
        for (size_t m = 0; m < names.size(); ++m)
            if (names[m] == c.material) {
                SetSelectedMaterial(static_cast<int>(m));
                return true;
            }
        error = "unknown material '" + c.material + "'";
        return false;
    }
    return true;
}

// Reads the plot, renders it once (collecting the outlines) and builds every
// pen group's blast path.  Returns the plot, or nullptr with `status` set.
std::unique_ptr<THpglFile> LoadPlot(const std::string &command, const std::string &path, int &status)
{
    auto plot = ReadPlotForCli(path);
    if (!plot) {
        status = 2;
        return nullptr;
    }
    NullCanvas canvas;
    RenderFirstTime(*plot, canvas, 1000, 700);
    TPolygon &poly = Polygon();
    if (poly.GroupCount() == 0) {
        status = UsageError(command + ": " + path + " draws nothing: the plot has no pen groups");
        return nullptr;
    }
    for (int i = 0; i < poly.GroupCount(); ++i) {
        poly.NewGroupOutput(i, false);
        poly.ScanLine = Options().ScanLine;
    }
    // All pens are placed by the plot's own reference points, so that they
    // keep their places relative to each other.
    poly.ShareDrawingAlignment();
    return plot;
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
    if (!SelectMaterial(c, error))
        return UsageError("plot: " + error);
    int status = 0;
    auto plot = LoadPlot("plot", c.path, status);
    if (!plot)
        return status;

    TPolygon &poly = Polygon();
    std::string text;
    for (int i = 0; i < poly.GroupCount(); ++i) {
        THpglOutput &out = *poly.GroupOutput(i);
        DigitizeFromOrigin(out, *origin);
        out.Solve();
        out.EmitTo(text, false, false);
        text += ";\r\n";
    }
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
    if (!SelectMaterial(c, error))
        return UsageError("job: " + error);
    int status = 0;
    auto plot = LoadPlot("job", c.path, status);
    if (!plot)
        return status;

    // The record the load-key sequence makes from the two machine points.
    TAlignPoints digitized;
    digitized.Origin = *reference;
    digitized.Ref = {0, 0};
    digitized.Skew = {skew->x - reference->x, skew->y - reference->y};

    TPolygon &poly = Polygon();
    const Toption &opt = Options();
    if (border) {
        const int index = poly.BorderGroupIndex();
        if (index < 0)
            return UsageError("job: There is no border pen in the plot file");
        std::fprintf(stderr, "position %lld,%lld\n", static_cast<long long>(std::floor(digitized.Origin.x)),
                     static_cast<long long>(std::floor(digitized.Origin.y)));
        THpglOutput &out = *poly.GroupOutput(index);
        out.Digitized = digitized;
        out.Solve();
        std::string text = "papu0,0;\r\n";
        out.EmitTo(text, false, false);
        text += "papu0,0;\r\n";
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
    WritePenHeaderLog();
    TBlowList &list = BlowList();
    PrepareBlowList(list, poly);
    const std::string text = list.BuildJobStream(speed, digitized, pattern.is_open() ? &pattern : nullptr) + ";";
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
