// The simulated controller's pieces, in-process: protocol answers, jobs and
// the blaster clock, digitizing, dumps, the engineering monitor, the
// firmware loader, line faults and control lines.
#include "SimLine.h"
#include "SimMachine.h"
#include "SimMonitor.h"
#include "SimXmodem.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace grittor::sim;

namespace {

const std::string ESC = "\x1b";

// Sends text at time t and returns what the machine answered.
std::string Say(SimMachine &m, const std::string &text, double t = 0)
{
    m.Receive(text, t);
    return m.TakeOutput();
}

std::string Block(int number, const std::string &data128, bool corrupt = false)
{
    std::string b;
    b += '\x01';
    b += static_cast<char>(number & 0xFF);
    b += static_cast<char>(255 - (number & 0xFF));
    unsigned sum = 0;
    for (char c : data128) {
        b += c;
        sum += static_cast<unsigned char>(c);
    }
    b += static_cast<char>((sum + (corrupt ? 1 : 0)) & 0xFF);
    return b;
}

uint32_t WordAt(const std::string &s, size_t at)
{
    uint32_t w = 0;
    for (int i = 3; i >= 0; --i)
        w = (w << 8) | static_cast<unsigned char>(s[at + static_cast<size_t>(i)]);
    return w;
}

} // namespace

TEST(SimHpgl, StatementsSplitIntoInstructions)
{
    auto list = SplitHpgl("papu 1016,0");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].mnemonic, "pa");
    EXPECT_EQ(list[1].mnemonic, "pu");
    EXPECT_EQ(HpglNumbers(list[1].params), (std::vector<double>{1016, 0}));
    list = SplitHpgl("ap7oc");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].params, "7");
    EXPECT_EQ(list[1].mnemonic, "oc");
    list = SplitHpgl("Papu1.5e-05,-2E+3");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(HpglNumbers(list[1].params), (std::vector<double>{1.5e-05, -2000}));
    EXPECT_TRUE(SplitHpgl("S 23 ").empty());
}

TEST(SimControl, LinesParseOrSayWhyNot)
{
    EXPECT_EQ(ParseControl("load").kind, ControlCommand::Load);
    auto c = ParseControl("move 10 -20");
    EXPECT_EQ(c.kind, ControlCommand::Move);
    EXPECT_EQ(c.x, 10);
    EXPECT_EQ(c.y, -20);
    c = ParseControl("fault slow 250");
    EXPECT_EQ(c.fault.kind, FaultState::Slow);
    EXPECT_EQ(c.fault.slowMs, 250);
    EXPECT_DOUBLE_EQ(ParseControl("fault garbage 5%").fault.probability, 0.05);
    EXPECT_DOUBLE_EQ(ParseControl("fault drop 0.1").fault.probability, 0.1);
    EXPECT_EQ(ParseControl("fault hangup").fault.kind, FaultState::Hangup);
    EXPECT_EQ(ParseControl("fault nak").fault.kind, FaultState::Nak);
    EXPECT_EQ(ParseControl("fault none").fault.kind, FaultState::None);
    EXPECT_EQ(ParseControl("fault silent").fault.kind, FaultState::Silent);
    c = ParseControl("set error_message Axis X stalled");
    EXPECT_EQ(c.kind, ControlCommand::Set);
    EXPECT_EQ(c.name, "error_message");
    EXPECT_EQ(c.value, "Axis X stalled");
    EXPECT_EQ(ParseControl("eol crlf").value, "crlf");
    EXPECT_EQ(ParseControl("  ").kind, ControlCommand::Empty);
    for (const char *bad : {"fault garbage 2", "fault drop", "fault slow -1", "move 1", "move a b", "eol lf", "jump"}) {
        c = ParseControl(bad);
        EXPECT_EQ(c.kind, ControlCommand::Invalid) << bad;
        EXPECT_FALSE(c.error.empty()) << bad;
    }
}

