// The main window: owner of the serial link, the terminal, the open plot and
// the job context; its menu places the plot, port, terminal and log
// commands, and the Machine, Job and Service menus hold the rest.
#pragma once

#include "foundation/option.h"
#include "foundation/utils.h"
#include "geometry/Placement.h"
#include "hpgl/CanvasSink.h"
#include "operation/JobRun.h"
#include "operation/QueueList.h"
#include "operation/CommandGate.h"
#include "operation/TerminalScreen.h"

#include <QMainWindow>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QAction;
class QChart;
class QChartView;
class QKeyEvent;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QScrollArea;
class QTimer;
class QLineSeries;
class QScatterSeries;
class QPrinter;

namespace grittor {

class TBlastJob;
class THpglFile;
class TLibraryStore;
class TPlotSink;
class TSerial;
class PlotImageView;
class TChartView;
class THpglFile;

// The window title of an open plot: its name, its size in inches (or that
// it draws nothing), its instruction count, and where its reading stopped
// when it did not reach the end.
std::string PlotTitle(const std::string &name, const THpglFile &plot);
// " - reading stopped at byte N of M (why), the rest is missing", or "".
std::string ReadStopNotice(const THpglFile &plot);

class TMainFrm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainFrm(TLibraryStore &materials, QWidget *parent = nullptr);
    ~TMainFrm() override;

    // ---- terminal
    // The one way text enters the terminal; also copies every line into the
    // debug log.  Safe to call from the interface thread only.
    void AddTerminalLine(const std::string &text, bool addTimestamp);
    void ReportOutput(const std::string &text, bool toTerminal);
    void SetTerminalMode(bool on);
    void DrainSerialLines();
    void TerminalRefresh();
    // A key typed into the terminal (one byte).
    void MemoKeyPress(char key);

    // ---- start-up and shut-down
    void FormCreate();
    void FormActivate();
    void FormClose();

    // ---- port
    void OpenMenuClick();
    void CloseMenuClick();
    // Opens the port when there is no link (commands that need the machine).
    void EnsureLink();
    void SelectPort(const std::string &port); // "com1".."com8" or "none"
    void PortMenuClick(const std::string &port); // the operator's choice, kept in the settings
    // A port the command line asks for: used in this run, not stored.
    void SelectPortForThisRun(const std::string &port);
    void UploadFirmwareMenuClick();
    // Setup > Serial Devices: binds com ports to devices.
    void SerialDevicesMenuClick();
    // Runs with the link just before the window destroys it (the jog panel
    // stops a slew still running on it).
    void AddLinkClosingHook(std::function<void(TSerial &)> hook);
    void SendDiagnostic(const char *logName, const std::string &command);

    // ---- views, fonts, switches
    void TerminalMenuClick();
    void ChartMenuClick();
    void ImageFitToWindowMenuClick();
    void ApplyFontSize(int points);
    void LocalEchoMenuClick();
    void TerminalModeMenuClick();
    void EnableDebugLogMenuClick();
    void EnableCharacterLogMenuClick();
    void ClearLogMenuClick();

    // ---- plot
    void DisplayHpglFileClick();
    // Opens a chosen plot: remembers it for the next open dialog, reads and
    // shows it, writes the segment dump; failures are reported, never raised.
    void OpenPlotFile(const std::string &fileName);
    // Destroys the open plot, reads `file`, and collects its outlines during
    // the first rendering.
    void LoadAndDisplay(std::string file); // by value: callers pass plotFileName_, which it clears
    // Writes the segment dump ("HpglOutput before combine.xls") of the open
    // plot on a thread of its own, after the one before has finished.
    void StartSegmentDump(const std::string &fileName);
    // Returns when the last segment dump is written.
    void WaitSegmentDump();
    // Draws the plot into the picture at its size; `also` (may be null)
    // receives the points too.
    // `share`: what a second core draws of the picture (CanvasSink.h).
    void RenderImage(TPlotSink *also, const TSecondCoreShare &share = {});
    // Draws the plot again at the picture's new size.
    void RerenderForSize();
    void DrawFirstPolygon1Click();
    void DrawNextPolygon1Click();
    std::string DrawNextOutline();
    void Print1Click();
    void PrintScaleToPageSize1Click();
    // Prints onto `printer` (already set up); fit to page or true size.
    // Returns the viewport the plot was printed with.
    TViewport PrintImage(QPrinter &printer, bool fit);
    void DrawStartMarker();
    void DrawPositionArrow(const TExtendedPoint &position, long double direction, uint32_t color);

