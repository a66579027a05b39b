#include "foundation/ScreenPosition.h"
#include "foundation/StringUtils.h"

#include <gtest/gtest.h>

#include <random>

using namespace grittor;

TEST(StringUtils, MakePrintableCompressesRunsThenEscapes)
{
    EXPECT_EQ(MakePrintable("AAAAB\r"), " 4*AB #13 ");
    EXPECT_EQ(MakePrintable("AAAB"), "AAAB");
    EXPECT_EQ(MakePrintable("\x1b.vposition:"), " #27 .vposition:");
    EXPECT_EQ(MakePrintable(std::string(3, '\0')), " #0  #0  #0 ");
    EXPECT_EQ(MakePrintable("\xff"), " #255 ");
}

TEST(StringUtils, CompressRunsLeavesShortTextsAlone)
{
    EXPECT_EQ(CompressRuns("x"), "x");
    EXPECT_EQ(CompressRuns(""), "");
    EXPECT_EQ(CompressRuns("aaaa"), " 4*a");
    EXPECT_EQ(CompressRuns("ab" + std::string(12, 'z') + "c"), "ab 12*zc");
}

TEST(StringUtils, GetFieldCountsFromOne)
{
    EXPECT_EQ(GetField("a,b,,d", ',', 3), "");
    EXPECT_EQ(GetField("a,b,,d", ',', 4), "d");
    EXPECT_EQ(GetField("a,b,,d", ',', 5), "");
    EXPECT_EQ(GetField("a,b,,d", ',', 1), "a");
    EXPECT_EQ(GetField("1016,2032,0", ',', 2), "2032");
    EXPECT_EQ(GetField("", ',', 1), "");
    EXPECT_EQ(GetField("abc", ',', 0), "");
}

TEST(StringUtils, FindCharIsOneBased)
{
    EXPECT_EQ(FindChar(',', "12,34"), 3);
    EXPECT_EQ(FindChar(',', "12,34,5", 4), 6);
    EXPECT_EQ(FindChar(';', "12,34"), 0);
    EXPECT_EQ(FindChar('1', "12", 0), 1);
}

TEST(StringUtils, PrintableTextHasNoBlanks)
{
    EXPECT_EQ(PrintableText("a\rb\x07"), "a#13b#7");
}

TEST(ScreenPosition, KeepsTheRectangleOnTheScreen)
{
    EXPECT_EQ(FitRectToScreen({100, 50, 300, 200}, 1024, 768), (TRectXYWH{100, 50, 300, 200}));
    EXPECT_EQ(FitRectToScreen({900, 700, 300, 200}, 1024, 768), (TRectXYWH{724, 568, 300, 200}));
    EXPECT_EQ(FitRectToScreen({-20, -5, 300, 200}, 1024, 768), (TRectXYWH{0, 0, 300, 200}));
    // Wider and taller than the screen: left at 0 with the screen's size.
    EXPECT_EQ(FitRectToScreen({50, 50, 2000, 1000}, 1024, 768), (TRectXYWH{0, 0, 1024, 768}));
}

TEST(StringUtils, ThePrintableHeadIsTheWholeConversionCutWithoutConvertingTheRest)
{
    // Texts of runs (some long, some across the cut), control bytes and
    // plain characters; every head length against the whole conversion.
    std::mt19937 random(7);
    const std::string alphabet = "aab\r\n\x1b;0";
    for (int round = 0; round < 300; ++round) {
        std::string s;
        const int pieces = static_cast<int>(random() % 40);
        for (int k = 0; k < pieces; ++k)
            s.append(1 + random() % (random() % 4 == 0 ? 30 : 3), alphabet[random() % alphabet.size()]);
        const std::string whole = MakePrintable(s);
        for (size_t most : {size_t{0}, size_t{1}, size_t{5}, size_t{17}, size_t{200}, whole.size(), whole.size() + 1}) {
            bool cut = true;
            const std::string head = MakePrintableHead(s, most, cut);
            ASSERT_EQ(head, whole.substr(0, most)) << "round " << round << ", " << most;
            ASSERT_EQ(cut, whole.size() > most) << "round " << round << ", " << most;
        }
    }
    // A run longer than the head is one unit: it is shown whole.
    bool cut = false;
    EXPECT_EQ(MakePrintableHead(std::string(1 << 20, 'x') + "\r", 200, cut), " 1048576*x #13 ");
    EXPECT_FALSE(cut);
}
