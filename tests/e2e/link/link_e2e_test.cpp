// The link against grittor-sim over a real pseudo-terminal: every exchange
// the application has with the machine, reply endings, slow and silent
// machines, binary replies, firmware transfers, noisy lines, hang-ups and
// cancelling.
#include "SimFixture.h"

#include "link/TCommThread.h"

#include <functional>

using namespace grittor;
using namespace grittor::test;

namespace {

const std::string ESC = "\x1b";

class LinkE2E : public SimFixture {};

struct Exchange {
    std::string command;
    int limit;
    std::function<bool(const std::string &)> accept;
    const char *what;
};

bool IsInteger(const std::string &s)
{
    if (s.empty())
        return false;
    size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size())
        return false;
    for (; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

auto Is(const std::string &expected)
{
    return [expected](const std::string &r) { return r == expected; };
}

} // namespace

TEST_F(LinkE2E, EveryQueryOfTheApplicationIsAnswered)
{
    Start();
    link->set_timeout(1000);
    const auto ok = Is("ok");
    const std::vector<Exchange> table = {
        {ESC + ".a", 100, [](const std::string &r) { return r.find("SIM-CTRL") == 0; }, "version"},
        {ESC + ".vposition:", 100, Is("0,0"), "position"},
        {ESC + ".vheight:", 20, IsInteger, "height"},
        {ESC + ".vstate:", 20, Is("ready"), "state"},
        {ESC + ".verror_message:", 150, Is(""), "error text"},
        {ESC + ".vupspeed:", 80, IsInteger, "move speed"},
        {ESC + ".vdownspeed:", 80, IsInteger, "blow speed"},
        {ESC + ".vacceleration:", 80, IsInteger, "acceleration"},
        {ESC + ".vjoyslew:", 80, IsInteger, "slew speed"},
        {ESC + ".vjog:", 80, IsInteger, "jog distance"},
        {ESC + ".werror_mes:", 150, ok, "clear error"},
        {ESC + ".wstate;unload:", 20, ok, "unload"},
        {ESC + ".wstate;pause:", 80, ok, "pause"},
        {ESC + ".wstate;ready:", 80, ok, "continue"},
        {ESC + ".wupspeed;25:", 80, ok, "write move speed"},
        {ESC + ".wdownspeed;1:", 80, ok, "write blow speed"},
        {ESC + ".wacceleration;4:", 80, ok, "write acceleration"},
        {ESC + ".wradius;508:", 80, ok, "write radius"},
        {ESC + ".wcentervel;250:", 80, ok, "write centre velocity"},
        {ESC + ".wsetting;1:", 80, ok, "save setup"},
        {ESC + ".wjoystick;toff:", 80, ok, "joystick off"},
        {ESC + ".wjoystick;ton:", 80, ok, "joystick on"},
        {ESC + ".wjoyslew;12:", 80, ok, "write slew speed"},
        {ESC + ".wjog;250:", 80, ok, "write jog distance"},
        {ESC + ".wjogx;1:", 10, ok, "jog up"},
        {ESC + ".wjogx;-1:", 10, ok, "jog down"},
        {ESC + ".wjogy;1:", 10, ok, "jog left"},
        {ESC + ".wjogy;-1:", 10, ok, "jog right"},
        {ESC + ".wjoyx;12:", 10, ok, "slew up"},
        {ESC + ".wjoyx;0:", 10, ok, "slew stop"},
        {ESC + ".wjoyy;-12:", 10, ok, "slew right"},
        {ESC + ".wjoyy;0:", 10, ok, "slew stop"},
        {ESC + ".wposition;2032;1016:", 100, ok, "job position"},
        {"ap0;" + ESC + ".worigin_offset;off:", 10, ok, "digitize start"},
        {"OS;", 20, Is("8"), "status"},
        {"oc;", 80, [](const std::string &r) { return r.size() > 4 && r.substr(r.size() - 2) == ",0"; }, "oc"},
        {"ap7oc;", 80, [](const std::string &r) { return r.find(',') != std::string::npos; }, "ap7oc"},
        {"wa;", 100, Is("idle"), "idle wait"},
    };
    for (const auto &e : table) {
        std::string reply = "unset";
        link->query(e.command, e.limit, reply);
        EXPECT_TRUE(e.accept(reply)) << e.what << ": '" << reply << "'";
        EXPECT_EQ(link->LastStatus(), RsCRReceived) << e.what;
    }
    // The jogs (250 thousandths each) cancelled out; the slews moved the head.
    const std::string pos = link->query(ESC + ".vposition:", 100);
    EXPECT_NE(pos, "0,0");

    // Commands whose answer nobody reads, and their effect on the machine.
    link->send_string("Papu1000,2000;");
    EXPECT_EQ(link->query("oc;", 80), "1000,2000,0");
    link->send_string("DP;");
    link->flush_output();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Control("load");
    EXPECT_EQ(link->query("OS;", 20), "12") << "the digitized point is ready";
    link->send_string("DC;");
    EXPECT_EQ(link->query("OS;", 20), "8");
    for (const std::string &raw : std::vector<std::string>{
             ESC + ".wmode;draw:", ESC + ".wjog;1:", "pg0;", "nr;",
             ESC + ".cdiag_run;8:", ESC + ".ccalibrate;1900;1919;1900;1881:", ESC + ".r:", ESC + ".k:"})
        link->send_string(raw);
    link->flush_output();
    const std::string tail = ESC + ".k:\r";
    ASSERT_TRUE(WaitRecorded(1));
    EXPECT_TRUE(WaitRecorded(Recorded().size())); // settle
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string rec = Recorded();
    EXPECT_EQ(rec.substr(rec.size() - tail.size()), tail);
    EXPECT_NE(rec.find(ESC + ".a\r"), std::string::npos) << "ESC.a goes out without a colon";
    EXPECT_NE(rec.find(ESC + ".ccalibrate;1900;1919;1900;1881:\r"), std::string::npos);
}

TEST_F(LinkE2E, RepliesEndByCrCrLfTheLimitOrSilence)
{
    Start();
    link->set_timeout(300);
    EXPECT_EQ(link->query(ESC + ".vstate:", 20), "ready");
    EXPECT_EQ(link->LastStatus(), RsCRReceived);

    Control("eol crlf");
    for (int i = 0; i < 3; ++i) { // the LF of one answer never leaks into the next
        EXPECT_EQ(link->query(ESC + ".vstate:", 20), "ready");
        EXPECT_EQ(link->LastStatus(), RsCRReceived);
    }

    EXPECT_EQ(link->query(ESC + ".a", 10), "SIM-CTRL 5");
    EXPECT_EQ(link->LastStatus(), RsTooManyChars);
    EXPECT_EQ(link->query(ESC + ".vjog:", 20), "100") << "the rest of the long answer was discarded";

    Control("eol none");
    const int64_t t0 = MonoMs();
    EXPECT_EQ(link->query(ESC + ".vstate:", 20), "ready");
    EXPECT_EQ(link->LastStatus(), RsTimeout) << "an answer without CR ends by silence";
    EXPECT_GE(MonoMs() - t0, 300);

    Control("eol cr");
    Control("fault silent");
    EXPECT_EQ(link->query(ESC + ".vstate:", 20), "");
    EXPECT_EQ(link->LastStatus(), RsTimeout);
    Control("fault none");
    EXPECT_EQ(link->query(ESC + ".vstate:", 20), "ready");
}

TEST_F(LinkE2E, ASlowMachineNeverTimesOutWhileCharactersKeepComing)
{
    // One character every 150 ms under a 600 ms timeout (the whole answer
    // takes 900 ms): the timeout runs from the last character, as with a
    // character every 4 s under 5 s.
    Start();
    link->set_timeout(600);
    Control("fault slow 150");
    const int64_t t0 = MonoMs();
    EXPECT_EQ(link->query(ESC + ".vheight:", 20), "48768");
    EXPECT_EQ(link->LastStatus(), RsCRReceived);
    EXPECT_GE(MonoMs() - t0, 5 * 150);
    EXPECT_TRUE(link->port_open()) << "a trickling answer keeps the port in use";
}

TEST_F(LinkE2E, BinaryRepliesKeepEveryByte)
{
    Start();
    link->set_timeout(300);
    link->SetBinaryReplies(true);
    std::string reply;
    link->query("ec32760;", 20000, reply);
    link->SetBinaryReplies(false);
    EXPECT_EQ(link->LastStatus(), RsTimeout) << "a binary answer ends by silence";
    const std::string head = "motor data 32760\r\n";
    ASSERT_EQ(reply.size(), head.size() + 1000 * 18);
    EXPECT_EQ(reply.substr(0, head.size()), head) << "CR and LF kept";
    for (size_t i = 0; i < 1000; ++i)
        ASSERT_EQ(reply.substr(head.size() + i * 18 + 16, 2), "\r\n") << "record " << i;
    // A limit below the answer's length ends the read there.
    link->SetBinaryReplies(true);
    link->query(ESC + ".cdump_mem;6699;12:", 40, reply);
    link->SetBinaryReplies(false);
    EXPECT_EQ(reply.size(), 40u);
    EXPECT_EQ(link->LastStatus(), RsTooManyChars);
    EXPECT_EQ(reply[17], '\n');
}

namespace {
// What the machine's loader stores: the data padded to whole blocks, plus a
// block of padding when the data ends on a block boundary.
std::string Padded(const std::string &data)
{
    std::string p = data;
    p.append((128 - data.size() % 128) % 128, '\xFF');
    if (data.size() % 128 == 0)
        p.append(128, '\xFF');
    return p;
}

std::string FirmwareImage(size_t n)
{
    std::string d;
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        d += static_cast<char>(x >> 16);
    }
    return d;
}
} // namespace

