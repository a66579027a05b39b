#include "pens/CloseQueryDialog.h"

#include "pens/Guarded.h"

#include <QCloseEvent>

namespace grittor {

TCloseQueryDialog::TCloseQueryDialog(const char *routine, QWidget *parent) : QDialog(parent), routine_(routine) {}

bool TCloseQueryDialog::TryClose()
{
    if (!FormCloseQuery())
        return false;
    FormClose();
    return true;
}

void TCloseQueryDialog::done(int result)
{
    if (!closeChecked_) {
        bool allowed = false;
        Guarded(routine_, [&] { allowed = TryClose(); })();
        if (!allowed)
            return;
    }
    QDialog::done(result);
}

void TCloseQueryDialog::closeEvent(QCloseEvent *event)
{
    bool allowed = false;
    Guarded(routine_, [&] { allowed = TryClose(); })();
    if (!allowed) {
        event->ignore();
        return;
    }
    // QDialog's own handling ends in done(); the checks have run already.
    closeChecked_ = true;
    QDialog::closeEvent(event);
    closeChecked_ = false;
}

} // namespace grittor
