#include "foundation/ExceptionReportForm.h"

#include "foundation/Clock.h"
#include "foundation/QtSeams.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace grittor {

namespace {
constexpr int kUserPanelHeight = 160;
constexpr int kFrameExtra = 27;
constexpr int kProgrammerHeight = 160;
constexpr int kMaxMemoLines = 500;
} // namespace

std::function<void(TExceptionReportForm &)> TExceptionReportForm::ModalRunner = [](TExceptionReportForm &f) {
    f.exec();
};

TExceptionReportForm::TExceptionReportForm(QWidget *parent) : QDialog(parent)
{
    setObjectName("ExceptionReportForm");
    setWindowTitle("Exception Reporting ");
    setWindowFlag(Qt::WindowStaysOnTopHint, true);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);

    UserExceptionPanel = new QWidget(this);
    UserExceptionPanel->setFixedHeight(kUserPanelHeight);
    auto *userLayout = new QVBoxLayout(UserExceptionPanel);
    userLayout->setContentsMargins(0, 0, 0, 0);
    UserMemo = new QPlainTextEdit(UserExceptionPanel);
    UserMemo->setReadOnly(true);
    UserMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    UserMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    userLayout->addWidget(UserMemo);

    auto *buttons = new QHBoxLayout;
    disappear = new QLabel("This form will disappear in 5 second(s)", UserExceptionPanel);
    NoRedisplayCheckBox = new QCheckBox("Check to Disable this box until restart", UserExceptionPanel);
    PauseButton = new QPushButton("Pause", UserExceptionPanel);
    MoreButton = new QPushButton("Details ...", UserExceptionPanel);
    IgnoreButton = new QPushButton("Ignore", UserExceptionPanel);
    IgnoreButton->setDefault(true);
    buttons->addWidget(NoRedisplayCheckBox);
    buttons->addStretch(1);
    buttons->addWidget(disappear);
    buttons->addWidget(PauseButton);
    buttons->addWidget(MoreButton);
    buttons->addWidget(IgnoreButton);
    userLayout->addLayout(buttons);
    outer->addWidget(UserExceptionPanel);

    ProgrammerExceptionPanel = new QWidget(this);
    auto *progLayout = new QVBoxLayout(ProgrammerExceptionPanel);
    progLayout->setContentsMargins(0, 0, 0, 0);
    ProgrammerMemo = new QPlainTextEdit(ProgrammerExceptionPanel);
    ProgrammerMemo->setReadOnly(true);
    ProgrammerMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ProgrammerMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    progLayout->addWidget(ProgrammerMemo);
    outer->addWidget(ProgrammerExceptionPanel);
    ProgrammerExceptionPanel->hide();

    Timer = new QTimer(this);
    Timer->setSingleShot(true);
    Timer->setInterval(5000);
    countdownTicker_ = new QTimer(this);
    countdownTicker_->setInterval(1000);

    connect(Timer, &QTimer::timeout, this, &TExceptionReportForm::TimerTimer);
    connect(countdownTicker_, &QTimer::timeout, this, &TExceptionReportForm::UpdateCountdown);
    connect(PauseButton, &QPushButton::clicked, this, &TExceptionReportForm::PauseButtonClick);
    connect(MoreButton, &QPushButton::clicked, this, &TExceptionReportForm::MoreButtonClick);
    connect(IgnoreButton, &QPushButton::clicked, this, &TExceptionReportForm::IgnoreButtonClick);

    FormCreate();
    SetReportTarget(this);
}

TExceptionReportForm::~TExceptionReportForm()
{
    if (GetReportTarget() == this)
        SetReportTarget(nullptr);
}

void TExceptionReportForm::FormCreate()
{
    level_ = 3;
    outputHandler_ = nullptr;
    notifyLevels_.clear();
    disappear->hide();
    PauseButton->hide();
    resize(640, kUserPanelHeight + kFrameExtra);
}

void TExceptionReportForm::DoReport(const std::string &routine, const std::string &text, const std::exception *e,
                                    int level)
{
    const bool hasException = e != nullptr;
    const std::string message = e ? e->what() : std::string();
    if (QThread::currentThread() != thread()) {
        // Never touch a window from the receive thread; hand over copies.
        QMetaObject::invokeMethod(
            this, [this, routine, text, hasException, message, level] {
                ReportOnUiThread(routine, text, hasException, message, level);
            },
            Qt::QueuedConnection);
        return;
    }
    ReportOnUiThread(routine, text, hasException, message, level);
}

