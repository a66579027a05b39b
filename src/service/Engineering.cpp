#include "service/Engineering.h"

#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"
#include "foundation/Dialogs.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "foundation/UiHooks.h"
#include "foundation/utils.h"
#include "link/TSerial.h"
#include "operation/ChartView.h"
#include "operation/Forms.h"
#include "operation/MainForm.h"
#include "service/CaptureParser.h"
#include "service/CaptureStatistics.h"
#include "service/Memory.h"
#include "service/ReadAndDisplay.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QShortcut>
#include <QVBoxLayout>

namespace grittor {

namespace {

// Sets the link's reply timeout for a while and puts the old one back.
class TimeoutScope {
public:
    TimeoutScope(TSerial &link, int64_t ms) : link_(link), old_(link.ReplyTimeout()) { link_.set_timeout(ms); }
    ~TimeoutScope() { link_.set_timeout(old_); }
    TimeoutScope(const TimeoutScope &) = delete;
    TimeoutScope &operator=(const TimeoutScope &) = delete;

private:
    TSerial &link_;
    int64_t old_;
};

// The busy cursor while an exchange keeps the window waiting.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

QLineEdit *ReadOnlyField(QWidget *parent, const char *name)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus); // Tab goes to what can be typed into
    // Shown on the window's colour, so nobody tries to type into it.
    QPalette pal = e->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    e->setPalette(pal);
    return e;
}

} // namespace

TEngineeringFrm::TEngineeringFrm(QWidget *parent) : QDialog(parent)
{
    setObjectName("EngineeringFrm");
    setWindowTitle("Engineering Tuning Diagnostic");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    BuildFields();
    BuildMenu();
}

// ------------------------------------------------------------ the form ---

void TEngineeringFrm::BuildFields()
{
    auto *top = new QVBoxLayout(this);

    auto *motion = new QHBoxLayout;
    auto labelled = [&](const QString &caption, QLineEdit *edit, QHBoxLayout *row) {
        auto *l = new QLabel(caption, this);
        l->setBuddy(edit);
        row->addWidget(l);
        row->addWidget(edit);
        return l;
    };
    accel = new QLineEdit("4", this);
    accel->setObjectName("accel");
    vel = new QLineEdit("40", this);
    vel->setObjectName("vel");
    for (QLineEdit *e : {accel, vel})
        e->setMaximumWidth(80);
    labelled("&Acceleration", accel, motion);
    labelled("&Velocity", vel, motion);
    motion->addSpacing(16);
    axis = ReadOnlyField(this, "axis");
    axis->setText("x axis");
    axis->setMaximumWidth(80);
    motion->addWidget(axis);
    // Design-time fields nothing reads; kept hidden for the engineers who knew them.
    power = new QLineEdit("1", this);
    power->setObjectName("power");
    SetMaxY = new QLineEdit("10000", this);
    SetMaxY->setObjectName("SetMaxY");
    Edit1 = new QLineEdit("50", this);
    Edit1->setObjectName("Edit1");
    QLabel *powerLabel = labelled("Laser Power", power, motion);
    QLabel *maxLabel = labelled("Set Max Y", SetMaxY, motion);
    CenterLabel = labelled("Center", Edit1, motion);
    for (QWidget *w : std::initializer_list<QWidget *>{power, SetMaxY, Edit1, powerLabel, maxLabel, CenterLabel})
        w->hide();
    motion->addStretch(1);
    top->addLayout(motion);

    const auto &fields = TTuningTables::Fields();
    auto makeField = [&](int index, QGridLayout *grid, int row, int column) {
        const auto &f = fields[static_cast<size_t>(index)];
        auto *edit = new QLineEdit(this);
        edit->setObjectName(ToQ(f.Name));
        edit->setMinimumWidth(56);
        edit->setMaximumWidth(90);
        auto *label = new QLabel(ToQ(f.Label), this);
        label->setBuddy(edit);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(label, row, column * 2);
        grid->addWidget(edit, row, column * 2 + 1);
        TableFields[static_cast<size_t>(index)] = edit;
    };
    auto *tables = new QHBoxLayout;
    // Gains: v1-v12 | v13-v24 | p1-p12 | p13-p24 | p, vfb; each column is
    // filled top to bottom, so Tab follows the table's order.
    auto *gains = new QGroupBox("Ga&ins", this);
    gains->setObjectName("Gains");
    auto *gainGrid = new QGridLayout(gains);
    gainGrid->setHorizontalSpacing(6);
    gainGrid->setVerticalSpacing(2);
    for (int i = 0; i < TTuningTables::GainCount; ++i) {
        const int column = i < 48 ? i / 12 : 4;
        const int row = i < 48 ? i % 12 : i - 48;
        makeField(i, gainGrid, row, column);
    }
    tables->addWidget(gains);
    auto *periods = new QGroupBox("&Periods", this);
    periods->setObjectName("Periods");
    auto *periodGrid = new QGridLayout(periods);
    periodGrid->setHorizontalSpacing(6);
    periodGrid->setVerticalSpacing(2);
    for (int j = 0; j < TTuningTables::PeriodCount; ++j)
        makeField(TTuningTables::GainCount + j, periodGrid, j % 10, j / 10);
    periodGrid->setRowStretch(12, 1);
    tables->addWidget(periods, 0, Qt::AlignTop);
    tables->addStretch(1);
    top->addLayout(tables);

    behind = ReadOnlyField(this, "behind");
    behind->setPlaceholderText("begin line of the last test");
    scale = ReadOnlyField(this, "scale");
    scale->setPlaceholderText("statistics of the last test");
    top->addWidget(behind);
    top->addWidget(scale);
}

