#include "operation/MainForm.h"

#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"
#include "foundation/ExceptionReportForm.h"
#include "foundation/ExceptionReporting.h"
#include "foundation/GuiApplication.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "foundation/WindowRect.h"
#include "foundation/option.h"
#include "geometry/BlastJob.h"
#include "hpgl/hpgl.h"
#include "link/TSerial.h"
#include "operation/ChartView.h"
#include "operation/PlotImageView.h"
#include "operation/Forms.h"
#include "pens/LibraryStore.h"
#include "pens/PenParameters.h"
#include "service/AboutDlg.h"
#include "service/MainMenu.h"
#include "service/joystick.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineSeries>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScatterSeries>
#include <QScreen>
#include <QShortcut>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>

namespace grittor {

namespace {
TMainFrm *g_mainFrm = nullptr;
constexpr int kDesignFontSize = 8;
} // namespace

TMainFrm *MainFrm() { return g_mainFrm; }

TMainFrm::TMainFrm(TLibraryStore &materials, QWidget *parent) : QMainWindow(parent), materials_(materials)
{
    g_mainFrm = this;
    setObjectName("MainFrm");
    setWindowTitle("Grittor and Convert to xls");
    resize(767, 496);
    if (QScreen *s = QGuiApplication::primaryScreen()) {
        const QRect r = s->availableGeometry();
        move(r.x() + (r.width() - 767) / 2, r.y() + (r.height() - 496) / 2);
    }
    available_.fill(true);
    gate_.OnBusyChanged = [this](bool) { UpdateCommandStates(); };
    gate_.OnRefused = [this](TCommandId) { SetStatusText("Busy: let the current work finish, or press Cancel"); };
    BuildViews();
    BuildMenus();
    StatusBarPanel = new QLabel(this);
    statusBar()->addWidget(StatusBarPanel, 1);
    Timer = new QTimer(this);
    Timer->setInterval(100);
    connect(Timer, &QTimer::timeout, this, &TMainFrm::TimerTimer);
    GuiApplication::SetExceptionHandler([](const std::exception *e, const char *) {
        Report("TmainFrm.ApplicationEvents1Exception", "Global Exception", e, 0);
    });
    FormCreate();
    Timer->start();
}

TMainFrm::~TMainFrm()
{
    GuiApplication::SetExceptionHandler(nullptr);
    Timer->stop();
    gate_.OnBusyChanged = nullptr;
    DestroySerial();
    WaitSegmentDump();
    job_.reset();
    plot_.reset();
    if (g_mainFrm == this)
        g_mainFrm = nullptr;
}

// ------------------------------------------------------------------ views ---

void TMainFrm::BuildViews()
{
    auto *stack = new QWidget(this);
    auto *layout = new QVBoxLayout(stack);
    layout->setContentsMargins(0, 0, 0, 0);

    Memo = new QPlainTextEdit(stack);
    Memo->setObjectName("Memo");
    Memo->setReadOnly(true);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setUndoRedoEnabled(false);
    Memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QPalette pal = Memo->palette();
    pal.setColor(QPalette::Base, QColor(0x1f, 0x2a, 0x33)); // the desktop's dark background
    pal.setColor(QPalette::Text, Qt::white);
    Memo->setPalette(pal);
    Memo->installEventFilter(this);
    Memo->hide();
    layout->addWidget(Memo);

    ScrollBox = new QScrollArea(stack);
    ScrollBox->setObjectName("ScrollBox");
    ScrollBox->setWidgetResizable(true);
    Image = new PlotImageView(ScrollBox);
    Image->setObjectName("Image");
    Image->SetPictureSize(640, 400);
    ScrollBox->setWidget(Image);
    ScrollBox->hide();
    // A resized window gets a fresh drawing once the resizing settles,
    // instead of a stretched picture.
    resizeTimer_ = new QTimer(this);
    resizeTimer_->setSingleShot(true);
    resizeTimer_->setInterval(200);
    connect(resizeTimer_, &QTimer::timeout, this, &TMainFrm::RerenderForSize);
    connect(Image, &PlotImageView::Resized, this, [this] {
        if (plot_ && !gate_.Busy())
            resizeTimer_->start();
    });
    layout->addWidget(ScrollBox);

    chart = new TChartView(stack);
    for (int i = 0; i < TChartView::LineCount; ++i)
        LineSeries.push_back(chart->Line(i));
    for (int i = 0; i < TChartView::PointCount; ++i)
        PointSeries.push_back(chart->Points(i));
    chart->hide();
    layout->addWidget(chart);

    setCentralWidget(stack);
}

void TMainFrm::TerminalMenuClick()
{
    LogEntry("TerminalMenuClick");
    Action(TCommandId::ImageView)->setChecked(false);
    Action(TCommandId::ChartView)->setChecked(false);
    Action(TCommandId::TerminalView)->setChecked(true);
    Memo->show();
    Image->hide();
    ScrollBox->hide();
    chart->hide();
    Memo->setFocus();
}

void TMainFrm::ChartMenuClick()
{
    LogEntry("ChartMenuClick");
    Action(TCommandId::ImageView)->setChecked(false);
    Action(TCommandId::TerminalView)->setChecked(false);
    Action(TCommandId::ChartView)->setChecked(true);
    Memo->hide();
    Image->hide();
    ScrollBox->hide(); // the chart takes the place of the plot picture
    chart->show();
    chart->setFocus(); // its keys zoom and pan at once
}

void TMainFrm::ImageFitToWindowMenuClick()
{
    LogEntry("ImageFitToWindowClickMenuClick");
    Action(TCommandId::TerminalView)->setChecked(false);
    Action(TCommandId::ChartView)->setChecked(false);
    Action(TCommandId::ImageView)->setChecked(true);
    ShowPlotViews();
}

void TMainFrm::ShowPlotViews()
{
    Memo->hide();
    chart->hide();
    ScrollBox->show();
    Image->show();
    Image->SetStretch(true);
    Image->update();
}

void TMainFrm::ApplyFontSize(int points)
{
    LogEntry("FontSize" + std::to_string(points) + "MenuClick");
    fontSize_ = points;
    QFont f = Memo->font();
    f.setPointSize(points);
    Memo->setFont(f);
    for (size_t i = 0; i < fontItems_.size(); ++i)
        fontItems_[i]->setChecked(static_cast<int>(i) + 6 == points);
}

void TMainFrm::SetStatusText(const QString &text)
{
    StatusBarPanel->setText(text);
    StatusBarPanel->setToolTip(text); // the whole text when the window is too narrow for it
}

// ------------------------------------------------------------------ menus ---

QAction *TMainFrm::AddItem(QMenu *menu, const QString &caption, TCommandId id, std::function<void()> handler,
                           const QKeySequence &shortcut)
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(CommandInfo(id).Name));
    if (!shortcut.isEmpty())
        a->setShortcut(shortcut);
    actions_[static_cast<size_t>(id)] = a;
    AddCommand(id, std::move(handler));
    connect(a, &QAction::triggered, this, [this, id] { TriggerCommand(id); });
    return a;
}

