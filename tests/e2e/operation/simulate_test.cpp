// The application against the simulated machine: typing into the terminal
// reaches the machine and its answer shows; closing the program ends the
// simulator it started.
#include "operation/MainForm.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"

#include "TestDoubles.h"
#include "foundation/AbortFlags.h"
#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "link/SerialDevice.h"
#include "link/SimulatorProcess.h"
#include "link/TSerial.h"

#include <QApplication>
#include <QDir>
#include <QAction>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/types.h>

using namespace grittor;

namespace {

std::string Joined(const std::vector<std::string> &lines)
{
    std::string all;
    for (const auto &l : lines)
        all += l + "\n";
    return all;
}

void Type(QWidget *target, Qt::Key key, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
}

std::vector<pid_t> ChildrenOf(qint64 pid)
{
    std::vector<pid_t> out;
    QDir task(QString("/proc/%1/task").arg(pid));
    for (const QString &t : task.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream f(QString("/proc/%1/task/%2/children").arg(pid).arg(t).toStdString());
        pid_t c;
        while (f >> c)
            out.push_back(c);
    }
    return out;
}

} // namespace

TEST(Simulate, TypedEscapeAShowsTheMachinesAnswerInTheTerminal)
{
    test::TempSettings settings;
    test::ScriptedDialogs dialogs;
    QTemporaryDir logDir;
    LogOutput().SetDirectory(logDir.path().toStdString());
    GetAbortFlags().Closing = false;
    GetAbortFlags().Cancelled = false;

    TSimulatorProcess sim;
    std::string error;
    ASSERT_TRUE(sim.Start({}, error)) << error;
    TMaterialLibrary lib;
    TLibraryStore store(lib, MaterialLibraryPath(Options().SettingsFolder()));
    TMainFrm frm(store);
    frm.show();
    QApplication::processEvents();
    SetPortOverride(Options().Port, sim.DevicePath());

    Type(frm.Memo, Qt::Key_Escape, "\x1b");
    Type(frm.Memo, Qt::Key_Period, ".");
    Type(frm.Memo, Qt::Key_A, "a");
    Type(frm.Memo, Qt::Key_Return, "\r");
    ASSERT_NE(frm.Serial(), nullptr);
    EXPECT_TRUE(frm.Serial()->OpenedOk());

    QElapsedTimer t;
    t.start();
    bool seen = false;
    while (!seen && t.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        frm.TerminalRefresh();
        seen = frm.Memo->toPlainText().contains("SIM-CTRL");
    }
    EXPECT_TRUE(seen) << Joined(frm.TerminalLinesCopy());
    frm.close();
    GetAbortFlags().Closing = false;
    ClearPortOverrides();
    sim.Stop();
}

TEST(Simulate, ClosingTheProgramEndsTheSimulatorItStarted)
{
    const QString bin = qEnvironmentVariable("GRITTOR_BINARY_DIR");
    ASSERT_FALSE(bin.isEmpty());
    QTemporaryDir home;
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", home.path());
    env.insert("XDG_DATA_HOME", home.path() + "/data");
    env.insert("GRITTOR_LOG_DIR", home.path());
    app.setProcessEnvironment(env);
    app.start(bin + "/grittor", {"--simulate", "--quit-after", "3000"});
    ASSERT_TRUE(app.waitForStarted(5000));
    std::vector<pid_t> children;
    QElapsedTimer t;
    t.start();
    while (children.empty() && t.elapsed() < 2500) {
        QThread::msleep(50);
        children = ChildrenOf(app.processId());
    }
    ASSERT_EQ(children.size(), 1u) << "the simulator runs as the program's child";
    const pid_t sim = children[0];
    ASSERT_TRUE(app.waitForFinished(15000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    // Reaped by the program before it ended: no such process any more.
    EXPECT_EQ(::kill(sim, 0), -1);
    // The terminal told the newcomer where the machine is.
    std::ifstream log((home.path() + "/grittor.log").toStdString());
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Connected to the simulated machine at /dev/pts/"), std::string::npos) << text;
}

namespace {

class FirmwareTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LogOutput().SetDirectory(logDir.path().toStdString());
        GetAbortFlags().Closing = false;
        GetAbortFlags().Cancelled = false;
        fwPath = dir.path().toStdString() + "/i960a.hex";
        received = dir.path().toStdString() + "/received.hex";
        std::ofstream f(fwPath, std::ios::binary);
        for (int i = 0; i < 1000; ++i)
            f << ":10" << i % 7 << "0000" << static_cast<char>('A' + i % 26) << "\r\n";
    }
    void TearDown() override
    {
        ClearPortOverrides();
        sim.Stop();
    }
    static std::string ReadFile(const std::string &p) { return test::ReadAll(p); }

    test::TempSettings settings;
    test::ScriptedDialogs dialogs;
    QTemporaryDir logDir, dir;
    TSimulatorProcess sim;
    std::string fwPath, received;
};

} // namespace

