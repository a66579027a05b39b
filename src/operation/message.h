// The modeless message window used while the operator digitizes with the
// load key: one line of text on a panel.
#pragma once

#include <QDialog>

class QLabel;

namespace grittor {

class TMessageForm : public QDialog {
    Q_OBJECT
public:
    explicit TMessageForm(QWidget *parent = nullptr);
    void SetPanelText(const QString &text);
    QString PanelText() const;
    QLabel *Panel = nullptr;
};

} // namespace grittor
