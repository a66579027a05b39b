#include "service/Calibrate.h"

namespace grittor {

TCalibrateFrm::TCalibrateFrm(QWidget *parent) : QDialog(parent)
{
    setObjectName("CalibrateFrm");
    setWindowTitle("CALIBRATE DIAGNOSTIC MENU");
}

} // namespace grittor
