// The queue of digitized plots, run one after another: the "Job Queue"
// window (always on top) lists the jobs, corrects a job's position and
// material, deletes and clears jobs, outlines every job's border on the
// workpiece and runs the jobs, waiting between them until the machine
// reports the blaster idle.  The queue itself is TQueueList (QueueList.h),
// kept in its file at every change and offered back at start.
#pragma once

#include "operation/CommandGate.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace grittor {

class TMainFrm;
class TMaterialLibrary;
class TQueueList;

class TJobQueueFrm : public QDialog {
    Q_OBJECT
public:
    TJobQueueFrm(TMainFrm &main, TQueueList &list, TMaterialLibrary &materials, QWidget *parent = nullptr);
    ~TJobQueueFrm() override;

    TQueueList &List() { return list_; }

    // ---- handlers
    void UpdateList();
    void UpdateFromFields();
    void ListClick();
    void SaveButtonClick();
    void DeleteButtonClick();
    void ClearButtonClick();
    void RunButtonClick();
    // Runs the queue from the selected job to the end.
    void RunFromSelectedClick();
    void OutlineButtonClick();
    // Cancels the running job (the main window's cancel, with its question).
    void CancelButtonClick();
    // Offers a saved queue back (at start); reports a corrupt queue file.
    void OfferRestore();

    // ---- the machine operations the job sends share, shown or not
    void WritePosition(int32_t x, int32_t y);
    void Wait();

    int Selected = -1;
    bool Running() const { return running_; }

    // Controls, by the names the rest of the program uses.
    QListWidget *JobList = nullptr; // `List`
    QLineEdit *ImageSize = nullptr;
    QLineEdit *PositionXInch = nullptr;
    QLineEdit *PositionYInch = nullptr;
    QLineEdit *PositionXMM = nullptr;
    QLineEdit *PositionYMM = nullptr;
    QComboBox *Material = nullptr;
    QPushButton *RunButton = nullptr;
    QPushButton *RunFromSelectedButton = nullptr;
    QPushButton *OutlineButton = nullptr;
    QPushButton *ClearButton = nullptr;
    QPushButton *DeleteButton = nullptr;
    QPushButton *SaveButton = nullptr;
    QPushButton *CancelButton = nullptr;
    QPushButton *CloseButton = nullptr;
    QLabel *StatusLabel = nullptr;

protected:
    void showEvent(QShowEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    // The jobs from `first` on: sent whole (or only their borders).
    void RunJobs(int first, bool outline);
    // Runs `work` as command `id` through the main window's command gate.
    void Gated(TCommandId id, const std::function<void()> &work);
    void SelectLine(int row);
    void UpdateButtons();
    std::string LineText(int index) const;

    TMainFrm &main_;
    TQueueList &list_;
    TMaterialLibrary &materials_;
    bool running_ = false;
    bool inchEdited_ = false;
    bool mmEdited_ = false;
    bool saveFailureShown_ = false;
    int listedAt_ = -1; // the queue's change count at the last UpdateList
};

} // namespace grittor
