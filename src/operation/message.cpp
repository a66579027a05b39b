#include "operation/message.h"

#include <QLabel>
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
    resize(420, 110);
}

void TMessageForm::SetPanelText(const QString &text) { Panel->setText(text); }
QString TMessageForm::PanelText() const { return Panel->text(); }

} // namespace grittor
