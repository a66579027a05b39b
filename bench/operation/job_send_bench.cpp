// A blast job of about 1 MB (or $GRITTOR_BENCH_JOB_KB kilobytes) sent
// through the real main window (offscreen) to grittor-sim at 38400 baud,
// then waited for while the simulated machine is still blasting:
//  - the share of the line rate the job text gets while it is sent;
//  - the longest the window's event loop went without running (a 5 ms
//    timer's largest gap), while sending and while waiting;
//  - the processor time this program takes (all its threads), as a share
//    of one core, while sending and while the idle wait polls.
//
// The plot is a real one from the shared plot folder (not generated here),
// blasted in as many passes as make the job about the size asked for.
//
//   bench_job_send [PLOT]
#include "../BenchClock.h"
#include "foundation/Dialogs.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"
#include "geometry/BlastJob.h"
#include "link/SimulatorProcess.h"
#include "link/TSerial.h"
#include "operation/Forms.h"
#include "operation/JobProgress.h"
#include "operation/JobRun.h"
#include "operation/MainForm.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <sys/resource.h>

using namespace grittor;
using grittor::bench::CpuSeconds;
using grittor::bench::NowMs;

namespace {

constexpr int kBaud = 38400;
constexpr double kLineBytesPerSecond = kBaud / 10.0;

class QuietDialogs final : public Dialogs {
public:
    void Message(const std::string &text) override { std::printf("  message: %s\n", text.c_str()); }
    bool Confirm(const std::string &) override { return true; }
    std::optional<std::string> OpenFile(const std::string &, const std::string &, const std::string &) override
    {
        return std::nullopt;
    }
    std::optional<std::string> SaveFile(const std::string &, const std::string &, const std::string &) override
    {
        return std::nullopt;
    }
};

void SetPens(TMaterialLibrary &lib, int passes)
{
    if (lib.MaterialCount() == 0)
        lib.AddMaterial("Bench");
    for (int pen = 0; pen <= 9; ++pen) {
        TPens &p = lib.FindOrAddPen(0, pen);
        p.SetBlowSpeed(25);
        p.SetRadius(200);
        p.SetPasses(passes);
        p.SetTimes(1);
        p.fill = 1;
        p.border = false;
    }
    lib.SetSelected(0);
}

// The simulator's "stats" line.
std::string Stats(TSimulatorProcess &sim)
{
    sim.Command("stats");
    std::string reply;
    while (sim.ReadLine(reply, 3000))
        if (reply.rfind("stats ", 0) == 0)
            return reply;
    return {};
}

// The job's size and the machine's blast time for one pass, from a quick
// run of the same job on an unpaced line.
bool Measure(const std::string &plotPath, TMaterialLibrary &lib, const TPlacement &placement, uint64_t &bytes,
             double &blastMs)
{
    TSimulatorProcess sim;
    std::string error;
    if (!sim.Start({"--baud", "0", "--time-scale", "0.0001"}, error)) {
        std::fprintf(stderr, "grittor-sim: %s\n", error.c_str());
        return false;
    }
    SetPortOverride("com9", sim.DevicePath());
    THpglFile plot(plotPath, 1.0L, nullptr);
    TBlastJob job(TBlastJob::CollectOutlines(plot, lib.Pens(0).BorderFlags()));
    job.BuildOutputs();
    TSerial link("com9", 20000, 0, 8, 0, kBaud);
    if (!link.OpenedOk())
        return false;
    TJobRun run(link, job, kLineBytesPerSecond);
    TJobSettings s = TJobSettings::From(Options());
    s.PatternFile.clear();
    const TJobResult r = run.SendJob(lib.Pens(0), s, placement);
    if (!r.Ok()) {
        std::fprintf(stderr, "measuring run: %s\n", r.Message.c_str());
        return false;
    }
    bytes = r.Total;
    const std::string reply = Stats(sim);
    std::smatch m;
    if (!std::regex_search(reply, m, std::regex(R"(blast_ms=(\d+))")))
        return false;
    blastMs = std::stod(m[1]);
    sim.Stop();
    return true;
}

// The bytes the machine has taken off the line so far.
uint64_t Received(TSimulatorProcess &sim)
{
    const std::string reply = Stats(sim);
    std::smatch m;
    return std::regex_search(reply, m, std::regex(R"(rx=(\d+))")) ? std::stoull(m[1]) : 0;
}

struct Phase {
    double startMs = -1, cpuStart = 0, endMs = -1, cpuEnd = 0, worstGapMs = 0, worstAtMs = 0;
    int gapsOver50 = 0;
    bool Open() const { return startMs >= 0 && endMs < 0; }
    void Gap(double gap, double now)
    {
        if (gap > worstGapMs) {
            worstGapMs = gap;
            worstAtMs = now - startMs;
        }
        if (gap > 50)
            ++gapsOver50;
    }
    void Print() const
    {
        std::printf("  longest event-loop stall  %6.1f ms  (needed <= 50 ms; %.1f s in; %d gaps over 50 ms)\n",
                    worstGapMs, worstAtMs / 1000, gapsOver50);
    }
};

// The machine's load (other programs compete for the two cores here).
double Load()
{
    double l[1] = {0};
    return getloadavg(l, 1) == 1 ? l[0] : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    InstallQtSeams();
    QuietDialogs dialogs;
    SetDialogs(&dialogs);
    std::string plotPath = GRITTOR_SHARED_PLOTS "/chiplotle__bird.hpgl";
    if (argc > 1)
        plotPath = argv[1];
    if (!QFileInfo::exists(QString::fromStdString(plotPath))) {
        std::fprintf(stderr, "no plot at %s: name one\n", plotPath.c_str());
        return 2;
    }
    double wantKb = 1024;
    if (const char *s = std::getenv("GRITTOR_BENCH_JOB_KB"))
        wantKb = std::atof(s);
    const TPlacement placement = LoadKeyPlacement({20000, 3000}, {30000, 3000});

    TMaterialLibrary lib;
    SetPens(lib, 1);
    uint64_t onePass = 0;
    double oneBlastMs = 0;
    if (!Measure(plotPath, lib, placement, onePass, oneBlastMs))
        return 1;
    const int passes = std::max(1, static_cast<int>(std::lround(wantKb * 1024 / static_cast<double>(onePass))));
    SetPens(lib, passes);
    // The machine blasts slowly enough that about 30 s of blasting is left
    // when the last byte has gone.
    const double sendMs = static_cast<double>(onePass) * passes / kLineBytesPerSecond * 1000;
    const double timeScale = (sendMs + 30000) / (oneBlastMs * passes);
    std::printf("job: %s, %d passes of %llu bytes (about %.0f kB), %.0f s on the line; time scale %.3f\n",
                plotPath.c_str(), passes, static_cast<unsigned long long>(onePass),
                static_cast<double>(onePass) * passes / 1024, sendMs / 1000, timeScale);

    TSimulatorProcess sim;
    std::string error;
    if (!sim.Start({"--baud", std::to_string(kBaud), "--time-scale", std::to_string(timeScale)}, error)) {
        std::fprintf(stderr, "grittor-sim: %s\n", error.c_str());
        return 1;
    }
    SetPortOverride("com1", sim.DevicePath());
    Options().Port = "com1";
    TLibraryStore store(lib, MaterialLibraryPath(Options().SettingsFolder()));
    CreateForms(store);
    SetPens(lib, passes); // the window's start loads the (empty) stored library
    TMainFrm *main = Forms().MainFrm;
    main->show();
    main->OpenPlotFile(plotPath);
    main->OpenMenuClick();
    main->DigitizedRecord = placement;

    // The phases as the progress window shows them, and the event loop's
    // gaps, seen from a 5 ms timer.
    Phase sending, waiting;
    uint64_t total = 0;
    // The line share: what the machine took between two readings of its
    // counter, 2 s into the send and when the last byte has left us.
    double rxAtMs[2] = {-1, -1};
    uint64_t rxAt[2] = {0, 0};
    auto sample = [&](int k) {
        rxAtMs[k] = NowMs();
        rxAt[k] = Received(sim);
    };
    double lastTick = -1;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = NowMs();
        const double gap = lastTick < 0 ? 0 : now - lastTick;
        lastTick = now;
        if (sending.Open())
            sending.Gap(gap, now);
        if (waiting.Open())
            waiting.Gap(gap, now);
        auto *progress = main->findChild<TJobProgressForm *>();
        if (!progress || !progress->isVisible())
            return;
        static const std::regex bytesText(R"(([\d,]+) of ([\d,]+) bytes sent)");
        std::smatch m;
        const std::string b = progress->BytesLabel->text().toStdString();
        if (!std::regex_search(b, m, bytesText))
            return;
        auto number = [](std::string s) {
            s.erase(std::remove(s.begin(), s.end(), ','), s.end());
            return std::stoull(s);
        };
        const uint64_t sent = number(m[1]);
        total = number(m[2]);
        if (sending.startMs < 0 && sent > 0) {
            sending.startMs = now;
            sending.cpuStart = CpuSeconds();
        }
        const bool allSent = progress->PassLabel->text().startsWith("All sent");
        if (sending.Open() && rxAtMs[0] < 0 && now > sending.startMs + 2000) {
            sample(0);
            lastTick = NowMs(); // the reading's own pause is not the window's
        }
        if (sending.Open() && allSent) {
            sample(1);
            lastTick = NowMs();
            sending.endMs = now;
            sending.cpuEnd = CpuSeconds();
            waiting.startMs = now;
            waiting.cpuStart = sending.cpuEnd;
        }
    });
    tick.start(5);
    const double loadBefore = Load();
    main->SendFileMenuClick();
    std::printf("machine load average: %.2f before, %.2f after (2 cores)\n", loadBefore, Load());
    if (waiting.Open()) {
        waiting.endMs = NowMs();
        waiting.cpuEnd = CpuSeconds();
    }
    tick.stop();
    const TJobResult result = main->LastJobResult();
    std::printf("result: %s\n", result.Ok() ? "done" : result.Message.c_str());
    if (!result.Ok() || sending.endMs < 0 || waiting.endMs < 0) {
        DestroyForms();
        return 1;
    }
    if (total < onePass * static_cast<uint64_t>(passes) * 9 / 10) {
        std::fprintf(stderr, "the window sent %llu bytes, not the %d passes measured\n",
                     static_cast<unsigned long long>(total), passes);
        DestroyForms();
        return 1;
    }
    const double sendWall = sending.endMs - sending.startMs, waitWall = waiting.endMs - waiting.startMs;
    const double lineSeconds = (rxAtMs[1] - rxAtMs[0]) / 1000;
    std::printf("sending %llu bytes: %.1f s\n", static_cast<unsigned long long>(total), sendWall / 1000);
    std::printf("  line rate achieved        %6.1f %%   (needed >= 97 %%; %llu bytes taken by the machine in %.1f s)\n",
                100.0 * static_cast<double>(rxAt[1] - rxAt[0]) / kLineBytesPerSecond / lineSeconds,
                static_cast<unsigned long long>(rxAt[1] - rxAt[0]), lineSeconds);
    sending.Print();
    std::printf("  processor                 %6.2f %% of one core   (needed <= 10 %%)\n",
                100.0 * (sending.cpuEnd - sending.cpuStart) / (sendWall / 1000));
    std::printf("waiting for idle: %.1f s\n", waitWall / 1000);
    waiting.Print();
    std::printf("  processor                 %6.2f %% of one core   (needed <= 2 %%)\n",
                100.0 * (waiting.cpuEnd - waiting.cpuStart) / (waitWall / 1000));
    DestroyForms();
    sim.Stop();
    return 0;
}
