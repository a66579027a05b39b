// The command gate of the main window.  Long commands (opening or printing a
// plot, digitizing, sending a job, a queue run, service work) run nested
// event loops, so the operator can reach the menus while one of them runs.
// Every command therefore enters through the gate with its id: an exclusive
// command is refused while another command is running; the commands that
// must stay at hand (pause, continue, cancel, the views and switches) always
// run.  The gate also keeps the work that has to wait until no command runs
// (closing the serial link the running command is using).
//
// The gate is plain C++: the window binds its two events (busy changed, a
// command refused) to the menus and the status bar.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace grittor {

enum class TCommandId : uint8_t {
    // Action
    OpenHpglFile,
    Print,
    PrintScaleToPageSize,
    DigitizeOrigin,
    DigitizeOriginSkewScale,
    DrawFirstPolygon,
    DrawNextPolygon,
    OpenCommPort,
    CloseCommPort,
    Exit,
    // Setup
    Com1,
    Com2,
    Com3,
    Com4,
    Com5,
    Com6,
    Com7,
    Com8,
    NoCommPort,
    LocalEcho,
    TerminalMode,
    Baud9600,
    NoParity,
    DataBits8,
    StopBit1,
    FontSize6,
    FontSize7,
    FontSize8,
    FontSize9,
    FontSize10,
    FontSize11,
    FontSize12,
    SeparateColors,
    NoOutputDebugOn,
    SamePointSearch,
    SerialDevices,
    // Window
    TerminalView,
    ImageView,
    ChartView,
    // Machine
    MachineSettings,
    JogPanel,
    Pause,
    Continue,
    CancelJob,
    DigitizeLocation,
    DefaultCalibration,
    VelocityFeedbackSetup,
    PauseSwitch,
    DefaultGains,
    MotorBalance,
    // Job
    QueueOpenedPlot,
    ShowJobQueue,
    SendJob,
    SendBorder,
    PenParameters,
    // Service
    Tuning,
    Calibrate,
    MotorPositionPlot,
    WritePlotData,
    UploadFirmware,
    // Help
    About,
    EnableDebugLog,
    EnableCharacterLog,
    ClearLog,
    DoStash,
    DumpStash,
    PolygonFillDebug,
    // Not in a menu
    TerminalKey,   // a key typed into the terminal goes to the machine
    RenderForSize, // the picture drawn anew after the window was resized
    LoadKeyPoll,   // a round of the load-key sequence (the timer)
    QueueRun,      // the job queue's Run Jobs and Run from Selected
    QueueOutline,  // the job queue's Outline Jobs
    Count_
};

enum class TCommandPolicy : uint8_t {
    Exclusive,        // refused while another command runs
    AllowedWhileBusy, // always runs (job control, views, switches)
};

struct TCommandInfo {
    TCommandId Id;
    const char *Name; // handler name, for the log and test messages
    TCommandPolicy Policy;
};

// Every command, in id order.
const std::vector<TCommandInfo> &CommandTable();
const TCommandInfo &CommandInfo(TCommandId id);
constexpr int CommandCount = static_cast<int>(TCommandId::Count_);

class TCommandGate {
public:
    // Runs `command` as `id` unless its policy refuses it now; true when it
    // ran.  A refused command calls OnRefused and nothing else.
    bool Run(TCommandId id, const std::function<void()> &command);
    // Whether `id` would run now.
    bool Allows(TCommandId id) const;
    // A command is running (its handler has not returned yet).
    bool Busy() const { return !running_.empty(); }
    // The outermost running command.
    TCommandId Running() const { return running_.empty() ? TCommandId::Count_ : running_.front(); }

    // Marks work as a running command for its lifetime, without the policy
    // check (for work that is not started by the operator, such as the
    // drawing after a resize, which its caller skips while busy).
    class Scope {
    public:
        Scope(TCommandGate &gate, TCommandId id);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        TCommandGate &gate_;
    };

    // Runs `work` now when no command runs, else as soon as the last one
    // returns.  Work deferred twice under the same key runs once.
    void WhenIdle(int key, std::function<void()> work);
    // Drops deferred work of that key (it became pointless).
    void CancelWhenIdle(int key);
    bool Deferred(int key) const;

    // Bound by the window: the busy state changed (menus enable and
    // disable), a command was refused (a word in the status bar).
    std::function<void(bool busy)> OnBusyChanged;
    std::function<void(TCommandId refused)> OnRefused;

private:
    void Enter(TCommandId id);
    void Leave();

    std::vector<TCommandId> running_;
    std::vector<std::pair<int, std::function<void()>>> deferred_;
};

// The key of the deferred closing of the serial link.
constexpr int DeferredLinkClose = 1;

} // namespace grittor
