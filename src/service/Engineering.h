// Servo tuning: the engineer's window onto the machine's engineering
// monitor.  It starts and stops the monitor, reads, edits, sends and saves
// the gain and period tables of one axis, and runs the motion tests whose
// captured motor data goes onto the main window's chart.
//
// The window always uses the link the main window holds at that moment (a
// reopened port replaces it), and its exchanges run as a command of the main
// window, so nothing closes the link under them.
#pragma once

#include "service/TuningTables.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

class QAction;
class QLabel;
class QLineEdit;
class QMenuBar;

namespace grittor {

class TSerial;

class TEngineeringFrm : public QDialog {
    Q_OBJECT
public:
    explicit TEngineeringFrm(QWidget *parent = nullptr);

    // How long the exchanges wait.  Tests shorten them.
    struct Timings {
        int64_t DiagnosticTimeoutMs = 10 * 60000 + 30000; // reply timeout while the monitor starts
        int QuietMs = 1000;                               // the monitor is ready once the line was quiet this long
        int EscapePauseMs = 500;                          // before the ESC that wakes the monitor
        int64_t TableTimeoutMs = 2000;                    // reply timeout of the table exchanges
        int SendPauseMs = 100;                            // after sending a table, before reading it back
        int CaptureSilenceMs = 4000;                      // a motion test gives up after this long without a line
        int EmptyBufferQuietMs = 1000;                    // "Empty Buffer" stops after this long without a line
    };
    void SetTimings(const Timings &timings) { timings_ = timings; }
    const Timings &GetTimings() const { return timings_; }

    // ---- controls, by the names the machine's engineers know
    QLineEdit *accel = nullptr;
    QLineEdit *vel = nullptr;
    QLineEdit *axis = nullptr;
    QLineEdit *behind = nullptr;
    QLineEdit *scale = nullptr;
    QLineEdit *power = nullptr;    // hidden
    QLineEdit *SetMaxY = nullptr;  // hidden
    QLineEdit *Edit1 = nullptr;    // hidden
    QLabel *CenterLabel = nullptr; // hidden
    // The 69 table fields: the 50 gains, then the 19 periods.
    std::array<QLineEdit *, TTuningTables::FieldCount> TableFields{};
    QMenuBar *MainMenu = nullptr;
    // The menu item of a handler, by its name ("CircleMenuClick").
    QAction *MenuItem(const char *handler) const;
    // The axis number sent to the machine: 6 for x, 7 for y.
    int AxisTag() const { return axisTag_; }

    // ---- menu handlers (the menu runs them as a main-window command)
    void ClosureMenuClick();
    void CircleMenuClick();
    void DiamondMenuClick();
    void EmptyBufferMenuClick();
    void upleftPEMenuClick();
    void uprightPEMenuClick();
    void downrightPEMenuClick();
    void downleftPEMenuClick();
    void SetDefaultgainsMenuClick();
    void SetdactomaxMenuClick();
    void UpLeftVMenuClick();
    void UpRightVMenuClick();
    void DownRightVMenuClick();
    void DownLeftVMenuClick();
    void xshootMenuClick();
    void yshootMenuClick();
    void EngineeringDiagnosticMenuClick();
    void StopDiagnosticMenuClick();
    void Readanddisplaybitfile1Click();
    void MemoryDumpMenuClick();
    void xMenuClick();
    void yMenuClick();
    void GetMenuClick();
    void sendGainsMenuClick();
    void SendPeriodsMenuClick();
    void SavetoeeromMenuClick();
    void ToggleHighGainMenuClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void BuildMenu();
    void BuildFields();
    QAction *AddItem(QMenu *menu, const QString &caption, const char *handler, void (TEngineeringFrm::*fn)());
    // Runs a handler as a command of the main window (refused while another runs).
    void RunAsCommand(const std::function<void()> &handler);

    // The main window's link now (opening the port when there is none).
    TSerial *Link();
    void TerminalMode(bool on);
    void SelectAxis(int tag, const char *text);
    // "S n A V " (and the axis for the DAC test), then the capture.
    void MotionTest(int number, bool withAxis = false);
    void Capture(TSerial &link);
    // Sends a table, a save or the defaults raw, then reads the tables back.
    void SendThenReload(const std::string &command);
    void SendTable(TTuningTables::Table table);
    TTuningTables TablesFromFields() const;
    // The monitor's start: the output gone, then the line quiet for QuietMs.
    void WaitUntilSettled(TSerial &link);
    void Pause(int ms);

    Timings timings_;
    int axisTag_ = 6;
    bool firstShow_ = true;
};

} // namespace grittor
