// The main window's service commands that need no machine: the chart's data
// file, the stash switch and dump, the tuning window, and their menu items.
#include "operation/MainForm.h"

#include "TestDoubles.h"
#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "link/TStash.h"
#include "operation/ChartView.h"
#include "operation/Forms.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"
#include "service/Engineering.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace grittor;

namespace {

using test::ReadAll;

class MainFormServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LogOutput().SetDirectory(logDir.path().toStdString());
        Options().Port = "none"; // no line: nothing here talks to a machine
        Options().Directory = dir.path().toStdString() + "/";
        frm = std::make_unique<TMainFrm>(store);
        frm->show();
        QApplication::processEvents();
        ClearStash();
        SetDoStash(false);
    }
    void TearDown() override
    {
        SetDoStash(false);
        ClearStash();
        Forms().Engineering = nullptr;
        frm.reset();
    }
    test::TempSettings settings;
    test::ScriptedDialogs dialogs;
    QTemporaryDir logDir, dir;
    TMaterialLibrary lib;
    TLibraryStore store{lib, MaterialLibraryPath(Options().SettingsFolder())};
    std::unique_ptr<TMainFrm> frm;
};

} // namespace

TEST_F(MainFormServiceTest, TheServiceItemsAreThereAndAvailable)
{
    for (TCommandId id : {TCommandId::Tuning, TCommandId::MotorPositionPlot, TCommandId::WritePlotData})
        EXPECT_TRUE(frm->Action(id)->isEnabled()) << CommandInfo(id).Name;
    // Hidden (so Qt reports them disabled), but they run: see the stash tests.
    EXPECT_FALSE(frm->Action(TCommandId::DoStash)->isVisible());
    EXPECT_FALSE(frm->Action(TCommandId::DumpStash)->isVisible());
    bool savePicture = false;
    for (QAction *a : frm->menuBar()->findChildren<QAction *>())
        savePicture |= a->text() == QStringLiteral(u"Save Chart Picture…");
    EXPECT_TRUE(savePicture);
}

TEST_F(MainFormServiceTest, PlotDataHoldsTheChartsLinesAndACancelWritesNothing)
{
    frm->chart->SetLine(0, {{1, 2}, {3, 4}, {5, 6}});
    frm->chart->SetLine(1, {{7, 8}, {9, 10}, {11, 12}, {13, 14}, {15, 16}});
    const std::string path = dir.path().toStdString() + "/plotdata.xls";
    {
        std::ofstream old(path);
        old << "an older, longer file that must not leave anything behind\r\n\r\n\r\n\r\n\r\n\r\n";
    }
    dialogs.files.push_back(path);
    ASSERT_TRUE(frm->TriggerCommand(TCommandId::WritePlotData));
    EXPECT_EQ(dialogs.fileInitials.back(), Options().Directory + "plotdata.xls");
    EXPECT_EQ(ReadAll(path), "1.00\t2.00\t7.00\t8.00\t\t\t\t\t\r\n"
                             "3.00\t4.00\t9.00\t10.00\t\t\t\t\t\r\n"
                             "5.00\t6.00\t11.00\t12.00\t\t\t\t\t\r\n"
                             "\t\t13.00\t14.00\t\t\t\t\t\r\n"
                             "\t\t15.00\t16.00\t\t\t\t\t\r\n");
    std::remove(path.c_str());
    frm->TriggerCommand(TCommandId::WritePlotData); // cancelled
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainFormServiceTest, DoStashSwitchesRecordingForEveryLink)
{
    frm->Action(TCommandId::DoStash)->trigger();
    EXPECT_TRUE(frm->Action(TCommandId::DoStash)->isChecked());
    EXPECT_TRUE(DoStash());
    StashRecord(STAck, 1, "x");
    EXPECT_EQ(StashSnapshot().size(), 1u);
    frm->Action(TCommandId::DoStash)->trigger();
    EXPECT_FALSE(DoStash());
    EXPECT_NE(ReadAll(LogOutput().FullPath()).find("DoStashMenuClick"), std::string::npos);
}

TEST_F(MainFormServiceTest, DumpStashWritesEmptiesAndRestartsTheTimer)
{
    frm->Action(TCommandId::DumpStash)->trigger(); // nothing recorded yet: no question asked
    EXPECT_TRUE(dialogs.fileInitials.empty());
    EXPECT_TRUE(frm->Timer->isActive());

    SetDoStash(true);
    StashRecord(STWriteStart, 4, "ab\rc");
    dialogs.files.push_back(std::nullopt); // cancelled: the entries stay
    frm->Action(TCommandId::DumpStash)->trigger();
    EXPECT_EQ(dialogs.fileInitials.back(), Options().Directory + "stashdata.xls");
    EXPECT_EQ(StashSnapshot().size(), 1u);

    const std::string path = dir.path().toStdString() + "/stashdata.xls";
    dialogs.files.push_back(path);
    frm->Action(TCommandId::DumpStash)->trigger();
    const std::string text = ReadAll(path);
    EXPECT_NE(text.find("\tSTWriteStart\t4\tab#13c\r\n"), std::string::npos) << text;
    EXPECT_TRUE(StashSnapshot().empty());
    EXPECT_TRUE(frm->Timer->isActive());
}

TEST_F(MainFormServiceTest, TheChartViewTakesTheKeyboard)
{
    QApplication::setActiveWindow(frm.get());
    frm->ChartMenuClick();
    EXPECT_TRUE(frm->chart->isVisible());
    EXPECT_TRUE(frm->chart->hasFocus());
}

TEST_F(MainFormServiceTest, TuningShowsTheEngineeringWindow)
{
    TEngineeringFrm eng(frm.get());
    Forms().Engineering = &eng;
    frm->SetTerminalMode(true);
    ASSERT_TRUE(frm->TriggerCommand(TCommandId::Tuning));
    EXPECT_TRUE(eng.isVisible());
    EXPECT_FALSE(frm->TerminalMode()); // the window reads the machine's answers itself
    EXPECT_NE(frm->Serial(), nullptr); // the port was opened on the first showing
}
