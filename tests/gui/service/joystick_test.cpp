// The jog panel against a scripted machine: the commands of jog and slew
// byte-exact, the settings it sends after each showing, the invalid values
// that block movement, the arrow keys, and the stop of a slew however the
// hold ends.
#include "service/joystick.h"

#include "PanelTestSupport.h"
#include "foundation/option.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace grittor;
using namespace grittor::test;

namespace {

const std::string ESC = "\x1b";

class JoystickTest : public PanelFixture {
protected:
    void SetUp() override
    {
        PanelFixture::SetUp();
        Options().OneMS = 1;
        Options().JogMode = false;
        panel = std::make_unique<TJoystickFrm>(host);
    }
    void TearDown() override
    {
        panel.reset();
        PanelFixture::TearDown();
    }
    // Shows the panel in `jog` or slew mode and forgets what showing sent.
    void ShowIn(bool jog)
    {
        panel->JogSlewCheckBox->setChecked(jog);
        panel->ShowPanel();
        commands.clear();
    }
    std::vector<std::string> Take()
    {
        std::vector<std::string> c;
        c.swap(commands);
        return c;
    }
    static void Type(QLineEdit *e, const char *text)
    {
        e->setText(text);
        e->setModified(true);
    }
    using Commands = std::vector<std::string>;

    std::unique_ptr<TJoystickFrm> panel;
};

} // namespace

TEST_F(JoystickTest, ShowingTurnsTheMachinesJoystickOffReadsTheJogValuesOnceAndHidingTurnsItOn)
{
    EXPECT_TRUE(panel->FirstLoad());
    panel->ShowPanel();
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoystick;toff:", ESC + ".vjoyslew:", ESC + ".vjog:", ESC + ".wjoyslew;24:",
                                ESC + ".wjog;100:"}));
    EXPECT_FALSE(panel->FirstLoad());
    EXPECT_EQ(panel->SlewSpeed->text(), "24");
    EXPECT_EQ(panel->JogDistance->text(), "100");
    EXPECT_EQ(Options().JoystickSlewSpeed, 24);
    EXPECT_TRUE(panel->Timer->isActive());
    EXPECT_TRUE(panel->windowFlags() & Qt::WindowStaysOnTopHint);

    panel->hide();
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoystick;ton:"}));
    EXPECT_FALSE(panel->Timer->isActive());

    // Shown again: joystick off, and the first movement sends the values
    // again (they are not read again).
    ShowIn(true);
    QTest::mouseClick(panel->UpButton, Qt::LeftButton);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyslew;24:", ESC + ".wjog;100:", ESC + ".wjogx;1:"}));
    QTest::mouseClick(panel->UpButton, Qt::LeftButton);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjogx;1:"}));

    // Closing sends what changed, turns the joystick on once and keeps the window's place.
    Type(panel->JogDistance, "50");
    panel->close();
    EXPECT_EQ(Take(), (Commands{ESC + ".wjog;50:", ESC + ".wjoystick;ton:"}));
    EXPECT_GT(Options().JogPanelRect.width, 0);
}

TEST_F(JoystickTest, JogModeStepsOnClicksOnly)
{
    ShowIn(true);
    EXPECT_EQ(panel->JogSlewCheckBox->text().remove('&').toStdString(), "Jog/Slew = Jog");
    const std::pair<QPushButton *, std::string> buttons[] = {{panel->RightButton, ESC + ".wjogy;-1:"},
                                                             {panel->LeftButton, ESC + ".wjogy;1:"},
                                                             {panel->UpButton, ESC + ".wjogx;1:"},
                                                             {panel->DownButton, ESC + ".wjogx;-1:"}};
    for (const auto &[button, command] : buttons) {
        QTest::mousePress(button, Qt::LeftButton);
        EXPECT_TRUE(commands.empty()) << "pressing does nothing in jog mode";
        QTest::mouseRelease(button, Qt::LeftButton);
        EXPECT_EQ(Take(), (Commands{command}));
    }
    // Ten steps of 0.1 inch.
    for (int i = 0; i < 10; ++i)
        panel->UpButtonClick();
    EXPECT_EQ(Take().size(), 10u);
}