    // ---- service: tuning, the motor chart and its file, the event stash
    void TuningMenuClick();
    void MotorPositionPlotMenuClick();
    void WritePlotDatatoExcelMenuClick();
    void DoStashMenuClick();
    void DumpStashMenuClick();

    // ---- machine commands placed in the Machine menu
    void MainMenuMenuClick();
    void JoyStickMenuClick();
    void PauseMenuClick();
    void ContinueMenuClick();
    void CancelMenuClick();
    void PenParametersClick();

    // ---- digitizing and sending (MainFormJob.cpp)
    void Digitizeoriginandsend1Click();
    void Digitizeoriginskewscaleandsendplot1Click();
    // The start of the load-key sequence; the timer takes the points.
    void DigitizeLocationClick();
    // The job of the job context: position, speeds, job text, wait.
    void SendFileMenuClick();
    // The border outline of the job context, once; no wait.
    void SendBorderClick();
    void CalibrateMenuClick();
    // ---- the timer and the load-key sequence (MainFormTimer.cpp)
    // One 100 ms tick: a load-key poll every fifth tick while a sequence
    // runs, and the terminal refresh.
    void TimerTimer();
    // One poll round of the load-key sequence.
    void PollLoadKey();
    // The message window's Cancel: the sequence ends, "DC;" is sent.
    void CancelLoadKeyClick();
    // ---- the job queue (MainFormQueue.cpp)
    void QueueOpenedImageAsJobMenuClick();
    void DisplayJobQueueMenuClick();
    // Exchanges the job context (plot, outlines, record, border group,
    // digitized flag, selected material) with `other`: the queue puts a
    // job's in for its send and takes it back after.
    void SwapJobContext(TJobContext &other);
    // Sets OpenCancelled: the digitize commands stop between pen groups.
    void CancelOpenMenuClick();
    // The placed texts of the digitize commands, or none (said in a message)
    // when a coordinate the machine cannot take would be in them.
    std::vector<std::string> SendablePlacedTexts(const TPlacement &placement);
    // The alignment of a placement, in the status bar and the debug log;
    // when a residual is above the limit, asks whether to send anyway.
    // False when the placement cannot be used or the operator says No.
    bool ConfirmPlacement(const TPlacement &placement);
    // A digitized placement, once confirmed: kept as the record, then every
    // pen group placed by it goes to the machine.
    void SendDigitized(const TPlacement &placement);
    // The result of the last send (tests, the status bar).
    const TJobResult &LastJobResult() const { return lastJob_; }
    // Before a send whose result the caller reads: a send that ends before
    // it reports anything must not leave an earlier result standing.
    void ForgetLastJobResult() { lastJob_ = TJobResult{TJobOutcome::Refused, 0, 0, "not sent"}; }

    // ---- state read by the other parts of the program
    THpglFile *Plot() const { return plot_.get(); }
    // The open plot's outlines and blast paths (nullptr without a plot).
    TBlastJob *Job() const { return job_.get(); }
    // The picture's viewport of the last rendering, and where it ended.
    const TViewport &PictureViewport() const { return viewport_; }
    bool MarkerDrawn() const { return markerDrawn_; }
    int OutlineIndex() const { return outlineIndex_; }
    TSerial *Serial() const { return serial_.get(); }
    int PolygonStep() const { return polygonStep_; }
    bool TerminalMode() const { return terminalMode_; }
    std::vector<std::string> TerminalLinesCopy() const { return screen_.Lines(); }
    // The terminal's lines and cursor (the receive thread feeds it too).
    TTerminalScreen &Screen() { return screen_; }
    std::string PlotFileName() const { return plotFileName_; }

    // The job context (used by the digitize, job and queue commands):
    // the digitized record with the road it came by, the border group.
    TPlacement DigitizedRecord;
    int BorderGroupIndex = -1;
    bool DigitizedFlag = false;
    bool OpenCancelled = false;
    // The load-key sequence: 0 idle; 1, 2 waiting for the reference point;
    // 3, 4 for the skew point.
    int DigitizeState = 0;
    int TickCount = 0;

