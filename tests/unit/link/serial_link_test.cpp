// TSerial on the in-process fake device: opening, the protocol, writing,
// device loss, the idle timer, cancelling, the character log.
#include "LinkTestSupport.h"

#include "link/TStash.h"
#include "link/TermiosDevice.h"

#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

using namespace grittor;
using namespace grittor::test;

namespace {
class SerialTest : public LinkFixture {};
} // namespace

TEST_F(SerialTest, NonePortIsInertAndRunsNoThread)
{
    TSerial none("none", 20000, 0, 8, 0, 9600, flags);
    EXPECT_TRUE(none.IsNone());
    EXPECT_EQ(none.Thread(), nullptr);
    EXPECT_TRUE(none.input_empty());
    EXPECT_TRUE(none.output_empty());
    const int64_t t0 = clock.NowMs();
    none.send_string("ESC.vposition:");
    std::string reply = "stale";
    TSerialTestAccess::SetLastStatus(none, RsCRReceived);
    none.query("\x1b.vposition:", 100, reply);
    EXPECT_EQ(reply, "");
    EXPECT_EQ(none.LastStatus(), RsCRReceived) << "nothing was read, so nothing is reported";
    none.read_reply(10, reply);
    EXPECT_EQ(clock.NowMs(), t0) << "no waiting at all";
    EXPECT_TRUE(none.write_comm());
    EXPECT_FALSE(none.read_comm());
    EXPECT_EQ(none.send_xmodem("data", "x"), XmNoAckAtEof);
    EXPECT_FALSE(none.port_open());
}

TEST_F(SerialTest, OpensAtOnceWithTheLineSettingsCorrected)
{
    SetPortOverride("com3", "/dev/pts/77");
    auto &s = Make(12345, "com3");
    EXPECT_TRUE(s.OpenedOk());
    EXPECT_TRUE(s.port_open());
    EXPECT_EQ(s.BaudRate(), 9600) << "unsupported speed corrected and stored back";
    EXPECT_EQ(device->LastSettings().BaudRate, 9600);
    EXPECT_EQ(device->LastPath(), "/dev/pts/77");
    EXPECT_EQ(device->PurgeCount.load(), 1) << "both directions purged at opening";
    EXPECT_TRUE(device->LastSettings().XonXoff);
    EXPECT_EQ(s.ReplyTimeout(), 5000);
    EXPECT_EQ(s.AckTimeout(), 5000);
}

TEST_F(SerialTest, DataBitsParityAndStopBitsOutsideTheirRangesFallBack)
{
    auto dev = std::make_unique<FakeSerialDevice>();
    FakeSerialDevice *d = dev.get();
    TSerialOptions o;
    o.Device = std::move(dev);
    o.StartThread = false;
    TSerial s("com1", 20000, 5, 9, 7, 38400, flags, std::move(o));
    EXPECT_EQ(d->LastSettings().DataBits, 8);
    EXPECT_EQ(d->LastSettings().Parity, 0);
    EXPECT_EQ(d->LastSettings().StopBits, 0);
    EXPECT_EQ(d->LastSettings().BaudRate, 38400);
}

TEST_F(SerialTest, PortNamesResolveThroughOverridesSettingsAndDefaults)
{
    EXPECT_EQ(ResolvePortDevice("com1"), "/dev/ttyS0");
    EXPECT_EQ(ResolvePortDevice("COM8"), "/dev/ttyS7");
    {
        QSettings q("Korvane Systems", "Grittor");
        q.setValue("Com Devices/com2", "/dev/ttyUSB0");
    }
    EXPECT_EQ(ResolvePortDevice("com2"), "/dev/ttyUSB0");
    SetPortOverride("com2", "/tmp/sim-link");
    EXPECT_EQ(ResolvePortDevice("com2"), "/tmp/sim-link") << "--port and --simulate win over the settings";
    SetPortOverride("com2", "");
    EXPECT_EQ(ResolvePortDevice("com2"), "/dev/ttyUSB0");
    EXPECT_EQ(ResolvePortDevice("none"), "");
    EXPECT_EQ(ResolvePortDevice("/dev/ttyACM0"), "/dev/ttyACM0");
    EXPECT_TRUE(IsNonePort("None"));
    EXPECT_TRUE(PortUsesXonXoff());
}