TEST_F(FirmwareTest, UploadReachesTheMachineByteForByte)
{
    std::string error;
    ASSERT_TRUE(sim.Start({"--baud", "0", "--firmware", received}, error)) << error;
    TMaterialLibrary lib;
    TLibraryStore store(lib, MaterialLibraryPath(Options().SettingsFolder()));
    TMainFrm frm(store);
    SetPortOverride(Options().Port, sim.DevicePath());
    dialogs.files.push_back(fwPath);
    frm.UploadFirmwareMenuClick();
    EXPECT_EQ(Options().FirmwareFile, fwPath);
    EXPECT_TRUE(frm.StatusBarPanel->text().startsWith("Firmware sent")) << frm.StatusBarPanel->text().toStdString();
    QElapsedTimer t;
    t.start();
    while (ReadFile(received).empty() && t.elapsed() < 5000)
        QThread::msleep(20);
    // XMODEM pads the last block with 0xFF; the loader keeps whole blocks.
    const std::string sent = ReadFile(fwPath), got = ReadFile(received);
    ASSERT_EQ(got.size(), (sent.size() / 128 + 1) * 128);
    EXPECT_TRUE(got.compare(0, sent.size(), sent) == 0);
    EXPECT_EQ(got.find_first_not_of('\xff', sent.size()), std::string::npos);
    frm.close();
    GetAbortFlags().Closing = false;
}

TEST_F(FirmwareTest, ASilentLoaderFailsTenTimesInTheStatusBar)
{
    std::string error;
    ASSERT_TRUE(sim.Start({"--baud", "0"}, error)) << error;
    ASSERT_TRUE(sim.Command("fault silent"));
    TMaterialLibrary lib;
    TLibraryStore store(lib, MaterialLibraryPath(Options().SettingsFolder()));
    TMainFrm frm(store);
    SetPortOverride(Options().Port, sim.DevicePath());
    frm.OpenMenuClick();
    ASSERT_NE(frm.Serial(), nullptr);
    frm.Serial()->set_timeout(150); // each try waits this long for the loader's first NAK
    dialogs.files.push_back(fwPath);
    QElapsedTimer t;
    t.start();
    frm.UploadFirmwareMenuClick();
    EXPECT_EQ(frm.StatusBarPanel->text().toStdString(), "failed on try 10");
    EXPECT_LT(t.elapsed(), 10000);
    frm.close();
    GetAbortFlags().Closing = false;
}