TEST_F(LinkE2E, FirmwareArrivesByteExact)
{
    Start();
    link->set_timeout(2000);
    const std::string load = ESC + ".cload38400;1:";
    for (size_t n : {size_t(128), size_t(129), size_t(40000)}) {
        SCOPED_TRACE(n);
        const size_t before = Recorded().size();
        link->send_string(load);
        const std::string data = FirmwareImage(n);
        EXPECT_EQ(link->send_xmodem(data, "Transmit firmware to Laser Engraver"), XmSuccess);
        // The loader asks for the first block again and again until it
        // comes, and for a block again when its bytes pause (10 ms at the
        // simulator's pace): on a busy machine such a NAK now and then has
        // a block sent twice.  Every NAK counted is one block sent again,
        // no more.
        const int naks = link->NakCount();
        EXPECT_LE(naks, 10);
        link->flush_output();
        const size_t blocks = Padded(data).size() / 128;
        // What crossed the line: the command, its CR, the blocks (and the
        // ones sent again), EOT EOT.
        ASSERT_TRUE(WaitRecorded(before + load.size() + 1 + (blocks + static_cast<size_t>(naks)) * 132 + 2));
        for (int i = 0; i < 200 && ReadFile(Path("firmware.bin")) != Padded(data); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(ReadFile(Path("firmware.bin")), Padded(data));
        const std::string stats = Stats();
        EXPECT_NE(stats.find("mode=normal"), std::string::npos) << stats;
        const std::string rec = Recorded().substr(before);
        EXPECT_EQ(rec.substr(0, load.size() + 1), load + "\r");
        ASSERT_EQ(rec.size(), load.size() + 1 + (blocks + static_cast<size_t>(naks)) * 132 + 2);
        EXPECT_EQ(rec.substr(rec.size() - 2), "\x04\x04");
        // The blocks in order, each number with its complement, a block
        // repeated only where a NAK asked for it; block 256 carries the
        // number byte 0.
        size_t expected = 1, repeats = 0;
        for (size_t at = load.size() + 1; at + 132 <= rec.size() - 2; at += 132) {
            const auto number = static_cast<uint8_t>(rec[at + 1]);
            ASSERT_EQ(static_cast<uint8_t>(rec[at]), 0x01) << "block at " << at;
            ASSERT_EQ(number + static_cast<uint8_t>(rec[at + 2]), 255) << "block at " << at;
            if (expected > 1 && number == static_cast<uint8_t>(expected - 1)) {
                ++repeats;
                continue;
            }
            ASSERT_EQ(number, static_cast<uint8_t>(expected)) << "block at " << at;
            ++expected;
        }
        EXPECT_EQ(expected - 1, blocks);
        EXPECT_EQ(repeats, static_cast<size_t>(naks));
    }
    // No data: nothing is sent at all.
    const size_t before = Recorded().size();
    EXPECT_EQ(link->send_xmodem("", "fw"), XmNoAckAtEof);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Recorded().size(), before);
}

