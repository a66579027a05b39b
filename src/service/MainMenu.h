// The machine settings panel: the machine's live state and motion settings beside the program's blast-pattern defaults.
#pragma once

#include <QDialog>

namespace grittor {

class TMainMenuFrm : public QDialog {
    Q_OBJECT
public:
    explicit TMainMenuFrm(QWidget *parent = nullptr);
};

} // namespace grittor
