// The settings and jog panels of the running program against grittor-sim
// over a real pseudo-terminal: OK changes the machine's variables, jog steps
// move the simulated head by the jog distance, and a slew stops however it
// ends.
#include "operation/Forms.h"
#include "operation/MainForm.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"
#include "service/MainMenu.h"
#include "service/joystick.h"

#include "TestDoubles.h"
#include "foundation/AbortFlags.h"
#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "link/SerialDevice.h"
#include "link/SimulatorProcess.h"
#include "link/TSerial.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

using namespace grittor;

namespace {

const std::string ESC = "\x1b";

class PanelsE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        LogOutput().SetDirectory(logDir.path().toStdString());
        GetAbortFlags().Closing = false;
        GetAbortFlags().Cancelled = false;
        Options().OneMS = 1;
        Options().JogMode = true;
        std::string error;
        // The machine's own pace, and its joystick a hundred times faster.
        ASSERT_TRUE(sim.Start({"--baud", "38400", "--time-scale", "0.01"}, error)) << error;
        SetPortOverride("com1", sim.DevicePath());
        CreateForms(store);
        frm = Forms().MainFrm;
        frm->SelectPort("com1");
        frm->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        TMainMenuFrm::ModalRunner = [](TMainMenuFrm &f) { return f.exec(); };
        frm->close();
        DestroyForms();
        GetAbortFlags().Closing = false;
        ClearPortOverrides();
        sim.Stop();
    }

    // The head position the simulator reports.
    std::pair<long, long> Head()
    {
        sim.Command("stats");
        std::string line;
        while (sim.ReadLine(line, 3000)) {
            const size_t at = line.find(" pos=");
            if (line.rfind("stats ", 0) == 0 && at != std::string::npos) {
                char *end = nullptr;
                const long x = std::strtol(line.c_str() + at + 5, &end, 10);
                return {x, std::strtol(end + 1, nullptr, 10)};
            }
        }
        ADD_FAILURE() << "no stats from the simulator";
        return {0, 0};
    }
    static void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    test::TempSettings settings;
    test::ScriptedDialogs dialogs;
    QTemporaryDir logDir;
    TSimulatorProcess sim;
    TMaterialLibrary lib;
    TLibraryStore store{lib, MaterialLibraryPath(Options().SettingsFolder())};
    TMainFrm *frm = nullptr;
};

} // namespace

TEST_F(PanelsE2E, OkInTheSettingsPanelChangesTheMachinesVariables)
{
    bool filled = false;
    TMainMenuFrm::ModalRunner = [&](TMainMenuFrm &f) {
        f.show();
        filled = f.MoveSpeed->text() == "20" && f.Version->text().startsWith("SIM-CTRL");
        f.MoveSpeed->setText("15");
        f.Radius->setText("0.75");
        QTest::mouseClick(f.OKButton, Qt::LeftButton);
        return f.result();
    };
    ASSERT_TRUE(frm->TriggerCommand(TCommandId::MachineSettings));
    EXPECT_TRUE(filled) << "the panel was filled from the machine";
    ASSERT_NE(frm->Serial(), nullptr);
    EXPECT_EQ(frm->Serial()->query(ESC + ".vupspeed:", 80), "15");
    EXPECT_EQ(frm->Serial()->query(ESC + ".vradius:", 80), "762");
    EXPECT_EQ(Options().Radius, 762);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(PanelsE2E, TenJogStepsMoveTheHeadByTenJogDistances)
{
    ASSERT_TRUE(frm->TriggerCommand(TCommandId::JogPanel));
    TJoystickFrm *jog = Forms().Joystick;
    ASSERT_TRUE(jog->isVisible());
    ASSERT_TRUE(jog->JogSlewCheckBox->isChecked());
    EXPECT_EQ(jog->JogDistance->text(), "100") << "read from the machine on the first showing";
    jog->JogDistance->setText("250"); // 0.25 inch: 254 units a step
    const auto start = Head();
    for (int i = 0; i < 10; ++i)
        QTest::mouseClick(jog->UpButton, Qt::LeftButton);
    const auto end = Head();
    EXPECT_EQ(end.first - start.first, 2540);
    EXPECT_EQ(end.second, start.second);
    jog->TimerTimer();
    EXPECT_EQ(jog->PositionXInch->text(), "2.50");
    for (int i = 0; i < 4; ++i)
        QTest::mouseClick(jog->RightButton, Qt::LeftButton);
    EXPECT_EQ(Head().second - end.second, -4 * 254);
}

TEST_F(PanelsE2E, ASlewStopsOnReleaseOnHidingAndWhenTheProgramCloses)
{
    ASSERT_TRUE(frm->TriggerCommand(TCommandId::JogPanel));
    TJoystickFrm *jog = Forms().Joystick;
    jog->JogSlewCheckBox->setChecked(false);
    // The settings panel opens and is cancelled at once.
    TMainMenuFrm::ModalRunner = [](TMainMenuFrm &) { return int(QDialog::Rejected); };
    auto slewsThenStops = [&](QPushButton *button, const std::function<void()> &end, const char *how) {
        const auto before = Head();
        QTest::mousePress(button, Qt::LeftButton);
        Pause(30);
        end();
        // A stop written on the way out is not waited for: give the line
        // and the simulator's 20 ms tick the time to take it.
        Pause(40);
        const auto stopped = Head();
        EXPECT_NE(stopped, before) << how << ": the head moved";
        Pause(60);
        EXPECT_EQ(Head(), stopped) << how << ": and stopped";
    };
    slewsThenStops(jog->UpButton, [&] { QTest::mouseRelease(jog->UpButton, Qt::LeftButton); }, "release");
    slewsThenStops(jog->LeftButton, [&] { frm->TriggerCommand(TCommandId::MachineSettings); }, "settings panel");
    EXPECT_FALSE(jog->isVisible());
    ASSERT_TRUE(frm->TriggerCommand(TCommandId::JogPanel));
    slewsThenStops(jog->DownButton, [&] { frm->close(); }, "program closes");
    EXPECT_EQ(frm->Serial(), nullptr);
}

TEST_F(PanelsE2E, SendingAJobHidesTheJogPanelAndStopsItsSlewFirst)
{
    lib.AddMaterial("Stone");
    TPens &p = lib.FindOrAddPen(0, 1);
    p.SetBlowSpeed(25);
    p.SetRadius(400);
    p.SetPasses(1);
    p.SetTimes(1);
    lib.SetSelected(0);
    const std::string plot = logDir.path().toStdString() + "/square.plt";
    std::ofstream(plot) << "SP1;PU1000,1000;PD2000,1000,2000,2000,1000,2000,1000,1000;PU;";
    frm->OpenPlotFile(plot);
    ASSERT_NE(frm->Job(), nullptr);
    ASSERT_TRUE(frm->TriggerCommand(TCommandId::JogPanel));
    TJoystickFrm *jog = Forms().Joystick;
    jog->JogSlewCheckBox->setChecked(false);
    QTest::mousePress(jog->UpButton, Qt::LeftButton);
    Pause(30);
    frm->DigitizedRecord = LoadKeyPlacement({20000, 3000}, {30000, 3000});
    frm->SendFileMenuClick();
    EXPECT_TRUE(frm->LastJobResult().Ok()) << frm->LastJobResult().Message;
    EXPECT_FALSE(jog->isVisible());
    // The job ran and the head rests: no slew carries on behind it.
    const auto after = Head();
    Pause(100);
    EXPECT_EQ(Head(), after);
}
