// Servo tuning: gain and period tables and motion tests.
#pragma once

#include <QDialog>

namespace grittor {

class TEngineeringFrm : public QDialog {
    Q_OBJECT
public:
    explicit TEngineeringFrm(QWidget *parent = nullptr);
};

} // namespace grittor
