// The machine settings panel against a scripted machine: what it asks and
// in which order, what it shows, what OK, Cancel, Save Setup and Clear
// Error send, a silent machine, and the keyboard.
#include "service/MainMenu.h"

#include "PanelTestSupport.h"
#include "foundation/option.h"
#include "pens/RadioGroup.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>

using namespace grittor;
using namespace grittor::test;

namespace {

const std::string ESC = "\x1b";

class MainMenuTest : public PanelFixture {
protected:
    void SetUp() override
    {
        PanelFixture::SetUp();
        Options().OneMS = 1;
        Options().SetRadius(381);
        panel = std::make_unique<TMainMenuFrm>(host);
    }
    void TearDown() override
    {
        panel.reset();
        TMainMenuFrm::ModalRunner = [](TMainMenuFrm &f) { return f.exec(); };
        PanelFixture::TearDown();
    }
    // Shows the panel; `operate` plays the operator while it is open.
    int Show(std::function<void(TMainMenuFrm &)> operate)
    {
        TMainMenuFrm::ModalRunner = [operate](TMainMenuFrm &f) {
            f.show();
            operate(f);
            const int result = f.result();
            f.hide();
            return result;
        };
        panel->ShowPanel();
        return panel->result();
    }
    static void Type(QLineEdit *e, const char *text)
    {
        e->setText(text);
        e->setModified(true);
    }

    std::unique_ptr<TMainMenuFrm> panel;
};

std::string Text(const QLineEdit *e)
{
    return e->text().toStdString();
}

} // namespace

TEST_F(MainMenuTest, LoadingAsksInItsOrderAndFillsEveryField)
{
    Options().SetScanLine(2032);
    Options().SetPasses(4);
    Options().SetTimes(2);
    panel->LoadPanel();
    EXPECT_EQ(commands, (std::vector<std::string>{ESC + ".verror_message:", ESC + ".vheight:", ESC + ".vdownspeed:",
                                                  ESC + ".vstate:", ESC + ".a", ESC + ".vupspeed:",
                                                  ESC + ".vacceleration:", ESC + ".vposition:"}));
    EXPECT_EQ(Text(panel->LastError), "Axis stalled");
    EXPECT_EQ(Text(panel->MediaHeightInch), "48.00");
    EXPECT_EQ(Text(panel->MediaHeightMM), "1219.20");
    EXPECT_EQ(Text(panel->DrawSpeed), "10");
    EXPECT_EQ(panel->StateRadioGroup->ItemIndex(), 1);
    EXPECT_EQ(Text(panel->Version), "SIM 5.20");
    EXPECT_EQ(Text(panel->MoveSpeed), "20");
    EXPECT_EQ(Text(panel->Acceleration), "2");
    EXPECT_EQ(Text(panel->PositionXInch), "1.00");
    EXPECT_EQ(Text(panel->PositionXMM), "25.40");
    EXPECT_EQ(Text(panel->PositionYInch), "2.00");
    EXPECT_EQ(Text(panel->PositionYMM), "50.80");
    EXPECT_EQ(Text(panel->Radius), "0.38");
    EXPECT_EQ(Text(panel->ScanLine), "2.00");
    EXPECT_EQ(Text(panel->passes), "4");
    EXPECT_EQ(Text(panel->Times), "2");
    EXPECT_EQ(Text(panel->CenterOffset), "0.40");
    EXPECT_EQ(Text(panel->Laserx), "3.00");
    EXPECT_EQ(Text(panel->OnTime), "4.00");
    EXPECT_EQ(panel->MarginXLabel->text().toStdString(), "-0.75 to 0.75 inches");
    EXPECT_EQ(panel->MarginYLabel->text().toStdString(), "-0.19 to 0.75 inches");
    EXPECT_TRUE(panel->UnreadLabel->isHidden());
    EXPECT_TRUE(panel->OnTime->isHidden());

    // Typing a radius moves the range labels with it.
    Type(panel->Radius, "1");
    EXPECT_EQ(panel->MarginXLabel->text().toStdString(), "-2.00 to 2.00 inches");

    // Answers are cut at their limits; a height that is no number empties both fields.
    vars["version"] = std::string(120, 'v');
    vars["error_message"] = std::string(200, 'e');
    vars["height"] = "tall";
    panel->LoadPanel();
    EXPECT_EQ(Text(panel->Version), std::string(100, 'v'));
    EXPECT_EQ(Text(panel->LastError), std::string(150, 'e'));
    EXPECT_TRUE(panel->MediaHeightInch->text().isEmpty());
    EXPECT_TRUE(panel->MediaHeightMM->text().isEmpty());
}

