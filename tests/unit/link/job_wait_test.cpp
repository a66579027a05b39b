// The job position and the wait for the blaster, on the fake clock against
// a scripted machine.
#include "link/JobWait.h"

#include "LinkTestSupport.h"

using namespace grittor;
using namespace grittor::test;

namespace {

class JobWaitTest : public LinkFixture {};

} // namespace

TEST_F(JobWaitTest, TwentyFiveSilentRoundsReportFiveMinutesAndAskAgainEachTime)
{
    auto &s = Make();
    s.set_timeout(3000);
    std::vector<std::string> reports;
    int asked = 0;
    Answer([&](const std::string &command) -> std::string {
        if (command == "wa;")
            ++asked;
        return "";
    });
    TWaitEvents events;
    events.StillWaiting = [&](const std::string &text) {
        reports.push_back(text);
        if (reports.size() == 5)
            feed.At(clock.NowMs() + 2000, "idle\r"); // the blast ends after the fifth report
    };
    const int64_t start = clock.NowMs();
    EXPECT_TRUE(WaitForIdle(s, events));
    ASSERT_EQ(reports.size(), 5u);
    for (int m = 1; m <= 5; ++m)
        EXPECT_EQ(reports[static_cast<size_t>(m - 1)], std::to_string(m) + " minutes.  Still waiting for blaster idle.");
    EXPECT_EQ(asked, 6) << "the first wa; and one after each report";
    // 10 s rounds: the first query, 25 listening rounds, four queries
    // that went unanswered; the fifth query's answer came after 2 s.
    EXPECT_GE(clock.NowMs() - start, 30 * 10000);
    EXPECT_LT(clock.NowMs() - start, 31 * 10000);
    EXPECT_EQ(s.ReplyTimeout(), 3000) << "restored";
    EXPECT_NE(LogText().find("3 minutes.  Still waiting for blaster idle."), std::string::npos);
}

TEST_F(JobWaitTest, WritePositionWritesBetweenWaitsThenStartsThePlot)
{
    auto &s = Make();
    s.set_timeout(4000);
    int64_t positionTimeout = 0;
    Answer([&](const std::string &command) -> std::string {
        if (command == "wa;")
            return "idle\r";
        if (command.rfind("\x1b.wposition;", 0) == 0) {
            positionTimeout = s.ReplyTimeout();
            return "ok\r";
        }
        return "";
    });
    WritePosition(s, 2032, 1016);
    EXPECT_EQ(commands, (std::vector<std::string>{"wa;", "\x1b.wposition;2032;1016:", "wa;", "pg0;", "wa;"}));
    EXPECT_EQ(positionTimeout, 59000);
    EXPECT_EQ(s.ReplyTimeout(), 4000);
    const std::string log = LogText();
    EXPECT_LT(log.find("Q.Write Position"), log.find("Q.Wait"));
}

TEST_F(JobWaitTest, ACancelledJobExchangesNothingAndAClosingWindowEndsAWait)
{
    auto &s = Make();
    s.set_timeout(2500);
    Answer([&](const std::string &) -> std::string { return ""; });
    flags.Cancelled = true;
    EXPECT_FALSE(WaitForIdle(s));
    WritePosition(s, 1, 2);
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(device->Written(), "");
    flags.Cancelled = false;

    // The window closes in the middle of a long wait.
    int rounds = 0;
    onPump = [&] {
        if (++rounds == 300)
            flags.Closing = true;
    };
    EXPECT_FALSE(WaitForIdle(s));
    EXPECT_TRUE(flags.Closing.load());
    EXPECT_EQ(s.ReplyTimeout(), 2500) << "restored on every way out";
}

TEST_F(JobWaitTest, ALineLostWhileTheMachineBlastsEndsTheWaitAtOnce)
{
    auto &s = Make();
    s.set_timeout(2500);
    Answer([&](const std::string &) -> std::string { return ""; });
    // The line goes after a minute of silence; whatever answers after it
    // is not the machine that had the job.
    const int64_t start = clock.NowMs();
    onPump = [&] {
        if (clock.NowMs() - start > 60000 && device->IsOpen())
            device->HangUp();
    };
    EXPECT_FALSE(WaitForIdle(s));
    EXPECT_LT(clock.NowMs() - start, 62000) << "not another 10 s round, nor the 50 s until the next wa;";
    EXPECT_EQ(s.ReplyTimeout(), 2500);
}

TEST_F(JobWaitTest, TheCancelSequenceDropsTheRestOfTheJobBeforeThePause)
{
    auto &s = Make();
    Answer([&](const std::string &) -> std::string { return "ok\r"; });
    device->WriteLimit = 16; // the driver takes 16 bytes a write
    std::string job;
    for (int i = 0; job.size() < 4000; ++i)
        job += "papd" + std::to_string(i) + ",0\r\n";
    s.send_string(job, false);
    ASSERT_FALSE(s.output_empty());
    const std::string before = device->Written();
    const int purges = device->OutputPurges.load();
    SendCancelSequence(s, {});
    const std::string written = device->Written();
    ASSERT_GE(written.size(), before.size());
    EXPECT_EQ(written.substr(before.size()), "\x1b.wstate;pause:\r\x1b.k:\r\x1b.wstate;ready:\r")
        << "nothing of the job after the cancel began";
    EXPECT_EQ(device->OutputPurges.load(), purges + 1) << "the driver's buffer is dropped too";
    EXPECT_NE(LogText().find("not sent (job cancelled)"), std::string::npos);
}