void TMainFrm::AddCommand(TCommandId id, std::function<void()> handler)
{
    handlers_[static_cast<size_t>(id)] = std::move(handler);
}

bool TMainFrm::TriggerCommand(TCommandId id)
{
    const auto &handler = handlers_[static_cast<size_t>(id)];
    return gate_.Run(id, [&handler] {
        if (handler)
            handler();
    });
}

void TMainFrm::SetCommandAvailable(TCommandId id, bool available)
{
    available_[static_cast<size_t>(id)] = available;
    UpdateCommandStates();
}

void TMainFrm::UpdateCommandStates()
{
    // While a command runs, the ones it would refuse are greyed out, so the
    // menus show what can be done; the gate still refuses them if they
    // arrive some other way.
    for (const TCommandInfo &c : CommandTable()) {
        QAction *a = Action(c.Id);
        if (!a)
            continue;
        a->setEnabled(available_[static_cast<size_t>(c.Id)] && gate_.Allows(c.Id));
    }
}

void TMainFrm::BuildMenus()
{
    using Id = TCommandId;
    QMenu *action = menuBar()->addMenu("&Action");
    AddItem(action, "Open HPGL File", Id::OpenHpglFile, [this] { DisplayHpglFileClick(); }, QKeySequence(Qt::Key_F1));
    AddItem(action, "Print", Id::Print, [this] { Print1Click(); }, QKeySequence::Print);
    AddItem(action, "Print Scale To Page Size", Id::PrintScaleToPageSize, [this] { PrintScaleToPageSize1Click(); });
    action->addSeparator();
    AddItem(action, "Digitize origin and send plot", Id::DigitizeOrigin, [this] { Digitizeoriginandsend1Click(); });
    AddItem(action, "Digitize origin,skew,scale and send plot", Id::DigitizeOriginSkewScale,
            [this] { Digitizeoriginskewscaleandsendplot1Click(); });
    action->addSeparator();
    AddItem(action, "Draw First Polygon", Id::DrawFirstPolygon, [this] { DrawFirstPolygon1Click(); },
            QKeySequence(Qt::Key_F2));
    AddItem(action, "Draw Next Polygon", Id::DrawNextPolygon, [this] { DrawNextPolygon1Click(); },
            QKeySequence(Qt::Key_F3));
    action->addSeparator();
    AddItem(action, "Open Comm Port", Id::OpenCommPort, [this] { OpenMenuClick(); });
    AddItem(action, "Close Com Port", Id::CloseCommPort, [this] { CloseMenuClick(); });
    action->addSeparator();
    AddItem(action, "E&xit", Id::Exit, [this] { close(); }, QKeySequence::Quit);

    QMenu *setup = menuBar()->addMenu("&Setup");
    QMenu *port = setup->addMenu("Com &Port");
    const char *portCaptions[] = {"Com&1", "Com&2", "Com&3", "Com&4", "Com5", "Com6", "Com7", "Com8"};
    for (int i = 0; i < 8; ++i) {
        const std::string name = "com" + std::to_string(i + 1);
        QAction *a = AddItem(port, portCaptions[i], static_cast<Id>(static_cast<int>(Id::Com1) + i),
                             [this, name] { PortMenuClick(name); });
        a->setCheckable(true);
        portItems_.push_back(a);
    }
    QAction *none = AddItem(port, "No Comm Port", Id::NoCommPort, [this] { PortMenuClick("none"); });
    none->setCheckable(true);
    portItems_.push_back(none);
    port->addSeparator();
    AddItem(port, "Local &Echo", Id::LocalEcho, [this] { LocalEchoMenuClick(); })->setCheckable(true);
    AddItem(port, "Terminal Mode", Id::TerminalMode, [this] { TerminalModeMenuClick(); })->setCheckable(true);
    port->addSeparator();
    const std::pair<const char *, Id> lineItems[] = {
        {"9600 baud", Id::Baud9600}, {"&No Parity", Id::NoParity}, {"8 &Data bits", Id::DataBits8},
        {"1 &Stop bit", Id::StopBit1}};
    for (const auto &[caption, id] : lineItems) {
        QAction *a = AddItem(port, caption, id, nullptr);
        a->setCheckable(true);
        a->setChecked(true);
        available_[static_cast<size_t>(id)] = false; // they only show the line settings
    }
    AddItem(setup, "Serial &Devices...", Id::SerialDevices, [this] { SerialDevicesMenuClick(); });
    QMenu *fonts = setup->addMenu("Font &Size");
    const char *fontCaptions[] = {"Font Size &6", "Font Size &7", "Font Size &8", "Font Size &9",
                                  "Font Size 1&0", "Font Size 1&1", "Font Size 1&2"};
    for (int i = 0; i < 7; ++i) {
        const int points = i + 6;
        QAction *a = AddItem(fonts, fontCaptions[i], static_cast<Id>(static_cast<int>(Id::FontSize6) + i),
                             [this, points] { ApplyFontSize(points); });
        a->setCheckable(true);
        fontItems_.push_back(a);
    }
    // Check items nothing reads; kept for the operators who knew them.
    const std::pair<const char *, Id> unread[] = {{"Separate Colors", Id::SeparateColors},
                                                  {"No Output Debug On", Id::NoOutputDebugOn},
                                                  {"Same Point Search", Id::SamePointSearch}};
    for (const auto &[caption, id] : unread) {
        QAction *a = AddItem(setup, caption, id, nullptr);
        a->setCheckable(true);
        a->setVisible(false);
    }

    QMenu *window = menuBar()->addMenu("&Window");
    AddItem(window, "&Terminal", Id::TerminalView, [this] { TerminalMenuClick(); }, QKeySequence("Ctrl+T"))
        ->setCheckable(true);
    AddItem(window, "Image ", Id::ImageView, [this] { ImageFitToWindowMenuClick(); }, QKeySequence("Ctrl+I"))
        ->setCheckable(true);
    QAction *chartItem = AddItem(window, "&Chart", Id::ChartView, [this] { ChartMenuClick(); });
    chartItem->setCheckable(true);
    chartItem->setVisible(false);

    QMenu *machine = menuBar()->addMenu("&Machine");
    AddItem(machine, "Machine &Settings...", Id::MachineSettings, [this] { MainMenuMenuClick(); });
    AddItem(machine, "&Jog Panel...", Id::JogPanel, [this] { JoyStickMenuClick(); });
    machine->addSeparator();
    // Ctrl+P prints, as everywhere else.
    AddItem(machine, "&Pause", Id::Pause, [this] { PauseMenuClick(); }, QKeySequence("Ctrl+Shift+P"));
    AddItem(machine, "C&ontinue", Id::Continue, [this] { ContinueMenuClick(); }, QKeySequence("Ctrl+R"));
    AddItem(machine, "&Cancel Job...", Id::CancelJob, [this] { CancelMenuClick(); }, QKeySequence("Ctrl+K"));
    machine->addSeparator();
    AddItem(machine, "&Digitize Location", Id::DigitizeLocation, [this] { DigitizeLocationClick(); },
            QKeySequence("Ctrl+L"));
    QMenu *diag = machine->addMenu("Dia&gnostics");
    AddItem(diag, "Default Calibration", Id::DefaultCalibration,
            [this] { SendDiagnostic("DefaultCalibrationMenuClick", "\x1b.cdiag_run;8:"); });
    AddItem(diag, "Velocity Feedback Setup", Id::VelocityFeedbackSetup,
            [this] { SendDiagnostic("VelocityFeedbackMenuClick", "\x1b.cdiag_run;17:"); });
    AddItem(diag, "Pause Switch", Id::PauseSwitch,
            [this] { SendDiagnostic("PauseSwitchMenuClick", "\x1b.cdiag_run;28:"); });
    AddItem(diag, "Default Gains", Id::DefaultGains,
            [this] { SendDiagnostic("DefaultGainsMenuClick", "\x1b.cdiag_run;48:"); });
    AddItem(diag, "Motor Balance", Id::MotorBalance,
            [this] { SendDiagnostic("MotorBalanceMenuClick", "\x1b.cdiag_run;51:"); });

    QMenu *job = menuBar()->addMenu("&Job");
    AddItem(job, "&Queue Opened Plot as Job", Id::QueueOpenedPlot, [this] { QueueOpenedImageAsJobMenuClick(); });
    AddItem(job, "Show Job Q&ueue...", Id::ShowJobQueue, [this] { DisplayJobQueueMenuClick(); });
    available_[static_cast<size_t>(Id::QueueOpenedPlot)] = false; // until a plot is open
    job->addSeparator();
    AddItem(job, "Send &Border", Id::SendBorder, [this] { SendBorderClick(); }, QKeySequence("Ctrl+B"));
    AddItem(job, "&Send Job", Id::SendJob, [this] { SendFileMenuClick(); }, QKeySequence("Ctrl+J"));
    job->addSeparator();
    AddItem(job, "&Pen Parameters...", Id::PenParameters, [this] { PenParametersClick(); }, QKeySequence("Ctrl+E"));

    QMenu *service = menuBar()->addMenu("Se&rvice");
    AddItem(service, "&Tuning...", Id::Tuning, [this] { TuningMenuClick(); });
    AddItem(service, "&Calibrate...", Id::Calibrate, [this] { CalibrateMenuClick(); });
    AddItem(service, "&Motor Position Plot", Id::MotorPositionPlot, [this] { MotorPositionPlotMenuClick(); });
    AddItem(service, "&Write Plot Data to File...", Id::WritePlotData, [this] { WritePlotDatatoExcelMenuClick(); });
    connect(service->addAction(QStringLiteral(u"Save Chart Picture…")), &QAction::triggered, chart,
            &TChartView::SaveChartPictureClick);
    service->addSeparator();
    AddItem(service, "&Upload Firmware...", Id::UploadFirmware, [this] { UploadFirmwareMenuClick(); });

    QMenu *help = menuBar()->addMenu("&Help");
    AddItem(help, "&About", Id::About, [] {
        if (Forms().About)
            Forms().About->exec();
    });
    AddItem(help, "Enable Debug Log", Id::EnableDebugLog, [this] { EnableDebugLogMenuClick(); })->setCheckable(true);
    QAction *charLog =
        AddItem(help, "Enable Character Log", Id::EnableCharacterLog, [this] { EnableCharacterLogMenuClick(); });
    charLog->setCheckable(true);
    charLog->setVisible(false);
    AddItem(help, "Clear Log", Id::ClearLog, [this] { ClearLogMenuClick(); });
    AddItem(help, "Do Stash", Id::DoStash, [this] { DoStashMenuClick(); })->setVisible(false);
    AddItem(help, "Dump Stash", Id::DumpStash, [this] { DumpStashMenuClick(); })->setVisible(false);
    Action(Id::DoStash)->setCheckable(true);
    QAction *fillDebug = AddItem(help, "Polygon Fill Debug", Id::PolygonFillDebug, nullptr);
    fillDebug->setCheckable(true);
    fillDebug->setVisible(false);
    // The outline debug lines and the PE decoding trace are one switch: both
    // are for looking into one troublesome plot, and both are far too many
    // lines to write for every plot opened.
    connect(fillDebug, &QAction::toggled, this, [](bool on) { THpglFile::SetPeDiagnostics(on ? LogPiece : nullptr); });

    // The hidden items are still reachable for service work, by shortcuts
    // of the window (a hidden action's own shortcut never fires); the status
    // bar says what a shortcut switched.
    const std::tuple<const char *, Id, const char *> hidden[] = {
        {"Separate Colors", Id::SeparateColors, "Ctrl+Alt+C"},
        {"Same Point Search", Id::SamePointSearch, "Ctrl+Alt+S"},
        {"Polygon Fill Debug", Id::PolygonFillDebug, "Ctrl+Alt+D"}};
    for (const auto &[caption, id, keys] : hidden) {
        QAction *a = Action(id);
        auto *shortcut = new QShortcut(QKeySequence(keys), this);
        connect(shortcut, &QShortcut::activated, this, [this, a, caption = caption] {
            a->toggle();
            SetStatusText(QString(caption) + (a->isChecked() ? " on" : " off"));
        });
    }
    // The stash items are commands: their shortcuts trigger them.
    for (const auto &[id, keys] : {std::pair{Id::DoStash, "Ctrl+Alt+R"}, std::pair{Id::DumpStash, "Ctrl+Alt+W"}}) {
        QAction *a = Action(id);
        connect(new QShortcut(QKeySequence(keys), this), &QShortcut::activated, a, &QAction::trigger);
    }

    UpdateCommandStates();
}

