// The head position answer and the small machine operations.
#include "link/MachineOps.h"

#include "LinkTestSupport.h"

using namespace grittor;
using namespace grittor::test;

TEST(MachineOps, PositionAnswersAreReadAxisByAxis)
{
    const TMachinePosition both = ParsePosition("1016,-2032");
    EXPECT_TRUE(both.Complete());
    EXPECT_EQ(both.X, 1016);
    EXPECT_EQ(both.Y, -2032);
    const TMachinePosition oc = ParsePosition("1016,2032,0"); // the "oc" answer has a third field
    EXPECT_TRUE(oc.Complete());
    EXPECT_EQ(oc.Y, 2032);
    const TMachinePosition noComma = ParsePosition("1016");
    EXPECT_FALSE(noComma.HaveX);
    EXPECT_FALSE(noComma.HaveY);
    const TMachinePosition halfBad = ParsePosition("abc, 77 ");
    EXPECT_FALSE(halfBad.HaveX);
    EXPECT_EQ(halfBad.X, 0);
    EXPECT_TRUE(halfBad.HaveY);
    EXPECT_EQ(halfBad.Y, 77);
    EXPECT_FALSE(ParsePosition("").HaveX);
    EXPECT_FALSE(ParsePosition("1.5,2").HaveX);
}

TEST(MachineOps, OcAnswersMustBeTwoWholeNumbers)
{
    int32_t x = 7, y = 7;
    EXPECT_TRUE(ParseOcAnswer("1016,2032,0", x, y));
    EXPECT_EQ(x, 1016);
    EXPECT_EQ(y, 2032);
    EXPECT_TRUE(ParseOcAnswer("-40,0", x, y));
    EXPECT_EQ(x, -40);
    for (const char *bad : {"1016", "", "1016,", ",2032", "10.5,3", "x,y", "1016;2032"}) {
        x = y = 7;
        EXPECT_FALSE(ParseOcAnswer(bad, x, y)) << bad;
        EXPECT_EQ(x, 7) << "nothing filled from " << bad;
    }
    EXPECT_EQ(OcAnswerMessage("1016"), "unexpected data from cutter in response to oc HPGL command\r\nwas 1016");
}

namespace {
class MachineOpsLink : public LinkFixture {};
} // namespace

TEST_F(MachineOpsLink, EachOperationIsOneQuery)
{
    auto &s = Make();
    Answer([](const std::string &command) -> std::string {
        if (command == "\x1b.vposition:")
            return "300,400\r";
        if (command == "\x1b.vdownspeed:")
            return "12\r";
        if (command == "\x1b.vupspeed:")
            return "20\r";
        return "ok\r";
    });
    const TMachinePosition p = ReadPosition(s);
    EXPECT_EQ(p.X, 300);
    EXPECT_EQ(p.Y, 400);
    EXPECT_EQ(ReadDrawSpeed(s), "12");
    EXPECT_EQ(ReadMoveSpeed(s), "20");
    EXPECT_EQ(JoystickOff(s), "ok");
    EXPECT_EQ(JoystickOn(s), "ok");
    EXPECT_EQ(commands, (std::vector<std::string>{"\x1b.vposition:", "\x1b.vdownspeed:", "\x1b.vupspeed:",
                                                  "\x1b.wjoystick;toff:", "\x1b.wjoystick;ton:"}));
}
