#include "service/AboutDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace grittor {

const char *const GrittorVersionText = "Grittor Version Build 8 5-20-3";

TAboutFrm::TAboutFrm(QWidget *parent) : QDialog(parent)
{
    setObjectName("AboutFrm");
    setWindowTitle("About Grittor");
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QString("<h2>Grittor</h2><p>%1</p>").arg(GrittorVersionText), this);
    auto *body = new QLabel("Drives a stencil sandblasting machine over an RS-232 line.<br>"
                            "Copyright &copy; 2026 Korvane Systems.<br>"
                            "Free software under the GNU General Public License, version 3 or later.",
                            this);
    body->setWordWrap(true);
    layout->addWidget(title);
    layout->addWidget(body);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace grittor
