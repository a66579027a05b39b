#include "service/joystick.h"

namespace grittor {

TJoystickFrm::TJoystickFrm(QWidget *parent) : QDialog(parent)
{
    setObjectName("JoystickFrm");
    setWindowTitle("Joy Stick");
}

} // namespace grittor