TEST(SimLine, PacingHoldsTheLineRate)
{
    TokenBucket b(LineBytesPerSecond(38400));
    double t = 0;
    size_t moved = 0;
    // A saturated reader that wakes every 7 ms moves exactly the line rate.
    for (; t <= 1000; t += 7) {
        const size_t n = b.Available(t);
        b.Consume(n);
        moved += n;
    }
    EXPECT_NEAR(static_cast<double>(moved), 3840 * 0.994, 8);
    // A quiet line banks only a small burst: the reader finds nothing at
    // each of its wake-ups (at most 50 ms apart).
    for (double q = t; q <= t + 5000; q += 50)
        b.Idle(q);
    EXPECT_LE(b.Available(t + 5000), 16u);
    EXPECT_LE(b.Available(t + 5050), 16u + 192u);
    EXPECT_TRUE(TokenBucket(0).Unlimited());
}

TEST(SimLine, FaultsShapeWhatTheMachineSends)
{
    FaultLine f(7);
    const std::string reply(2000, 'r');
    EXPECT_EQ(f.Transform(reply), reply);
    f.state.kind = FaultState::Silent;
    EXPECT_EQ(f.Transform(reply), "");
    f.state = {FaultState::Drop, 0.25, 0};
    const size_t kept = f.Transform(reply).size();
    EXPECT_NEAR(static_cast<double>(kept), 1500, 120);
    f.state = {FaultState::Garbage, 1.0, 0};
    const std::string noisy = f.Transform(reply) + f.Noise(5000);
    EXPECT_GE(noisy.size(), 6900u);
    EXPECT_EQ(noisy.find('\x11'), std::string::npos) << "noise never carries XON";
    EXPECT_EQ(noisy.find('\x13'), std::string::npos) << "noise never carries XOFF";
    EXPECT_EQ(Readable(std::string("\x1b.a\r\n\x01", 6)), "<ESC>.a<CR><LF>\\x01");
}

TEST(SimMachineTest, VariablesReadWriteAndErrors)
{
    SimMachine m;
    EXPECT_EQ(Say(m, ESC + ".vheight:"), "48768\r");
    EXPECT_EQ(Say(m, ESC + ".a\r"), "SIM-CTRL 5.20 simulated blaster controller\r");
    EXPECT_EQ(Say(m, ESC + ".vstate:"), "ready\r");
    EXPECT_EQ(Say(m, ESC + ".wupspeed;25:"), "ok\r");
    EXPECT_EQ(Say(m, ESC + ".vupspeed:"), "25\r");
    EXPECT_EQ(Say(m, ESC + ".wcentervel;250:"), "ok\r");
    EXPECT_EQ(Say(m, ESC + ".wdownspeed;fast:"), "error: bad value for downspeed: fast\r");
    EXPECT_EQ(Say(m, ESC + ".vcolour:"), "error: unknown variable colour\r");
    EXPECT_EQ(Say(m, ESC + ".verror_message:"), "unknown variable colour\r");
    EXPECT_EQ(Say(m, ESC + ".werror_mes:"), "ok\r");
    EXPECT_EQ(Say(m, ESC + ".verror_message:"), "\r");
    EXPECT_EQ(Say(m, ESC + ".wstate;pause:"), "ok\r");
    EXPECT_EQ(Say(m, ESC + ".wstate;asleep:"), "error: bad state asleep\r");
    EXPECT_EQ(Say(m, ESC + ".wjoystick;toff:" + ESC + ".vjoystick:"), "ok\rtoff\r");
    EXPECT_EQ(Say(m, "ap0;" + ESC + ".worigin_offset;off:\r"), "ok\r");
    EXPECT_EQ(Say(m, ESC + ".wsetting;1:"), "ok\r");
    EXPECT_EQ(Say(m, ESC + ".wmode;draw:\r" + ESC + ".wjog;1:\r"), "ok\rok\r");
    EXPECT_EQ(Say(m, ESC + ".wposition;2032;1016:"), "ok\r");
    EXPECT_EQ(m.JobOriginX(), 2032);
    EXPECT_EQ(m.JobOriginY(), 1016);
    // A command cut by a line end is dropped, the rest of the line still counts.
    EXPECT_EQ(Say(m, ESC + ".vheight\rOS;"), "8\r");
    m.SetEol("\r\n");
    EXPECT_EQ(Say(m, ESC + ".vstate:"), "pause\r\n");
    m.SetEol("");
    EXPECT_EQ(Say(m, ESC + ".vstate:"), "pause");
}