QAction *TEngineeringFrm::AddItem(QMenu *menu, const QString &caption, const char *handler,
                                  void (TEngineeringFrm::*fn)())
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(handler);
    connect(a, &QAction::triggered, this, [this, fn] { RunAsCommand([this, fn] { (this->*fn)(); }); });
    return a;
}

QAction *TEngineeringFrm::MenuItem(const char *handler) const
{
    return MainMenu->findChild<QAction *>(handler);
}

void TEngineeringFrm::BuildMenu()
{
    using F = TEngineeringFrm;
    MainMenu = new QMenuBar(this);
    layout()->setMenuBar(MainMenu);
    QMenu *start = MainMenu->addMenu("&Start");
    AddItem(start, "Closure total - read x error = cyan", "ClosureMenuClick", &F::ClosureMenuClick);
    AddItem(start, "Circle", "CircleMenuClick", &F::CircleMenuClick);
    AddItem(start, "Diamond", "DiamondMenuClick", &F::DiamondMenuClick);
    AddItem(start, "Empty Buffer", "EmptyBufferMenuClick", &F::EmptyBufferMenuClick);
    QMenu *position = start->addMenu("Position Error");
    AddItem(position, "up left", "upleftPEMenuClick", &F::upleftPEMenuClick);
    AddItem(position, "up right", "uprightPEMenuClick", &F::uprightPEMenuClick);
    AddItem(position, "down right", "downrightPEMenuClick", &F::downrightPEMenuClick);
    AddItem(position, "down left", "downleftPEMenuClick", &F::downleftPEMenuClick);
    AddItem(start, "Set Default gains", "SetDefaultgainsMenuClick", &F::SetDefaultgainsMenuClick);
    AddItem(start, "Set dac to max", "SetdactomaxMenuClick", &F::SetdactomaxMenuClick);
    QMenu *velocity = start->addMenu("Velocity Error");
    AddItem(velocity, "Up Left", "UpLeftVMenuClick", &F::UpLeftVMenuClick);
    AddItem(velocity, "Up Right", "UpRightVMenuClick", &F::UpRightVMenuClick);
    AddItem(velocity, "Down Right", "DownRightVMenuClick", &F::DownRightVMenuClick);
    AddItem(velocity, "Down Left", "DownLeftVMenuClick", &F::DownLeftVMenuClick);
    AddItem(start, "xshoot", "xshootMenuClick", &F::xshootMenuClick);
    AddItem(start, "yshoot", "yshootMenuClick", &F::yshootMenuClick);
    start->addSeparator();
    AddItem(start, "Start Engineering Diagnostic", "EngineeringDiagnosticMenuClick",
            &F::EngineeringDiagnosticMenuClick);
    AddItem(start, "Stop Diagnostic", "StopDiagnosticMenuClick", &F::StopDiagnosticMenuClick);
    start->addSeparator();
    QAction *bits =
        AddItem(start, "Read and display bit file", "Readanddisplaybitfile1Click", &F::Readanddisplaybitfile1Click);
    bits->setVisible(false);
    // A hidden item's own shortcut never fires; the window's does.
    connect(new QShortcut(QKeySequence("Ctrl+Alt+B"), this), &QShortcut::activated, bits, &QAction::trigger);
    AddItem(start, "Memory Dump", "MemoryDumpMenuClick", &F::MemoryDumpMenuClick);

    QMenu *axisMenu = MainMenu->addMenu("A&xis Select");
    AddItem(axisMenu, "x", "xMenuClick", &F::xMenuClick);
    AddItem(axisMenu, "y", "yMenuClick", &F::yMenuClick);

    QMenu *gains = MainMenu->addMenu("&Gains");
    AddItem(gains, "Get gains and Periods", "GetMenuClick", &F::GetMenuClick);
    AddItem(gains, "Send Gains", "sendGainsMenuClick", &F::sendGainsMenuClick);
    AddItem(gains, "Send Periods", "SendPeriodsMenuClick", &F::SendPeriodsMenuClick);
    AddItem(gains, "Save to eerom", "SavetoeeromMenuClick", &F::SavetoeeromMenuClick);
    AddItem(gains, "Toggle High Gain", "ToggleHighGainMenuClick", &F::ToggleHighGainMenuClick);
}