TEST_F(LinkE2E, AReceiverThatNaksEverythingGetsCancelled)
{
    Start();
    link->set_timeout(2000);
    link->SetAckTimeout(400);
    Control("fault nak");
    link->send_string(ESC + ".cload38400;1:");
    const int64_t t0 = MonoMs();
    EXPECT_EQ(link->send_xmodem(FirmwareImage(1000), "fw"), XmNoAck);
    EXPECT_GE(MonoMs() - t0, 400);
    EXPECT_GT(link->NakCount(), 0);
    link->flush_output();
    ASSERT_TRUE(WaitRecorded(133));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string rec = Recorded();
    EXPECT_EQ(rec.substr(rec.size() - 133), std::string(133, '\x18'));
    EXPECT_NE(Stats().find("mode=normal"), std::string::npos) << "the loader saw the CANs and gave up";
}

namespace {
std::string JobText(size_t bytes)
{
    std::string job = "papu0,0;\r\nvs20;\r\nbp762,0.50,1.00,0\r\n";
    long x = 1000, y = 1000;
    while (job.size() < bytes) {
        x = (x * 7 + 13) % 40000;
        y = (y * 11 + 17) % 40000;
        job += "papd" + std::to_string(x) + "," + std::to_string(y) + "\r\n";
    }
    job.resize(bytes);
    return job;
}
} // namespace