TEST_F(SerialTest, AFailedOpenIsLoggedOnceWithItsReasonAndRetriedOnUse)
{
    auto &s = Make(38400, "com1", [](FakeSerialDevice &d) { d.OpenError = EACCES; });
    EXPECT_FALSE(s.OpenedOk());
    EXPECT_FALSE(s.port_open());
    s.set_timeout(200);
    std::string reply = "x";
    s.query("\x1b.vstate:", 20, reply);
    EXPECT_EQ(reply, "");
    EXPECT_EQ(s.LastStatus(), RsTimeout);
    EXPECT_EQ(device->Written(), "") << "nothing is queued for a port that is not there";
    EXPECT_TRUE(s.output_empty());
    const std::string log = LogText();
    const size_t first = log.find("Unable to open com1 (/dev/ttyS0)");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("Unable to open com1", first + 1), std::string::npos) << "said once, not on every retry";

    device->OpenError = 0;
    s.check_open();
    EXPECT_TRUE(s.OpenedOk());
    EXPECT_TRUE(s.port_open());
}

TEST(TermiosDeviceTest, OpenFailuresNameTheirCause)
{
    EXPECT_NE(TermiosDevice::DescribeOpenError(EACCES, "/dev/ttyS0").find("dialout"), std::string::npos);
    EXPECT_NE(TermiosDevice::DescribeOpenError(EBUSY, "/dev/ttyS0").find("busy"), std::string::npos);
    TermiosDevice d;
    std::string reason;
    EXPECT_EQ(d.Open("/nonexistent/ttyQ9", reason), ENOENT);
    EXPECT_EQ(reason.rfind("missing device: /nonexistent/ttyQ9 does not exist", 0), 0u) << reason;
    EXPECT_FALSE(d.IsOpen());
    char b[4];
    EXPECT_FALSE(d.Read(b, 4).Ok());
    EXPECT_EQ(d.Wait(EvReceive, 0), 0);
}

TEST(TermiosDeviceTest, OnlyTerminalsAreOpened)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string file = folder + "/job.txt";
    {
        std::ofstream f(file, std::ios::binary);
        f << "keep me";
    }
    const std::string fifo = folder + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        int error;
        const char *reason;
    } cases[] = {
        {file, ENOTTY, " is a regular file, not a serial port"},
        {"/dev/null", ENOTTY, " is a device but not a terminal"},
        {"/dev/zero", ENOTTY, " is a device but not a terminal"},
        {folder, EISDIR, " is a folder, not a serial port"},
        {fifo, ENOTTY, " is not a terminal device"},
    };
    for (const Case &c : cases) {
        TermiosDevice d;
        std::string reason;
        EXPECT_EQ(d.Open(c.path, reason), c.error) << c.path;
        EXPECT_EQ(reason.rfind(c.path + c.reason, 0), 0u) << reason;
        EXPECT_FALSE(d.IsOpen());
    }
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep me");
}

TEST(TermiosDeviceTest, LineSettingsReachTheTerminalAndASecondOpenIsRefusedAsBusy)
{
    // A pseudo-terminal keeps the settings it is given, except that it
    // ignores the speed and the modem lines and always runs eight data bits
    // without parity (the kernel forces those): what makes it a stand-in.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    TermiosDevice d;
    std::string reason;
    ASSERT_EQ(d.Open(slave, reason), 0) << reason;

    SerialLineSettings s;
    s.DataBits = 7;
    s.Parity = 2; // even
    s.StopBits = 2;
    ASSERT_TRUE(d.Configure(s));
    // The slave is held exclusively: its settings are read through the master.
    termios t{};
    ASSERT_EQ(::tcgetattr(master, &t), 0);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_iflag & INPCK) << "parity checked when there is parity";
    EXPECT_TRUE((t.c_iflag & IXON) && (t.c_iflag & IXOFF));
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE((t.c_cflag & CLOCAL) && (t.c_cflag & CREAD));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG)) << "raw binary";
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_FALSE(t.c_iflag & (ICRNL | ISTRIP | IXANY));
    EXPECT_EQ(t.c_cc[VMIN], 1);

    s.Parity = 0;
    s.StopBits = 0;
    s.XonXoff = false;
    ASSERT_TRUE(d.Configure(s));
    ASSERT_EQ(::tcgetattr(master, &t), 0);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_iflag & INPCK) << "no parity, no parity check";
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

    // The port is held: a second program's open is refused as busy.
    TermiosDevice other;
    EXPECT_NE(other.Open(slave, reason), 0);
    EXPECT_FALSE(other.IsOpen());
    EXPECT_NE(reason.find("busy"), std::string::npos) << reason;
    d.Close();
    EXPECT_EQ(other.Open(slave, reason), 0) << "free again once closed: " << reason;
    other.Close();
    ::close(master);
}