void TEngineeringFrm::RunAsCommand(const std::function<void()> &handler)
{
    TMainFrm *m = MainFrm();
    if (!m) {
        handler();
        return;
    }
    if (!m->Gate().Run(TCommandId::Tuning, handler))
        ShowMessage("Busy: let the current work finish first");
}

void TEngineeringFrm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (firstShow_) {
        firstShow_ = false;
        if (TMainFrm *m = MainFrm())
            m->EnsureLink();
    }
    TerminalMode(false);
}

// -------------------------------------------------------------- helpers ---

TSerial *TEngineeringFrm::Link()
{
    TMainFrm *m = MainFrm();
    if (!m)
        return nullptr;
    m->EnsureLink();
    // A new command: a job cancelled earlier no longer stops exchanges.
    GetAbortFlags().Cancelled = false;
    return m->Serial();
}

void TEngineeringFrm::TerminalMode(bool on)
{
    if (TMainFrm *m = MainFrm())
        m->SetTerminalMode(on);
}

void TEngineeringFrm::Pause(int ms)
{
    Clock &clock = GetClock();
    const int64_t end = clock.NowMs() + ms;
    while (clock.NowMs() < end && !GetAbortFlags().Any()) {
        ProcessMessages();
        clock.SleepMs(static_cast<int>(std::min<int64_t>(10, end - clock.NowMs())));
    }
}

void TEngineeringFrm::WaitUntilSettled(TSerial &link)
{
    Clock &clock = GetClock();
    const AbortFlags &flags = GetAbortFlags();
    while (!link.output_empty() && link.port_open() && !flags.Any()) {
        ProcessMessages();
        clock.SleepMs(1);
    }
    int64_t quietSince = clock.NowMs();
    while (clock.NowMs() - quietSince < timings_.QuietMs && !flags.Any()) {
        if (!link.input_empty())
            quietSince = clock.NowMs();
        ProcessMessages();
        clock.SleepMs(1);
    }
}

// ------------------------------------------------------ the diagnostic ---

void TEngineeringFrm::EngineeringDiagnosticMenuClick()
{
    LogEntry("EngineeringDiagnosticMenuClick");
    TerminalMode(true); // the monitor's greeting shows in the terminal
    TSerial *link = Link();
    if (!link)
        return;
    BusyCursor busy;
    link->set_timeout(timings_.DiagnosticTimeoutMs);
    link->send_string("\x1b.cdiag_run;19:");
    WaitUntilSettled(*link);
    Pause(timings_.EscapePauseMs);
    link->send_string("\x1b");
    WaitUntilSettled(*link);
    TerminalMode(false);
}

void TEngineeringFrm::StopDiagnosticMenuClick()
{
    LogEntry("StopDiagnosticMenuClick");
    TerminalMode(false);
    if (TSerial *link = Link())
        link->send_string(std::string("S\x03 S 23 ", 8));
}

void TEngineeringFrm::ToggleHighGainMenuClick()
{
    LogEntry("ToggleHighGainMenuClick");
    TerminalMode(false);
    if (TSerial *link = Link())
        link->send_string("S 36 ");
}