TEST_F(LinkE2E, AMegabyteJobArrivesByteExactOnANoisyReplyLine)
{
    // The queue takes the whole job at once here; the full-queue path is
    // covered below and by the unit tests.
    Start({}, 2 << 20);
    Control("fault garbage 0.2");
    const std::string job = JobText(1 << 20);
    link->send_string(job);
    link->flush_output();
    ASSERT_TRUE(WaitRecorded(job.size() + 1, 30000));
    EXPECT_TRUE(Recorded() == job + "\r") << "the job was altered on its way";
    Control("fault drop 0.3");
    const size_t before = Recorded().size();
    link->send_string(job);
    link->flush_output();
    ASSERT_TRUE(WaitRecorded(before + job.size() + 1, 30000));
    EXPECT_TRUE(Recorded().substr(before) == job + "\r");
    Control("fault none");
    link->set_timeout(500);
    EXPECT_EQ(link->query(ESC + ".vstate:", 20), "ready") << "the link is sound afterwards";
    EXPECT_EQ(link->LossCount(), 0u);
}

TEST_F(LinkE2E, AJobLargerThanTheQueueStreamsThroughIt)
{
    Start();
    Control("fault drop 0.5");
    const std::string job = JobText(50000);
    link->send_string(job); // 20000-byte queue: the send waits for room twice
    link->flush_output();
    ASSERT_TRUE(WaitRecorded(job.size() + 1, 20000));
    EXPECT_TRUE(Recorded() == job + "\r");
}

