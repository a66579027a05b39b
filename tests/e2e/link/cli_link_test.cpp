// grittor-cli's link commands as a hostile user meets them: ports that are
// not terminals, a line pulled away in the middle, a loader that is silent
// or answers nonsense, an empty firmware file, and numbers the machine
// cannot take.
#include "CliRunner.h"

#include <regex>
#include <sys/stat.h>

using namespace grittor;
using namespace grittor::test;

namespace {

class CliLink : public SimFixture {
protected:
    // The simulator alone: the command under test holds the port.
    void StartSim(std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {"--record",           Path("record.bin"), "--firmware",
                                         Path("firmware.bin"), "--time-scale",     "0.01"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::string error;
        ASSERT_TRUE(sim.Start(args, error)) << error;
        dev = QString::fromStdString(sim.DevicePath());
    }
    QString File(const std::string &name, const std::string &content)
    {
        std::ofstream f(Path(name), std::ios::binary | std::ios::trunc);
        f << content;
        return QString::fromStdString(Path(name));
    }
    std::string CliLog() const { return ReadFile(Path("grittor-cli.log")); }
    // Pulls the line once the simulator has received `bytes`.
    std::function<void()> HangUpAfter(size_t bytes, int64_t &hungUpAt)
    {
        return [this, bytes, &hungUpAt] {
            if (hungUpAt == 0 && Recorded().size() >= bytes) {
                sim.Command("fault hangup");
                hungUpAt = MonoMs();
            }
        };
    }

    QString dev;
};

std::string Job(size_t bytes)
{
    std::string job = "papu0,0;\r\nvs20;\r\n";
    for (long x = 1; job.size() < bytes; ++x)
        job += "papd" + std::to_string(x % 40000) + "," + std::to_string((x * 7) % 40000) + "\r\n";
    return job;
}

std::string Firmware(size_t bytes)
{
    std::string fw;
    for (size_t i = 0; i < bytes; ++i)
        fw += static_cast<char>('0' + i % 43);
    return fw;
}

} // namespace

TEST_F(CliLink, PortsThatAreNotTerminalsAreRefusedAndNothingIsWritten)
{
    const QString job = File("job.plt", Job(2000));
    const QString plain = File("not-a-port.txt", "keep me\n");
    ::mkfifo(Path("fifo").c_str(), 0600);
    struct Case {
        QString port;
        const char *reason;
    } cases[] = {
        {plain, "is a regular file, not a serial port"},
        {"/dev/null", "is a device but not a terminal"},
        {"/dev/zero", "is a device but not a terminal"},
        {QString::fromStdString(dir.path().toStdString()), "is a folder, not a serial port"},
        {QString::fromStdString(Path("fifo")), "is not a terminal device"},
    };
    for (const Case &c : cases) {
        for (const char *command : {"send", "query"}) {
            const QStringList args = std::string(command) == "send"
                                         ? QStringList{"send", "--port", c.port, job}
                                         : QStringList{"query", "--port", c.port, "\\e.vstate:"};
            const CliResult r = RunCli(args, 20000, {}, dir.path().toStdString());
            EXPECT_EQ(r.exitCode, 2) << command << " " << c.port.toStdString() << ": " << r.err;
            EXPECT_EQ(r.out, "");
            EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one clear line: " << r.err;
        }
        EXPECT_NE(CliLog().find(c.reason), std::string::npos) << "the debug log has the reason too";
    }
    EXPECT_EQ(ReadFile(plain.toStdString()), "keep me\n");
}

TEST_F(CliLink, AHangUpDuringSendEndsTheCommandInSeconds)
{
    StartSim({"--baud", "38400"});
    const QString job = File("job.plt", Job(400000)); // about 100 s of line time
    int64_t hungUpAt = 0;
    const CliResult r = RunCli({"send", "--port", dev, job}, 30000, HangUpAfter(10000, hungUpAt));
    ASSERT_NE(hungUpAt, 0) << r.err;
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("the port closed before everything was sent"), std::string::npos) << r.err;
    EXPECT_LT(MonoMs() - hungUpAt, 3000) << "ended when the line went, not when the queue would have drained";
}

