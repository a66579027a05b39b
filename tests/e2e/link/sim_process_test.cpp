// grittor-sim as a process (it must never outlive whoever started it) and
// grittor-cli's link commands against it.
#include "CliRunner.h"

#include <QProcess>
#include <QStringList>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace grittor;
using namespace grittor::test;

namespace {

// True once the process has ended (gone, or a zombie nobody reaped yet).
bool Ended(pid_t pid)
{
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    if (stat.empty())
        return true;
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

bool WaitEnded(pid_t pid, int timeoutMs)
{
    const int64_t end = MonoMs() + timeoutMs;
    while (MonoMs() < end) {
        if (Ended(pid))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Ended(pid);
}

class SimProcess : public SimFixture {};

} // namespace

TEST_F(SimProcess, PrintsATerminalPathAndEndsWhenItsStdinCloses)
{
    std::string error;
    ASSERT_TRUE(sim.Start({"--baud", "0", "--link", Path("machine")}, error)) << error;
    EXPECT_EQ(sim.DevicePath(), Path("machine"));
    const int fd = ::open(sim.DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(::isatty(fd));
    ::close(fd);
    const pid_t pid = sim.Pid();
    sim.Stop(3000);
    EXPECT_TRUE(WaitEnded(pid, 3000));
    struct stat st {};
    EXPECT_NE(::lstat(Path("machine").c_str(), &st), 0) << "the link is removed on the way out";
}

TEST_F(SimProcess, EndsWhenItsParentDies)
{
    // An intermediate shell starts the simulator and is killed; the test
    // keeps the simulator's stdin open, so only the parent's death can end it.
    int in[2], out[2], pidPipe[2];
    ASSERT_EQ(::pipe(in), 0);
    ASSERT_EQ(::pipe(out), 0);
    ASSERT_EQ(::pipe(pidPipe), 0);
    const std::string exe = TSimulatorProcess::FindExecutable();
    ::prctl(PR_SET_CHILD_SUBREAPER, 1); // the orphaned simulator is ours to reap
    const pid_t shell = ::fork();
    ASSERT_GE(shell, 0);
    if (shell == 0) {
        ::dup2(in[0], 4);
        ::dup2(out[1], 1);
        ::dup2(pidPipe[1], 3);
        ::execl("/bin/sh", "sh", "-c", "\"$0\" --baud 0 <&4 & echo $! >&3; exec sleep 60", exe.c_str(),
                static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(pidPipe[1]);
    char buf[64] = {};
    ASSERT_GT(::read(pidPipe[0], buf, sizeof buf - 1), 0);
    const pid_t simPid = static_cast<pid_t>(std::atoi(buf));
    char path[256] = {};
    ASSERT_GT(::read(out[0], path, sizeof path - 1), 0) << "the simulator started";
    EXPECT_FALSE(Ended(simPid));

    ::kill(shell, SIGKILL);
    ::waitpid(shell, nullptr, 0);
    EXPECT_TRUE(WaitEnded(simPid, 3000)) << "the simulator outlived its parent";
    if (!Ended(simPid))
        ::kill(simPid, SIGKILL);
    ::waitpid(simPid, nullptr, 0);
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    ::close(in[1]);
    ::close(out[0]);
    ::close(pidPipe[0]);
}

TEST_F(SimProcess, UnknownOptionsAndControlLinesAreRefused)
{
    std::string error;
    TSimulatorProcess bad;
    EXPECT_FALSE(bad.Start({"--baud", "fast"}, error));
    ASSERT_TRUE(sim.Start({"--baud", "0"}, error)) << error;
    EXPECT_TRUE(sim.Command("fault garbage 7"));
    EXPECT_TRUE(sim.Command("jump"));
    EXPECT_NE(Stats().find("mode=normal"), std::string::npos) << "still serving";
}

TEST_F(SimProcess, CliQuerySendAndXmodem)
{
    std::string error;
    ASSERT_TRUE(sim.Start(
        {"--baud", "0", "--record", Path("record.bin"), "--firmware", Path("firmware.bin"), "--time-scale", "0.01"},
        error))
        << error;
    const QString dev = QString::fromStdString(sim.DevicePath());

    CliResult r = RunCli({"query", "--port", dev, "\\e.vposition:"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0,0\nCRReceived\n");
    r = RunCli({"query", "--port", dev, "--limit", "4", "\\x1b.a"});
    EXPECT_EQ(r.out, "SIM-\nTooManyChars\n");
    r = RunCli({"query", "--port", dev, "--timeout", "200", "DP;"});
    EXPECT_EQ(r.out, "\nTimeout\n");
    EXPECT_EQ(r.exitCode, 1) << "no answer is a failure";

    {
        std::ofstream f(Path("job.plt"), std::ios::binary);
        f << "papu0,0;\r\npapd100,100\r\n";
    }
    // The queries' bytes may still be on their way into the recording on a
    // loaded machine: count from after the last of them.
    for (int i = 0; i < 2000 && Recorded().find("DP;") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_NE(Recorded().find("DP;"), std::string::npos);
    const size_t before = Recorded().size();
    r = RunCli({"send", "--port", dev, QString::fromStdString(Path("job.plt"))});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "23\n");
    ASSERT_TRUE(WaitRecorded(before + 24));
    EXPECT_EQ(Recorded().substr(before), "papu0,0;\r\npapd100,100\r\n\r");

    std::string fw;
    for (int i = 0; i < 1000; ++i)
        fw += static_cast<char>(i * 37);
    {
        std::ofstream f(Path("fw.hex"), std::ios::binary);
        f << fw;
    }
    r = RunCli({"xmodem", "--port", dev, "--timeout", "2000", QString::fromStdString(Path("fw.hex"))});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Success\nNakCount 0\n");
    fw.append(1024 - 1000, '\xFF');
    // The simulator saves what its loader took when the EOTs arrive, which
    // may be a moment after the command has ended.
    for (int i = 0; i < 1000 && ReadFile(Path("firmware.bin")).size() < fw.size(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(ReadFile(Path("firmware.bin")), fw);

    r = RunCli({"query", "--port", dev});
    EXPECT_EQ(r.exitCode, 2);
    r = RunCli({"query", "\\e.vstate:"});
    EXPECT_EQ(r.exitCode, 2) << "--port is required";
    r = RunCli({"query", "--port", "/nonexistent/tty", "\\e.vstate:"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Unable to open /nonexistent/tty"), std::string::npos) << r.err;
}