TEST_F(LinkE2E, AHangUpMidSendLeavesThePortClosedAndTheNextCommandReopensIt)
{
    Start({"--link", Path("machine"), "--baud", "230400"});
    link->set_timeout(1000);
    CountingUiHooks hooks;
    bool hungUp = false;
    hooks.onProcess = [&] {
        if (!hungUp && Recorded().size() > 10000) {
            hungUp = true;
            sim.Command("fault hangup");
        }
    };
    const std::string job = JobText(200000);
    const int64_t t0 = MonoMs();
    link->send_string(job);
    hooks.onProcess = nullptr;
    ASSERT_TRUE(hungUp);
    EXPECT_LT(MonoMs() - t0, 8000) << "the send gave up instead of waiting for a dead line";
    // The receive thread sees the hang-up within a round or two.
    for (int i = 0; i < 100 && link->LossCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(link->LossCount(), 1u);
    EXPECT_FALSE(link->port_open());
    EXPECT_TRUE(link->output_empty());
    const size_t beforeQuery = Recorded().size();
    EXPECT_LT(beforeQuery, job.size());

    // The link path names the new terminal once the simulator says so; a
    // command before that finds no machine behind the path.
    std::string line;
    while (sim.ReadLine(line, 3000) && line.rfind("hangup ", 0) != 0) {
    }
    ASSERT_EQ(line.rfind("hangup ", 0), 0u) << line;
    EXPECT_EQ(link->query(ESC + ".vstate:", 20), "ready") << "reopened on the next command";
    EXPECT_TRUE(link->port_open());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Recorded().substr(beforeQuery), ESC + ".vstate:\r") << "nothing of the old job followed";
    EXPECT_NE(LogText().find("lost"), std::string::npos);
}

TEST_F(LinkE2E, CancelStopsALongSendWithinOneRound)
{
    Start({"--baud", "38400"});
    CountingUiHooks hooks;
    int64_t cancelledAt = 0;
    const int64_t t0 = MonoMs();
    hooks.onProcess = [&] {
        if (!cancelledAt && MonoMs() - t0 > 300) {
            flags.Cancelled = true;
            cancelledAt = MonoMs();
        }
    };
    const std::string job = JobText(200000);
    link->send_string(job);
    const int64_t returned = MonoMs();
    hooks.onProcess = nullptr;
    ASSERT_NE(cancelledAt, 0);
    // One 50 ms round at most (the unit test checks it exactly on the fake
    // clock); the margin is for a loaded machine's scheduler.
    EXPECT_LE(returned - cancelledAt, 150) << "within one 50 ms round";
    // From here the queue only shrinks: nothing more is put into it.
    int32_t last = link->OutQueue().Count();
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const int32_t now = link->OutQueue().Count();
        EXPECT_LE(now, last);
        last = now;
    }
    flags.Cancelled = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string rec = Recorded();
    EXPECT_LT(rec.size(), job.size());
    EXPECT_EQ(rec, job.substr(0, rec.size())) << "what went out is an unbroken start of the job";
}

TEST_F(LinkE2E, TerminalModeShowsWhatTheMachineSays)
{
    Start();
    std::string screen;
    std::mutex lock;
    link->TerminalSink = [&](std::string_view bytes) {
        std::lock_guard<std::mutex> g(lock);
        screen += bytes;
    };
    link->SetTerminalMode(true);
    link->send_string(ESC + ".cdiag_run;8:");
    for (int i = 0; i < 100; ++i) {
        {
            std::lock_guard<std::mutex> g(lock);
            if (screen.find("diagnostic 8 done") != std::string::npos)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::lock_guard<std::mutex> g(lock);
    EXPECT_EQ(screen.rfind("diagnostic 8 done", 0), 0u) << screen;
    EXPECT_TRUE(link->input_empty()) << "shown, not left for an exchange";
}

TEST_F(LinkE2E, TheIdlePortClosesAndReopensOnTheNextCommand)
{
    Start();
    link->set_timeout(150);
    EXPECT_EQ(link->query(ESC + ".vstate:", 20), "ready");
    for (int i = 0; i < 50 && link->port_open(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(link->port_open()) << "released after the idle time";
    EXPECT_EQ(link->query(ESC + ".vstate:", 20), "ready");
    EXPECT_EQ(link->LossCount(), 0u) << "an idle close is no loss";
}