TEST_F(CliLink, AHangUpDuringXmodemEndsEveryTryInSeconds)
{
    const QString fw = File("fw.hex", Firmware(100000)); // about 30 s of line time
    for (const bool pathSurvives : {false, true}) {
        SCOPED_TRACE(pathSurvives ? "the path comes back" : "the terminal is gone");
        // With --link the path survives the hang-up, as a USB adapter's name
        // does when it comes back: the later tries open the new terminal and
        // wait for a loader that is no longer there.  Without, the path may
        // be gone (those tries fail at once) or taken by the next terminal.
        StartSim(pathSurvives ? std::vector<std::string>{"--baud", "38400", "--link", Path("machine")}
                              : std::vector<std::string>{"--baud", "38400"});
        int64_t hungUpAt = 0;
        const CliResult r = RunCli({"xmodem", "--port", dev, "--timeout", "300", "--tries", "3", fw}, 60000,
                                   HangUpAfter(Recorded().size() + 8000, hungUpAt));
        ASSERT_NE(hungUpAt, 0) << r.err;
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.err.rfind("grittor-cli: failed on try 1: No Ack\n", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("failed on try 3: No Nak Received\n"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.rfind("No Nak Received\nNakCount ", 0), 0u) << r.out;
        EXPECT_LT(MonoMs() - hungUpAt, 3000) << "not stuck flushing cancel bytes to a closed port";
        sim.Stop();
    }
}

TEST_F(CliLink, XmodemTriesAsOftenAsAskedAndNamesAnUnexpectedAnswer)
{
    StartSim({"--baud", "9600"});
    const QString fw = File("fw.hex", Firmware(3000));

    Control("fault silent");
    CliResult r = RunCli({"xmodem", "--port", dev, "--timeout", "100", "--tries", "3", fw});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "No Nak Received\nNakCount 0\n");
    EXPECT_EQ(r.err, "grittor-cli: failed on try 1: No Nak Received\n"
                     "grittor-cli: failed on try 2: No Nak Received\n"
                     "grittor-cli: failed on try 3: No Nak Received\n");
    EXPECT_EQ(Recorded(), "\x1b.cload38400;1:\r") << "each try resends the transfer, not the loader command";
    Control("fault none");

    // The loader's answers turn to noise in the middle of the first block.
    const size_t before = Recorded().size();
    bool noisy = false;
    r = RunCli({"xmodem", "--port", dev, "--tries", "1", fw}, 20000, [&] {
        if (!noisy && Recorded().size() >= before + 18 + 40) {
            sim.Command("fault garbage 1");
            noisy = true;
        }
    });
    EXPECT_EQ(r.exitCode, 1);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m,
                                  std::regex("^No Ack at EOF\nNakCount [0-9]+\n"
                                             "Unexpected answer byte 0x([0-9A-F]{2}) to block ([0-9]+)\n$")))
        << r.out;
    EXPECT_NE(m[1].str(), "06");
    EXPECT_NE(m[1].str(), "15");
    EXPECT_NE(
        r.err.find("failed on try 1: No Ack at EOF (answer byte 0x" + m[1].str() + " to block " + m[2].str() + ")\n"),
        std::string::npos)
        << r.err;
}

TEST_F(CliLink, AnEmptyOrUnreadableFirmwareNeverStartsTheLoader)
{
    StartSim({"--baud", "0"});
    CliResult r = RunCli({"xmodem", "--port", dev, File("empty.hex", "")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("is empty; the loader was not started"), std::string::npos) << r.err;
    r = RunCli({"xmodem", "--port", dev, QString::fromStdString(dir.path().toStdString())});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("is a folder"), std::string::npos) << r.err;
    r = RunCli({"xmodem", "--port", dev, QString::fromStdString(Path("missing.hex"))});
    EXPECT_EQ(r.exitCode, 2);
    // A query afterwards shows the machine heard nothing before it.
    r = RunCli({"query", "--port", dev, "\\e.vstate:"});
    EXPECT_EQ(r.out, "ready\nCRReceived\n");
    EXPECT_EQ(Recorded(), "\x1b.vstate:\r");
}

TEST_F(CliLink, NumbersTheMachineCannotTakeAreRefusedBeforeAnythingIsSent)
{
    StartSim({"--baud", "0"});
    struct Case {
        QStringList args;
        const char *message;
    } cases[] = {
        {{"query", "--port", dev, "\\e.wupspeed;-5:"}, "ESC.wupspeed -5: the speed must be at least 1"},
        {{"query", "--port", dev, "\\e.wposition;100;3000000000:"},
         "ESC.wposition 3000000000: outside the machine's integer range -2147483648..2147483647"},
        {{"send", "--port", dev, File("slow.plt", "papu0,0;\r\nvs-5;\r\npapd10,10\r\n")},
         "line 2: vs -5: the speed must be at least 1"},
        {{"send", "--port", dev, File("far.plt", "papu0,0;\r\nvs20;\r\npapd10,-2147483649\r\n")},
         "line 3: pd -2147483649: outside the machine's integer range"},
        {{"send", "--baud", "12345", "--port", dev, File("ok.plt", "papu0,0;\r\n")},
         "--baud 12345: the machine's line runs at 4800, 9600, 19200 or 38400"},
        {{"xmodem", "--port", dev, "--tries", "0", File("fw.hex", "x")}, "--tries 0: the count must be 1..1000"},
        {{"xmodem", "--port", dev, "--ack-timeout", "-1", File("fw.hex", "x")}, "--ack-timeout must not be negative"},
    };
    for (const Case &c : cases) {
        const CliResult r = RunCli(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.message << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    CliResult r = RunCli({"query", "--port", dev, "\\e.wupspeed;1:"});
    EXPECT_EQ(r.exitCode, 0) << "the smallest speed goes out: " << r.err;
    EXPECT_EQ(Recorded(), "\x1b.wupspeed;1:\r") << "nothing before it reached the machine";
}
