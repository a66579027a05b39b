// The load-key sequence's rounds against a scripted machine on the fake
// clock: which "OS;" answers take a point, how the arrows alternate, what
// goes on the line, and a cancel while a round waits.
#include "operation/LoadKey.h"

#include "../link/LinkTestSupport.h"

using namespace grittor;
using namespace grittor::test;

namespace {

class LoadKeyTest : public LinkFixture {
protected:
    // A machine whose "OS;" answer is `status` and whose nozzle is at 1200,-340.
    TSerial &Machine(const std::string &status)
    {
        auto &s = Make();
        Answer([status](const std::string &command) -> std::string {
            if (command == "OS;")
                return status + "\r";
            if (command == "\x1b.vposition:")
                return "1200,-340\r";
            return "";
        });
        return s;
    }
};

} // namespace

TEST_F(LoadKeyTest, StatusAnswersWithTheBitOfFourTakeAPointAndOthersDoNot)
{
    for (const char *answer : {"4", "12", "36", " 12 ", "-4"}) {
        EXPECT_TRUE(PointReady(ParseStatusAnswer(answer))) << answer;
    }
    for (const char *answer : {"8", "0", "3", "", "abc", "12a", "1.5e1", "0x4"}) {
        EXPECT_FALSE(PointReady(ParseStatusAnswer(answer))) << "'" << answer << "'";
    }
    EXPECT_EQ(ParseStatusAnswer("letters"), 0);
    EXPECT_EQ(ParseStatusAnswer(""), 0);
}

TEST_F(LoadKeyTest, WithoutAPointTheArrowsAlternateBetweenTheTwoColoursAtEachPoint)
{
    // Reference: 2 -> 1 -> 2 ..., workspace colour on 1, pen colour on 2.
    TLoadKeyRound r = LoadKeyStep(2, false);
    EXPECT_EQ(r.State, 1);
    EXPECT_EQ(r.Arrow, TLoadKeyArrow::Reference);
    EXPECT_TRUE(r.PenColour);
    r = LoadKeyStep(1, false);
    EXPECT_EQ(r.State, 2);
    EXPECT_EQ(r.Arrow, TLoadKeyArrow::Reference);
    EXPECT_FALSE(r.PenColour);
    // Skew: 4 -> 3 -> 4.
    r = LoadKeyStep(4, false);
    EXPECT_EQ(r.State, 3);
    EXPECT_EQ(r.Arrow, TLoadKeyArrow::Skew);
    EXPECT_TRUE(r.PenColour);
    r = LoadKeyStep(3, false);
    EXPECT_EQ(r.State, 4);
    EXPECT_FALSE(r.PenColour);
    EXPECT_EQ(r.Taken, TLoadKeyPoint::None);
    // Idle and nonsense states do nothing.
    for (int state : {0, 5, -1}) {
        r = LoadKeyStep(state, true);
        EXPECT_EQ(r.State, state);
        EXPECT_EQ(r.Arrow, TLoadKeyArrow::None);
        EXPECT_EQ(r.Taken, TLoadKeyPoint::None);
    }
}

TEST_F(LoadKeyTest, AReadyPointInEitherColourTakesTheReferenceThenTheSkew)
{
    for (int state : {1, 2}) {
        const TLoadKeyRound r = LoadKeyStep(state, true);
        EXPECT_EQ(r.Taken, TLoadKeyPoint::Reference) << state;
        EXPECT_EQ(r.State, 4) << state;
        EXPECT_EQ(r.Arrow, TLoadKeyArrow::Reference);
        EXPECT_FALSE(r.PenColour) << "drawn in the workspace colour as it is taken";
    }
    for (int state : {3, 4}) {
        const TLoadKeyRound r = LoadKeyStep(state, true);
        EXPECT_EQ(r.Taken, TLoadKeyPoint::Skew) << state;
        EXPECT_EQ(r.State, LoadKeyIdle) << state;
    }
}