TEST_F(SerialTest, QueryFormsAndReplyEndings)
{
    auto &s = Make();
    Answer([](const std::string &cmd) -> std::string {
        if (cmd == "\x1b.vposition:")
            return "1016,2032\r";
        if (cmd == "\x1b.a")
            return "SIM 5.20\r\n";
        if (cmd == "\x1b.verror_message:")
            return "0123456789012345678901234"; // 25 characters, no CR
        if (cmd == "OS;")
            return "12\r";
        return "";
    });
    device->Feed("stale\r"); // older than the command: must not be taken as its answer
    s.Thread()->Round(0);

    EXPECT_EQ(s.query("\x1b.vposition:", 100), "1016,2032");
    EXPECT_EQ(s.LastStatus(), RsCRReceived);
    EXPECT_STREQ(ReplyStatusName(s.LastStatus()), "CRReceived");

    EXPECT_EQ(s.query("\x1b.a", 100), "SIM 5.20") << "CR LF ends the reply like CR";
    EXPECT_EQ(s.LastStatus(), RsCRReceived);
    s.Thread()->Round(0);
    EXPECT_TRUE(s.input_empty()) << "the LF behind the CR is left for the next purge";

    EXPECT_EQ(s.query("\x1b.verror_message:", 20), "01234567890123456789");
    EXPECT_EQ(s.LastStatus(), RsTooManyChars);
    EXPECT_TRUE(s.input_empty()) << "the rest is discarded";

    EXPECT_EQ(s.query("OS;", 20), "12");

    const int64_t t0 = clock.NowMs();
    EXPECT_EQ(s.query("nr;", 100), "");
    EXPECT_EQ(s.LastStatus(), RsTimeout);
    EXPECT_GE(clock.NowMs() - t0, 5000);
    EXPECT_LT(clock.NowMs() - t0, 5200);

    // Each command went out once, with exactly one CR, "ESC.a" without a colon.
    EXPECT_EQ(device->Written(), "\x1b.vposition:\r\x1b.a\r\x1b.verror_message:\rOS;\rnr;\r");
}

TEST_F(SerialTest, ReadReplyKeepsListeningForTheSameAnswer)
{
    auto &s = Make();
    s.set_timeout(1000);
    s.query("wa;", 100);
    EXPECT_EQ(s.LastStatus(), RsTimeout);
    feed.At(clock.NowMs() + 1500, "idle\r");
    std::string reply;
    s.read_reply(100, reply);
    EXPECT_EQ(s.LastStatus(), RsTimeout);
    s.read_reply(100, reply);
    EXPECT_EQ(reply, "idle");
    EXPECT_EQ(s.LastStatus(), RsCRReceived);
}

TEST_F(SerialTest, AMachineSendingACharacterEveryFourSecondsNeverTimesOut)
{
    auto &s = Make();
    device->OnWrite = [&](const std::string &chunk) {
        if (chunk.find('\r') == std::string::npos)
            return;
        const int64_t now = clock.NowMs();
        const std::string answer = "12,34\r";
        for (size_t i = 0; i < answer.size(); ++i)
            feed.At(now + 4000 * static_cast<int64_t>(i + 1), answer.substr(i, 1));
    };
    const int64_t t0 = clock.NowMs();
    EXPECT_EQ(s.query("\x1b.vposition:", 100), "12,34");
    EXPECT_EQ(s.LastStatus(), RsCRReceived);
    EXPECT_GE(clock.NowMs() - t0, 24000);
    EXPECT_TRUE(s.port_open()) << "a slow reply is activity, not idleness";
}

