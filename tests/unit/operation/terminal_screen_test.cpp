// The terminal's screen: the emulator the receive thread feeds and the
// window's own lines.
#include "operation/TerminalScreen.h"

#include <gtest/gtest.h>

#include <thread>

using namespace grittor;

namespace {

class ScreenTest : public ::testing::Test {
protected:
    std::vector<std::string> Lines() const { return screen.Lines(); }
    uint32_t TakeChanges() { return screen.Take().Changes; }

    TTerminalScreen screen{100};
};

} // namespace

TEST_F(ScreenTest, TextGoesToTheCursorAndControlBytesShowTheirCode)
{
    screen.Feed("ab\x07");
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0], "ab#7");
    EXPECT_EQ(screen.Column(), 5);
    screen.Feed(std::string("\xC8", 1));
    screen.Feed("\x0C");
    EXPECT_EQ(Lines()[0], "ab#7#200#12");
    EXPECT_EQ(TakeChanges(), static_cast<uint32_t>(ScLineChanged));

    // CR returns to column 1 and overwrites; BS steps back, never before 1.
    screen.Feed("\rXY\b\bZ");
    EXPECT_EQ(Lines()[0], "ZY#7#200#12");
    screen.Feed("\b\b\b\b");
    EXPECT_EQ(screen.Column(), 1);
}

TEST_F(ScreenTest, CursorAddressingAndClearing)
{
    screen.Feed("\x1b[5;10H");
    EXPECT_EQ(screen.Row(), 4);
    EXPECT_EQ(screen.Column(), 10);
    EXPECT_EQ(TakeChanges(), 0u) << "moving the cursor draws nothing";
    screen.Feed("Q");
    ASSERT_EQ(Lines().size(), 5u) << "rows up to the cursor appear";
    EXPECT_EQ(Lines()[4], "         Q");

    // ESC [ H has no arguments: nothing happens.
    screen.Feed("\x1b[H");
    EXPECT_EQ(screen.Row(), 4);
    EXPECT_EQ(screen.Column(), 11);
    screen.Feed("!");
    EXPECT_EQ(Lines()[4], "         Q!") << "the H was swallowed, not printed";

    // Row 0 and column 0 are taken as the first row and column.
    screen.Feed("\x1b[0;0H*");
    EXPECT_EQ(Lines()[0], "*");

    // A sequence split over two feeds (two reads of the port) still works.
    screen.Feed("\x1b[");
    screen.Feed("2J");
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(screen.Row(), 0);
    EXPECT_EQ(screen.Column(), 1);
    EXPECT_EQ(TakeChanges(), static_cast<uint32_t>(ScCleared));

    // An unexpected byte ends a sequence and is itself dropped.
    screen.Feed("\x1bxA\x1b[5zB");
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0], "AB");
}

TEST_F(ScreenTest, LineFeedsScrollAtMaxRowsAndNonsenseRowCountsAreSafe)
{
    screen.SetMaxRows(50);
    for (int i = 0; i < 49; ++i) {
        screen.Feed("line" + std::to_string(i) + "\r\n");
        TakeChanges();
    }
    EXPECT_EQ(screen.Row(), 49);
    EXPECT_EQ(Lines().front(), "line0");
    screen.Feed("last\r\n"); // the 50th line feed
    EXPECT_EQ(screen.Row(), 49);
    EXPECT_EQ(Lines().front(), "line1") << "line 0 dropped";
    EXPECT_EQ(TakeChanges(), ScLineAdded | ScLineChanged | ScTopDropped);

    screen.Clear();
    screen.SetMaxRows(0); // nonsense must not crash the receive thread
    screen.Feed("\n\n\nA");
    EXPECT_EQ(screen.Row(), 0);
}

// Regression: a noisy line produced ESC [ 1 ; 99999999999 H, whose column
// would have padded one line to gigabytes (and overflowed the argument).
TEST_F(ScreenTest, AbsurdCursorArgumentsAreBounded)
{
    screen.Feed("\x1b[99999999999;99999999999H#");
    EXPECT_LE(screen.Row(), 99);
    ASSERT_FALSE(Lines().empty());
    EXPECT_LE(Lines().back().size(), static_cast<size_t>(TTerminalScreen::MaxColumns));
}

TEST_F(ScreenTest, TheWindowsLinesTrimJoinFragmentsAndPutTheCursorBelow)
{
    for (int i = 0; i < 60; ++i)
        screen.AddLine("line " + std::to_string(i), 50, 100);
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 51u); // trimmed to 50 before each addition
    EXPECT_EQ(lines.front(), "line 9");
    EXPECT_EQ(screen.Row(), 51);
    EXPECT_EQ(screen.Column(), 1);
    EXPECT_EQ(TakeChanges(), static_cast<uint32_t>(ScLineAdded));

    screen.AddLine(std::string(150, 'q'), 50, 100);
    EXPECT_EQ(Lines().back(), std::string(100, 'q') + " ... truncate for display.");

    // Fragments join the last line until it passes the width.
    TTerminalScreen fresh;
    EXPECT_FALSE(fresh.AddLine("<a!", 50, 10)); // an empty first line is made for it
    EXPECT_FALSE(fresh.AddLine("<b!", 50, 10));
    EXPECT_FALSE(fresh.AddLine("<c!", 50, 10));
    EXPECT_FALSE(fresh.AddLine("<d!", 50, 10)); // 9 before: joins, 12 after
    EXPECT_TRUE(fresh.AddLine("<e!", 50, 10));  // the last line was past 10: a new line
    EXPECT_EQ(fresh.Lines(), (std::vector<std::string>{"<a!<b!<c!<d!", "<e!"}));
}

TEST_F(ScreenTest, TheReceiveThreadAndTheWindowWriteAtOnce)
{
    std::thread feeder([this] {
        for (int i = 0; i < 2000; ++i)
            screen.Feed("x\r\n");
    });
    for (int i = 0; i < 2000; ++i) {
        screen.AddLine("window " + std::to_string(i), 50, 100);
        const auto snap = screen.Take();
        ASSERT_LE(snap.Lines.size(), 101u);
    }
    feeder.join();
    EXPECT_LE(Lines().size(), 101u);
}
