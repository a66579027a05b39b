#include "operation/message.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace grittor {

TMessageForm::TMessageForm(QWidget *parent) : QDialog(parent)
{
    setObjectName("MessageForm");
    setWindowTitle("Message");
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    Panel = new QLabel(this);
    Panel->setObjectName("Panel");
    Panel->setWordWrap(true);
    Panel->setAlignment(Qt::AlignCenter);
    Panel->setMargin(12);
    QFont f = Panel->font();
    f.setPointSize(f.pointSize() + 2);
    Panel->setFont(f);
    layout->addWidget(Panel);
    auto *buttons = new QDialogButtonBox(this);
    CancelButton = buttons->addButton("&Cancel", QDialogButtonBox::RejectRole);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &TMessageForm::reject);
    layout->addWidget(buttons);
    resize(420, 140);
}

void TMessageForm::SetPanelText(const QString &text) { Panel->setText(text); }
QString TMessageForm::PanelText() const { return Panel->text(); }

void TMessageForm::reject()
{
    QDialog::reject();
    if (OnCancel)
        OnCancel();
}

} // namespace grittor
