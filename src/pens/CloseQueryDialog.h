// A dialog that asks before it closes: OK, Escape and the title bar's close
// button all run FormCloseQuery first, and FormClose once it agrees.
#pragma once

#include <QDialog>

class QCloseEvent;

namespace grittor {

class TCloseQueryDialog : public QDialog {
    Q_OBJECT
public:
    // `routine` names the check in exception reports.
    TCloseQueryDialog(const char *routine, QWidget *parent);

    // True when the window may close.
    virtual bool FormCloseQuery() = 0;
    // Runs after the window agreed to close.
    virtual void FormClose() = 0;

protected:
    void done(int result) override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool TryClose();
    const char *routine_;
    bool closeChecked_ = false;
};

} // namespace grittor