TEST_F(SerialTest, BinaryRepliesKeepCrAndLfAndEndOnTheLimitOrSilence)
{
    auto &s = Make();
    s.SetBinaryReplies(true);
    Answer([](const std::string &) { return std::string("AB\r\nCD\rEF", 9); });
    s.set_timeout(300);
    EXPECT_EQ(s.query("ec32760;", 5), std::string("AB\r\nC"));
    EXPECT_EQ(s.LastStatus(), RsTooManyChars);
    EXPECT_EQ(s.query("ec32760;", 20000), std::string("AB\r\nCD\rEF"));
    EXPECT_EQ(s.LastStatus(), RsTimeout) << "a binary reply ends by silence";
    EXPECT_NE(LogText().find(":Timeout<9 binary bytes received"), std::string::npos);
}

TEST_F(SerialTest, TraceLinesGoToTheTerminalOrTheDebugLog)
{
    auto &s = Make();
    Answer([](const std::string &) { return std::string("7\r"); });
    std::vector<std::pair<std::string, bool>> shown;
    s.OnText = [&](const std::string &text, bool stamp) { shown.emplace_back(text, stamp); };
    s.SetDebugEcho(true);
    s.query("OS;", 20);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].first, ">OS;");
    EXPECT_TRUE(shown[0].second);
    EXPECT_EQ(shown[1].first, ":CRReceived<7");

    s.SetDebugEcho(false);
    const std::string longText = std::string(10, 'a') + "\x1b" + std::string(300, 'b') +
                                 "0123456789012345678901234567890123456789012345678901234567890123456789"
                                 "0123456789012345678901234567890123456789012345678901234567890123456789"
                                 "0123456789012345678901234567890123456789012345678901234567890123456789";
    s.send_string(longText);
    const std::string log = LogText();
    const size_t at = log.find("> 10*a #27  300*b0123");
    ASSERT_NE(at, std::string::npos) << log;
    const std::string line = log.substr(at, log.find('\r', at) - at);
    EXPECT_EQ(line.size(), 1 + 200 + 3u) << line;
    EXPECT_EQ(line.substr(line.size() - 3), "...");
    EXPECT_EQ(shown.size(), 2u) << "nothing more reached the terminal";
}

TEST_F(SerialTest, WriteBusyKeepsASecondWriterOut)
{
    auto &s = Make();
    device->WriteLimit = 0;
    s.send_string("abc");
    EXPECT_EQ(s.OutQueue().Count(), 0) << "taken into the write buffer";
    EXPECT_FALSE(s.output_empty()) << "but not written yet";
    s.OutQueue().put('z');
    TSerialTestAccess::HoldWrite(s, true);
    EXPECT_FALSE(s.write_comm());
    EXPECT_EQ(s.OutQueue().Count(), 1) << "the queue was not touched";
    TSerialTestAccess::HoldWrite(s, false);
    device->WriteLimit = static_cast<size_t>(-1);
    EXPECT_TRUE(s.write_comm());
    EXPECT_TRUE(s.write_comm());
    EXPECT_EQ(device->Written(), "abc\rz");
    EXPECT_TRUE(s.output_empty());
}

TEST_F(SerialTest, PartialWritesLoseNothingAndKeepTheOrder)
{
    auto &s = Make();
    device->WriteLimit = 7;
    std::string text;
    for (int i = 0; i < 30000; ++i)
        text += static_cast<char>('A' + i % 26);
    s.send_string(text);
    s.flush_output();
    EXPECT_TRUE(s.output_empty());
    EXPECT_EQ(device->Written(), text + "\r");
}