void TEngineeringFrm::EmptyBufferMenuClick()
{
    LogEntry("EmptyBufferMenuClick");
    TerminalMode(false);
    TSerial *link = Link();
    if (!link)
        return;
    BusyCursor busy;
    // Each read waits no longer than the quiet time it is looking for.
    TimeoutScope timeout(*link, timings_.EmptyBufferQuietMs);
    Clock &clock = GetClock();
    int64_t lastLine = clock.NowMs();
    std::string line;
    while (!GetAbortFlags().Any() && clock.NowMs() - lastLine < timings_.EmptyBufferQuietMs) {
        link->read_reply(100, line);
        if (!line.empty())
            lastLine = clock.NowMs();
    }
}

void TEngineeringFrm::Readanddisplaybitfile1Click()
{
    LogEntry("Readanddisplaybitfile1Click");
    if (TReadAndDisplayForm *f = Forms().ReadAndDisplay) {
        f->show();
        f->raise();
        f->activateWindow();
    }
}

void TEngineeringFrm::MemoryDumpMenuClick()
{
    LogEntry("MemoryDumpMenuClick");
    if (TMemoryForm *f = Forms().Memory) {
        f->show();
        f->raise();
        f->activateWindow();
    }
}

// ------------------------------------------------------------ the tables ---

void TEngineeringFrm::SelectAxis(int tag, const char *text)
{
    TerminalMode(false);
    axisTag_ = tag;
    axis->setText(text);
    GetMenuClick();
}

void TEngineeringFrm::xMenuClick()
{
    LogEntry("xMenuClick");
    SelectAxis(6, "x axis");
}

void TEngineeringFrm::yMenuClick()
{
    LogEntry("yMenuClick");
    SelectAxis(7, "y axis");
}

void TEngineeringFrm::GetMenuClick()
{
    LogEntry("GetMenuClick");
    TSerial *link = Link();
    if (!link)
        return;
    BusyCursor busy;
    link->set_timeout(timings_.TableTimeoutMs);
    TerminalMode(false);
    std::string reply;
    link->query(TTuningTables::ReadCommand(axisTag_), 5000, reply);
    if (reply.empty())
        link->read_reply(5000, reply);
    if (reply.empty()) {
        // Nothing came: what the fields hold stays, and the engineer is told.
        behind->setText("No answer to " + ToQ(TTuningTables::ReadCommand(axisTag_)));
    } else {
        TTuningTables tables;
        tables.Fill(reply);
        for (int i = 0; i < TTuningTables::FieldCount; ++i)
            TableFields[static_cast<size_t>(i)]->setText(ToQ(tables.Text(i)));
    }
    std::string rest;
    link->read_reply(5000, rest);
}

TTuningTables TEngineeringFrm::TablesFromFields() const
{
    TTuningTables tables;
    for (int i = 0; i < TTuningTables::FieldCount; ++i)
        tables.SetText(i, FromQ(TableFields[static_cast<size_t>(i)]->text()));
    return tables;
}

void TEngineeringFrm::SendThenReload(const std::string &command)
{
    TSerial *link = Link();
    if (!link)
        return;
    link->send_string(command);
    Clock &clock = GetClock();
    while (!link->output_empty() && link->port_open() && !GetAbortFlags().Any()) {
        ProcessMessages();
        clock.SleepMs(1);
    }
    Pause(timings_.SendPauseMs);
    GetMenuClick();
}

void TEngineeringFrm::SendTable(TTuningTables::Table table)
{
    TerminalMode(false);
    const TTuningTables tables = TablesFromFields();
    if (const auto invalid = tables.Invalid(table)) {
        ShowMessage(*invalid);
        QLineEdit *field = TableFields[static_cast<size_t>(*tables.FirstInvalid(table))];
        field->setFocus();
        field->selectAll();
        return;
    }
    SendThenReload(tables.SendCommand(table, axisTag_));
}

void TEngineeringFrm::sendGainsMenuClick()
{
    LogEntry("sendGainsMenuClick");
    SendTable(TTuningTables::Table::Gains);
}

void TEngineeringFrm::SendPeriodsMenuClick()
{
    LogEntry("SendPeriodsMenuClick");
    SendTable(TTuningTables::Table::Periods);
}

void TEngineeringFrm::SavetoeeromMenuClick()
{
    LogEntry("SavetoeeromMenuClick");
    TerminalMode(false);
    SendThenReload("S 8 " + std::to_string(axisTag_) + " ");
}

void TEngineeringFrm::SetDefaultgainsMenuClick()
{
    LogEntry("SetDefaultgainsMenuClick");
    TerminalMode(false);
    SendThenReload("S 19 " + std::to_string(axisTag_) + " ");
}

