// The exception report window: a short part for the operator and an
// expandable part for the programmer.
#pragma once

#include "foundation/ExceptionReporting.h"

#include <QDialog>
#include <functional>
#include <set>
#include <string>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QWidget;

namespace grittor {

class TExceptionReportForm : public QDialog, public ReportTarget {
    Q_OBJECT
public:
    using OutputHandler = std::function<void(const std::string &text, bool toTerminal)>;

    explicit TExceptionReportForm(QWidget *parent = nullptr);
    ~TExceptionReportForm() override;

    // Safe from any thread: reports from the receive thread are handed to
    // the interface thread.
    void DoReport(const std::string &routine, const std::string &text, const std::exception *e,
                  int level) override;

    void SetOutputHandler(OutputHandler handler) { outputHandler_ = std::move(handler); }
    void SetReportLevel(int level) { level_ = level; }
    int ReportLevel() const { return level_; }

    // Replaces the user text with one line (used by the idle wait to show
    // how long it has waited).
    void ShowUserText(const std::string &text, const std::string &location);

    // How the window is shown modally; tests replace it so nothing blocks.
    static std::function<void(TExceptionReportForm &)> ModalRunner;

    // Controls, by their names.
    QWidget *UserExceptionPanel = nullptr;
    QPlainTextEdit *UserMemo = nullptr;
    QPushButton *PauseButton = nullptr;
    QPushButton *MoreButton = nullptr;
    QPushButton *IgnoreButton = nullptr;
    QCheckBox *NoRedisplayCheckBox = nullptr;
    QLabel *disappear = nullptr;
    QWidget *ProgrammerExceptionPanel = nullptr;
    QPlainTextEdit *ProgrammerMemo = nullptr;
    QTimer *Timer = nullptr;

public slots:
    void TimerTimer();
    void PauseButtonClick();
    void MoreButtonClick();
    void IgnoreButtonClick();

private:
    void ReportOnUiThread(const std::string &routine, const std::string &text, bool hasException,
                          const std::string &exceptionMessage, int level);
    void AddMemoLines(QPlainTextEdit *memo, const QStringList &lines);
    void UpdateCountdown();
    void FormCreate();

    int level_ = 3;
    OutputHandler outputHandler_;
    std::set<int> notifyLevels_; // levels of a further notification; empty, so it never fires
    int countdownMs_ = 5000;
    QTimer *countdownTicker_ = nullptr;
    int remainingSeconds_ = 5;
};

} // namespace grittor
