// The service windows at the machine's line rate, in the real windows
// (offscreen):
//  - a memory dump of 65,536 words (or $GRITTOR_BENCH_DUMP_WORDS) from
//    grittor-sim at 38400 baud: the share of the line rate achieved and the
//    processor time it costs this program (both threads);
//  - a motion test of 4,499 pairs paced at 38400 baud on a pseudo-terminal:
//    how long after "eof" has reached the line the chart is drawn.
//
//   bench_service
#include "../BenchClock.h"
#include "foundation/Dialogs.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"
#include "link/SerialDevice.h"
#include "link/SimulatorProcess.h"
#include "link/TSerial.h"
#include "operation/ChartView.h"
#include "operation/Forms.h"
#include "operation/MainForm.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"
#include "service/Engineering.h"
#include "service/Memory.h"

#include <QApplication>
#include <QLineEdit>
#include <QLineSeries>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace grittor;
using grittor::bench::CpuSeconds;
using grittor::bench::NowMs;

namespace {

constexpr int kBaud = 38400;
constexpr double kBytesPerMs = kBaud / 10.0 / 1000.0;

class FileDialogs final : public Dialogs {
public:
    void Message(const std::string &text) override
    {
        messages.push_back(text);
        std::printf("  message: %s\n", text.c_str());
    }
    bool Confirm(const std::string &) override { return true; }
    std::optional<std::string> OpenFile(const std::string &, const std::string &, const std::string &) override
    {
        return file;
    }
    std::optional<std::string> SaveFile(const std::string &, const std::string &, const std::string &) override
    {
        return file;
    }
    std::string file;
    std::vector<std::string> messages;
};

bool Dump(FileDialogs &dialogs, const std::string &folder)
{
    int words = 65536;
    if (const char *s = std::getenv("GRITTOR_BENCH_DUMP_WORDS"))
        words = std::atoi(s);
    TSimulatorProcess sim;
    std::string error;
    if (!sim.Start({"--baud", std::to_string(kBaud)}, error)) {
        std::fprintf(stderr, "grittor-sim: %s\n", error.c_str());
        return false;
    }
    SetPortOverride("com1", sim.DevicePath());
    TMainFrm *main = Forms().MainFrm;
    main->OpenMenuClick();
    TMemoryForm *memory = Forms().Memory;
    memory->show();
    memory->StartAddress->setText("0");
    memory->NumberOfWords->setText(QString::number(words));
    dialogs.file = folder + "/memdump.xls";
    dialogs.messages.clear();

    const double cpu0 = CpuSeconds();
    const double t0 = NowMs();
    memory->StartButtonClick(); // with its 2 s pause after the command, as the operator gets it
    const double wallMs = NowMs() - t0;
    const double cpu = CpuSeconds() - cpu0;
    const double bytes = static_cast<double>(memory->LastOutcome().Records) * 18;
    const double lineMs = bytes / kBytesPerMs;
    std::printf("memory dump, %d words at %d baud from grittor-sim:\n", words, kBaud);
    std::printf("  records %lld, %.0f bytes in %.2f s (the line needs %.2f s)\n",
                static_cast<long long>(memory->LastOutcome().Records), bytes, wallMs / 1000, lineMs / 1000);
    std::printf("  line rate achieved     %6.1f %%   (needed >= 95 %%)\n", 100.0 * lineMs / wallMs);
    std::printf("  processor, both threads %5.1f %% of one core   (needed <= 10 %%)\n", 100.0 * cpu * 1000 / wallMs);
    memory->hide();
    sim.Stop();
    return dialogs.messages.size() == 1 && dialogs.messages[0] == "dump complete";
}

// A monitor on our own pseudo-terminal: it answers the motion test with
// 4,499 pairs at the line rate and notes when "eof" has gone out.
class PacedMonitor {
public:
    bool Open()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return false;
        path_ = ptsname(master_);
        return true;
    }
    ~PacedMonitor()
    {
        if (thread_.joinable())
            thread_.join();
        if (master_ >= 0)
            close(master_);
    }
    const std::string &Path() const { return path_; }
    void Start()
    {
        thread_ = std::thread([this] { Run(); });
    }
    double EofSentMs() const { return eofMs_.load(); }

private:
    void Run()
    {
        // Wait for the test's command.
        std::string heard;
        char buf[256];
        while (heard.find('\r') == std::string::npos) {
            const ssize_t n = read(master_, buf, sizeof buf);
            if (n <= 0)
                return;
            heard.append(buf, static_cast<size_t>(n));
        }
        std::string text = "begin circle test 18 accel 4 vel 40\r\n";
        int pairs = 0;
        for (int series = 0; series < 4; ++series) {
            if (series > 0) {
                text += "0,0\r\n";
                ++pairs;
            }
            const int points = series < 3 ? 1124 : 4499 - 3 - 3 * 1124;
            for (int i = 0; i < points; ++i, ++pairs) {
                const double a = 2 * M_PI * i / points;
                const double r = 2000 + 15 * series + 8 * std::sin(7 * a);
                text += std::to_string(std::lround(r * std::cos(a))) + "," +
                        std::to_string(std::lround(r * std::sin(a))) + "\r\n";
            }
        }
        text += "eof\r\n";
        // Paced: at most the bytes the line would have carried by now.
        const double start = NowMs();
        size_t sent = 0;
        while (sent < text.size()) {
            const size_t due = std::min(text.size(), static_cast<size_t>((NowMs() - start) * kBytesPerMs) + 1);
            if (due > sent) {
                const ssize_t n = write(master_, text.data() + sent, due - sent);
                if (n <= 0)
                    return;
                sent += static_cast<size_t>(n);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        eofMs_ = NowMs();
        std::printf("motion test: %d pairs, %zu bytes paced at %d baud in %.1f s\n", pairs, text.size(), kBaud,
                    (eofMs_ - start) / 1000);
        // Keep the line open and drained until the test is over.
        while (read(master_, buf, sizeof buf) > 0) {
        }
    }

    int master_ = -1;
    std::string path_;
    std::thread thread_;
    std::atomic<double> eofMs_{0};
};

bool Capture()
{
    PacedMonitor monitor;
    if (!monitor.Open()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return false;
    }
    SetPortOverride("com1", monitor.Path());
    TMainFrm *main = Forms().MainFrm;
    main->OpenMenuClick();
    TEngineeringFrm *eng = Forms().Engineering;
    eng->show();
    monitor.Start();
    eng->CircleMenuClick();
    main->chart->grab(); // drawn, whatever paint is still pending
    const double drawnMs = NowMs();
    const double latency = drawnMs - monitor.EofSentMs();
    int points = 0;
    for (int i = 0; i < TChartView::LineCount; ++i)
        points += static_cast<int>(main->chart->Line(i)->count());
    std::printf("  %d points on the chart %.1f ms after eof reached the line   (needed <= 100 ms)\n", points, latency);
    main->CloseMenuClick(); // the monitor thread ends when the line closes
    return points == 4496;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    InstallQtSeams();
    FileDialogs dialogs;
    SetDialogs(&dialogs);
    Options().Port = "com1";
    TMaterialLibrary lib;
    TLibraryStore store(lib, MaterialLibraryPath(Options().SettingsFolder()));
    CreateForms(store);
    Forms().MainFrm->show();
    QTemporaryDir folder;
    const bool dumped = Dump(dialogs, folder.path().toStdString());
    const bool captured = Capture();
    DestroyForms();
    return dumped && captured ? 0 : 1;
}
