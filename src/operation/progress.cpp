#include "operation/progress.h"

#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"
#include "foundation/QtSeams.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <cmath>

namespace grittor {

TProgressFrm::TProgressFrm(QWidget *parent) : QDialog(parent)
{
    setObjectName("ProgressFrm");
    setWindowTitle("Tranmist Progress");
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setRange(0, 1000);
    ProgressBar->setTextVisible(true);
    layout->addWidget(ProgressBar, 1);
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setShortcut(Qt::Key_Escape);
    layout->addWidget(CancelButton);
    connect(CancelButton, &QPushButton::clicked, this, [this] {
        GetAbortFlags().OperationCancelled = true;
        emit CancelRequested();
    });
    resize(582, 55);
}

void TProgressFrm::Show(const std::string &caption)
{
    setWindowTitle(ToQ(caption));
    fraction_ = 0;
    ProgressBar->setValue(0);
    // Work that is over in a moment never flashes a window: the window
    // comes up once the work has run for ShowDelayMs (as it already is when
    // one piece of work follows another).  Until then the event loop still
    // runs, so closing the main window stops the work.
    startedMs_ = GetClock().NowMs();
    if (!isVisible())
        waiting_ = true;
    lastRepaintMs_ = startedMs_;
}

void TProgressFrm::SetProgress(double fraction)
{
    fraction_ = fraction;
    ProgressBar->setValue(static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 1000)));
    // Let the window repaint and the operator press Cancel; callers update
    // often on big plots, so the event loop runs at most every 15 ms.
    const qint64 now = GetClock().NowMs();
    if (waiting_ && (now - startedMs_ >= ShowDelayMs || now < startedMs_))
        ShowNow();
    if (now - lastRepaintMs_ >= 15 || now < lastRepaintMs_) {
        lastRepaintMs_ = now;
        QCoreApplication::processEvents();
    }
}

void TProgressFrm::ShowNow()
{
    waiting_ = false;
    if (!isVisible()) {
        show();
        raise();
    }
}

void TProgressFrm::Hide()
{
    waiting_ = false;
    hide();
}

void TProgressFrm::closeEvent(QCloseEvent *e)
{
    // Closing the window is the same as pressing Cancel.
    GetAbortFlags().OperationCancelled = true;
    emit CancelRequested();
    e->accept();
}

namespace {
TProgressFrm *g_shared = nullptr;

Progress *MakeSecondary(const std::string &caption)
{
    auto *p = new TProgressFrm(nullptr);
    p->setAttribute(Qt::WA_DeleteOnClose, false);
    if (g_shared)
        p->move(g_shared->x(), g_shared->y() + g_shared->frameGeometry().height());
    p->Show(caption);
    p->SetProgress(0);
    return p;
}
} // namespace

void TProgressFrm::InstallAsShared()
{
    g_shared = this;
    grittor::SetProgress(this);
    SetSecondaryProgressFactory(&MakeSecondary);
}

} // namespace grittor
