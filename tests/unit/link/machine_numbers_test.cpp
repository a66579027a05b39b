// The numbers the machine can take: the single checks at their edges, and
// the scan of whole texts (job streams and commands) for the first number
// that must not go out.
#include "link/MachineNumbers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace grittor;

TEST(MachineNumbers, SingleValuesAtTheirEdges)
{
    EXPECT_EQ(CheckMachineCoordinate(-2147483648.0L, "x"), "");
    EXPECT_EQ(CheckMachineCoordinate(2147483647.0L, "x"), "");
    EXPECT_EQ(CheckMachineCoordinate(2147483647.5L, "x"),
              "x 2147483647.5: outside the machine's integer range -2147483648..2147483647");
    EXPECT_EQ(CheckMachineCoordinate(-2147483649.0L, "y of --skew"),
              "y of --skew -2147483649: outside the machine's integer range -2147483648..2147483647");
    EXPECT_NE(CheckMachineCoordinate(std::numeric_limits<long double>::quiet_NaN(), "x"), "");
    EXPECT_NE(CheckMachineCoordinate(std::numeric_limits<long double>::infinity(), "x"), "");

    EXPECT_EQ(CheckMachineSpeed(1, "--speed"), "");
    EXPECT_EQ(CheckMachineSpeed(-5, "--speed"), "--speed -5: the speed must be at least 1");
    EXPECT_EQ(CheckMachineSpeed(0.5L, "--speed"), "--speed 0.5: the speed must be at least 1");
    EXPECT_NE(CheckMachineSpeed(3e9L, "--speed").find("outside the machine's integer range"), std::string::npos);

    EXPECT_EQ(CheckCount(1, 1, 1000, "--tries"), "");
    EXPECT_EQ(CheckCount(1000, 1, 1000, "--tries"), "");
    EXPECT_EQ(CheckCount(0, 1, 1000, "--tries"), "--tries 0: the count must be 1..1000");
    EXPECT_EQ(CheckCount(1001, 1, 1000, "--tries"), "--tries 1001: the count must be 1..1000");
}

TEST(MachineNumbers, JobStreamsAndCommandsPassWhenEveryNumberFits)
{
    const std::string job = "papu0,0;\r\nvs12;\r\nbp381,0.40,0.50,0\r\n"
                            "papu 2147483647,-2147483648\r\npapd-5,+7\r\nPA1.5 2.25;PU;\r\npa0,0,0,0,0,0;\r\n";
    EXPECT_EQ(CheckMachineText(job), "");
    for (const char *command : {"\x1b.vposition:", "\x1b.a", "\x1b.wposition;-100;2147483647:", "\x1b.wjoyx;-40:",
                                "\x1b.wstate;pause:", "ap0;\x1b.worigin_offset;off:", "\x1b.wcentervel;0.75:",
                                "\x1b.cdump_mem;4294967295;1:", "OS;", "Papu12.5,-3;"})
        EXPECT_EQ(CheckMachineText(command), "") << command;
    // Label text and encoded polylines are not numbers.
    EXPECT_EQ(CheckMachineText("LBvs-5 and 99999999999\x03;PE<=?@A7;"), "");
}

TEST(MachineNumbers, TheFirstNumberThatCannotGoOutIsNamedWithItsLine)
{
    EXPECT_EQ(CheckMachineText("papu0,0;\r\nvs-5;\r\n"), "line 2: vs -5: the speed must be at least 1");
    EXPECT_EQ(CheckMachineText("VS0;"), "line 1: vs 0: the speed must be at least 1");
    EXPECT_EQ(CheckMachineText("vs0.5;"), "line 1: vs 0.5: the speed must be at least 1");
    EXPECT_EQ(CheckMachineText("vs20,-3;"), "") << "only the first parameter is the speed";
    EXPECT_EQ(CheckMachineText("papu0,0;\r\n\r\npapd10,2147483648\r\npapd10,9999999999\r\n"),
              "line 3: pd 2147483648: outside the machine's integer range -2147483648..2147483647");
    EXPECT_EQ(CheckMachineText("pa-2147483648.5,0;"),
              "line 1: pa -2147483648.5: outside the machine's integer range -2147483648..2147483647");
    EXPECT_EQ(CheckMachineText("pa00000000000000000012,0;"), "") << "leading zeros do not count";
    EXPECT_EQ(CheckMachineText("\x1b.wupspeed;-5:"), "line 1: ESC.wupspeed -5: the speed must be at least 1");
    EXPECT_EQ(CheckMachineText("\x1b.wdownspeed;0:"), "line 1: ESC.wdownspeed 0: the speed must be at least 1");
    EXPECT_EQ(CheckMachineText("\x1b.wposition;100;3000000000:"),
              "line 1: ESC.wposition 3000000000: outside the machine's integer range -2147483648..2147483647");
    EXPECT_EQ(CheckMachineText("\x1b.cdump_mem;-1;16:"),
              "line 1: ESC.cdump_mem start -1: not a 32-bit address 0..4294967295");
    EXPECT_EQ(CheckMachineText("\x1b.cdump_mem;4096;0:"),
              "line 1: ESC.cdump_mem length 0: the count must be a whole number of at least 1");
}
