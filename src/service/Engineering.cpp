#include "service/Engineering.h"

namespace grittor {

TEngineeringFrm::TEngineeringFrm(QWidget *parent) : QDialog(parent)
{
    setObjectName("EngineeringFrm");
    setWindowTitle("Engineering Tuning Diagnostic");
}

} // namespace grittor
