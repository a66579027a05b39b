#include "operation/JobProgress.h"

#include "foundation/QtSeams.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace grittor {

namespace {

std::string Grouped(uint64_t n)
{
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<size_t>(i), ",");
    return digits;
}

} // namespace

TJobProgressForm::TJobProgressForm(QWidget *parent) : QDialog(parent)
{
    setObjectName("JobProgressForm");
    setWindowTitle("Job Progress");
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setModal(false);
    PassLabel = new QLabel(this);
    BytesLabel = new QLabel(this);
    RemainingLabel = new QLabel(this);
    Bar = new QProgressBar(this);
    Bar->setRange(0, 1000);
    Bar->setTextVisible(false);
    CancelButton = new QPushButton("&Cancel Job...", this);
    CancelButton->setDefault(false);
    CancelButton->setAutoDefault(false);
    connect(CancelButton, &QPushButton::clicked, this, [this] {
        if (cancel_)
            cancel_();
    });
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(PassLabel);
    layout->addWidget(Bar);
    layout->addWidget(BytesLabel);
    layout->addWidget(RemainingLabel);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons);
    setMinimumWidth(420);
    timer_ = new QTimer(this);
    timer_->setInterval(250);
    connect(timer_, &QTimer::timeout, this, &TJobProgressForm::Refresh);
}

void TJobProgressForm::Start(const std::string &caption, std::function<TJobProgress()> poll,
                             std::function<void()> cancel)
{
    setWindowTitle(ToQ(caption));
    poll_ = std::move(poll);
    cancel_ = std::move(cancel);
    Refresh();
    show();
    timer_->start();
}

void TJobProgressForm::Stop()
{
    timer_->stop();
    poll_ = nullptr;
    cancel_ = nullptr;
    hide();
}

void TJobProgressForm::reject()
{
    if (cancel_)
        cancel_();
}

std::string TJobProgressForm::PassText(const TJobProgress &p)
{
    if (p.Waiting)
        return "All sent: the machine is finishing the job";
    if (p.Pass == 0)
        return "Starting the job";
    return "Pass " + std::to_string(p.Pass) + " of " + std::to_string(p.Passes) + ", pen " + std::to_string(p.Pen);
}

std::string TJobProgressForm::BytesText(const TJobProgress &p)
{
    return Grouped(p.Sent) + " of " + Grouped(p.Total) + " bytes sent";
}

std::string TJobProgressForm::RemainingText(const TJobProgress &p)
{
    const long long s = std::llround(static_cast<double>(p.RemainingMs) / 1000.0);
    std::string t = "Blasting left: about ";
    if (s >= 3600)
        t += std::to_string(s / 3600) + " h " + std::to_string(s / 60 % 60) + " min";
    else if (s >= 60)
        t += std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
    else
        t += std::to_string(s) + " s";
    return t;
}

void TJobProgressForm::Refresh()
{
    if (!poll_)
        return;
    const TJobProgress p = poll_();
    PassLabel->setText(ToQ(PassText(p)));
    BytesLabel->setText(ToQ(BytesText(p)));
    RemainingLabel->setText(ToQ(RemainingText(p)));
    Bar->setValue(p.Total ? static_cast<int>(1000.0 * static_cast<double>(p.Sent) / static_cast<double>(p.Total)) : 0);
}

} // namespace grittor
