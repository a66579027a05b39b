// The main window's machine work on the open plot: the two digitize-and-send
// commands, the start of the load-key sequence, the job and border sends and
// calibration.  The texts come from the plot's TBlastJob; the sends run
// through TJobRun, which the job queue and grittor-cli run share.
#include "operation/MainForm.h"

#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"
#include "foundation/Dialogs.h"
#include "foundation/ExceptionReportForm.h"
#include "foundation/ExceptionReporting.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "foundation/UiHooks.h"
#include "geometry/BlastJob.h"
#include "link/MachineOps.h"
#include "link/TSerial.h"
#include "operation/Forms.h"
#include "operation/JobProgress.h"
#include "operation/LoadKey.h"
#include "operation/message.h"
#include "pens/LibraryStore.h"
#include "service/CalToPrint.h"
#include "service/Calibrate.h"
#include "service/joystick.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

namespace grittor {

TWaitEvents WindowWaitEvents()
{
    TWaitEvents events;
    events.StillWaiting = [](const std::string &text) {
        if (auto *report = Forms().ExceptionReport)
            report->ShowUserText(text, "Wait");
    };
    return events;
}

namespace {

std::string PointCommand(const TExtendedPoint &p)
{
    return "Papu" + FormatExtended(p.x) + "," + FormatExtended(p.y) + ";";
}

} // namespace

bool TMainFrm::ParseOcAnswer(const std::string &answer, TExtendedPoint &at)
{
    int32_t x = 0, y = 0;
    if (!grittor::ParseOcAnswer(answer, x, y)) {
        ShowMessage(OcAnswerMessage(answer));
        return false;
    }
    at = {static_cast<long double>(x), static_cast<long double>(y)};
    return true;
}

void TMainFrm::ShowTargetPicture()
{
    TCalToPrintForm *target = Forms().CalToPrint;
    if (!target)
        return;
    // The picture at the left edge of the screen, the main window beside it.
    QRect area(0, 0, 1280, 1024);
    if (const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    target->move(area.left(), area.top());
    target->show();
    move(area.left() + target->frameGeometry().width(), y());
}

void TMainFrm::HideTargetPicture()
{
    if (Forms().CalToPrint)
        Forms().CalToPrint->hide();
}

std::vector<std::string> TMainFrm::SendablePlacedTexts(const TPlacement &placement)
{
    std::vector<std::string> texts = job_->PlacedTexts(placement);
    if (const std::string problem = OutOfRangeProblem(*plot_, *job_); !problem.empty()) {
        LogEntry("Placement refused: " + problem);
        ShowMessage("The plot cannot be sent: " + problem + ". Nothing was sent.");
        return {};
    }
    return texts;
}

bool TMainFrm::ConfirmPlacement(const TPlacement &placement)
{
    if (!job_)
        return false;
    const TFitReport fit = CheckFit(job_->Drawing(), placement, job_->DrawingMeasured());
    if (!fit.Usable) {
        LogEntry("Placement refused: " + fit.Problem);
        ShowMessage(fit.Problem);
        return false;
    }
    const std::string summary = fit.Summary();
    LogEntry("Alignment: " + summary);
    SetStatusText(ToQ("Alignment: " + summary));
    const TFitResidual *worst = fit.Worst();
    if (worst && worst->Mm > ResidualLimitMm && !GetDialogs().Confirm(fit.Question())) {
        LogEntry("Not sent: the digitized points do not fit the drawing");
        return false;
    }
    return true;
}

void TMainFrm::CancelOpenMenuClick()
{
    LogEntry("CancelOpenMenuClick");
    OpenCancelled = true;
}

// ------------------------------------------------------------ digitizing ---

void TMainFrm::SendDigitized(const TPlacement &placement)
{
    if (!ConfirmPlacement(placement))
        return;
    DigitizedRecord = placement;
    SetTerminalMode(false);
    for (const std::string &text : SendablePlacedTexts(placement)) {
        if (OpenCancelled || GetAbortFlags().Closing)
            break;
        LogEntry("Send Border file");
        LogOutput().Write(text, false, false);
        serial_->send_string(text);
    }
}

void TMainFrm::Digitizeoriginandsend1Click()
{
    if (!plot_) {
        ShowMessage("Open Image first");
        return;
    }
    try {
        LoadAndDisplay(plotFileName_);
        DrawStartMarker();
        EnsureLink();
        LogEntry("Digitize Origin and Send Click");
        if (!serial_)
            return;
        serial_->query("ap0;\x1b.worigin_offset;off:", 10);
        ShowTargetPicture();
        ShowMessage("Move to origin point (lower left) with joystick and click ok");
        const std::string answer = serial_->query("ap7oc;", 80);
        serial_->set_timeout(60000);
        TExtendedPoint ref;
        if (job_->GroupCount() > 0 && !OpenCancelled && !GetAbortFlags().Closing && ParseOcAnswer(answer, ref)) {
            SendDigitized(OriginPlacement(job_->Drawing(), ref));
        }
    } catch (const std::exception &e) {
        Report("Digitizeoriginandsend1Click", "Exception sending file", &e, 0);
    }
    HideTargetPicture();
}

void TMainFrm::Digitizeoriginskewscaleandsendplot1Click()
{
    if (!plot_) {
        ShowMessage("Open Image first");
        return;
    }
    try {
        LoadAndDisplay(plotFileName_);
        EnsureLink();
        LogEntry("Digitize Origin and Send Click");
        if (!serial_)
            return;
        serial_->query("ap0;\x1b.worigin_offset;off:", 10);
        ShowTargetPicture();
        ShowMessage("Move to origin point (lower right) with joystick and click ok");
        const std::string answer1 = serial_->query("oc;", 80);
        serial_->set_timeout(60000);
        TExtendedPoint ref, skew, stretch;
        if (job_->GroupCount() > 0 && !OpenCancelled && !GetAbortFlags().Closing && ParseOcAnswer(answer1, ref)) {
            // Where the other two points would be if the plot lay as drawn:
            // the machine goes there first, the operator corrects.
            const TAlignPoints d = job_->Drawing();
            const TExtendedPoint skewGuess{ref.x + (d.Skew.x - d.Ref.x), ref.y + (d.Skew.y - d.Ref.y)};
            const TExtendedPoint stretchGuess{ref.x + (d.Stretch.x - d.Ref.x), ref.y + (d.Stretch.y - d.Ref.y)};
            serial_->send_string(PointCommand(skewGuess));
            ShowMessage("Move to upper right with joystick and click ok");
            const std::string answer2 = serial_->query("oc;", 80);
            if (ParseOcAnswer(answer2, skew)) {
                serial_->send_string(PointCommand(stretchGuess));
                ShowMessage("Move to upper left with joystick and click ok");
                const std::string answer3 = serial_->query("ap7oc;", 80);
                if (ParseOcAnswer(answer3, stretch)) {
                    DrawStartMarker();
                    SendDigitized(ThreePointPlacement(ref, skew, stretch));
                }
            }
        }
    } catch (const std::exception &e) {
        Report("Digitizeoriginskewscaleandsendplot1Click", "Exception sending file", &e, 0);
    }
    HideTargetPicture();
}

void TMainFrm::DigitizeLocationClick()
{
    LogEntry("DigitizeLocationMenuClick");
    try {
        if (BorderGroupIndex == -1) {
            ShowMessage("There is no border pen in the plot file");
            return;
        }
        SetTerminalMode(false);
        EnsureLink();
        ContinueMenuClick();
        if (serial_)
            serial_->send_string("DP;");
        if (TMessageForm *message = Forms().Message) {
            message->SetPanelText("Move nozzle with joystick to indicated point on screen and press load key");
            message->OnCancel = [this] { CancelLoadKeyClick(); };
            message->show();
        }
        TickCount = 0;
        DigitizeState = 2;
        SetStatusText(ToQ(LoadKeyPrompt(DigitizeState)));
    } catch (const std::exception &e) {
        Report("DigitizeLocationClick", "Exception displaying file", &e, 0);
    }
}

// --------------------------------------------------------------- sending ---

void TMainFrm::ShowJobResult(const char *routine, const TJobResult &result)
{
    lastJob_ = result;
    switch (result.Outcome) {
    case TJobOutcome::Done:
        SetStatusText(ToQ(std::string(routine) + ": sent, " + std::to_string(result.Sent) + " bytes"));
        return;
    case TJobOutcome::Cancelled:
        LogEntry(result.Message);
        SetStatusText(ToQ(result.Message));
        return;
    case TJobOutcome::NoPort:
    case TJobOutcome::Refused:
        LogEntry(std::string(routine) + ": " + result.Message);
        ShowMessage(result.Message);
        return;
    case TJobOutcome::NotCompleted:
        LogEntry(std::string(routine) + ": " + result.Message);
        SetStatusText(ToQ(result.Message));
        ShowMessage("The " + std::string(std::string(routine) == "SendBorderClick" ? "border" : "job") +
                    " was not completed: the line to the machine was lost.\r\n" + result.Message);
        return;
    }
}

void TMainFrm::SendFileMenuClick()
{
    if (!job_) {
        ShowMessage("Open Image first");
        return;
    }
    if (Forms().Joystick)
        Forms().Joystick->hide();
    LogEntry("SendFileMenuClick");
    DigitizedFlag = true;
    SetTerminalMode(false);
    try {
        EnsureLink();
        if (!serial_ || !(serial_->port_open() || (serial_->check_open(), serial_->port_open()))) {
            ShowJobResult("SendFileMenuClick", TJobResult{TJobOutcome::NoPort, 0, 0, "unable to open serial port"});
            return;
        }
        TJobRun run(*serial_, *job_, serial_->BaudRate() / 10.0);
        if (!jobProgress_)
            jobProgress_ = new TJobProgressForm(this);
        jobProgress_->Start(
            "Job Progress", [&run] { return run.Progress(GetClock().NowMs()); }, [this] { TriggerCommand(TCommandId::CancelJob); });
        struct StopProgress {
            TJobProgressForm *form;
            ~StopProgress() { form->Stop(); }
        } stop{jobProgress_};
        const TJobResult result = run.SendJob(materials_.Library().SelectedPens(), TJobSettings::From(Options()),
                                              DigitizedRecord, WindowWaitEvents());
        ShowJobResult("SendFileMenuClick", result);
    } catch (const std::exception &e) {
        Report("SendFileMenuClick", "Exception sending file", &e, 0);
    }
}

void TMainFrm::SendBorderClick()
{
    LogEntry("SendBorderMenuClick");
    if (BorderGroupIndex == -1 || !job_) {
        ShowMessage("There is no border pen in the plot file");
        return;
    }
    DigitizedFlag = true;
    SetTerminalMode(false);
    try {
        EnsureLink();
        if (!serial_) {
            ShowJobResult("SendBorderClick", TJobResult{TJobOutcome::NoPort, 0, 0, "unable to open serial port"});
            return;
        }
        // Without a digitize-and-send first the paths are made here.
        TJobRun run(*serial_, *job_, serial_->BaudRate() / 10.0);
        ShowJobResult("SendBorderClick", run.SendBorder(DigitizedRecord, WindowWaitEvents()));
    } catch (const std::exception &e) {
        Report("SendBorderClick", "Exception Sending Border", &e, 0);
    }
}

// ----------------------------------------------------------- calibration ---

void TMainFrm::CalibrateMenuClick()
{
    LogEntry("CalibrateMenuClick");
    TCalibrateFrm *form = Forms().Calibrate;
    std::unique_ptr<TCalibrateFrm> own;
    if (!form) {
        own = std::make_unique<TCalibrateFrm>(this);
        form = own.get();
    }
    if (!form->Ask())
        return;
    struct Axis {
        const char *name;
        QLineEdit *drawn, *measured;
        long double change = 0;
    } axes[] = {{"X", form->XDrawn, form->XMeasured}, {"Y", form->YDrawn, form->YMeasured}};
    for (Axis &a : axes) {
        const TCalibrationValue drawn = ReadCalibrationField(FromQ(a.drawn->text()));
        if (!drawn.Valid)
            ShowMessage(CalibrationFieldMessage(a.name, false));
        const TCalibrationValue measured = ReadCalibrationField(FromQ(a.measured->text()));
        if (!measured.Valid)
            ShowMessage(CalibrationFieldMessage(a.name, true));
        a.change = CalibrationChange(drawn.Value, measured.Value);
    }
    if (!GetDialogs().Confirm(CalibrationQuestion(axes[0].change, axes[1].change)))
        return;
    SetTerminalMode(true); // the machine's answer shows in the terminal
    EnsureLink();
    if (!serial_)
        return;
    serial_->send_string("\x1b.ccalibrate;" + FromQ(form->XDrawn->text()) + ";" + FromQ(form->XMeasured->text()) +
                         ";" + FromQ(form->YDrawn->text()) + ";" + FromQ(form->YMeasured->text()) + ":");
    WaitWithMessages(1000);
    serial_->send_string("\x1b.r:");
}

} // namespace grittor
