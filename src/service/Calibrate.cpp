#include "service/Calibrate.h"

#include "foundation/utils.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cctype>

namespace grittor {

TCalibrationValue ReadCalibrationField(const std::string &text)
{
    TCalibrationValue v;
    int whole = 0;
    if (ParseInt(text, whole)) {
        v.Value = whole;
        v.Valid = true;
        return v;
    }
    long long n = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            break;
        n = std::min<long long>(n * 10 + (c - '0'), 1000000000LL);
    }
    v.Value = static_cast<int>(n);
    return v;
}

long double CalibrationChange(int drawn, int measured)
{
    if (drawn <= 10)
        return 0;
    return static_cast<long double>(measured - drawn) / drawn * 100.0L;
}

std::string CalibrationQuestion(long double xChange, long double yChange)
{
    return FormatExtendedFixed(xChange, 2) + " % change in x and " + FormatExtendedFixed(yChange, 2) +
           " % change in y.  Continue?";
}

std::string CalibrationFieldMessage(const char *axis, bool measured)
{
    const std::string field = std::string(axis) + (measured ? " Measured" : " Drawn");
    return "The value in " + field + " field is not valid.\r\nIf you " + (measured ? "measured" : "drew") +
           " 19.00 units. Enter 1900";
}

std::function<int(TCalibrateFrm &)> TCalibrateFrm::ModalRunner = [](TCalibrateFrm &f) { return f.exec(); };

TCalibrateFrm::TCalibrateFrm(QWidget *parent) : QDialog(parent)
{
    setObjectName("CalibrateFrm");
    setWindowTitle("CALIBRATE DIAGNOSTIC MENU");
    setModal(true);
    auto field = [this](const char *name, const char *hint) {
        auto *e = new QLineEdit("19", this);
        e->setObjectName(name);
        e->setToolTip(hint);
        return e;
    };
    XDrawn = field("XDrawn", "distance in the x axis that you requested to be drawn.");
    XMeasured = field("XMeasured", "Distance in the X axis that Actually was drawn.");
    YDrawn = field("YDrawn", "Distance in the Y axis that you requested to be drawn.");
    YMeasured = field("YMeasured", "Distance in the Y axis that Actually was drawn.");
    Xentered = field("Xentered", "");
    YEntered = field("YEntered", "");
    Rotation = field("Rotation", "");
    auto *form = new QFormLayout;
    auto add = [this, form](const char *caption, QLineEdit *edit, bool shown) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(edit);
        form->addRow(label, edit);
        label->setVisible(shown);
        edit->setVisible(shown);
    };
    add("&X Drawn", XDrawn, true);
    add("X &Measured", XMeasured, true);
    add("&Y Drawn", YDrawn, true);
    add("Y M&easured", YMeasured, true);
    // Below the four fields on the form; the calibration leaves them out.
    add("X Entered", Xentered, false);
    add("Y Entered", YEntered, false);
    add("Rotate (degrees)", Rotation, false);
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->button(QDialogButtonBox::Ok)->setObjectName("OKButton");
    Buttons->button(QDialogButtonBox::Cancel)->setObjectName("CancelButton");
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(Buttons);
}

bool TCalibrateFrm::Ask()
{
    XDrawn->setFocus();
    XDrawn->selectAll();
    return ModalRunner(*this) == QDialog::Accepted;
}

} // namespace grittor
