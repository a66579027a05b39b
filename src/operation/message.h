// The modeless message window used while the operator digitizes with the
// load key: one line of text on a panel, and a Cancel button that ends the
// sequence (Escape and closing the window do the same).
#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

namespace grittor {

class TMessageForm : public QDialog {
    Q_OBJECT
public:
    explicit TMessageForm(QWidget *parent = nullptr);
    void SetPanelText(const QString &text);
    QString PanelText() const;
    QLabel *Panel = nullptr;
    QPushButton *CancelButton = nullptr;
    // What Cancel does (the main window binds it while a sequence runs).
    std::function<void()> OnCancel;

    void reject() override;
};

} // namespace grittor
