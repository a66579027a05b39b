#include "service/CalToPrint.h"

namespace grittor {

TCalToPrintForm::TCalToPrintForm(QWidget *parent) : QDialog(parent)
{
    setObjectName("CalToPrintForm");
    setWindowTitle("Calibrate to printer target locations");
}

} // namespace grittor