// -------------------------------------------------------- motion tests ---

void TEngineeringFrm::xshootMenuClick()
{
    LogEntry("xshootMenuClick");
    MotionTest(0);
}
void TEngineeringFrm::yshootMenuClick()
{
    LogEntry("yshootMenuClick");
    MotionTest(1);
}
void TEngineeringFrm::CircleMenuClick()
{
    LogEntry("CircleMenuClick");
    MotionTest(18);
}
void TEngineeringFrm::DiamondMenuClick()
{
    LogEntry("DiamondMenuClick");
    MotionTest(22);
}
void TEngineeringFrm::ClosureMenuClick()
{
    LogEntry("ClosureMenuClick");
    MotionTest(24);
}
void TEngineeringFrm::upleftPEMenuClick()
{
    LogEntry("upleftPEMenuClick");
    MotionTest(25);
}
void TEngineeringFrm::uprightPEMenuClick()
{
    LogEntry("uprightPEMenuClick");
    MotionTest(26);
}
void TEngineeringFrm::downrightPEMenuClick()
{
    LogEntry("downrightPEMenuClick");
    MotionTest(27);
}
void TEngineeringFrm::downleftPEMenuClick()
{
    LogEntry("downleftPEMenuClick");
    MotionTest(28);
}
void TEngineeringFrm::UpLeftVMenuClick()
{
    LogEntry("UpLeftVMenuClick");
    MotionTest(29);
}
void TEngineeringFrm::UpRightVMenuClick()
{
    LogEntry("UpRightVMenuClick");
    MotionTest(30);
}
void TEngineeringFrm::DownRightVMenuClick()
{
    LogEntry("DownRightVMenuClick");
    MotionTest(31);
}
void TEngineeringFrm::DownLeftVMenuClick()
{
    LogEntry("DownLeftVMenuClick");
    MotionTest(32);
}
void TEngineeringFrm::SetdactomaxMenuClick()
{
    LogEntry("SetdactomaxMenuClick");
    MotionTest(33, true);
}

void TEngineeringFrm::MotionTest(int number, bool withAxis)
{
    TerminalMode(false);
    TSerial *link = Link();
    if (!link)
        return;
    std::string command =
        "S " + std::to_string(number) + " " + Trim(FromQ(accel->text())) + " " + Trim(FromQ(vel->text())) + " ";
    if (withAxis)
        command += std::to_string(axisTag_) + " ";
    link->send_string(command);
    Capture(*link);
}

void TEngineeringFrm::Capture(TSerial &link)
{
    TMainFrm *m = MainFrm();
    if (!m)
        return;
    TChartView *chart = m->chart;
    chart->ShowLinesOnly();
    m->ChartMenuClick();
    BusyCursor busy;

    // A read waits no longer than the silence that ends the capture.
    TimeoutScope timeout(link, timings_.CaptureSilenceMs);
    Clock &clock = GetClock();
    const AbortFlags &flags = GetAbortFlags();
    TCaptureParser parser;
    int64_t lastLine = clock.NowMs();
    std::string line;
    while (!parser.Finished()) {
        if (flags.Any())
            return;
        link.read_reply(100, line);
        if (line.empty()) {
            if (clock.NowMs() - lastLine >= timings_.CaptureSilenceMs) {
                ShowMessage(parser.Started() ? "No eof seen.  Try again" : "No begin seen.  Try again");
                return;
            }
            clock.SleepMs(1);
            continue;
        }
        lastLine = clock.NowMs();
        const TCaptureParser::Result r = parser.Feed(line);
        if (r == TCaptureParser::Result::Ignored || r == TCaptureParser::Result::Begin)
            behind->setText(ToQ(parser.Behind()));
    }

    const TCaptureStatistics stats(parser.Pairs());
    behind->setText(ToQ(parser.Behind()));
    scale->setText(ToQ(stats.Text()));
    chart->SetTitleLines(scale->text(), behind->text());
    const auto series = TCaptureStatistics::SplitSeries(parser.Pairs());
    for (int i = 0; i < TChartView::LineCount; ++i) {
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(series[static_cast<size_t>(i)].size()));
        for (const TCapturePair &p : series[static_cast<size_t>(i)])
            points.append(QPointF(p.x, p.y));
        chart->SetLine(i, points);
    }
    chart->FitToData();
    chart->viewport()->update();
    ProcessMessages();
}

} // namespace grittor