TEST_F(SerialTest, AHeldLineKeepsItsBytesAndIsNotedOnce)
{
    auto &s = Make();
    device->WriteLimit = 0; // XOFF or CTS holding the line
    s.send_string("hold me");
    for (int i = 0; i < 200; ++i) {
        clock.Advance(50);
        s.write_comm();
    }
    EXPECT_EQ(device->Written(), "");
    const std::string log = LogText();
    const size_t at = log.find("output held by flow control");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(log.find("output held by flow control", at + 1), std::string::npos);
    device->WriteLimit = static_cast<size_t>(-1);
    s.flush_output();
    EXPECT_EQ(device->Written(), "hold me\r");
}

TEST_F(SerialTest, ADeviceLostMidSendClosesThePortDropsTheRestAndReopensOnTheNextCommand)
{
    auto &s = Make();
    size_t written = 0;
    device->OnWrite = [&](const std::string &chunk) {
        written += chunk.size();
        if (written >= 3000 && written - chunk.size() < 3000) {
            device->HangUp();
            device->OpenError = ENOENT; // unplugged: the device node is gone
        }
        if (chunk.find('\r') != std::string::npos && written > 50000)
            device->Feed("0,0\r");
    };
    const std::string job(60000, 'j');
    s.send_string(job); // the queue fills, the rounds write, the adapter goes
    EXPECT_FALSE(s.port_open());
    EXPECT_EQ(s.LossCount(), 1u);
    EXPECT_TRUE(s.output_empty()) << "nothing stale waits for the next device";
    EXPECT_LT(device->Written().size(), 5000u);
    const std::string log = LogText();
    EXPECT_NE(log.find("Serial com1 (/dev/ttyS0) lost"), std::string::npos) << log;
    EXPECT_NE(log.find("queued bytes not sent"), std::string::npos);

    // Plugged in again: the next command opens the port and works.
    device->OpenError = 0;
    device->OnWrite = [&](const std::string &chunk) {
        if (chunk.find('\r') != std::string::npos)
            device->Feed("5,6\r");
    };
    EXPECT_EQ(s.query("\x1b.vposition:", 100), "5,6");
    EXPECT_TRUE(s.port_open());
    EXPECT_EQ(device->OpenCount.load(), 2);
}

TEST_F(SerialTest, ALostPortEndsEveryWaitForTheOutputQueueAtOnce)
{
    auto &s = Make();
    device->WriteLimit = 0; // a held line: the queue fills and the send waits for room
    int64_t hungUpAt = -1;
    onPump = [&] {
        if (hungUpAt < 0 && s.OutQueue().FreeSpace() == 0) {
            device->HangUp();
            device->OpenError = ENOENT;
            hungUpAt = clock.NowMs();
        }
    };
    s.send_string(std::string(30000, 'j'));
    ASSERT_GE(hungUpAt, 0);
    EXPECT_LE(clock.NowMs() - hungUpAt, 100) << "not one more 1000 ms wait for room";
    EXPECT_FALSE(s.port_open());
    onPump = nullptr;

    // Bytes queued after the loss (an upload's cancel bytes): the flush gives
    // up at once, and they never reach the port opened next.
    for (int i = 0; i < 133; ++i)
        ASSERT_TRUE(s.OutQueue().put(0x18));
    const int64_t t0 = clock.NowMs();
    s.flush_output();
    EXPECT_EQ(clock.NowMs(), t0);
    EXPECT_TRUE(s.output_empty());
    device->OpenError = 0;
    device->TakeWritten();
    device->WriteLimit = static_cast<size_t>(-1);
    s.check_open();
    ASSERT_TRUE(s.port_open());
    s.Thread()->Round(0);
    EXPECT_EQ(device->Written(), "");
}

TEST_F(SerialTest, OnlyALineThatTakesItsSettingsCountsAsOpen)
{
    auto &s = Make(38400, "com1", [](FakeSerialDevice &d) { d.ConfigureFails = true; });
    EXPECT_FALSE(s.OpenedOk());
    EXPECT_FALSE(s.port_open()) << "closed again";
    EXPECT_EQ(s.OpenFailureError(), ENOTTY);
    EXPECT_NE(s.OpenFailureReason().find("line settings could not be applied"), std::string::npos);
    s.send_string("vs5;");
    EXPECT_EQ(device->Written(), "");
    EXPECT_NE(LogText().find("Unable to open com1 (/dev/ttyS0): the line settings could not be applied"),
              std::string::npos);
    device->ConfigureFails = false;
    s.check_open();
    EXPECT_TRUE(s.OpenedOk());
    EXPECT_EQ(s.OpenFailureReason(), "");
    EXPECT_EQ(s.OpenFailureError(), 0);
}

