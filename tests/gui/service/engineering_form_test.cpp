// The engineering window without a machine: its fields, its whole menu, the
// keyboard order and the table validation that stops a send before it starts.
#include "service/Engineering.h"

#include "TestDoubles.h"
#include "foundation/LogOutput.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace grittor;

namespace {

class EngineeringFormTest : public ::testing::Test {
protected:
    void SetUp() override { LogOutput().SetDirectory(logDir.path().toStdString()); }
    QString LabelOf(QWidget *field)
    {
        for (QLabel *l : frm.findChildren<QLabel *>())
            if (l->buddy() == field)
                return l->text();
        return "<none>";
    }
    void FillNumbered()
    {
        for (int i = 0; i < TTuningTables::FieldCount; ++i)
            frm.TableFields[static_cast<size_t>(i)]->setText(QString::number(i + 1));
    }
    test::TempSettings settings;
    test::ScriptedDialogs dialogs;
    QTemporaryDir logDir;
    TEngineeringFrm frm;
};

} // namespace

TEST_F(EngineeringFormTest, FieldsCarryTheirNamesLabelsAndDesignValues)
{
    EXPECT_EQ(frm.windowTitle(), "Engineering Tuning Diagnostic");
    EXPECT_EQ(frm.accel->text(), "4");
    EXPECT_EQ(frm.vel->text(), "40");
    EXPECT_EQ(LabelOf(frm.accel).remove('&'), "Acceleration");
    EXPECT_EQ(LabelOf(frm.vel).remove('&'), "Velocity");
    EXPECT_EQ(frm.axis->text(), "x axis");
    EXPECT_EQ(frm.AxisTag(), 6);
    for (QLineEdit *e : {frm.axis, frm.behind, frm.scale})
        EXPECT_TRUE(e->isReadOnly()) << e->objectName().toStdString();
    // Hidden at design time.
    EXPECT_EQ(frm.power->text(), "1");
    EXPECT_EQ(frm.SetMaxY->text(), "10000");
    EXPECT_EQ(frm.Edit1->text(), "50");
    EXPECT_EQ(LabelOf(frm.power), "Laser Power");
    EXPECT_EQ(LabelOf(frm.SetMaxY), "Set Max Y");
    EXPECT_EQ(frm.CenterLabel->text(), "Center");
    frm.show();
    for (QWidget *w : std::initializer_list<QWidget *>{frm.power, frm.SetMaxY, frm.Edit1, frm.CenterLabel})
        EXPECT_FALSE(w->isVisible());
    // The 69 table fields in table order, the periods labelled p1..p19.
    const auto &fields = TTuningTables::Fields();
    for (int i = 0; i < TTuningTables::FieldCount; ++i) {
        QLineEdit *e = frm.TableFields[static_cast<size_t>(i)];
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->objectName().toStdString(), fields[static_cast<size_t>(i)].Name);
        EXPECT_EQ(LabelOf(e).toStdString(), fields[static_cast<size_t>(i)].Label);
        EXPECT_TRUE(e->isVisible());
    }
}

TEST_F(EngineeringFormTest, TheMenuHoldsEveryCommandUnderItsCaption)
{
    const std::vector<std::pair<const char *, const char *>> items = {
        {"ClosureMenuClick", "Closure total - read x error = cyan"},
        {"CircleMenuClick", "Circle"},
        {"DiamondMenuClick", "Diamond"},
        {"EmptyBufferMenuClick", "Empty Buffer"},
        {"upleftPEMenuClick", "up left"},
        {"uprightPEMenuClick", "up right"},
        {"downrightPEMenuClick", "down right"},
        {"downleftPEMenuClick", "down left"},
        {"SetDefaultgainsMenuClick", "Set Default gains"},
        {"SetdactomaxMenuClick", "Set dac to max"},
        {"UpLeftVMenuClick", "Up Left"},
        {"UpRightVMenuClick", "Up Right"},
        {"DownRightVMenuClick", "Down Right"},
        {"DownLeftVMenuClick", "Down Left"},
        {"xshootMenuClick", "xshoot"},
        {"yshootMenuClick", "yshoot"},
        {"EngineeringDiagnosticMenuClick", "Start Engineering Diagnostic"},
        {"StopDiagnosticMenuClick", "Stop Diagnostic"},
        {"Readanddisplaybitfile1Click", "Read and display bit file"},
        {"MemoryDumpMenuClick", "Memory Dump"},
        {"xMenuClick", "x"},
        {"yMenuClick", "y"},
        {"GetMenuClick", "Get gains and Periods"},
        {"sendGainsMenuClick", "Send Gains"},
        {"SendPeriodsMenuClick", "Send Periods"},
        {"SavetoeeromMenuClick", "Save to eerom"},
        {"ToggleHighGainMenuClick", "Toggle High Gain"},
    };
    for (const auto &[handler, caption] : items) {
        QAction *a = frm.MenuItem(handler);
        ASSERT_NE(a, nullptr) << handler;
        EXPECT_EQ(a->text().toStdString(), caption);
        EXPECT_EQ(a->isVisible(), std::string(handler) != "Readanddisplaybitfile1Click") << handler;
    }
    const auto menus = frm.MainMenu->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text().remove('&'), "Start");
    EXPECT_EQ(menus[1]->text().remove('&'), "Axis Select");
    EXPECT_EQ(menus[2]->text().remove('&'), "Gains");
    // The four position-error items in the order of their command numbers.
    const auto peItems = qobject_cast<QMenu *>(frm.MenuItem("upleftPEMenuClick")->parent())->actions();
    ASSERT_EQ(peItems.size(), 4);
    EXPECT_EQ(peItems[3]->objectName(), "downleftPEMenuClick");
}

TEST_F(EngineeringFormTest, TabWalksAccelVelocityThenTheTablesInOrder)
{
    frm.show();
    QApplication::setActiveWindow(&frm);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frm));
    frm.accel->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), frm.vel);
    for (int i = 0; i < TTuningTables::FieldCount; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), frm.TableFields[static_cast<size_t>(i)]) << i;
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), frm.accel); // the read-only fields are passed over
    QTest::keyClick(&frm, Qt::Key_Escape);
    EXPECT_FALSE(frm.isVisible());
}

TEST_F(EngineeringFormTest, AnInvalidFieldStopsTheSendAndIsSelected)
{
    frm.show();
    QApplication::setActiveWindow(&frm);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frm));
    FillNumbered();
    frm.TableFields[3]->setText("1.5");
    frm.sendGainsMenuClick();
    ASSERT_EQ(dialogs.messages, (std::vector<std::string>{"Gain 3 value '1.5' is invalid"}));
    EXPECT_EQ(QApplication::focusWidget(), frm.TableFields[3]);
    EXPECT_EQ(frm.TableFields[3]->selectedText(), "1.5");

    frm.TableFields[52]->setText("");
    frm.SendPeriodsMenuClick();
    EXPECT_EQ(dialogs.messages.back(), "Period 2 value '' is invalid");
}
