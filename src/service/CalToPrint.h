// The picture of the printed target shown beside the main window while digitizing.
#pragma once

#include <QDialog>

namespace grittor {

class TCalToPrintForm : public QDialog {
    Q_OBJECT
public:
    explicit TCalToPrintForm(QWidget *parent = nullptr);
};

} // namespace grittor
