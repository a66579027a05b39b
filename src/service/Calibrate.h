// Calibration: the operator had the machine draw a square, measured it and
// enters both values per axis (in hundredths: 19.00 is 1900).  The dialog
// shows the four fields; the main window's Calibrate command reads them,
// asks with the percentage change per axis and hands them to the machine.
#pragma once

#include <QDialog>

#include <functional>
#include <string>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace grittor {

// A whole number typed in a calibration field.  Text that is not one reads
// as the digits before its first other character (no sign): "19.00" is 19.
struct TCalibrationValue {
    int Value = 0;
    bool Valid = false;
};
TCalibrationValue ReadCalibrationField(const std::string &text);
// (measured - drawn) / drawn x 100, or 0 when drawn is not greater than 10.
long double CalibrationChange(int drawn, int measured);
// "1.00 % change in x and -1.00 % change in y.  Continue?"
std::string CalibrationQuestion(long double xChange, long double yChange);
// The messages of a field that is not a whole number.
std::string CalibrationFieldMessage(const char *axis, bool measured);

class TCalibrateFrm : public QDialog {
    Q_OBJECT
public:
    explicit TCalibrateFrm(QWidget *parent = nullptr);

    // Shows the dialog modally through ModalRunner; true on OK.
    bool Ask();
    // How the dialog is shown modally; tests replace it so nothing blocks.
    static std::function<int(TCalibrateFrm &)> ModalRunner;

    QLineEdit *XDrawn = nullptr;
    QLineEdit *XMeasured = nullptr;
    QLineEdit *YDrawn = nullptr;
    QLineEdit *YMeasured = nullptr;
    // Further fields of the form that the calibration command keeps hidden.
    QLineEdit *Xentered = nullptr;
    QLineEdit *YEntered = nullptr;
    QLineEdit *Rotation = nullptr;
    QDialogButtonBox *Buttons = nullptr;
};

} // namespace grittor