TEST_F(SerialTest, AFileOrDeviceThatIsNoTerminalIsRefusedAndNotWritten)
{
    const std::string file = logDir.path().toStdString() + "/job.txt";
    {
        std::ofstream f(file, std::ios::binary);
        f << "keep me";
    }
    for (const std::string &path : {file, std::string("/dev/null")}) {
        SetPortOverride("com1", path);
        TSerialOptions options;
        options.Device = std::make_unique<TermiosDevice>();
        options.StartThread = false;
        TSerial s("com1", 20000, 0, 8, 0, 38400, flags, std::move(options));
        EXPECT_FALSE(s.OpenedOk()) << path;
        EXPECT_EQ(s.OpenFailureError(), ENOTTY);
        s.send_string("vs5;");
        s.flush_output();
        EXPECT_NE(LogText().find("Unable to open com1 (" + path + "): " + path), std::string::npos) << LogText();
    }
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep me");
}

TEST_F(SerialTest, TheIdleTimerClosesAQuietPortAndTheNextUseReopensIt)
{
    auto &s = Make();
    s.set_timeout(1000);
    clock.Advance(999);
    EXPECT_FALSE(s.check_idle());
    clock.Advance(1);
    // Output waiting for the line keeps the port open.
    device->WriteLimit = 0;
    s.send_string("x");
    clock.Advance(5000);
    EXPECT_FALSE(s.check_idle());
    device->WriteLimit = static_cast<size_t>(-1);
    s.flush_output();
    clock.Advance(999);
    EXPECT_FALSE(s.check_idle()) << "writing was activity";
    device->Feed("noise");
    s.Thread()->Round(0);
    clock.Advance(999);
    EXPECT_FALSE(s.check_idle()) << "so was reading";
    clock.Advance(1);
    EXPECT_TRUE(s.check_idle());
    EXPECT_FALSE(s.port_open());
    EXPECT_EQ(device->CloseCount.load(), 1);
    s.check_open();
    EXPECT_TRUE(s.port_open());
    EXPECT_EQ(device->OpenCount.load(), 2);
}

TEST_F(SerialTest, CancelStopsALongSendWithinOneRoundAndQueuesNothingMore)
{
    auto &s = Make();
    device->WriteLimit = 100; // a slow line: the queue fills and the send waits
    int64_t cancelledAt = -1;
    size_t queuedAtCancel = 0;
    onPump = [&] {
        if (cancelledAt < 0 && device->Written().size() > 4000) {
            flags.Cancelled = true;
            cancelledAt = clock.NowMs();
            queuedAtCancel = device->Written().size() + static_cast<size_t>(s.OutQueue().Count()) + 1000;
        }
    };
    const std::string job(200000, 'c');
    s.send_string(job);
    ASSERT_GE(cancelledAt, 0);
    EXPECT_LE(clock.NowMs() - cancelledAt, 50) << "within one 50 ms round";
    onPump = nullptr;
    // Whatever was queued before the cancel may still go out; nothing after it.
    flags.Cancelled = false;
    device->WriteLimit = static_cast<size_t>(-1);
    s.flush_output();
    EXPECT_LE(device->Written().size(), queuedAtCancel);
    EXPECT_EQ(device->Written().find('\r'), std::string::npos) << "an abandoned send gets no CR";
}

TEST_F(SerialTest, TypedCharactersClearCancelAndEchoLocally)
{
    auto &s = Make();
    std::string screen;
    s.TerminalSink = [&](std::string_view bytes) { screen += bytes; };
    s.SetTerminalMode(true);
    s.SetLocalEcho(true);
    flags.Cancelled = true;
    s.send_char('k');
    EXPECT_FALSE(flags.Cancelled);
    EXPECT_EQ(s.ReplyTimeout(), 30000);
    EXPECT_EQ(device->Written(), "k");
    s.Thread()->Round(0);
    EXPECT_EQ(screen, "k") << "shown although the machine does not echo";
    device->Feed("\x1b[2J");
    s.Thread()->Round(0);
    EXPECT_EQ(screen, "k\x1b[2J") << "the machine's text goes to the screen as it came";
    // Out of terminal mode what arrives stays for the exchanges.
    s.SetTerminalMode(false);
    device->Feed("ok\r");
    s.Thread()->Round(0);
    EXPECT_EQ(screen, "k\x1b[2J");
    EXPECT_FALSE(s.input_empty());
}

