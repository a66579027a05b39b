// The hint for a port that refuses the user: which group to join and how,
// given once per run, noted by the device that met the refusal.
#include "link/PortPermission.h"

#include "RefusedPath.h"
#include "link/TermiosDevice.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <grp.h>
#include <unistd.h>

using namespace grittor;

TEST(PortPermissionHint, TellsHowToJoinTheDevicesGroup)
{
    PortGroupFacts f{"/dev/ttyUSB0", "dialout", "alice", false, false};
    const std::string hint = PortPermissionHint(f);
    EXPECT_EQ(hint.rfind("You may not use /dev/ttyUSB0", 0), 0u) << hint;
    EXPECT_NE(hint.find("sudo usermod -aG dialout alice"), std::string::npos) << hint;
    EXPECT_NE(hint.find("log out and in again"), std::string::npos) << hint;

    f.group = "uucp";
    EXPECT_NE(PortPermissionHint(f).find("usermod -aG uucp alice"), std::string::npos);
    // Root's group, or none known: the serial group of the system.
    for (const char *group : {"root", ""}) {
        f.group = group;
        EXPECT_NE(PortPermissionHint(f).find("usermod -aG dialout alice"), std::string::npos) << group;
    }
    f.user.clear();
    EXPECT_NE(PortPermissionHint(f).find("usermod -aG dialout $USER"), std::string::npos);
}

TEST(PortPermissionHint, AMemberOnlyNeedsANewSessionOrALookAtThePermissions)
{
    PortGroupFacts f{"/dev/ttyS0", "dialout", "bob", false, true};
    std::string hint = PortPermissionHint(f);
    EXPECT_EQ(hint.find("usermod"), std::string::npos) << "already a member: " << hint;
    EXPECT_NE(hint.find("log out and in again"), std::string::npos) << hint;

    f.sessionHasGroup = true;
    hint = PortPermissionHint(f);
    EXPECT_EQ(hint.find("usermod"), std::string::npos) << hint;
    EXPECT_NE(hint.find("ls -l /dev/ttyS0"), std::string::npos) << hint;
}

TEST(PortPermissionHint, FactsOfAFileOfOurOwnGroup)
{
    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/port";
    std::ofstream(file).put('x');
    const PortGroupFacts f = ReadPortGroupFacts(file);
    EXPECT_EQ(f.device, file);
    const group *g = ::getgrgid(::getegid());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(f.group, g->gr_name);
    EXPECT_TRUE(f.sessionHasGroup);
    EXPECT_FALSE(f.user.empty());
    EXPECT_EQ(ReadPortGroupFacts(dir.path().toStdString() + "/none").group, "");
}

TEST(PortPermissionHint, TheDeviceNotesARefusalAndTheHintIsGivenOnce)
{
    ResetPortPermissionHint();
    EXPECT_EQ(TakePortPermissionHint(), "") << "nothing refused yet";
    QTemporaryDir dir;
    TermiosDevice device;
    std::string reason;
    EXPECT_NE(device.Open(dir.path().toStdString() + "/missing", reason), 0);
    EXPECT_EQ(TakePortPermissionHint(), "") << "a missing device is no permission problem";

    const std::string refused = test::RefusedPath(dir.path().toStdString());
    if (refused.empty())
        GTEST_SKIP() << "no path refuses this user here";
    EXPECT_EQ(device.Open(refused, reason), EACCES);
    const std::string hint = TakePortPermissionHint();
    EXPECT_NE(hint.find(refused), std::string::npos) << hint;
    EXPECT_EQ(device.Open(refused, reason), EACCES);
    EXPECT_EQ(TakePortPermissionHint(), "") << "once per run";
    ResetPortPermissionHint();
}