TEST_F(JoystickTest, SlewModeRunsWhileTheButtonIsHeld)
{
    ShowIn(false);
    EXPECT_EQ(panel->JogSlewCheckBox->text().remove('&').toStdString(), "Jog/Slew = Slew");
    Type(panel->SlewSpeed, "12");
    QTest::mousePress(panel->RightButton, Qt::LeftButton);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyslew;12:", ESC + ".wjoyy;-12:"}));
    EXPECT_TRUE(panel->Slewing());
    QTest::mouseRelease(panel->RightButton, Qt::LeftButton);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyy;0:"})) << "and no jog step for the click";
    QTest::mousePress(panel->DownButton, Qt::LeftButton);
    QTest::mouseRelease(panel->DownButton, Qt::LeftButton);
    QTest::mousePress(panel->LeftButton, Qt::LeftButton);
    QTest::mouseRelease(panel->LeftButton, Qt::LeftButton);
    QTest::mousePress(panel->UpButton, Qt::LeftButton);
    QTest::mouseRelease(panel->UpButton, Qt::LeftButton);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyx;-12:", ESC + ".wjoyx;0:", ESC + ".wjoyy;12:", ESC + ".wjoyy;0:",
                                ESC + ".wjoyx;12:", ESC + ".wjoyx;0:"}));
    EXPECT_FALSE(panel->Slewing());
}

TEST_F(JoystickTest, AnInvalidJogDistanceBlocksMovementUntilCorrected)
{
    ShowIn(true);
    for (const char *bad : {"0", "abc"}) {
        Type(panel->JogDistance, bad);
        QTest::mouseClick(panel->UpButton, Qt::LeftButton);
        EXPECT_TRUE(Take().empty()) << bad;
        ASSERT_FALSE(dialogs.messages.empty());
        EXPECT_EQ(dialogs.messages.back(), "Jog Distance is invalid");
    }
    Type(panel->JogDistance, "25");
    QTest::mouseClick(panel->UpButton, Qt::LeftButton);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjog;25:", ESC + ".wjogx;1:"}));
    EXPECT_EQ(Options().JogDistance, 25);

    // A bad slew speed blocks slewing the same way; an empty one is neither
    // checked nor sent.
    panel->JogSlewCheckBox->setChecked(false);
    Type(panel->SlewSpeed, "-2");
    QTest::mousePress(panel->LeftButton, Qt::LeftButton);
    QTest::mouseRelease(panel->LeftButton, Qt::LeftButton);
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(dialogs.messages.back(), "Joystick Slew Speed is invalid");
    EXPECT_FALSE(panel->Slewing());
    Type(panel->SlewSpeed, "");
    const size_t shown = dialogs.messages.size();
    QTest::mousePress(panel->LeftButton, Qt::LeftButton);
    QTest::mouseRelease(panel->LeftButton, Qt::LeftButton);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyy;:", ESC + ".wjoyy;0:"}));
    EXPECT_EQ(dialogs.messages.size(), shown);
}

