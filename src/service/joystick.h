// The jog panel: moves the blasting head from the screen.
#pragma once

#include <QDialog>

namespace grittor {

class TJoystickFrm : public QDialog {
    Q_OBJECT
public:
    explicit TJoystickFrm(QWidget *parent = nullptr);
};

} // namespace grittor
