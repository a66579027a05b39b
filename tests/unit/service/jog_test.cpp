// The jog panel's commands, the bookkeeping that owes every slew its stop,
// and the queue that keeps the panel's exchanges from running inside one
// another.
#include "service/ExchangeQueue.h"
#include "service/JogCommands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace grittor;

TEST(JogCommands, EveryDirectionOnItsAxisByteExact)
{
    using D = TJogDirection;
    EXPECT_EQ(JogCommand(D::Right), "\x1b.wjogy;-1:");
    EXPECT_EQ(JogCommand(D::Left), "\x1b.wjogy;1:");
    EXPECT_EQ(JogCommand(D::Up), "\x1b.wjogx;1:");
    EXPECT_EQ(JogCommand(D::Down), "\x1b.wjogx;-1:");
    EXPECT_EQ(SlewCommand(D::Right, "12"), "\x1b.wjoyy;-12:");
    EXPECT_EQ(SlewCommand(D::Left, "12"), "\x1b.wjoyy;12:");
    EXPECT_EQ(SlewCommand(D::Up, "7"), "\x1b.wjoyx;7:");
    EXPECT_EQ(SlewCommand(D::Down, "7"), "\x1b.wjoyx;-7:");
    EXPECT_EQ(SlewStopCommand(TJogAxis::X), "\x1b.wjoyx;0:");
    EXPECT_EQ(SlewStopCommand(TJogAxis::Y), "\x1b.wjoyy;0:");

    int v = -1;
    EXPECT_TRUE(ParseJogNumber(" 12", 255, v));
    EXPECT_EQ(v, 12);
    for (const char *bad : {"0", "-3", "abc", "", "1.5", "256"})
        EXPECT_FALSE(ParseJogNumber(bad, 255, v)) << bad;
}

TEST(SlewGuard, AStopIsOwedOncePerStartedAxis)
{
    TSlewGuard g;
    EXPECT_TRUE(g.TakeStops().empty());
    EXPECT_EQ(g.TakeStop(TJogAxis::X), "");
    g.Start(TJogAxis::Y);
    g.Start(TJogAxis::X);
    EXPECT_TRUE(g.AnyActive());
    EXPECT_EQ(g.TakeStop(TJogAxis::Y), "\x1b.wjoyy;0:");
    EXPECT_EQ(g.TakeStop(TJogAxis::Y), "") << "a release and a focus loss stop it once";
    EXPECT_EQ(g.TakeStops(), (std::vector<std::string>{"\x1b.wjoyx;0:"}));
    EXPECT_FALSE(g.AnyActive());
}

TEST(ExchangeQueue, WorkArrivingDuringAnExchangeRunsAfterItInOrder)
{
    std::vector<std::string> trace;
    bool otherBusy = false;
    int retries = 0;
    TExchangeQueue q([&] { return otherBusy; }, [&] { ++retries; });

    q.Run([&] {
        trace.push_back("start slew");
        // While it waits for its answer the release and a poll come in.
        q.Run([&] { trace.push_back("stop slew"); });
        q.Run([&] { trace.push_back("poll"); });
        EXPECT_EQ(q.Waiting(), 2u);
        trace.push_back("start answered");
    });
    EXPECT_EQ(trace, (std::vector<std::string>{"start slew", "start answered", "stop slew", "poll"}));
    EXPECT_TRUE(q.Idle());

    // Another window is inside an exchange: nothing starts, a retry is asked.
    otherBusy = true;
    q.Run([&] { trace.push_back("jog"); });
    EXPECT_EQ(q.Waiting(), 1u);
    EXPECT_EQ(retries, 1);
    otherBusy = false;
    q.Pump();
    EXPECT_EQ(trace.back(), "jog");

    // A hidden panel drops what waits.
    otherBusy = true;
    q.Run([&] { trace.push_back("late jog"); });
    q.Clear();
    otherBusy = false;
    q.Pump();
    EXPECT_NE(trace.back(), "late jog");

    // Work that throws leaves the queue usable.
    EXPECT_THROW(q.Run([] { throw std::runtime_error("link gone"); }), std::runtime_error);
    EXPECT_FALSE(q.Running());
    q.Run([&] { trace.push_back("after"); });
    EXPECT_EQ(trace.back(), "after");
}
