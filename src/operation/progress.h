// The shared progress window: a caption and one smooth bar from 0 to 1000.
#pragma once

#include "foundation/Progress.h"

#include <QDialog>

class QProgressBar;
class QPushButton;

namespace grittor {

class TProgressFrm : public QDialog, public Progress {
    Q_OBJECT
public:
    explicit TProgressFrm(QWidget *parent = nullptr);

    // Progress: callers set their caption, move the bar and hide it.
    void Show(const std::string &caption) override;
    void SetProgress(double fraction) override;
    void Hide() override;

    double Fraction() const { return fraction_; }
    // Shown on screen: the work has run for ShowDelayMs since Show.
    bool Showing() const { return isVisible(); }
    static constexpr qint64 ShowDelayMs = 250;
    QProgressBar *ProgressBar = nullptr;
    // Stops the running operation (the main window's cancel of long work).
    QPushButton *CancelButton = nullptr;

    // Makes the window the program's shared progress window and the maker
    // of the "Send Message Progress" windows.
    void InstallAsShared();

signals:
    void CancelRequested();

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    void ShowNow();

    double fraction_ = 0;
    qint64 lastRepaintMs_ = 0;
    qint64 startedMs_ = 0;
    bool waiting_ = false; // Show was called, the window is not up yet
};

} // namespace grittor
