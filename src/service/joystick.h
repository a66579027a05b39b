// The jog panel ("Joy Stick"): moves the blasting head from the screen in
// fixed steps (jog) or while a button or arrow key is held (slew), and shows
// the head position once a second.  While it is visible the machine's own
// joystick is off.
//
// A slew runs until the machine gets the axis's stop.  The stop goes out
// however the hold ends: release over the button, the pointer leaving it,
// the arrow key let go, the panel losing focus, being hidden or closed, a
// modal box opening over it, or the main window closing its port.
#pragma once

#include "service/ExchangeQueue.h"
#include "service/JogCommands.h"

#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace grittor {

class TLinkHost;
class TSerial;

class TJoystickFrm : public QDialog {
    Q_OBJECT
public:
    explicit TJoystickFrm(TLinkHost &host, QWidget *parent = nullptr);
    ~TJoystickFrm() override;

    // Shows the panel, or raises it when it is already shown, and runs the
    // exchanges of showing it (JoyStickMenuClick).
    void ShowPanel();

    void FormCreate();
    void FormShow();
    void FormHide();
    void FormActivate();
    void FormClose();
    // Sends changed slew speed and jog distance; false (after its message)
    // when one of them is not a positive whole number.
    bool SyncJogSettings();
    void TimerTimer();
    void JogSlewCheckBoxClick();

    // Jog mode: one step.
    void RightButtonClick();
    void LeftButtonClick();
    void UpButtonClick();
    void DownButtonClick();
    // Slew mode: start on press, stop on release.
    void RightButtonMouseDown();
    void LeftButtonMouseDown();
    void UpButtonMouseDown();
    void DownButtonMouseDown();
    void RightButtonMouseUp(); // left and right
    void UpButtonMouseUp();    // up and down

    // Every slew still running is stopped (queued behind a running exchange).
    void StopSlew();
    // The main window is about to close `link`: stops and the machine's own
    // joystick go out on it first.
    void LinkClosing(TSerial &link);

    bool FirstLoad() const { return firstLoad_; }
    bool Slewing() const { return slews_.AnyActive(); }
    const TExchangeQueue &Exchanges() const { return queue_; }

    // Controls, by their names.
    QPushButton *LeftButton = nullptr;
    QPushButton *RightButton = nullptr;
    QPushButton *UpButton = nullptr;
    QPushButton *DownButton = nullptr;
    QCheckBox *JogSlewCheckBox = nullptr;
    QLineEdit *JogDistance = nullptr;
    QLineEdit *SlewSpeed = nullptr;
    QLineEdit *PositionXInch = nullptr;
    QLineEdit *PositionXMM = nullptr;
    QLineEdit *PositionYInch = nullptr;
    QLineEdit *PositionYMM = nullptr;
    QTimer *Timer = nullptr;

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;
    void done(int result) override;

private:
    void BuildControls();
    QPushButton *Arrow(TJogDirection d);
    bool JogMode() const;
    void Jog(TJogDirection d);
    void SlewStart(TJogDirection d);
    void SlewStop(TJogAxis axis);
    // Stops owed go out now, whatever runs (the link is about to go, or the
    // panel is leaving the operator's sight).
    void StopSlewNow(TSerial *link);
    std::string Exchange(const std::string &command, int limit);
    void ShowPosition();
    void MachineJoystickOff();
    void MachineJoystickOn(TSerial *link);

    TLinkHost &host_;
    TExchangeQueue queue_;
    TSlewGuard slews_;
    QTimer *retryTimer_ = nullptr;
    bool firstLoad_ = true;
    bool syncing_ = false;
    bool joystickOff_ = false; // the panel switched the machine's joystick off
    std::string lastSlew_, lastJog_;
    std::string joystickReply_;
};

} // namespace grittor