// -------------------------------------------------------- start and close ---

void TMainFrm::FormCreate()
{
    Action(TCommandId::SeparateColors)->setChecked(true);
    Action(TCommandId::SamePointSearch)->setChecked(true);
    // The terminal view repaints as a whole; Qt widgets are double-buffered.
    polygonStep_ = 0;
    firstActivate_ = true;
    charLogLineOpen_ = false;
    GetAbortFlags().Closing = false;
    Action(TCommandId::LocalEcho)->setChecked(Options().LocalEcho);
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSize(kDesignFontSize);
    Memo->setFont(f);
    fontSize_ = kDesignFontSize;
    AddTerminalLine(std::string("    ") + GrittorVersionText + " Started", true);
    // Short enough for the terminal of the window's first size.
    AddTerminalLine("(C) 2026 Korvane Systems. GPL v3 or later, no warranty.", true);
}

void TMainFrm::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (firstActivate_)
        FormActivate();
}

void TMainFrm::FormActivate()
{
    if (!firstActivate_)
        return;
    LogEntry("FormActivate first time");
    if (auto *report = dynamic_cast<TExceptionReportForm *>(GetReportTarget())) {
        report->SetOutputHandler([this](const std::string &t, bool term) { ReportOutput(t, term); });
        report->SetReportLevel(3);
    }
    firstActivate_ = false;
    TerminalMenuClick();
    SetTerminalMode(true);
    Toption &o = Options();
    SelectPort(o.Port);
    Action(TCommandId::LocalEcho)->setChecked(o.LocalEcho);
    if (o.FontSize >= 6 && o.FontSize <= 12)
        ApplyFontSize(o.FontSize);
    TRectXYWH r{x(), y(), o.Width, o.Height};
    if (o.Top != -1 && o.Left != -1) {
        r.left = o.Left;
        r.top = o.Top;
    }
    ApplyWindowRect(*this, r);
    Action(TCommandId::EnableDebugLog)->setChecked(o.Log);
    Action(TCommandId::EnableCharacterLog)->setChecked(o.CharLog);
}