TEST(SimMachineTest, JogSlewAndDigitizing)
{
    SimMachine m;
    Say(m, ESC + ".wjog;250:");
    Say(m, ESC + ".wjogx;1:");
    Say(m, ESC + ".wjogy;-1:");
    EXPECT_EQ(Say(m, ESC + ".vposition:"), "254,-254\r");
    Say(m, ESC + ".wjoyx;8:", 0);
    m.Tick(1000);
    Say(m, ESC + ".wjoyx;0:", 1000);
    EXPECT_EQ(m.X(), 254 + 1016) << "8 x 0.125 inch/s for a second";
    Say(m, "Papu 1000,2000;");
    EXPECT_EQ(Say(m, "oc;"), "1000,2000,0\r");
    EXPECT_EQ(Say(m, "ap7oc;"), "1000,2000,0\r");

    EXPECT_EQ(Say(m, "OS;"), "8\r");
    m.PressLoad(0); // not armed: nothing
    EXPECT_EQ(Say(m, "OS;"), "8\r");
    Say(m, "DP;");
    m.PressLoad(0);
    EXPECT_EQ(Say(m, "OS;"), "12\r") << "value 4 set: a point is ready";
    Say(m, "DP;"); // armed again for the next point
    EXPECT_EQ(Say(m, "OS;"), "8\r");
    m.PressLoad(0);
    Say(m, "DC;");
    EXPECT_EQ(Say(m, "OS;"), "8\r");
}

TEST(SimMachineTest, JobsRunOnTheBlastClockWhichPauseFreezesAndKillEnds)
{
    SimMachine m;
    EXPECT_EQ(Say(m, "wa;", 0), "idle\r") << "idle at once";
    // 10,000 units of blasting at 20 cm/s: 1.25 s.
    Say(m, "papu0,0;\r\nvs20;\r\nbp762,0.50,1.00,0\r\npapu 0,0\r\npapd10000,0\r\n\r\npa0,0,0,0,0,0;\r\n;\r", 0);
    EXPECT_FALSE(m.BlasterIdle());
    EXPECT_NEAR(m.BlastLeftMs(), 1250, 1);
    EXPECT_EQ(Say(m, "wa;", 100), "");
    m.Tick(500);
    EXPECT_EQ(Say(m, ESC + ".wstate;pause:", 500), "ok\r");
    m.Tick(20000);
    EXPECT_EQ(m.TakeOutput(), "") << "paused: the blast clock stands";
    EXPECT_EQ(Say(m, ESC + ".wstate;ready:", 20000), "ok\r");
    EXPECT_GT(m.NextDueMs(20000), 20000);
    m.Tick(20000 + 749);
    EXPECT_EQ(m.TakeOutput(), "");
    m.Tick(20000 + 751);
    EXPECT_EQ(m.TakeOutput(), "idle\r");

    Say(m, "papd 0,40000;wa;", 30000);
    EXPECT_EQ(Say(m, ESC + ".k:", 30001), "idle\r") << "the killed job ends the wait";
    EXPECT_DOUBLE_EQ(m.PathLength(), 50000);
}

TEST(SimMachineTest, TimeScaleShortensTheBlast)
{
    SimConfig cfg;
    cfg.TimeScale = 0.01;
    SimMachine m(cfg);
    Say(m, "vs10;pd4000,0;wa;", 0);
    m.Tick(9);
    EXPECT_EQ(m.TakeOutput(), "");
    m.Tick(11);
    EXPECT_EQ(m.TakeOutput(), "idle\r");
}