    // Controls, by the names the rest of the program uses.
    QPlainTextEdit *Memo = nullptr;
    QScrollArea *ScrollBox = nullptr;
    PlotImageView *Image = nullptr;
    TChartView *chart = nullptr;
    QLabel *StatusBarPanel = nullptr;
    QTimer *Timer = nullptr;
    std::vector<QLineSeries *> LineSeries;       // "X motor", "Y Motor", "Ideal 3 ms", "Ideal 2 ms"
    std::vector<QScatterSeries *> PointSeries;   // "Reference", "Motor"

    // ---- commands
    // The menu item of a command (nullptr for commands without one).
    QAction *Action(TCommandId id) const { return actions_[static_cast<size_t>(id)]; }
    // Runs a command as its menu item or shortcut does: through the command
    // gate, which refuses an exclusive command while another one runs.
    // True when it ran.
    bool TriggerCommand(TCommandId id);
    TCommandGate &Gate() { return gate_; }
    // Whether a command makes sense now (Print without a plot does not);
    // the gate disables exclusive commands on top of this while busy.
    void SetCommandAvailable(TCommandId id, bool available);
    void SetStatusText(const QString &text);

    // Printing and the open dialog go through these so tests can script
    // them: return false when the operator cancels.
    static std::function<bool(QPrinter &printer, QWidget *parent)> PrintDialogRunner;

protected:
    void closeEvent(QCloseEvent *e) override;
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildMenus();
    void BuildViews();
    // A menu item for command `id` (its handler is the command's).
    QAction *AddItem(QMenu *menu, const QString &caption, TCommandId id, std::function<void()> handler,
                     const QKeySequence &shortcut = QKeySequence());
    // A command without a menu item.
    void AddCommand(TCommandId id, std::function<void()> handler);
    void UpdateCommandStates();
    void DestroySerial();
    // A key typed into the terminal that a command of the window owns (or
    // an Alt combination, which opens the menus): never sent to the machine.
    bool KeyBelongsToWindow(const QKeyEvent &key) const;
    void ShowPlotViews();
    void UpdatePlotCommands();
    void PrintWithDialog(bool fit);

    TCommandGate gate_;
    std::array<QAction *, CommandCount> actions_{};
    std::array<std::function<void()>, CommandCount> handlers_;
    std::array<bool, CommandCount> available_;
    QTimer *resizeTimer_ = nullptr;

    TLibraryStore &materials_;
    std::unique_ptr<TSerial> serial_;
    std::unique_ptr<THpglFile> plot_;
    std::unique_ptr<TBlastJob> job_;
    // The segment dump of the last plot opened, written beside the window.
    std::thread segmentDump_;
    std::string plotFileName_;
    TPenColors penColors_{};
    TJobResult lastJob_;
    // Reads an "oc" answer into `at`; false (after the message) when it is
    // not two whole numbers.
    bool ParseOcAnswer(const std::string &answer, TExtendedPoint &at);
    void ShowTargetPicture();
    void HideTargetPicture();
    void ShowJobResult(const char *routine, const TJobResult &result);
    // Waits `ms` letting the window messages run (the cancel and
    // calibration pauses).
    void WaitWithMessages(int ms);
    class TJobProgressForm *jobProgress_ = nullptr;
    TViewport viewport_;
    TExtendedPoint renderEnd_;
    bool markerDrawn_ = false;
    int outlineIndex_ = 0;
    int polygonStep_ = 0;
    TTerminalScreen screen_{50};
    bool charLogLineOpen_ = false;
    bool terminalMode_ = false;
    bool firstActivate_ = true;
    int fontSize_ = 8;

    std::vector<QAction *> portItems_; // com1..com8, then "No Comm Port"
    std::string runOnlyPort_, storedPort_;
    std::vector<QAction *> fontItems_; // 6..12
    std::vector<std::function<void(TSerial &)>> linkClosingHooks_;
};

// What a long wait for the machine shows in the window: every fifth silent
// round, its text in the exception report window.
TWaitEvents WindowWaitEvents();

// The main window of the program (nullptr before it exists).
TMainFrm *MainFrm();

} // namespace grittor
