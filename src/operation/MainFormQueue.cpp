// The main window's two job queue commands: queue the open plot, and show
// the queue; and the job context the queue swaps a job's into.
#include "operation/MainForm.h"

#include "foundation/AbortFlags.h"
#include "foundation/Dialogs.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "geometry/BlastJob.h"
#include "hpgl/hpgl.h"
#include "link/TSerial.h"
#include "operation/Forms.h"
#include "operation/JobQueue.h"
#include "operation/QueueList.h"
#include "pens/LibraryStore.h"
#include "service/joystick.h"

namespace grittor {

void TMainFrm::QueueOpenedImageAsJobMenuClick()
{
    LogEntry("QueueOpenedImageAsJobMenuClick");
    GetAbortFlags().Cancelled = false;
    if (!DigitizedFlag) {
        ShowMessage("You have not digitized the reference and skew locations.");
        return;
    }
    if (!plot_ || !job_) {
        ShowMessage("Open Image first");
        return;
    }
    if (Forms().Joystick)
        Forms().Joystick->hide();
    EnsureLink();
    if (!serial_ || !(serial_->port_open() || (serial_->check_open(), serial_->port_open()))) {
        ShowMessage("Port could not be opened.");
        return;
    }
    const long double w = (plot_->MaxPoint().x - plot_->MinPoint().x) / 1016.0L;
    const long double h = (plot_->MaxPoint().y - plot_->MinPoint().y) / 1016.0L;
    if (!GetDialogs().Confirm("Image Size Inches (" + FormatExtendedFixed(w, 2) + ", " + FormatExtendedFixed(h, 2) +
                              ")\r\nfile " + plotFileName_ + "\r\nQueue thie Image?"))
        return;
    TJobQueueFrm *window = Forms().JobQueue;
    TQueueList &list = window ? window->List() : QueueList();
    const TMaterialLibrary &library = materials_.Library();
    const int material = library.Selected();
    list.Add(plotFileName_, std::move(plot_), w, h, std::move(job_), DigitizedRecord, BorderGroupIndex, material,
             library.IsMaterialIndex(material) ? library.MaterialName(material) : std::string());
    // The job owns the plot and its outlines now.
    plot_.reset();
    job_.reset();
    plotFileName_.clear();
    BorderGroupIndex = -1;
    DigitizedFlag = false;
    UpdatePlotCommands();
    SetStatusText(ToQ("Queued as job " + std::to_string(list.Count())));
    if (window)
        window->UpdateList();
}

void TMainFrm::DisplayJobQueueMenuClick()
{
    LogEntry("DisplayJobQueueMenuClick");
    if (TJobQueueFrm *window = Forms().JobQueue) {
        window->show();
        window->raise();
        window->activateWindow();
    }
}

void TMainFrm::SwapJobContext(TJobContext &other)
{
    std::swap(plot_, other.Plot);
    std::swap(job_, other.Outlines);
    std::swap(plotFileName_, other.FileName);
    std::swap(DigitizedRecord, other.DigitizedRecord);
    std::swap(BorderGroupIndex, other.BorderGroupIndex);
    std::swap(DigitizedFlag, other.DigitizedFlag);
    TMaterialLibrary &library = materials_.Library();
    const int selected = library.Selected();
    library.SetSelected(other.Material);
    other.Material = selected;
    UpdatePlotCommands();
}

} // namespace grittor
