// Calibration entry: drawn and measured distances per axis.
#pragma once

#include <QDialog>

namespace grittor {

class TCalibrateFrm : public QDialog {
    Q_OBJECT
public:
    explicit TCalibrateFrm(QWidget *parent = nullptr);
};

} // namespace grittor