void TExceptionReportForm::AddMemoLines(QPlainTextEdit *memo, const QStringList &lines)
{
    QTextDocument *doc = memo->document();
    while (doc->blockCount() > kMaxMemoLines) {
        QTextCursor c(doc->firstBlock());
        c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        c.removeSelectedText();
    }
    for (const QString &l : lines)
        memo->appendPlainText(l);
    memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
}

void TExceptionReportForm::ReportOnUiThread(const std::string &routine, const std::string &text, bool hasException,
                                            const std::string &exceptionMessage, int level)
{
    SetRecording(true);
    try {
        const std::string backtrace = TakeBacktraceText();
        const std::string heading = "Exception in routine " + routine;
        // A C++ exception carries no code address; the text stays empty.
        const std::string addressText;
        if (level == 0)
            level = level_;

        if (level == 1 || level == 3) {
            const QString stamp = GetClock().WallNow().toString("MM/dd/yyyy hh:mm:ss.zzz") + " ";
            QStringList user{stamp + ToQ(heading)};
            if (!text.empty())
                user << ToQ(text);
            AddMemoLines(UserMemo, user);
            QStringList prog{stamp + ToQ(heading)};
            if (!text.empty() || !addressText.empty())
                prog << ToQ(text + addressText);
            if (hasException && !exceptionMessage.empty())
                prog << ToQ(exceptionMessage);
            if (!backtrace.empty())
                prog << ToQ(backtrace).trimmed();
            AddMemoLines(ProgrammerMemo, prog);
        }

        if (outputHandler_) {
            outputHandler_(heading, true);
            if (!text.empty())
                outputHandler_(text, true);
            if (!addressText.empty())
                outputHandler_(addressText, false);
            if (hasException)
                outputHandler_(exceptionMessage, false);
            if (!backtrace.empty())
                outputHandler_(backtrace, false);
        }

        if (level == 1 || (level >= 4 && level <= 8)) {
            if (!NoRedisplayCheckBox->isChecked()) {
                IgnoreButton->show();
                PauseButton->hide();
                disappear->hide();
                Timer->stop();
                countdownTicker_->stop();
                ModalRunner(*this);
            }
        } else if (level == 3) {
            if (!isVisible() && !NoRedisplayCheckBox->isChecked()) {
                PauseButton->show();
                disappear->show();
                IgnoreButton->hide();
                remainingSeconds_ = countdownMs_ / 1000;
                disappear->setText(QString("This form will disappear in %1 second(s)").arg(remainingSeconds_));
                show();
                Timer->start(countdownMs_);
                countdownTicker_->start();
            }
        }
    } catch (...) {
    }
    SetRecording(false);
}

void TExceptionReportForm::UpdateCountdown()
{
    if (remainingSeconds_ > 1)
        --remainingSeconds_;
    disappear->setText(QString("This form will disappear in %1 second(s)").arg(remainingSeconds_));
}

void TExceptionReportForm::ShowUserText(const std::string &text, const std::string &location)
{
    UserMemo->clear();
    AddMemoLines(UserMemo, {ToQ(location + ": " + text)});
    if (!isVisible() && !NoRedisplayCheckBox->isChecked())
        show();
}

void TExceptionReportForm::TimerTimer()
{
    Timer->stop();
    countdownTicker_->stop();
    PauseButton->hide();
    disappear->hide();
    if (isVisible())
        hide();
}

void TExceptionReportForm::PauseButtonClick()
{
    IgnoreButton->show();
    Timer->stop();
    countdownTicker_->stop();
    PauseButton->hide();
    disappear->hide();
}

void TExceptionReportForm::MoreButtonClick()
{
    PauseButtonClick();
    if (MoreButton->text() == "Details ...") {
        ProgrammerExceptionPanel->show();
        MoreButton->setText("Less ...");
        resize(width(), kUserPanelHeight + kProgrammerHeight + kFrameExtra);
        ProgrammerMemo->verticalScrollBar()->setValue(ProgrammerMemo->verticalScrollBar()->maximum());
    } else {
        ProgrammerExceptionPanel->hide();
        MoreButton->setText("Details ...");
        resize(width(), kUserPanelHeight + kFrameExtra);
    }
}

void TExceptionReportForm::IgnoreButtonClick()
{
    if (isVisible()) {
        if (isModal())
            done(QDialog::Rejected);
        else
            hide();
    }
}

} // namespace grittor