void TMainFrm::closeEvent(QCloseEvent *e)
{
    FormClose();
    e->accept();
}

void TMainFrm::FormClose()
{
    LogEntry("FormClose");
    GetAbortFlags().Closing = true;
    Toption &o = Options();
    o.LocalEcho = Action(TCommandId::LocalEcho)->isChecked();
    o.FontSize = fontSize_;
    const TRectXYWH g = GetWindowRect(*this);
    o.Top = g.top;
    o.Left = g.left;
    o.Width = g.width;
    o.Height = g.height;
    // A port chosen by the command line for this run is not the operator's
    // choice: the settings keep the one they had.
    const std::string runPort = o.Port;
    if (!runOnlyPort_.empty() && o.Port == runOnlyPort_)
        o.Port = storedPort_;
    o.Save();
    o.Port = runPort;
    // A command further up the stack may still use the link.
    gate_.WhenIdle(DeferredLinkClose, [this] { DestroySerial(); });
}

// ---------------------------------------------------------------- switches ---

void TMainFrm::SelectPort(const std::string &port)
{
    int index = 0;
    if (port == "none") {
        index = 8;
    } else {
        for (int i = 0; i < 8; ++i)
            if (port == "com" + std::to_string(i + 1))
                index = i;
    }
    for (int i = 0; i < 9; ++i)
        portItems_[static_cast<size_t>(i)]->setChecked(i == index);
    Options().Port = index == 8 ? "none" : "com" + std::to_string(index + 1);
}

void TMainFrm::PortMenuClick(const std::string &port)
{
    runOnlyPort_.clear();
    SelectPort(port);
}

void TMainFrm::SelectPortForThisRun(const std::string &port)
{
    if (runOnlyPort_.empty())
        storedPort_ = Options().Port;
    SelectPort(port);
    runOnlyPort_ = Options().Port;
}

void TMainFrm::MainMenuMenuClick()
{
    LogEntry("MainMenuMenuClick");
    if (Forms().MainMenu)
        Forms().MainMenu->ShowPanel();
}

void TMainFrm::JoyStickMenuClick()
{
    LogEntry("JoyStickMenuClick");
    EnsureLink();
    if (Forms().Joystick)
        Forms().Joystick->ShowPanel();
}

void TMainFrm::PenParametersClick()
{
    PenParameters1Click(this, materials_);
}

} // namespace grittor
