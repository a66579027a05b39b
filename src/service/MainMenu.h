// The machine settings panel ("Main Menu"): the machine's live state and
// motion settings beside the program's blast-pattern defaults.  OK writes
// changed motion values and the state to the machine and the pattern values
// into the settings (SettingsApply.h holds the steps).  The same panel
// offers the small machine operations other windows use: the position, the
// two speeds, the machine's joystick.
#pragma once

#include "link/MachineOps.h"
#include "service/SettingsApply.h"

#include <QDialog>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace grittor {

class TLinkHost;
class TRadioGroup;

// Each axis the position has sets its inch and millimetre rows; an axis
// not read leaves its rows as they were.
void ShowPositionRows(const TMachinePosition &p, QLineEdit *xInch, QLineEdit *xMM, QLineEdit *yInch, QLineEdit *yMM);

class TMainMenuFrm : public QDialog {
    Q_OBJECT
public:
    explicit TMainMenuFrm(TLinkHost &host, QWidget *parent = nullptr);
    ~TMainMenuFrm() override;

    // Opens the port if needed, hides the jog panel, fills the panel and
    // shows it modally; OK applies it (MainMenuMenuClick).
    void ShowPanel();
    // How the panel is shown modally; tests replace it so nothing blocks.
    static std::function<int(TMainMenuFrm &)> ModalRunner;

    void LoadPanel();
    // The eighteen steps.  False when a decimal field is not a number: its
    // message has been shown, the field has the focus, the steps before it
    // stay applied.
    bool ApplyPanel();
    void ClearErrorButtonClick();
    void SaveSetupButtonClick();
    void RadiusChange();

    // X and Y in plotter units (0 when unreadable); fills the position rows.
    TMachinePosition ReadPosition();
    // The speeds as the machine answers them; shown and remembered.
    std::string ReadDrawSpeed();
    std::string ReadMoveSpeed();
    std::string JoystickOn();
    std::string JoystickOff();

    // What the panel remembers of the machine since loading.
    const TSettingsPanelMemory &Memory() const { return memory_; }
    const std::string &JoystickReply() const { return joystickReply_; }

    // Controls, by their names.
    QLineEdit *Version = nullptr;
    QLineEdit *MediaHeightInch = nullptr;
    QLineEdit *MediaHeightMM = nullptr;
    QLineEdit *PositionXInch = nullptr;
    QLineEdit *PositionXMM = nullptr;
    QLineEdit *PositionYInch = nullptr;
    QLineEdit *PositionYMM = nullptr;
    QLineEdit *LastError = nullptr;
    TRadioGroup *StateRadioGroup = nullptr;
    QLineEdit *MoveSpeed = nullptr;
    QLineEdit *DrawSpeed = nullptr;
    QLineEdit *Acceleration = nullptr;
    QLineEdit *CenterOffset = nullptr;
    QLineEdit *Radius = nullptr;
    QLineEdit *ScanLine = nullptr;
    QLineEdit *Margin = nullptr;
    QLineEdit *Marginy = nullptr;
    QLabel *MarginXLabel = nullptr;
    QLabel *MarginYLabel = nullptr;
    QLineEdit *Laserx = nullptr;
    QLineEdit *Lasery = nullptr;
    QLineEdit *OnTime = nullptr;
    QLineEdit *passes = nullptr;
    QLineEdit *Times = nullptr;
    QLineEdit *Extra = nullptr;
    QLineEdit *VertPer = nullptr;
    QLineEdit *Multiplier = nullptr;
    QLineEdit *PassOffset = nullptr;
    TRadioGroup *PenUpOff = nullptr;
    // Names the machine values that got no answer (hidden when all came).
    QLabel *UnreadLabel = nullptr;
    QPushButton *ClearErrorButton = nullptr;
    QPushButton *SaveSetupButton = nullptr;
    QPushButton *OKButton = nullptr;
    QPushButton *CancelButton = nullptr;

protected:
    // OK applies first; a decimal field that is no number keeps the panel
    // open so it can be corrected.
    void accept() override;

private:
    void BuildControls();
    TSettingsPanelFields FieldsFromControls() const;
    void ShowFields(const TSettingsPanelFields &f);
    void ShowPosition(const TMachinePosition &p);
    QLineEdit *DecimalEdit(TDecimalFieldId id) const;
    std::string Exchange(const std::string &command, int limit);

    TLinkHost &host_;
    TSettingsPanelFields fields_;
    TSettingsPanelMemory memory_;
    std::string joystickReply_;
};

} // namespace grittor