TEST_F(LoadKeyTest, ARoundTakesThePositionAndArmsTheLoadKeyAgainOrEndsDigitizing)
{
    auto &s = Machine("12");
    TLoadKeyRound r = PollLoadKey(s, 2, {});
    EXPECT_EQ(r.Taken, TLoadKeyPoint::Reference);
    EXPECT_EQ(r.At.x, 1200);
    EXPECT_EQ(r.At.y, -340);
    EXPECT_EQ(r.State, 4);
    s.flush_output();
    Pump();
    EXPECT_EQ(device->Written(), "OS;\r\x1b.vposition:\rDP;\r");
    EXPECT_NE(LogText().find("reference point digitized (1200,-340)"), std::string::npos);

    device->TakeWritten();
    r = PollLoadKey(s, 3, {});
    EXPECT_EQ(r.Taken, TLoadKeyPoint::Skew);
    EXPECT_EQ(r.State, LoadKeyIdle);
    s.flush_output();
    Pump();
    EXPECT_EQ(device->Written(), "OS;\r\x1b.vposition:\rDC;\r");
    EXPECT_NE(LogText().find("skew point digitized (1200,-340)"), std::string::npos);
}

TEST_F(LoadKeyTest, NoPointMeansOnlyTheStatusIsAskedAndTheReplyTimeoutIsKept)
{
    for (const char *status : {"8", "abc", ""}) {
        auto &s = Machine(status);
        s.set_timeout(5000);
        const TLoadKeyRound r = PollLoadKey(s, 1, {});
        EXPECT_EQ(r.Taken, TLoadKeyPoint::None) << status;
        EXPECT_EQ(r.State, 2);
        s.flush_output();
        Pump();
        EXPECT_EQ(device->Written(), "OS;\r") << status;
        EXPECT_EQ(s.ReplyTimeout(), 5000);
    }
}

TEST_F(LoadKeyTest, ASilentMachineHoldsARoundAboutASecondNotTheWholeReplyTimeout)
{
    auto &s = Make();
    s.set_timeout(5000);
    const int64_t t0 = clock.NowMs();
    const TLoadKeyRound r = PollLoadKey(s, 2, {});
    EXPECT_EQ(r.Taken, TLoadKeyPoint::None);
    EXPECT_EQ(r.State, 1) << "the arrow keeps blinking";
    EXPECT_LE(clock.NowMs() - t0, 1200);
    EXPECT_EQ(s.ReplyTimeout(), 5000);
}

TEST_F(LoadKeyTest, ACancelWhileTheRoundWaitsTakesNoPointAndSendsNothingMore)
{
    auto &s = Machine("4");
    bool running = true;
    onPump = [&] { running = false; }; // the operator presses Cancel meanwhile
    const TLoadKeyRound r = PollLoadKey(s, 2, [&] { return running; });
    EXPECT_EQ(r.Taken, TLoadKeyPoint::None);
    EXPECT_EQ(r.Arrow, TLoadKeyArrow::None);
    onPump = nullptr;
    s.flush_output();
    Pump();
    EXPECT_EQ(device->Written(), "OS;\r");
}

TEST_F(LoadKeyTest, TheSkewIsKeptRelativeToTheReferenceAndStretchAndOffsetStay)
{
    TPlacement p;
    p.Record.Origin = {20000, 3000};
    p.Record.Ref = {5, 6};
    p.Record.Stretch = {7, 8};
    p.Record.Offset = {9, 10};
    TakeSkewPoint(p, {28000, 7000});
    EXPECT_EQ(p.Road, TPlacementRoad::LoadKey);
    EXPECT_EQ(p.Record.Ref.x, 0);
    EXPECT_EQ(p.Record.Ref.y, 0);
    EXPECT_EQ(p.Record.Skew.x, 8000);
    EXPECT_EQ(p.Record.Skew.y, 4000);
    EXPECT_EQ(p.Record.Origin.x, 20000);
    EXPECT_EQ(p.Record.Stretch.x, 7);
    EXPECT_EQ(p.Record.Offset.y, 10);
    EXPECT_EQ(LoadKeyPrompt(0), "");
    EXPECT_NE(LoadKeyPrompt(2).find("reference point"), std::string::npos);
    EXPECT_NE(LoadKeyPrompt(3).find("skew point"), std::string::npos);
}