TEST_F(MainMenuTest, APositionAnswerWithoutACommaLeavesBothRowsAsTheyWere)
{
    panel->LoadPanel();
    vars["position"] = "300";
    panel->LoadPanel();
    EXPECT_EQ(Text(panel->PositionXInch), "1.00");
    EXPECT_EQ(Text(panel->PositionYMM), "50.80");
    vars["position"] = "x,4064";
    const TMachinePosition p = panel->ReadPosition();
    EXPECT_EQ(p.X, 0);
    EXPECT_EQ(p.Y, 4064);
    EXPECT_EQ(Text(panel->PositionXInch), "1.00") << "the axis that is no number is left alone";
    EXPECT_EQ(Text(panel->PositionYInch), "4.00");
}

TEST_F(MainMenuTest, OkSendsWhatChangedAndStoresThePattern)
{
    const int result = Show([&](TMainMenuFrm &f) {
        Type(f.MoveSpeed, "40");
        Type(f.Radius, "0.5");
        Type(f.CenterOffset, "0.25");
        f.StateRadioGroup->Button(2)->click();
        QTest::mouseClick(f.OKButton, Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(host.jogPanelHides, 1) << "the jog panel is hidden while the settings are open";
    EXPECT_GE(host.opens, 1);
    const std::vector<std::string> written(commands.begin() + 8, commands.end());
    EXPECT_EQ(written, (std::vector<std::string>{ESC + ".wstate;ready:", ESC + ".wupspeed;25:", ESC + ".wradius;508:",
                                                 ESC + ".wcentervel;250:"}));
    EXPECT_EQ(vars["upspeed"], "25");
    EXPECT_EQ(Options().Radius, 508);
    EXPECT_EQ(QSettings("Korvane Systems", "Grittor").value("Radius").toInt(), 508);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainMenuTest, CancelSendsNothingAndChangesNoSetting)
{
    const int32_t radius = Options().Radius;
    const int32_t passes = Options().Passes;
    const int result = Show([&](TMainMenuFrm &f) {
        Type(f.MoveSpeed, "5");
        Type(f.Radius, "1.5");
        Type(f.passes, "9");
        f.StateRadioGroup->Button(0)->click();
        QTest::keyClick(&f, Qt::Key_Escape);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(commands.size(), 8u) << "only the loading questions";
    EXPECT_EQ(Options().Radius, radius);
    EXPECT_EQ(Options().Passes, passes);
}

TEST_F(MainMenuTest, ADecimalFieldThatIsNoNumberKeepsThePanelOpenToCorrectIt)
{
    bool stillOpen = false;
    const int result = Show([&](TMainMenuFrm &f) {
        Type(f.Acceleration, "3");
        Type(f.Extra, "two");
        QTest::mouseClick(f.OKButton, Qt::LeftButton);
        stillOpen = f.isVisible() && f.result() != QDialog::Accepted;
        EXPECT_EQ(Text(f.Extra), "two");
        EXPECT_EQ(f.Extra->selectedText().toStdString(), "two");
        Type(f.Extra, "2");
        QTest::mouseClick(f.OKButton, Qt::LeftButton);
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(result, QDialog::Accepted);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "Extra Rotations: \"two\" is not a number");
    EXPECT_EQ(Options().Extra, 2.0L);
    EXPECT_EQ(vars["acceleration"], "3");
}

TEST_F(MainMenuTest, SaveSetupAppliesSavesAndTellsTheMachineAndTheErrorClears)
{
    Show([&](TMainMenuFrm &f) {
        Type(f.DrawSpeed, "15");
        Type(f.Laserx, "-1");
        QTest::mouseClick(f.SaveSetupButton, Qt::LeftButton);
        EXPECT_TRUE(f.isVisible()) << "the panel stays open";
        EXPECT_EQ(commands.back(), ESC + ".wsetting;1:");
        EXPECT_EQ(vars["downspeed"], "15");
        EXPECT_EQ(Options().LaserOffset.x, -1016);
        QTest::mouseClick(f.ClearErrorButton, Qt::LeftButton);
        EXPECT_EQ(commands.back(), ESC + ".werror_mes:");
        EXPECT_TRUE(f.LastError->text().isEmpty());
        f.reject();
    });
    EXPECT_TRUE(vars["error_message"].empty());
}

TEST_F(MainMenuTest, ASilentMachineStillOpensThePanelAndUntouchedOkSendsNothing)
{
    silent = true;
    const int64_t t0 = clock.NowMs();
    const int result = Show([&](TMainMenuFrm &f) {
        // One reply timeout, then short ones for the other seven.
        EXPECT_LE(clock.NowMs() - t0, 5000 + 7 * SilentMachineTimeoutMs + 500);
        EXPECT_EQ(link->ReplyTimeout(), 5000) << "the link's own timeout is back";
        EXPECT_TRUE(f.MoveSpeed->text().isEmpty());
        EXPECT_TRUE(f.UnreadLabel->isVisibleTo(&f));
        EXPECT_EQ(f.UnreadLabel->text().toStdString(),
                  "No answer from the machine for: Last Saved Error Message, Media Height, Blow Speed, State, "
                  "Firmware Version, Move Speed, Acceleration, Position");
        EXPECT_EQ(f.StateRadioGroup->ItemIndex(), 2);
        QTest::keyClick(f.passes, Qt::Key_Return); // Return in a field presses OK
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(commands.size(), 8u) << commands.back();
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainMenuTest, TheSharedOperationsFillTheirFields)
{
    EXPECT_EQ(panel->ReadDrawSpeed(), "10");
    EXPECT_EQ(Text(panel->DrawSpeed), "10");
    EXPECT_EQ(panel->Memory().DrawSpeed, "10");
    EXPECT_EQ(panel->ReadMoveSpeed(), "20");
    EXPECT_EQ(panel->Memory().MoveSpeed, "20");
    EXPECT_EQ(panel->JoystickOff(), "ok");
    EXPECT_EQ(vars["joystick"], "toff");
    panel->JoystickOn();
    EXPECT_EQ(vars["joystick"], "ton");
    EXPECT_EQ(commands, (std::vector<std::string>{ESC + ".vdownspeed:", ESC + ".vupspeed:", ESC + ".wjoystick;toff:",
                                                  ESC + ".wjoystick;ton:"}));
}

TEST_F(MainMenuTest, TheKeyboardReachesEveryFieldInLayoutOrder)
{
    EXPECT_TRUE(panel->OKButton->isDefault());
    EXPECT_FALSE(panel->SaveSetupButton->autoDefault());
    std::vector<QWidget *> chain;
    QWidget *w = panel->ClearErrorButton;
    do {
        if (w->focusPolicy() & Qt::TabFocus && w->isVisibleTo(panel.get()) && w->isEnabled())
            chain.push_back(w);
        w = w->nextInFocusChain();
    } while (w != panel->ClearErrorButton && chain.size() < 100);
    const std::vector<QWidget *> expected = {panel->ClearErrorButton,
                                             panel->StateRadioGroup->Button(0),
                                             panel->StateRadioGroup->Button(1),
                                             panel->StateRadioGroup->Button(2),
                                             panel->MoveSpeed,
                                             panel->DrawSpeed,
                                             panel->Acceleration,
                                             panel->CenterOffset,
                                             panel->Radius,
                                             panel->ScanLine,
                                             panel->Margin,
                                             panel->Marginy,
                                             panel->Laserx,
                                             panel->Lasery,
                                             panel->passes,
                                             panel->Times,
                                             panel->Extra,
                                             panel->VertPer,
                                             panel->Multiplier,
                                             panel->PassOffset,
                                             panel->PenUpOff->Button(0),
                                             panel->PenUpOff->Button(1),
                                             panel->SaveSetupButton,
                                             panel->OKButton,
                                             panel->CancelButton};
    EXPECT_EQ(chain, expected);
    // Every field the operator edits has a label with a mnemonic of its own.
    std::set<QChar> letters;
    for (QLabel *l : panel->findChildren<QLabel *>()) {
        if (!l->buddy() || !l->buddy()->isVisibleTo(panel.get()))
            continue;
        const qsizetype amp = l->text().indexOf('&');
        ASSERT_GE(amp, 0) << l->text().toStdString();
        EXPECT_TRUE(letters.insert(l->text()[amp + 1].toLower()).second) << l->text().toStdString();
    }
    EXPECT_GE(letters.size(), 15u);
}
