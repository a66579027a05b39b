// The progress of a job on the machine: the pass and pen being sent, the
// bytes sent of the total and the blasting still to do.  It polls what it
// shows from the running job; Cancel there is the main window's cancel.
#pragma once

#include "operation/JobRun.h"

#include <QDialog>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace grittor {

class TJobProgressForm : public QDialog {
    Q_OBJECT
public:
    explicit TJobProgressForm(QWidget *parent = nullptr);

    // Shows the window and polls `poll` until Stop.
    void Start(const std::string &caption, std::function<TJobProgress()> poll, std::function<void()> cancel);
    void Stop();
    // Reads the job's progress now (the timer does it four times a second).
    void Refresh();

    // The texts shown, for tests and the screenshots.
    static std::string PassText(const TJobProgress &p);
    static std::string BytesText(const TJobProgress &p);
    static std::string RemainingText(const TJobProgress &p);

    QLabel *PassLabel = nullptr;
    QLabel *BytesLabel = nullptr;
    QLabel *RemainingLabel = nullptr;
    QProgressBar *Bar = nullptr;
    QPushButton *CancelButton = nullptr;

protected:
    void reject() override; // Escape and the title-bar close cancel too

private:
    QTimer *timer_ = nullptr;
    std::function<TJobProgress()> poll_;
    std::function<void()> cancel_;
};

} // namespace grittor
