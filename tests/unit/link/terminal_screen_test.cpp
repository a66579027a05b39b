// The terminal-screen emulator the receive thread feeds.
#include "link/TSerial.h"

#include <gtest/gtest.h>

using namespace grittor;

namespace {

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        link.ScreenLines = &lines;
        link.ScreenLock = &lock;
    }
    void Feed(const std::string &bytes)
    {
        for (char c : bytes)
            link.render_byte(static_cast<uint8_t>(c));
    }
    uint32_t TakeChanges() { return link.ScreenChanges.exchange(0); }

    TSerial link{"none", 20000, 0, 8, 0, 9600};
    std::vector<std::string> lines;
    std::mutex lock;
};

} // namespace

TEST_F(ScreenTest, TextGoesToTheCursorAndControlBytesShowTheirCode)
{
    Feed("ab\x07");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "ab#7");
    EXPECT_EQ(link.CursorColumn.load(), 5);
    Feed(std::string("\xC8", 1));
    Feed("\x0C");
    EXPECT_EQ(lines[0], "ab#7#200#12");
    EXPECT_EQ(TakeChanges(), 2u);

    // CR returns to column 1 and overwrites; BS steps back, never before 1.
    Feed("\rXY\b\bZ");
    EXPECT_EQ(lines[0], "ZY#7#200#12");
    Feed("\b\b\b\b");
    EXPECT_EQ(link.CursorColumn.load(), 1);
}

TEST_F(ScreenTest, CursorAddressingAndClearing)
{
    Feed("\x1b[5;10H");
    EXPECT_EQ(link.CursorRow.load(), 4);
    EXPECT_EQ(link.CursorColumn.load(), 10);
    EXPECT_EQ(TakeChanges(), 0u) << "moving the cursor draws nothing";
    Feed("Q");
    ASSERT_EQ(lines.size(), 5u) << "rows up to the cursor appear";
    EXPECT_EQ(lines[4], "         Q");

    // ESC [ H has no arguments: nothing happens.
    Feed("\x1b[H");
    EXPECT_EQ(link.CursorRow.load(), 4);
    EXPECT_EQ(link.CursorColumn.load(), 11);
    EXPECT_EQ(lines.size(), 5u);
    Feed("!");
    EXPECT_EQ(lines[4], "         Q!") << "the H was swallowed, not printed";

    // Row 0 and column 0 are taken as the first row and column.
    Feed("\x1b[0;0H*");
    EXPECT_EQ(lines[0], "*");

    Feed("\x1b[2J");
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(link.CursorRow.load(), 0);
    EXPECT_EQ(link.CursorColumn.load(), 1);
    EXPECT_EQ(link.ScreenChanges.load(), 8u);

    // An unexpected byte ends a sequence and is itself dropped.
    Feed("\x1bxA\x1b[5zB");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "AB");
}

TEST_F(ScreenTest, LineFeedsScrollAtMaxRows)
{
    link.MaxRows = 50;
    for (int i = 0; i < 49; ++i) {
        Feed("line" + std::to_string(i) + "\r\n");
        TakeChanges();
    }
    EXPECT_EQ(link.CursorRow.load(), 49);
    EXPECT_EQ(lines.front(), "line0");
    Feed("last\r\n"); // the 50th line feed
    EXPECT_EQ(link.CursorRow.load(), 49);
    EXPECT_EQ(lines.front(), "line1") << "line 0 dropped";
    EXPECT_EQ(TakeChanges(), 1u | 2u | 4u);
    Feed("\n");
    EXPECT_EQ(TakeChanges(), 1u | 4u);
    EXPECT_EQ(link.CursorRow.load(), 49);
}

TEST_F(ScreenTest, LineFeedOnAnEmptyScreenAndTinyMaxRowsAreSafe)
{
    link.MaxRows = 0; // nonsense from a caller must not crash the receive thread
    Feed("\n\n\nA");
    EXPECT_EQ(link.CursorRow.load(), 0);
    link.clear_screen();
    link.MaxRows = 1;
    Feed("\n");
    EXPECT_EQ(lines.size(), 1u);
}

// Regression: a noisy line produced ESC [ 1 ; 99999999999 H, whose column
// would have padded one line to gigabytes (and overflowed the argument).
TEST_F(ScreenTest, AbsurdCursorArgumentsAreBounded)
{
    Feed("\x1b[99999999999;99999999999H#");
    EXPECT_LE(link.CursorRow.load(), link.MaxRows.load() - 1);
    ASSERT_FALSE(lines.empty());
    EXPECT_LE(lines.back().size(), static_cast<size_t>(TSerial::MaxScreenColumns));
}

TEST_F(ScreenTest, NothingHappensWithoutAScreen)
{
    link.ScreenLines = nullptr;
    Feed("abc\n\x1b[2J");
    EXPECT_EQ(link.ScreenChanges.load(), 0u);
    link.ScreenLines = &lines;
    link.set_cursor(3, 2);
    Feed("x");
    EXPECT_EQ(lines[2], "  x");
}
