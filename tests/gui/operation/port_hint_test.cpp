// The main window's message for a port that refuses the user: the usual
// text first, the hint to join the serial group below it, the first time only.
#include "operation/MainForm.h"

#include "RefusedPath.h"
#include "TestDoubles.h"
#include "foundation/AbortFlags.h"
#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "link/PortPermission.h"
#include "link/SerialDevice.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace grittor;

TEST(PortHint, TheFirstRefusedOpenShowsHowToJoinTheGroupOnce)
{
    test::TempSettings settings;
    test::ScriptedDialogs dialogs;
    QTemporaryDir dir;
    LogOutput().SetDirectory(dir.path().toStdString());
    GetAbortFlags().Closing = false;
    GetAbortFlags().Cancelled = false;
    ResetPortPermissionHint();
    const std::string refused = test::RefusedPath(dir.path().toStdString());
    if (refused.empty())
        GTEST_SKIP() << "no path refuses this user here";

    TMaterialLibrary lib;
    TLibraryStore store(lib, MaterialLibraryPath(Options().SettingsFolder()));
    TMainFrm frm(store);
    SetPortOverride("com1", refused);
    frm.SelectPort("com1");
    frm.OpenMenuClick();
    frm.OpenMenuClick();
    ClearPortOverrides();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    const std::string first = dialogs.messages[0];
    EXPECT_EQ(first.rfind("Unable to open com1\n\n", 0), 0u) << first;
    EXPECT_NE(first.find(refused), std::string::npos) << first;
    EXPECT_EQ(dialogs.messages[1], "Unable to open com1");
    frm.close();
    GetAbortFlags().Closing = false;
    ResetPortPermissionHint();
}