TEST_F(JoystickTest, ASlewStopsWhenThePointerLeavesTheButton)
{
    ShowIn(false);
    QTest::mousePress(panel->UpButton, Qt::LeftButton);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyx;24:"}));
    // Dragged off the button with the mouse button still down.
    QMouseEvent move(QEvent::MouseMove, QPointF(-30, -30), panel->UpButton->mapToGlobal(QPointF(-30, -30)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel->UpButton, &move);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyx;0:"}));
    // The release far away sends nothing more.
    QTest::mouseRelease(panel->UpButton, Qt::LeftButton, {}, QPoint(-30, -30));
    EXPECT_TRUE(Take().empty());
    // A leave event while held (some platforms send only that) stops it too.
    QTest::mousePress(panel->RightButton, Qt::LeftButton);
    Take();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(panel->RightButton, &leave);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyy;0:"}));
    QTest::mouseRelease(panel->RightButton, Qt::LeftButton);
    EXPECT_TRUE(Take().empty());
}

TEST_F(JoystickTest, ASlewStopsWhenThePanelIsHiddenClosedOrLosesFocus)
{
    ShowIn(false);
    QTest::mousePress(panel->LeftButton, Qt::LeftButton);
    Take();
    panel->hide(); // the settings panel or a job hides it; the release never comes
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyy;0:", ESC + ".wjoystick;ton:"})) << "stopped before the joystick is back";
    QTest::mouseRelease(panel->LeftButton, Qt::LeftButton);
    EXPECT_TRUE(Take().empty());

    ShowIn(false);
    QTest::mousePress(panel->DownButton, Qt::LeftButton);
    Take();
    QTest::keyClick(panel.get(), Qt::Key_Escape);
    const Commands closing = Take();
    ASSERT_FALSE(closing.empty());
    EXPECT_EQ(closing.front(), ESC + ".wjoyx;0:");
    EXPECT_FALSE(panel->isVisible());

    ShowIn(false);
    QTest::mousePress(panel->UpButton, Qt::LeftButton);
    Take();
    QEvent deactivate(QEvent::WindowDeactivate); // another window took the focus
    QApplication::sendEvent(panel.get(), &deactivate);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyx;0:"}));
    EXPECT_FALSE(panel->Slewing());
}

TEST_F(JoystickTest, AModalBoxStopsASlewAndLendsTheMachinesJoystickWhileItIsUp)
{
    ShowIn(false);
    QTest::mousePress(panel->RightButton, Qt::LeftButton);
    Take();
    QMessageBox box(QMessageBox::Warning, "Grittor", "Something happened");
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    QApplication::processEvents();
    // Stopped first; then the machine's own joystick serves while the box
    // blocks the panel (a digitizing prompt asks for the head to move).
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyy;0:", ESC + ".wjoystick;ton:"}));
    box.hide();
    QApplication::processEvents();
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoystick;toff:"})) << "the panel serves again";

    // Hidden while the box is up: the joystick stays on when it goes.
    box.show();
    QApplication::processEvents();
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoystick;ton:"}));
    panel->hide();
    box.hide();
    QApplication::processEvents();
    EXPECT_TRUE(Take().empty());
}

TEST_F(JoystickTest, ASlewStopsBeforeTheMainWindowClosesThePort)
{
    ShowIn(false);
    QTest::mousePress(panel->UpButton, Qt::LeftButton);
    Take();
    panel->LinkClosing(*link);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyx;0:", ESC + ".wjoystick;ton:"}));
    EXPECT_FALSE(panel->Slewing());
}

TEST_F(JoystickTest, TheStopGoesOutWhileTheProgramClosesOrAnotherExchangeWaits)
{
    // Closing ends every exchange at once; the stop and the machine's
    // joystick must still reach the line.
    ShowIn(false);
    QTest::mousePress(panel->UpButton, Qt::LeftButton);
    Take();
    flags.Closing = true;
    panel->LinkClosing(*link);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyx;0:", ESC + ".wjoystick;ton:"}));
    flags.Closing = false;
    panel->hide();

    // Hidden while another window's query waits for its answer: the stop is
    // written at once, and that answer is not thrown away.
    ShowIn(false);
    QTest::mousePress(panel->LeftButton, Qt::LeftButton);
    Take();
    bool hidden = false;
    onPump = [&] {
        if (!hidden) {
            hidden = true;
            panel->hide();
        }
    };
    EXPECT_EQ(link->query(ESC + ".vupspeed:", 80), "20");
    onPump = nullptr;
    EXPECT_TRUE(hidden);
    EXPECT_EQ(Take(), (Commands{ESC + ".vupspeed:", ESC + ".wjoyy;0:", ESC + ".wjoystick;ton:"}));
    EXPECT_FALSE(panel->Slewing());
}

TEST_F(JoystickTest, AReleaseDuringTheStartsExchangeStopsRightAfterIt)
{
    ShowIn(false);
    // The release arrives while the start waits for its answer (window
    // messages run during the wait).
    bool released = false;
    onPump = [&] {
        if (!released && commands.size() == 1) {
            released = true;
            panel->RightButtonMouseUp();
            panel->TimerTimer(); // the position poll of that second is skipped
        }
    };
    panel->RightButtonMouseDown();
    onPump = nullptr;
    EXPECT_TRUE(released);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyy;-24:", ESC + ".wjoyy;0:"}));
    EXPECT_TRUE(panel->Exchanges().Idle());

    // Released before the start could go out at all: it never goes.
    onPump = [&] { panel->UpButtonMouseUp(); };
    panel->UpButtonMouseDown();
    onPump = nullptr;
    const Commands c = Take();
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.back(), ESC + ".wjoyx;0:");
}