TEST_F(FirmwareTest, AHangUpDuringTheUploadEndsItsTriesInSeconds)
{
    // About 30 s of line time at 38400 baud.
    {
        std::ofstream f(fwPath, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < 100000; ++i)
            f << static_cast<char>('0' + i % 43);
    }
    const std::string record = dir.path().toStdString() + "/record.bin";
    for (const bool pathSurvives : {false, true}) {
        SCOPED_TRACE(pathSurvives ? "the path comes back" : "the terminal is gone");
        std::vector<std::string> args{"--baud", "38400", "--record", record, "--time-scale", "0.01"};
        if (pathSurvives)
            args.insert(args.end(), {"--link", dir.path().toStdString() + "/machine"});
        std::string error;
        ASSERT_TRUE(sim.Start(args, error)) << error;
        TMaterialLibrary lib;
        TLibraryStore store(lib, MaterialLibraryPath(Options().SettingsFolder()));
        TMainFrm frm(store);
        SetPortOverride(Options().Port, sim.DevicePath());
        frm.OpenMenuClick();
        ASSERT_NE(frm.Serial(), nullptr);
        frm.Serial()->set_timeout(300); // each later try waits this long for a NAK
        dialogs.files.push_back(fwPath);

        QElapsedTimer t;
        t.start();
        qint64 hungUpAt = -1;
        // The transfer lets window messages run while it waits: that is
        // where the line is pulled away.
        test::CountingUiHooks hooks;
        hooks.onProcess = [&] {
            if (hungUpAt < 0 && QFileInfo(QString::fromStdString(record)).size() > 8000) {
                sim.Command("fault hangup");
                hungUpAt = t.elapsed();
            }
            if (t.elapsed() > 30000)
                GetAbortFlags().Closing = true; // a hang fails the test instead of stopping it
        };
        frm.UploadFirmwareMenuClick();
        hooks.onProcess = nullptr;
        ASSERT_GE(hungUpAt, 0) << frm.StatusBarPanel->text().toStdString() << " after " << t.elapsed() << " ms";
        EXPECT_EQ(frm.StatusBarPanel->text().toStdString(), "failed on try 10");
        EXPECT_LT(t.elapsed() - hungUpAt, 5000) << "every try ended soon after the line went";
        frm.close();
        GetAbortFlags().Closing = false;
        ClearPortOverrides();
        sim.Stop();
    }
}

TEST_F(FirmwareTest, AnEmptyOrUnreadableFileNeverStartsTheLoader)
{
    const std::string record = dir.path().toStdString() + "/record.bin";
    std::string error;
    ASSERT_TRUE(sim.Start({"--baud", "0", "--record", record}, error)) << error;
    TMaterialLibrary lib;
    TLibraryStore store(lib, MaterialLibraryPath(Options().SettingsFolder()));
    TMainFrm frm(store);
    SetPortOverride(Options().Port, sim.DevicePath());
    const std::string empty = dir.path().toStdString() + "/empty.hex";
    std::ofstream(empty, std::ios::binary).flush();
    dialogs.files.push_back(empty);
    frm.UploadFirmwareMenuClick();
    dialogs.files.push_back(dir.path().toStdString()); // a folder
    frm.UploadFirmwareMenuClick();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0], "The firmware file is empty: " + empty);
    EXPECT_EQ(dialogs.messages[1], "Unable to read " + dir.path().toStdString());
    ASSERT_NE(frm.Serial(), nullptr);
    EXPECT_EQ(frm.Serial()->query("\x1b.vstate:", 20), "ready");
    EXPECT_EQ(ReadFile(record), "\x1b.vstate:\r") << "the machine heard nothing before the query";
    frm.close();
    GetAbortFlags().Closing = false;
}

TEST(Simulate, DiagnosticsReachTheMachineAndShowTheTerminal)
{
    test::TempSettings settings;
    test::ScriptedDialogs dialogs;
    QTemporaryDir dir;
    LogOutput().SetDirectory(dir.path().toStdString());
    GetAbortFlags().Closing = false;
    GetAbortFlags().Cancelled = false;
    const std::string record = dir.path().toStdString() + "/received.bin";
    TSimulatorProcess sim;
    std::string error;
    ASSERT_TRUE(sim.Start({"--baud", "0", "--record", record}, error)) << error;
    TMaterialLibrary lib;
    TLibraryStore store(lib, MaterialLibraryPath(Options().SettingsFolder()));
    TMainFrm frm(store);
    SetPortOverride(Options().Port, sim.DevicePath());
    frm.ChartMenuClick();
    frm.SendDiagnostic("DefaultCalibrationMenuClick", "\x1b.cdiag_run;8:");
    frm.SendDiagnostic("MotorBalanceMenuClick", "\x1b.cdiag_run;51:");
    EXPECT_TRUE(frm.Action(TCommandId::TerminalView)->isChecked());
    EXPECT_TRUE(frm.TerminalMode());
    const std::string expected = "\x1b.cdiag_run;8:\r\x1b.cdiag_run;51:\r";
    std::string got;
    QElapsedTimer t;
    t.start();
    while (got.size() < expected.size() && t.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::ifstream f(record, std::ios::binary);
        got.assign((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    }
    EXPECT_EQ(got, expected);
    frm.close();
    GetAbortFlags().Closing = false;
    ClearPortOverrides();
    sim.Stop();
}
