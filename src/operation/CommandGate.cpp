#include "operation/CommandGate.h"

#include <algorithm>
#include <stdexcept>

namespace grittor {

namespace {

using Id = TCommandId;
constexpr TCommandPolicy X = TCommandPolicy::Exclusive;
constexpr TCommandPolicy A = TCommandPolicy::AllowedWhileBusy;

std::vector<TCommandInfo> BuildTable()
{
    // Exclusive: everything that draws the plot, talks to the machine at
    // length or opens a window working on either.  Allowed while busy: job
    // control (the way to stop what runs), views and switches.
    std::vector<TCommandInfo> t = {
        {Id::OpenHpglFile, "DisplayHpglFileClick", X},
        {Id::Print, "Print1Click", X},
        {Id::PrintScaleToPageSize, "PrintScaleToPageSize1Click", X},
        {Id::DigitizeOrigin, "Digitizeoriginandsend1Click", X},
        {Id::DigitizeOriginSkewScale, "Digitizeoriginskewscaleandsendplot1Click", X},
        {Id::DrawFirstPolygon, "DrawFirstPolygon1Click", X},
        {Id::DrawNextPolygon, "DrawNextPolygon1Click", X},
        {Id::OpenCommPort, "OpenMenuClick", X},
        {Id::CloseCommPort, "CloseMenuClick", A},
        {Id::Exit, "Exit", A},
        {Id::Com1, "Com1MenuClick", A},
        {Id::Com2, "Com2MenuClick", A},
        {Id::Com3, "Com3MenuClick", A},
        {Id::Com4, "Com4MenuClick", A},
        {Id::Com5, "Com5MenuClick", A},
        {Id::Com6, "Com6MenuClick", A},
        {Id::Com7, "Com7MenuClick", A},
        {Id::Com8, "Com8menuClick", A},
        {Id::NoCommPort, "NoCommClick", A},
        {Id::LocalEcho, "LocalEchoMenuClick", A},
        {Id::TerminalMode, "TerminalModeMenuClick", A},
        {Id::Baud9600, "9600 baud", A},
        {Id::NoParity, "No Parity", A},
        {Id::DataBits8, "8 Data bits", A},
        {Id::StopBit1, "1 Stop bit", A},
        {Id::FontSize6, "FontSize6MenuClick", A},
        {Id::FontSize7, "FontSize7MenuClick", A},
        {Id::FontSize8, "FontSize8MenuClick", A},
        {Id::FontSize9, "FontSize9MenuClick", A},
        {Id::FontSize10, "FontSize10MenuClick", A},
        {Id::FontSize11, "FontSize11MenuClick", A},
        {Id::FontSize12, "FontSize12MenuClick", A},
        {Id::SeparateColors, "SeparateColors1Click", A},
        {Id::NoOutputDebugOn, "No Output Debug On", A},
        {Id::SamePointSearch, "SamePointSearch1Click", A},
        {Id::SerialDevices, "SerialDevicesMenuClick", X},
        {Id::TerminalView, "TerminalMenuClick", A},
        {Id::ImageView, "ImageFitToWindowMenuClick", A},
        {Id::ChartView, "ChartMenuClick", A},
        {Id::MachineSettings, "MainMenuMenuClick", X},
        {Id::JogPanel, "JoyStickMenuClick", X},
        {Id::Pause, "PauseMenuClick", A},
        {Id::Continue, "ContinueMenuClick", A},
        {Id::CancelJob, "CancelMenuClick", A},
        {Id::DigitizeLocation, "DigitizeLocationClick", X},
        {Id::DefaultCalibration, "DefaultCalibrationMenuClick", X},
        {Id::VelocityFeedbackSetup, "VelocityFeedbackSetupMenuClick", X},
        {Id::PauseSwitch, "PauseSwitchMenuClick", X},
        {Id::DefaultGains, "DefaultGainsMenuClick", X},
        {Id::MotorBalance, "MotorBalanceMenuClick", X},
        {Id::QueueOpenedPlot, "QueueOpenedImageAsJobMenuClick", X},
        {Id::ShowJobQueue, "DisplayJobQueueMenuClick", A},
        {Id::SendJob, "SendFileMenuClick", X},
        {Id::SendBorder, "SendBorderClick", X},
        {Id::PenParameters, "PenParameters1Click", X},
        {Id::Tuning, "TuningMenuClick", X},
        {Id::Calibrate, "CalibrateMenuClick", X},
        {Id::MotorPositionPlot, "MotorPositionPlotMenuClick", X},
        {Id::WritePlotData, "WritePlotDatatoExcelMenuClick", X},
        {Id::UploadFirmware, "UploadFirmwareMenuClick", X},
        {Id::About, "AboutMenuClick", A},
        {Id::EnableDebugLog, "EnableDebugLogMenuClick", A},
        {Id::EnableCharacterLog, "EnableCharacterLogMenuClick", A},
        {Id::ClearLog, "ClearLogMenuClick", A},
        {Id::DoStash, "DoStashMenuClick", A},
        {Id::DumpStash, "DumpStashMenuClick", X},
        {Id::PolygonFillDebug, "PolygonFillDebug1Click", A},
        // A key for the machine while a command talks to it would land in
        // the middle of its exchange (a job, a firmware transfer).
        {Id::TerminalKey, "MemoKeyPress", X},
        {Id::RenderForSize, "RerenderForSize", X},
        {Id::LoadKeyPoll, "TimerTimer", X},
        {Id::QueueRun, "RunButtonClick", X},
        {Id::QueueOutline, "OutlineButtonClick", X},
    };
    for (size_t i = 0; i < t.size(); ++i)
        if (static_cast<size_t>(t[i].Id) != i)
            throw std::logic_error("the command table is not in id order");
    if (t.size() != static_cast<size_t>(CommandCount))
        throw std::logic_error("the command table misses a command");
    return t;
}

} // namespace

const std::vector<TCommandInfo> &CommandTable()
{
    static const std::vector<TCommandInfo> table = BuildTable();
    return table;
}

const TCommandInfo &CommandInfo(TCommandId id)
{
    return CommandTable().at(static_cast<size_t>(id));
}

bool TCommandGate::Allows(TCommandId id) const
{
    return !Busy() || CommandInfo(id).Policy == TCommandPolicy::AllowedWhileBusy;
}

bool TCommandGate::Run(TCommandId id, const std::function<void()> &command)
{
    if (!Allows(id)) {
        if (OnRefused)
            OnRefused(id);
        return false;
    }
    Scope scope(*this, id);
    command();
    return true;
}

TCommandGate::Scope::Scope(TCommandGate &gate, TCommandId id) : gate_(gate)
{
    gate_.Enter(id);
}

TCommandGate::Scope::~Scope()
{
    gate_.Leave();
}

void TCommandGate::Enter(TCommandId id)
{
    running_.push_back(id);
    if (running_.size() == 1 && OnBusyChanged)
        OnBusyChanged(true);
}

void TCommandGate::Leave()
{
    running_.pop_back();
    if (!running_.empty())
        return;
    // Deferred work may start commands of its own; take the list first.
    auto work = std::move(deferred_);
    deferred_.clear();
    for (auto &w : work)
        if (w.second)
            w.second();
    if (running_.empty() && OnBusyChanged)
        OnBusyChanged(false);
}

void TCommandGate::WhenIdle(int key, std::function<void()> work)
{
    if (!Busy()) {
        if (work)
            work();
        return;
    }
    const auto it = std::find_if(deferred_.begin(), deferred_.end(), [key](const auto &w) { return w.first == key; });
    if (it != deferred_.end())
        it->second = std::move(work);
    else
        deferred_.emplace_back(key, std::move(work));
}

void TCommandGate::CancelWhenIdle(int key)
{
    std::erase_if(deferred_, [key](const auto &w) { return w.first == key; });
}

bool TCommandGate::Deferred(int key) const
{
    return std::any_of(deferred_.begin(), deferred_.end(), [key](const auto &w) { return w.first == key; });
}

} // namespace grittor
