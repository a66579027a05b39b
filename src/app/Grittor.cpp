// Program entry: exception hooks and the log's path first, then the
// application object, every window in the start-up order, and the message
// loop.
//
//   grittor [--simulate | --demo] [--port DEVICE] [FILE]
#include "foundation/BuildInfo.h"
#include "foundation/DataFiles.h"
#include "foundation/ExceptionReporting.h"
#include "foundation/GuiApplication.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"
#include "link/SerialDevice.h"
#include "link/SimulatorProcess.h"
#include "operation/Forms.h"
#include "operation/JobQueue.h"
#include "operation/MainForm.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"

#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const char *const DemoPlot = "samples/stencil-stone.plt";

struct Arguments {
    bool simulate = false;
    bool demo = false;
    std::string port;
    std::string file;
    int quitAfterMs = -1; // for smoke tests: close the window after this long
    std::string simArgs;  // extra words for grittor-sim (tests)
};

void PrintUsage(std::FILE *out)
{
    std::fprintf(out, "usage: grittor [--simulate | --demo] [--port DEVICE] [FILE]\n"
                      "  --simulate        start the simulated machine (grittor-sim) and talk to it\n"
                      "  --demo            --simulate with the demo plot open\n"
                      "  --port DEVICE     use DEVICE for the selected port in this run\n"
                      "  FILE              open this plot at start\n"
                      "  --version         print the version and exit\n"
                      "  --help            print this help and exit\n"
                      "for tests:\n"
                      "  --quit-after MS   close the window after MS milliseconds\n"
                      "  --sim-args WORDS  extra options for grittor-sim\n"
                      "Qt's own options (-platform NAME, -style NAME, ...) are understood too.\n");
}

bool TakesValue(const std::string &arg)
{
    return arg == "--port" || arg == "--quit-after" || arg == "--sim-args";
}

// --help and --version are answered before the application object exists:
// that needs a display, and a terminal without one must still get them.
// Returns true when one of them was answered.
bool AnswerHelpOrVersion(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return true;
        }
        if (arg == "--version") {
            std::printf("grittor %s\n", grittor::GrittorProjectVersion);
            return true;
        }
        if (TakesValue(arg))
            ++i;
    }
    return false;
}

bool ParseArguments(int argc, char **argv, Arguments &a)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--simulate") {
            a.simulate = true;
        } else if (arg == "--demo") {
            a.simulate = a.demo = true;
        } else if (arg == "--port" && i + 1 < argc) {
            a.port = argv[++i];
        } else if (arg == "--quit-after" && i + 1 < argc) {
            a.quitAfterMs = std::atoi(argv[++i]);
        } else if (arg == "--sim-args" && i + 1 < argc) {
            a.simArgs = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "grittor: unknown option %s (try --help)\n", arg.c_str());
            return false;
        } else {
            a.file = arg;
        }
    }
    return true;
}

std::vector<std::string> SplitWords(const std::string &s)
{
    std::vector<std::string> words;
    std::string w;
    for (char c : s) {
        if (c == ' ') {
            if (!w.empty())
                words.push_back(w);
            w.clear();
        } else {
            w += c;
        }
    }
    if (!w.empty())
        words.push_back(w);
    return words;
}

} // namespace

int main(int argc, char **argv)
{
    using namespace grittor;
    if (AnswerHelpOrVersion(argc, argv))
        return 0;
    InstallProcessHooks();
    LogOutput();
    GuiApplication app(argc, argv);
    QApplication::setApplicationName("Grittor");
    QApplication::setApplicationDisplayName("Grittor");
    // Ties the windows to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(GrittorAppId);
    QApplication::setWindowIcon(QIcon::fromTheme(GrittorAppId));
    Arguments args;
    if (!ParseArguments(argc, argv, args))
        return 2;
    InstallQtSeams();

    // The material library lives beside the settings, in a file of its own.
    TMaterialLibrary library;
    TLibraryStore materials(library, MaterialLibraryPath(Options().SettingsFolder()));
    materials.Load();
    CreateForms(materials);
    TMainFrm &main = *Forms().MainFrm;
    main.show();

    // Binding the selected port to a device for this run; a run that asks
    // for a machine with "No Comm Port" selected uses com1.
    auto bindPort = [&main](const std::string &device) {
        if (Options().Port == "none")
            main.SelectPortForThisRun("com1");
        SetPortOverride(Options().Port, device);
    };
    std::unique_ptr<TSimulatorProcess> simulator;
    if (args.simulate) {
        simulator = std::make_unique<TSimulatorProcess>();
        std::string error;
        // Line ends after every answer keep the terminal readable; the
        // protocol reads either form.
        std::vector<std::string> simArgs{"--eol", "crlf"};
        for (const std::string &w : SplitWords(args.simArgs))
            simArgs.push_back(w);
        if (simulator->Start(simArgs, error)) {
            bindPort(simulator->DevicePath());
            main.AddTerminalLine("Connected to the simulated machine at " + simulator->DevicePath(), true);
        } else {
            main.AddTerminalLine("The simulated machine did not start: " + error, true);
            simulator.reset();
        }
    } else if (!args.port.empty()) {
        bindPort(args.port);
    }
    if (args.demo && args.file.empty()) {
        args.file = FindDataFile(DemoPlot);
        if (args.file.empty())
            main.AddTerminalLine(std::string("The demo plot ") + DemoPlot + " is not installed", true);
    }

    if (const std::string problem = TakeSettingsLoadProblem(); !problem.empty())
        QTimer::singleShot(0, &main, [problem] { ShowMessage(problem); });
    if (const std::string problem = materials.TakeLoadProblem(); !problem.empty())
        QTimer::singleShot(0, &main, [problem] { ShowMessage(problem); });
    // A queue left by the last run (a crash, a power cut) is offered back.
    QTimer::singleShot(0, &main, [] {
        if (Forms().JobQueue)
            Forms().JobQueue->OfferRestore();
    });
    if (!args.file.empty())
        QTimer::singleShot(0, &main, [&main, file = args.file] { main.OpenPlotFile(file); });
    if (args.quitAfterMs >= 0)
        QTimer::singleShot(args.quitAfterMs, &main, [&main] { main.close(); });

    const int rc = app.exec();
    DestroyForms();
    if (simulator)
        simulator->Stop();
    RestoreProcessHooks();
    return rc;
}