TEST(SimMachineTest, DumpAndMotorRecords)
{
    SimMachine m;
    const std::string dump = Say(m, ESC + ".cdump_mem;6699;12:\r");
    ASSERT_EQ(dump.size(), 3u * 18);
    for (size_t r = 0; r < 3; ++r) {
        for (size_t k = 0; k < 4; ++k)
            EXPECT_EQ(WordAt(dump, r * 18 + 4 * k),
                      SimMachine::MemoryWord(static_cast<uint32_t>(6699 + 16 * r + 4 * k)));
        EXPECT_EQ(dump[r * 18 + 17], '\n');
    }
    const std::string big = Say(m, ESC + ".cdump_mem;0;40000:");
    EXPECT_EQ(big.size(), 10000u * 18);
    EXPECT_EQ(big.find('\x11'), std::string::npos) << "no XON inside the data of an XON/XOFF line";
    EXPECT_EQ(big.find('\x13'), std::string::npos);

    const std::string rec = Say(m, "ec32760;");
    const std::string head = "motor data 32760\r\n";
    ASSERT_EQ(rec.substr(0, head.size()), head);
    EXPECT_EQ(rec.size(), head.size() + 1000u * 18);
    for (size_t i = 0; i < 1000; ++i) {
        const size_t at = head.size() + i * 18;
        EXPECT_NE(WordAt(rec, at), 0u);
        EXPECT_NE(WordAt(rec, at + 4), 0u);
        ASSERT_EQ(rec.substr(at + 16, 2), "\r\n");
    }
    EXPECT_EQ(Say(m, ESC + ".cdump_mem;x:"), "error: usage dump_mem;start;count\r");
}

TEST(SimMachineTest, EngineeringMonitor)
{
    SimMachine m;
    EXPECT_EQ(Say(m, ESC + ".cdiag_run;8:\r"), "diagnostic 8 done\r");
    EXPECT_NE(Say(m, ESC + ".cdiag_run;19:\r").find("Engineering diagnostic monitor"), std::string::npos);
    EXPECT_EQ(m.CurrentMode(), SimMachine::Mode::Monitor);
    EXPECT_EQ(Say(m, ESC + "\r"), "monitor ready\r\n");

    std::string tables = Say(m, "S 9 7 ");
    const size_t cr = tables.find("\r\n");
    ASSERT_NE(cr, std::string::npos);
    EXPECT_EQ(std::count(tables.begin(), tables.begin() + static_cast<long>(cr), ','), 68) << "69 values";
    EXPECT_EQ(tables.substr(cr), "\r\nok\r\n") << "a second line follows the values";

    std::string gains = "S 6 7 ";
    for (int k = 0; k < 50; ++k)
        gains += std::to_string(1000 + k) + " ";
    EXPECT_EQ(Say(m, gains), "ok\r\n");
    EXPECT_EQ(m.Monitor().Gains(7)[49], 1049);
    EXPECT_EQ(Say(m, "S 9 7 ").substr(0, 10), "1000,1001,");
    Say(m, "S 19 7 ");
    EXPECT_EQ(m.Monitor().Gains(7)[0], 110);
    EXPECT_EQ(Say(m, "S 8 6 "), "tables saved\r\nok\r\n");
    EXPECT_EQ(Say(m, "S 36 "), "high gain on\r\nok\r\n");

    const std::string capture = Say(m, "S 25 4 40 ");
    EXPECT_EQ(capture.substr(0, 6), "begin ");
    EXPECT_NE(capture.find("\r\neof\r\nok\r\n"), std::string::npos);
    size_t separators = 0;
    for (size_t at = 0; (at = capture.find("\r\n0,0\r\n", at)) != std::string::npos; ++at)
        ++separators;
    EXPECT_EQ(separators, 3u) << "four series";
    EXPECT_EQ(Say(m, "S 6 7 1 2 x "), "");
    std::string rest = "";
    for (int k = 0; k < 47; ++k)
        rest += "1 ";
    EXPECT_NE(Say(m, rest).find("error"), std::string::npos);

    // S, ETX, blank, S, blank, 2, 3, blank: out of the monitor.
    EXPECT_EQ(Say(m, std::string("S\x03 S 23 \r", 9)), "monitor stopped\r\n");
    EXPECT_EQ(m.CurrentMode(), SimMachine::Mode::Normal);
    EXPECT_EQ(Say(m, ESC + ".vstate:"), "ready\r");
}

