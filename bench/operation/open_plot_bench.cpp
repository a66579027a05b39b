// Opening and rendering a big plot in the real main window (offscreen):
// how long it takes, how often the progress window moves and the event loop
// breathes, and how quickly Cancel and closing the window are honoured.
//
//   bench_open_plot FILE [--once] [--shot PNG]
//     --once: only the full open (for profiling); --shot: the window as it
//     looks after that open, saved as a picture (to look at).
#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"
#include "foundation/GuiApplication.h"
#include "foundation/Progress.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"
#include "operation/Forms.h"
#include "operation/MainForm.h"
#include "operation/progress.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace grittor;

namespace {

// Forwards to the real progress window and notes when it moved.
class TimedProgress final : public Progress {
public:
    explicit TimedProgress(Progress &inner) : inner_(inner) {}
    void Show(const std::string &c) override
    {
        Note();
        inner_.Show(c);
    }
    void SetProgress(double f) override
    {
        Note();
        inner_.SetProgress(f);
    }
    void Hide() override
    {
        Note();
        inner_.Hide();
    }
    void Reset()
    {
        stamps.clear();
        clock.restart();
    }
    double MaxGapMs() const
    {
        double worst = 0;
        for (size_t i = 1; i < stamps.size(); ++i)
            worst = std::max(worst, stamps[i] - stamps[i - 1]);
        return worst;
    }
    std::vector<double> stamps;
    QElapsedTimer clock;

private:
    void Note() { stamps.push_back(clock.nsecsElapsed() / 1e6); }
    Progress &inner_;
};

struct RunResult {
    double totalMs = 0;
    double maxProgressGapMs = 0;
    double maxLoopGapMs = 0;
    double stopLatencyMs = -1;
    int progressUpdates = 0;
};

// Opens the plot; `stopAfterMs` >= 0 presses Cancel (or closes the window)
// that long after the start and measures how long the open takes to return.
RunResult Run(TMainFrm &main, TimedProgress &progress, const std::string &file, int stopAfterMs, bool byClose)
{
    RunResult r;
    GetAbortFlags().Closing = false;
    GetAbortFlags().OperationCancelled = false;
    progress.Reset();
    // A 5 ms ticker measures how long the event loop goes without running.
    QElapsedTimer loop;
    loop.start();
    double lastTick = 0, worstTick = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double now = loop.nsecsElapsed() / 1e6;
        worstTick = std::max(worstTick, now - lastTick);
        lastTick = now;
    });
    ticker.start();
    double stopAt = -1;
    QTimer stopper;
    stopper.setSingleShot(true);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        stopAt = loop.nsecsElapsed() / 1e6;
        if (byClose)
            main.close();
        else
            Forms().Progress->CancelButton->click();
    });
    if (stopAfterMs >= 0)
        stopper.start(stopAfterMs);
    QElapsedTimer t;
    t.start();
    main.OpenPlotFile(file);
    r.totalMs = t.nsecsElapsed() / 1e6;
    ticker.stop();
    r.maxLoopGapMs = worstTick;
    r.maxProgressGapMs = progress.MaxGapMs();
    r.progressUpdates = static_cast<int>(progress.stamps.size());
    if (stopAt >= 0)
        r.stopLatencyMs = r.totalMs - stopAt;
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_open_plot FILE [--once] [--shot PNG]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    GuiApplication app(argc, argv);
    InstallQtSeams();
    TMaterialLibrary library;
    TLibraryStore materials(library, MaterialLibraryPath(Options().SettingsFolder()));
    materials.Load();
    CreateForms(materials);
    TMainFrm &main = *Forms().MainFrm;
    main.resize(1000, 760);
    main.show();
    QCoreApplication::processEvents();
    TimedProgress progress(*Forms().Progress);
    SetProgress(&progress);
    const std::string file = argv[1];
    // An installation calibrates its busy-wait once, at the first saving of
    // the settings (opening a plot saves them): done before timing, as on
    // any machine that has run the program before.
    Options().Save();

    const RunResult full = Run(main, progress, file, -1, false);
    std::printf("open+render in the window: %.0f ms\n", full.totalMs);
    std::printf("  progress updates: %d, longest gap between them: %.1f ms\n", full.progressUpdates,
                full.maxProgressGapMs);
    std::printf("  longest time the event loop did not run: %.1f ms\n", full.maxLoopGapMs);
    bool once = false;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--once") {
            once = true;
        } else if (a == "--shot" && i + 1 < argc) {
            QCoreApplication::processEvents();
            if (!main.grab().save(QString::fromLocal8Bit(argv[++i])))
                std::fprintf(stderr, "could not save %s\n", argv[i]);
        }
    }
    if (once) {
        SetProgress(nullptr);
        DestroyForms();
        return 0;
    }
    // Half way through an open, whatever its length (a fixed second came
    // after the end of a fast one, and nothing was stopped).
    const int halfWay = std::max(1, static_cast<int>(full.totalMs / 2));
    const RunResult cancel = Run(main, progress, file, halfWay, false);
    std::printf("Cancel pressed after %d ms: open returned %.1f ms later (open took %.0f ms)\n", halfWay,
                cancel.stopLatencyMs, cancel.totalMs);
    const RunResult close = Run(main, progress, file, halfWay, true);
    std::printf("window closed after %d ms: open returned %.1f ms later (open took %.0f ms)\n", halfWay,
                close.stopLatencyMs, close.totalMs);
    SetProgress(nullptr);
    DestroyForms();
    return 0;
}
