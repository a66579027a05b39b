// The application against the simulated machine: typing into the terminal
// reaches the machine and its answer shows; closing the program ends the
// simulator it started.
#include "operation/MainForm.h"

#include "TestDoubles.h"
#include "foundation/AbortFlags.h"
#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "link/SerialDevice.h"
#include "link/SimulatorProcess.h"
#include "link/TSerial.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
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
    TMainFrm frm;
    frm.show();
    QApplication::processEvents();
    SetPortOverride(Options().Port, sim.DevicePath());

    Type(frm.Memo, Qt::Key_Escape, "\x1b");
    Type(frm.Memo, Qt::Key_Period, ".");
    Type(frm.Memo, Qt::Key_A, "a");
    Type(frm.Memo, Qt::Key_Return, "\r");
    ASSERT_NE(frm.Serial(), nullptr);
    EXPECT_TRUE(frm.Serial()->OpenedOk);

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