TEST_F(SerialTest, TheCharacterLogQueuesLinesAndAsksForOneDrainAtATime)
{
    auto &s = Make();
    int drains = 0;
    s.PostDrain = [&] { ++drains; };
    s.OnText = [](const std::string &, bool) {};
    s.SetCharLog(true);
    device->Feed(std::string("a\x07\r", 3));
    s.Thread()->Round(0);
    EXPECT_EQ(drains, 1);
    s.send_string("xyz");
    EXPECT_EQ(drains, 2);
    device->Feed("b");
    s.Thread()->Round(0);
    EXPECT_EQ(drains, 2) << "lines still waiting: no second request";
    std::vector<std::string> got;
    s.DrainLines([&](const std::string &l) { got.push_back(l); });
    EXPECT_EQ(got, (std::vector<std::string>{"<a!", "<#7!", "<\r!", "<b!", "> 4 sent"}));
    device->Feed("c");
    s.Thread()->Round(0);
    EXPECT_EQ(drains, 3);
}

namespace {
class RecordingSecondary final : public Progress {
public:
    explicit RecordingSecondary(std::vector<std::string> *events) : events_(events) {}
    void Show(const std::string &c) override { events_->push_back("show " + c); }
    void SetProgress(double f) override { events_->push_back("set " + std::to_string(static_cast<int>(f * 100))); }
    void Hide() override { events_->push_back("hide"); }

private:
    std::vector<std::string> *events_;
};
std::vector<std::string> g_secondaryEvents;
int g_secondaryMade = 0;
Progress *MakeSecondary(const std::string &)
{
    ++g_secondaryMade;
    return new RecordingSecondary(&g_secondaryEvents);
}
} // namespace

TEST_F(SerialTest, LongSendsShowTheirOwnProgress)
{
    auto &s = Make();
    SetSecondaryProgressFactory(&MakeSecondary);
    g_secondaryEvents.clear();
    g_secondaryMade = 0;
    s.send_string(std::string(5000, 's'));
    EXPECT_EQ(g_secondaryMade, 0) << "5000 characters stay silent";
    s.send_string(std::string(10000, 's'));
    SetSecondaryProgressFactory(nullptr);
    EXPECT_EQ(g_secondaryMade, 1);
    ASSERT_GE(g_secondaryEvents.size(), 4u);
    EXPECT_EQ(g_secondaryEvents.front(), "show Send Message Progress");
    EXPECT_EQ(g_secondaryEvents[1], "set 0");
    EXPECT_EQ(g_secondaryEvents[g_secondaryEvents.size() - 2], "set 100");
    EXPECT_EQ(g_secondaryEvents.back(), "hide");
    EXPECT_EQ(g_secondaryEvents.size(), 2 + 50 + 1u) << "one update every 200 characters";
}

TEST_F(SerialTest, ReadAndWriteRecordTheirStashEvents)
{
    auto &s = Make();
    SetDoStash(true);
    ClearStash();
    s.send_string("ab");
    device->Feed("xy");
    s.Thread()->Round(0);
    SetDoStash(false);
    std::vector<std::string> names;
    for (const auto &r : StashSnapshot())
        names.push_back(StashCodeName(r.Code));
    auto has = [&](const char *n) { return std::find(names.begin(), names.end(), n) != names.end(); };
    EXPECT_TRUE(has("STWriteStart"));
    EXPECT_TRUE(has("STWriteComplete"));
    EXPECT_TRUE(has("STReadEvent"));
    EXPECT_TRUE(has("STReadComplete"));
    EXPECT_FALSE(has("STPutByteInput")) << "masked out";
    ClearStash();
}