TEST(SimMachineTest, CalibrationResetAndUnknownCommands)
{
    SimMachine m;
    EXPECT_EQ(Say(m, ESC + ".ccalibrate;1900;1919;1900;1881:"), "calibrate x 1900/1919 y 1900/1881\r");
    EXPECT_EQ(Say(m, ESC + ".r:"), "reset done\r");
    EXPECT_EQ(Say(m, ESC + ".cfly:"), "error: unknown command fly\r");
    EXPECT_EQ(Say(m, "pg0;nr;IN;SP1;"), "");
}

TEST(SimMachineTest, FirmwareLoaderReceivesChecksAndSaves)
{
    QTemporaryDir dir;
    SimConfig cfg;
    cfg.TimeScale = 0.1;
    cfg.FirmwarePath = dir.path().toStdString() + "/fw.bin";
    SimMachine m(cfg);
    EXPECT_EQ(Say(m, ESC + ".cload38400;1:", 0), "\x15") << "NAK at once";
    EXPECT_EQ(m.CurrentMode(), SimMachine::Mode::Xmodem);
    EXPECT_EQ(Say(m, "\r", 1), "") << "the CR behind the command is ignored";
    m.Tick(99);
    EXPECT_EQ(m.TakeOutput(), "");
    m.Tick(101);
    EXPECT_EQ(m.TakeOutput(), "\x15") << "again after the (scaled) second";

    const std::string a(128, 'a'), b(128, 'b');
    EXPECT_EQ(Say(m, Block(1, a, true), 150), "\x15") << "bad checksum";
    EXPECT_EQ(Say(m, Block(1, a), 160), "\x06");
    EXPECT_EQ(Say(m, Block(1, a), 170), "\x06") << "a repeat is acknowledged, not stored twice";
    EXPECT_EQ(Say(m, Block(3, b), 180), "\x15") << "out of sequence";
    EXPECT_EQ(Say(m, Block(2, b), 190), "\x06");
    EXPECT_EQ(Say(m, Block(2, b).substr(0, 50), 200), "");
    m.Tick(350);
    EXPECT_EQ(m.TakeOutput(), "\x15") << "a torn block is asked for again";
    EXPECT_EQ(Say(m, "\x04", 400), "\x06");
    EXPECT_EQ(m.CurrentMode(), SimMachine::Mode::Normal);
    EXPECT_EQ(m.LastFirmware(), a + b);
    std::ifstream f(cfg.FirmwarePath, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    EXPECT_EQ(ss.str(), a + b);
    EXPECT_EQ(Say(m, "\x04" + ESC + ".vstate:", 401), "ready\r") << "the second EOT means nothing";

    // A sender that gives up sends CAN; the loader returns to commands.
    Say(m, ESC + ".cload38400;1:", 500);
    Say(m, Block(1, a), 510);
    Say(m, std::string(133, '\x18'), 520);
    EXPECT_EQ(m.CurrentMode(), SimMachine::Mode::Normal);
    EXPECT_EQ(m.FirmwareUploads(), 1);

    // "fault nak": every block refused.
    m.SetNakAll(true);
    Say(m, ESC + ".cload38400;1:", 600);
    EXPECT_EQ(Say(m, Block(1, a), 610), "\x15");
    EXPECT_EQ(Say(m, Block(1, a), 620), "\x15");
}

TEST(SimXmodem, GivesUpWhenNobodySends)
{
    SimXmodemReceiver r(10);
    std::string out;
    r.Start(0, out);
    for (double t = 0; t < 2000 && r.State() == SimXmodemReceiver::Status::Running; t += 5)
        r.Tick(t, out);
    EXPECT_EQ(r.State(), SimXmodemReceiver::Status::GaveUp);
    EXPECT_EQ(r.NaksSent(), 60);
}
