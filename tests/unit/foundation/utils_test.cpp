#include "foundation/utils.h"

#include "TestDoubles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

using namespace grittor;

TEST(LinkedStringList, CutsTextsToElevenCharactersAndGrowsByTheRule)
{
    TLinkedStringList l;
    EXPECT_EQ(l.Capacity(), 10);
    l.Add("ABCDEFGHIJKLMNOP");
    l.Add("");
    l.Add("short");
    EXPECT_EQ(l.Get(0), "ABCDEFGHIJK");
    EXPECT_EQ(l.Get(1), "");
    EXPECT_EQ(l.Get(2), "short");
    EXPECT_EQ(l.Get(3), ""); // out of range reads as empty
    std::vector<int> capacities;
    for (int i = 3; i < 2500; ++i) {
        const int before = l.Capacity();
        l.Add(std::to_string(i));
        if (l.Capacity() != before)
            capacities.push_back(l.Capacity());
    }
    // +100 while the array has at most 201 slots, +1000 beyond.
    EXPECT_EQ(capacities, (std::vector<int>{110, 210, 1210, 2210, 3210}));
    EXPECT_EQ(l.Count(), 2500);
    EXPECT_EQ(l.Get(2499), "2499");
}

TEST(ExtendedList, ConvertsEveryStringAndReportsFailuresToTheSink)
{
    TLinkedStringList s;
    s.Add("1.5");
    s.Add("x");
    s.Add("-2");
    std::vector<std::string> errors;
    TExtendedList l(s, [&](const std::string &m) { errors.push_back(m); });
    ASSERT_EQ(l.Count(), 3);
    EXPECT_EQ(l.Get(0), 1.5L);
    EXPECT_EQ(l.Get(1), 0.0L);
    EXPECT_EQ(l.Get(2), -2.0L);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "cannot convert x to floating point");
}

TEST(ExtendedList, WithoutASinkTheMessageGoesToAMessageBox)
{
    test::ScriptedDialogs dialogs;
    TLinkedStringList s;
    s.Add("+");
    s.Add(".");
    s.Add("1-2");
    TExtendedList l(s, nullptr);
    EXPECT_EQ(dialogs.messages,
              (std::vector<std::string>{"cannot convert + to floating point", "cannot convert . to floating point",
                                        "cannot convert 1-2 to floating point"}));
}

TEST(ParseExtended, AcceptsPascalStyleNumbersOnly)
{
    long double v = 0;
    EXPECT_TRUE(ParseExtended("  12.5 ", v));
    EXPECT_EQ(v, 12.5L);
    EXPECT_TRUE(ParseExtended("-.5", v));
    EXPECT_EQ(v, -0.5L);
    EXPECT_TRUE(ParseExtended("3.", v));
    EXPECT_EQ(v, 3.0L);
    EXPECT_TRUE(ParseExtended("+1e3", v));
    EXPECT_EQ(v, 1000.0L);
    EXPECT_TRUE(ParseExtended("1e4000", v)); // within the Extended range
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_TRUE(ParseExtended("99999999999999999999", v));
    EXPECT_EQ(v, 99999999999999999999.0L);
    EXPECT_TRUE(ParseExtended("1e-6000", v)); // underflow reads as zero
    EXPECT_EQ(v, 0.0L);
    for (const char *bad : {"", " ", "+", "-", ".", "1-2", "1e", "1e+", "NaN", "inf", "0x10", "1,5", "1e5000", "--1",
                            "1.2.3", "e5"})
        EXPECT_FALSE(ParseExtended(bad, v)) << bad;
}

TEST(ParseExtended, IsCorrectlyRoundedOnBothPaths)
{
    std::mt19937_64 rng(42);
    locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    for (int i = 0; i < 20000; ++i) {
        // Short numbers (fast path) and long ones (library path).
        const int intDigits = static_cast<int>(rng() % (i % 2 ? 8 : 24)) + 1;
        const int fracDigits = static_cast<int>(rng() % (i % 2 ? 6 : 30));
        std::string s = (rng() % 2) ? "-" : "";
        for (int d = 0; d < intDigits; ++d)
            s += static_cast<char>('0' + rng() % 10);
        if (fracDigits) {
            s += '.';
            for (int d = 0; d < fracDigits; ++d)
                s += static_cast<char>('0' + rng() % 10);
        }
        long double got = 0;
        ASSERT_TRUE(ParseExtended(s, got)) << s;
        const long double want = strtold_l(s.c_str(), nullptr, c);
        ASSERT_EQ(got, want) << s;
    }
    freelocale(c);
}

TEST(StrToExtended, RaisesOnBadInput)
{
    EXPECT_EQ(StrToExtended("2.25"), 2.25L);
    EXPECT_THROW(StrToExtended("abc"), std::invalid_argument);
}

