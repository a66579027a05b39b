// The main window's serial link: opening and closing the port, the log
// switches that the link copies, firmware upload, the diagnostics and the
// job-control commands.
#include "operation/MainForm.h"

#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"
#include "foundation/Dialogs.h"
#include "foundation/LogOutput.h"
#include "foundation/UiHooks.h"
#include "foundation/ExceptionReporting.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"
#include "link/PortPermission.h"
#include "link/SerialDevice.h"
#include "link/SerialDeviceList.h"
#include "link/TSerial.h"
#include "service/SerialDevices.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QThread>

#include <cerrno>

namespace grittor {

void TMainFrm::AddLinkClosingHook(std::function<void(TSerial &)> hook)
{
    linkClosingHooks_.push_back(std::move(hook));
}

void TMainFrm::DestroySerial()
{
    if (!serial_)
        return;
    for (const auto &hook : linkClosingHooks_) {
        // The link goes whatever a hook does.
        try {
            hook(*serial_);
        } catch (const std::exception &e) {
            Report("TMainFrm.DestroySerial", "Exception closing the serial port", &e, 0);
        } catch (...) {
            Report("TMainFrm.DestroySerial", "Exception closing the serial port", nullptr, 0);
        }
    }
    serial_->OnText = nullptr;
    serial_->PostDrain = nullptr;
    serial_->TerminalSink = nullptr;
    serial_.reset();
}

void TMainFrm::OpenMenuClick()
{
    LogEntry("Open Menu Click");
    // A fresh link replaces the old one at once; a closing still waiting for
    // a command to finish would otherwise close the new one.
    gate_.CancelWhenIdle(DeferredLinkClose);
    DestroySerial();
    const Toption &o = Options();
    serial_ = std::make_unique<TSerial>(o.Port, 20000, o.Parity, o.DataBits, o.StopBits, o.Baud);
    if (!serial_->OpenedOk()) {
        // The status bar keeps naming the device after the box is gone.
        const std::string device = serial_->DevicePath();
        SetStatusText(ToQ(o.Port + ": " + (serial_->OpenFailureError() == ENOENT ? "missing device " : "cannot open ") +
                          device));
        const std::string hint = TakePortPermissionHint();
        ShowMessage("Unable to open " + o.Port + (hint.empty() ? "" : "\n\n" + hint));
    }
    serial_->TerminalSink = [this](std::string_view bytes) { screen_.Feed(bytes); };
    serial_->OnText = [this](const std::string &text, bool stamp) {
        if (QThread::currentThread() == thread())
            AddTerminalLine(text, stamp);
        else
            QMetaObject::invokeMethod(this, [this, text, stamp] { AddTerminalLine(text, stamp); }, Qt::QueuedConnection);
    };
    serial_->PostDrain = [this] { QMetaObject::invokeMethod(this, [this] { DrainSerialLines(); }, Qt::QueuedConnection); };
    serial_->SetLocalEcho(Action(TCommandId::LocalEcho)->isChecked());
    serial_->SetDebugEcho(Action(TCommandId::EnableDebugLog)->isChecked());
    serial_->SetCharLog(Action(TCommandId::EnableCharacterLog)->isChecked());
    SetTerminalMode(true);
    screen_.SetCursor(1, static_cast<int32_t>(screen_.Lines().size()));
}

void TMainFrm::CloseMenuClick()
{
    LogEntry("Close Menu Click");
    // A running command may still be using the link: it goes when that ends.
    gate_.WhenIdle(DeferredLinkClose, [this] { DestroySerial(); });
}

void TMainFrm::SerialDevicesMenuClick()
{
    LogEntry("SerialDevicesMenuClick");
    TSerialDevicesFrm dialog(TSerialDeviceList(), this);
    if (dialog.ShowModal() != QDialog::Accepted || !serial_ || serial_->IsNone())
        return;
    // A port bound elsewhere now is opened there by the next command.
    const std::string device = ResolvePortDevice(serial_->PortName());
    if (serial_->port_open() && device != serial_->DevicePath()) {
        serial_->close_comm();
        SetStatusText(ToQ(serial_->PortName() + " now uses " + device));
    }
}

void TMainFrm::EnsureLink()
{
    if (!serial_)
        OpenMenuClick();
}

void TMainFrm::LocalEchoMenuClick()
{
    LogEntry("LocalEchoMenuClick");
    QAction *a = Action(TCommandId::LocalEcho);
    // The item is checkable, so Qt has already toggled it.
    if (serial_)
        serial_->SetLocalEcho(a->isChecked());
}

void TMainFrm::EnableDebugLogMenuClick()
{
    LogEntry("EnableDebugLogMenuClick");
    const bool on = Action(TCommandId::EnableDebugLog)->isChecked();
    Options().Log = on;
    if (serial_)
        serial_->SetDebugEcho(on);
}

void TMainFrm::EnableCharacterLogMenuClick()
{
    LogEntry("EnableCharacterLogMenuClick");
    const bool on = Action(TCommandId::EnableCharacterLog)->isChecked();
    Options().CharLog = on;
    if (serial_)
        serial_->SetCharLog(on);
}

void TMainFrm::ClearLogMenuClick()
{
    LogEntry("ClearLogMenuClick");
    if (!serial_) {
        ShowMessage("Must open serial port to clear log");
        return;
    }
    screen_.Clear();
}

void TMainFrm::SendDiagnostic(const char *logName, const std::string &command)
{
    LogEntry(logName);
    EnsureLink();
    TerminalMenuClick();
    SetTerminalMode(true);
    if (serial_)
        serial_->send_string(command);
}

void TMainFrm::UploadFirmwareMenuClick()
{
    LogEntry("UploadFirmwareMenuClick");
    EnsureLink();
    Toption &o = Options();
    const std::string initial = QFileInfo::exists(QString::fromStdString(o.FirmwareFile))
                                    ? o.FirmwareFile
                                    : QFileInfo(QString::fromStdString(o.FirmwareFile)).absolutePath().toStdString() + "/";
    const auto chosen = GetDialogs().OpenFile("Upload Firmware", initial, "Firmware (*.hex);;All files (*)");
    if (!chosen)
        return;
    o.FirmwareFile = *chosen;
    QFile f(QString::fromStdString(*chosen));
    if (!f.open(QIODevice::ReadOnly)) {
        ShowMessage("Unable to read " + *chosen);
        return;
    }
    const QByteArray bytes = f.readAll();
    const bool readFailed = f.error() != QFileDevice::NoError;
    f.close();
    // Refused before the loader command: the controller would otherwise sit
    // in its loader waiting for a transfer that never comes.
    if (readFailed) {
        ShowMessage("Unable to read " + *chosen);
        return;
    }
    if (bytes.isEmpty()) {
        ShowMessage("The firmware file is empty: " + *chosen);
        return;
    }
    const std::string data(bytes.constData(), static_cast<size_t>(bytes.size()));
    SetTerminalMode(false);
    if (serial_)
        serial_->send_string("\x1b.cload38400;1:");
    for (int attempt = 1; attempt <= 10; ++attempt) {
        if (GetAbortFlags().Closing || !serial_)
            break;
        const int result = serial_->send_xmodem(data, "Transmit firmware to Laser Engraver");
        if (result == XmSuccess) {
            SetStatusText(QString("Firmware sent: %1 bytes in %2 s")
                              .arg(bytes.size())
                              .arg(static_cast<double>(serial_->TransferTime()) / 1000.0, 0, 'f', 1));
            break;
        }
        SetStatusText(QString("failed on try %1").arg(attempt));
    }
}

void TMainFrm::PauseMenuClick()
{
    LogEntry("PauseMenuMenuClick");
    EnsureLink();
    if (serial_)
        serial_->query("\x1b.wstate;pause:", 80);
}

void TMainFrm::ContinueMenuClick()
{
    LogEntry("ContinueMenuClick");
    EnsureLink();
    if (serial_)
        serial_->query("\x1b.wstate;ready:", 80);
}

void TMainFrm::WaitWithMessages(int ms)
{
    Clock &clock = GetClock();
    const int64_t end = clock.NowMs() + ms;
    while (clock.NowMs() < end && !GetAbortFlags().Closing) {
        ProcessMessages();
        clock.SleepMs(50);
    }
}

void TMainFrm::CancelMenuClick()
{
    LogEntry("CancelMenuClick");
    if (!GetDialogs().Confirm("Are you sure you wish to cancel this job?"))
        return;
    // What is still queued of the job must neither reach the machine nor
    // hold the pause back behind it.
    if (serial_)
        serial_->abort_output("job cancelled");
    PauseMenuClick();
    WaitWithMessages(1000);
    if (serial_)
        serial_->send_string("\x1b.k:");
    WaitWithMessages(1000);
    ContinueMenuClick();
    GetAbortFlags().Cancelled = true;
}

} // namespace grittor