TEST_F(JoystickTest, TheArrowKeysJogAPressAndSlewWhileHeld)
{
    ShowIn(true);
    panel->UpButton->setFocus();
    QTest::keyPress(panel->UpButton, Qt::Key_Up);
    QTest::keyRelease(panel->UpButton, Qt::Key_Up);
    QTest::keyPress(panel->UpButton, Qt::Key_Up);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(panel->UpButton, &repeat);
    QTest::keyRelease(panel->UpButton, Qt::Key_Up);
    QTest::keyClick(panel->JogSlewCheckBox, Qt::Key_Right);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjogx;1:", ESC + ".wjogx;1:", ESC + ".wjogy;-1:"}))
        << "one step a press, none for the auto-repeat";

    // The edits keep their arrows (the ones they do not use go nowhere).
    panel->JogDistance->setFocus();
    QTest::keyClick(panel->JogDistance, Qt::Key_Left);
    panel->SlewSpeed->setFocus();
    QTest::keyClick(panel->SlewSpeed, Qt::Key_Down);
    EXPECT_TRUE(Take().empty());

    panel->JogSlewCheckBox->setChecked(false);
    QTest::keyPress(panel->DownButton, Qt::Key_Down);
    QKeyEvent held(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(panel->DownButton, &held);
    QKeyEvent heldUp(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(panel->DownButton, &heldUp);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyx;-24:"})) << "auto-repeat neither starts nor stops";
    // The release lands in an edit the focus moved to: it still stops.
    QTest::keyRelease(panel->JogDistance, Qt::Key_Down);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyx;0:"}));

    // Held, then the focus goes to another window.
    QTest::keyPress(panel->LeftButton, Qt::Key_Left);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(panel.get(), &deactivate);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyy;24:", ESC + ".wjoyy;0:"}));
    // Changing the method while a slew runs stops it too.
    QTest::keyPress(panel->LeftButton, Qt::Key_Left);
    panel->JogSlewCheckBox->setChecked(true);
    EXPECT_EQ(Take(), (Commands{ESC + ".wjoyy;24:", ESC + ".wjoyy;0:"}));
}

TEST_F(JoystickTest, TheTimerShowsThePositionAndKeepsRowsAnAnswerDoesNotGive)
{
    ShowIn(true);
    panel->TimerTimer();
    EXPECT_EQ(Take(), (Commands{ESC + ".vposition:"}));
    EXPECT_EQ(panel->PositionXInch->text(), "1.00");
    EXPECT_EQ(panel->PositionXMM->text(), "25.40");
    EXPECT_EQ(panel->PositionYInch->text(), "2.00");
    EXPECT_EQ(panel->PositionYMM->text(), "50.80");
    EXPECT_TRUE(panel->Timer->isActive());
    vars["position"] = "2032";
    panel->TimerTimer();
    EXPECT_EQ(panel->PositionXInch->text(), "1.00");
    vars["position"] = "2032,y";
    panel->TimerTimer();
    EXPECT_EQ(panel->PositionXInch->text(), "2.00");
    EXPECT_EQ(panel->PositionYInch->text(), "2.00");
    panel->hide();
    commands.clear();
    panel->TimerTimer();
    EXPECT_FALSE(panel->Timer->isActive()) << "a hidden panel polls no more";
}
