// The machine panels against grittor-sim at 38400 baud, in the real windows
// (offscreen):
//  - the settings panel's LoadPanel (its eight machine questions and the
//    settings fields), 21 times: median and worst;
//  - a jog click, 51 times: from the click to the machine's answer to the
//    step (so the command's last byte has reached the machine before);
//  - the processor time of an open, idle link over 5 s (both threads).
//
//   bench_panels
#include "../BenchClock.h"
#include "foundation/Dialogs.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"
#include "link/SerialDevice.h"
#include "link/SimulatorProcess.h"
#include "link/TSerial.h"
#include "service/LinkHost.h"
#include "service/MainMenu.h"
#include "service/joystick.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace grittor;

namespace {

constexpr int kBaud = 38400;

using bench::CpuSeconds;
using bench::NowMs;

class PrintDialogs final : public Dialogs {
public:
    void Message(const std::string &text) override
    {
        ++messages;
        std::printf("  message: %s\n", text.c_str());
    }
    bool Confirm(const std::string &) override { return true; }
    std::optional<std::string> OpenFile(const std::string &, const std::string &, const std::string &) override
    {
        return std::nullopt;
    }
    std::optional<std::string> SaveFile(const std::string &, const std::string &, const std::string &) override
    {
        return std::nullopt;
    }
    int messages = 0;
};

class Host final : public TLinkHost {
public:
    TSerial *Link() override { return link; }
    TSerial *OpenLink() override { return link; }
    void HideJogPanel() override {}
    TSerial *link = nullptr;
};

void Report(const char *what, std::vector<double> ms, double target)
{
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("%-28s n=%zu  median %6.2f ms  p99/worst %6.2f ms  (target median <= %.0f ms)\n", what, ms.size(),
                median, ms[std::min(ms.size() - 1, ms.size() * 99 / 100)], target);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    InstallQtSeams();
    PrintDialogs dialogs;
    SetDialogs(&dialogs);
    TSimulatorProcess sim;
    std::string error;
    if (!sim.Start({"--baud", std::to_string(kBaud)}, error)) {
        std::fprintf(stderr, "grittor-sim: %s\n", error.c_str());
        return 1;
    }
    SetPortOverride("com1", sim.DevicePath());
    TSerial link("com1", 20000, 0, 8, 0, kBaud);
    if (!link.OpenedOk()) {
        std::fprintf(stderr, "cannot open the simulator's terminal\n");
        return 1;
    }
    Host host;
    host.link = &link;

    TMainMenuFrm panel(host);
    std::vector<double> load;
    for (int i = 0; i < 21; ++i) {
        const double t0 = NowMs();
        panel.LoadPanel();
        load.push_back(NowMs() - t0);
    }
    Report("LoadPanel (8 queries)", load, 150);

    Options().JogMode = true;
    TJoystickFrm jog(host);
    jog.ShowPanel();
    jog.JogDistance->setText("1");
    jog.UpButton->click(); // sends the jog distance once
    std::vector<double> clicks;
    for (int i = 0; i < 51; ++i) {
        const double t0 = NowMs();
        (i % 2 ? jog.DownButton : jog.UpButton)->click();
        clicks.push_back(NowMs() - t0);
    }
    Report("jog click to its answer", clicks, 20);
    jog.hide();

    const double cpu0 = CpuSeconds(), t0 = NowMs();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double cpu = CpuSeconds() - cpu0, wall = NowMs() - t0;
    std::printf("idle open link: processor %.2f %% of one core over %.1f s\n", 100.0 * cpu * 1000 / wall, wall / 1000);
    sim.Stop();
    return dialogs.messages == 0 ? 0 : 1;
}