TEST(IntegerList, DuplicateFreeListKeepsOneEntryPerValueInOrder)
{
    TIntegerList l;
    l.SetDuplicateFree(true);
    int a = 1, b = 2;
    EXPECT_EQ(l.Add(5, &a), 0);
    EXPECT_TRUE(l.Sorted()); // adding to a duplicate-free list makes it sorted
    EXPECT_EQ(l.Add(3, &b), 1); // position of the append, before re-sorting
    EXPECT_EQ(l.Add(5), 1);     // existing entry's (sorted) index, nothing added
    ASSERT_EQ(l.Count(), 2);
    EXPECT_EQ(l.Value(0), 3);
    EXPECT_EQ(l.Value(1), 5);
    EXPECT_EQ(l.Data(1), &a);
}

TEST(IntegerList, CompareFunctionReordersAndMakingDuplicateFreeDropsRepeats)
{
    TIntegerList l;
    for (int v : {4, 1, 4, 9, 1})
        l.Add(v);
    EXPECT_EQ(l.Count(), 5);
    EXPECT_EQ(l.Value(0), 4); // unsorted list keeps insertion order
    l.SetCompare([](const TIntegerObject &x, const TIntegerObject &y) { return y.Value - x.Value; });
    EXPECT_EQ(l.Value(0), 9);
    l.ClearCompare();
    l.SetDuplicateFree(true);
    ASSERT_EQ(l.Count(), 3);
    EXPECT_EQ(l.Value(0), 1);
    EXPECT_EQ(l.Value(2), 9);
}

TEST(Formatters, GeneralFormClampsAndTrims)
{
    EXPECT_EQ(FormatExtended(1e-12L), "0");
    EXPECT_EQ(FormatExtended(-1e-11L), "0");
    EXPECT_EQ(FormatExtended(1e-10L), "1e-10");
    EXPECT_EQ(FormatExtended(0.1L), "0.1");
    EXPECT_EQ(FormatExtended(1016), "1016");
    EXPECT_EQ(FormatExtended(-2.5L), "-2.5");
    EXPECT_EQ(FormatExtended(1e101L), FormatExtended(1e100L));
    EXPECT_EQ(FormatExtended(-1e300L), "-" + FormatExtended(1e100L));
    EXPECT_EQ(FormatExtended(1.0L / 3), "0.33333333333333333");
}

TEST(Formatters, GeneralFormIsPrintfsWhicheverWayTheValueIsFormatted)
{
    // Whole numbers, values a double holds, and values only a long double
    // holds take different roads; all must print what "%.17Lg" prints.
    std::vector<long double> values = {0.0L, -0.0L, 1, -1, 7, 1016, -40000, 1e15L, 99999999999999999.0L,
                                       1e17L, 123456789012345678.0L, 1e18L, -1e17L, 0.5L, 2.5L, 1e-10L,
                                       -1e-9L, 1.0L / 3, -2.0L / 3, 1016.0L / 3, 0.1L, 1e99L, 1e100L - 1e84L,
                                       0x1p-20L, 4503599627370496.5L, 9007199254740993.0L};
    uint64_t seed = 88172645463325252ull;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    for (int i = 0; i < 20000; ++i) {
        const long double whole = static_cast<long double>(static_cast<int64_t>(next() % 4000000) - 2000000);
        const long double frac = static_cast<long double>(next() % 1000000) / 1024.0L;
        const long double odd = static_cast<long double>(next()) / static_cast<long double>(next() | 1);
        values.push_back(whole);
        values.push_back(whole + frac);                              // a double holds it exactly
        values.push_back(whole * 2.54L / 3);                         // a long double only
        values.push_back(i % 2 ? odd : -odd);                        // any magnitude
        values.push_back(static_cast<double>(whole * 1.1L));         // a double's own rounding
        values.push_back(std::ldexp(whole, static_cast<int>(next() % 80) - 40));
    }
    for (const long double v : values) {
        long double expectedValue = v;
        if (std::fabs(v) < 1e-10L)
            expectedValue = 0;
        char buf[80];
        std::snprintf(buf, sizeof buf, "%.17Lg", expectedValue);
        std::string expected = buf;
        if (expected == "-0")
            expected = "0";
        ASSERT_EQ(FormatExtended(v), expected) << "value " << buf;
    }
}

TEST(Formatters, FixedAndPointForms)
{
    EXPECT_EQ(FormatExtendedFixed(2.0L, 2), "2.00");
    EXPECT_EQ(FormatExtendedFixed(-0.001L, 2), "0.00");
    EXPECT_EQ(FormatExtendedFixed(1.005L, 0), "1");
    EXPECT_EQ(FormatPoint({1.5L, -2}), "(1.5,-2)");
    EXPECT_EQ(FormatPointFixed({1.25L, 3}, 1), "(1.2,3.0)");
}

TEST(Numbers, IntegersAndRounding)
{
    int v = 0;
    EXPECT_TRUE(ParseInt(" 42 ", v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(ParseInt("-7", v));
    EXPECT_EQ(v, -7);
    EXPECT_FALSE(ParseInt("1.5", v));
    EXPECT_FALSE(ParseInt("99999999999", v));
    EXPECT_EQ(StrToIntDef("x", 10), 10);
    EXPECT_EQ(RoundHalfAway(2.5L), 3);
    EXPECT_EQ(RoundHalfAway(-2.5L), -3);
    EXPECT_EQ(RoundHalfAway(2.4999L), 2);
    EXPECT_EQ(Trim("\t a b \r\n"), "a b");
}
