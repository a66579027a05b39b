#include "service/joystick.h"

#include "foundation/Dialogs.h"
#include "foundation/QtSeams.h"
#include "foundation/WindowRect.h"
#include "foundation/option.h"
#include "foundation/utils.h"
#include "link/MachineOps.h"
#include "link/TSerial.h"
#include "pens/Guarded.h"
#include "service/LinkHost.h"
#include "service/MainMenu.h"
#include "service/SettingsApply.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace grittor {

namespace {

bool ArrowKey(int key, TJogDirection &d)
{
    switch (key) {
    case Qt::Key_Right:
        d = TJogDirection::Right;
        return true;
    case Qt::Key_Left:
        d = TJogDirection::Left;
        return true;
    case Qt::Key_Up:
        d = TJogDirection::Up;
        return true;
    case Qt::Key_Down:
        d = TJogDirection::Down;
        return true;
    default:
        return false;
    }
}

// A reply that tells the machine heard the command (an empty answer ended
// by its carriage return counts; silence does not).
bool Answered(const TSerial &link, const std::string &reply)
{
    return !reply.empty() || link.LastStatus() != RsTimeout;
}

} // namespace

TJoystickFrm::TJoystickFrm(TLinkHost &host, QWidget *parent)
    : QDialog(parent), host_(host),
      queue_([this] { return host_.Link() && host_.Link()->Exchanging(); },
             [this] { retryTimer_->start(); })
{
    setObjectName("JoystickFrm");
    setWindowTitle("Joy Stick");
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);
    retryTimer_ = new QTimer(this);
    retryTimer_->setSingleShot(true);
    retryTimer_->setInterval(10);
    connect(retryTimer_, &QTimer::timeout, this, Guarded("TJoystickFrm.Exchanges", [this] { queue_.Pump(); }));
    BuildControls();
    FormCreate();
}

TJoystickFrm::~TJoystickFrm() = default;

QPushButton *TJoystickFrm::Arrow(TJogDirection d)
{
    switch (d) {
    case TJogDirection::Right:
        return RightButton;
    case TJogDirection::Left:
        return LeftButton;
    case TJogDirection::Up:
        return UpButton;
    case TJogDirection::Down:
        break;
    }
    return DownButton;
}

void TJoystickFrm::BuildControls()
{
    struct ArrowSpec {
        QPushButton **button;
        const char *name;
        const char *accessible;
        QStyle::StandardPixmap icon;
    };
    const ArrowSpec arrows[] = {
        {&UpButton, "UpButton", "Up", QStyle::SP_ArrowUp},
        {&LeftButton, "LeftButton", "Left", QStyle::SP_ArrowLeft},
        {&RightButton, "RightButton", "Right", QStyle::SP_ArrowRight},
        {&DownButton, "DownButton", "Down", QStyle::SP_ArrowDown},
    };
    for (const ArrowSpec &a : arrows) {
        auto *b = new QPushButton(this);
        b->setObjectName(a.name);
        b->setIcon(style()->standardIcon(a.icon));
        b->setIconSize(QSize(24, 24));
        b->setFixedSize(48, 48);
        b->setAccessibleName(a.accessible);
        b->setToolTip(QString("%1 (arrow key)").arg(a.accessible));
        b->setAutoDefault(false);
        b->installEventFilter(this);
        *a.button = b;
    }

    JogSlewCheckBox = new QCheckBox("&Jog/Slew = Slew", this);
    JogSlewCheckBox->setObjectName("JogSlewCheckBox");
    JogSlewCheckBox->setToolTip(" Method of movement.  Jog or Slew");
    JogSlewCheckBox->installEventFilter(this);

    JogDistance = new QLineEdit(this);
    JogDistance->setObjectName("JogDistance");
    JogDistance->setToolTip("If Jog/Slew is Jog this is the amount to move head for each click.");
    SlewSpeed = new QLineEdit(this);
    SlewSpeed->setObjectName("SlewSpeed");
    SlewSpeed->setToolTip("If Jog/Slew = Slew this is the rate of speed head moves while button pressed.");
    for (QLineEdit *e : {JogDistance, SlewSpeed}) {
        e->setFixedWidth(QFontMetrics(e->font()).horizontalAdvance("00000") + 16);
        e->installEventFilter(this); // for the release of an arrow held while tabbing in
    }

    auto readOnly = [this](const char *name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(name);
        e->setReadOnly(true);
        e->setAlignment(Qt::AlignRight);
        e->setFixedWidth(QFontMetrics(e->font()).horizontalAdvance("-00000.00") + 16);
        e->installEventFilter(this);
        return e;
    };
    PositionXInch = readOnly("PositionXInch");
    PositionXInch->setToolTip("Current position relative to power up.");
    PositionXMM = readOnly("PositionXMM");
    PositionYInch = readOnly("PositionYInch");
    PositionYMM = readOnly("PositionYMM");

    auto *cross = new QGridLayout;
    cross->setSpacing(2);
    cross->addWidget(UpButton, 0, 1);
    cross->addWidget(LeftButton, 1, 0);
    cross->addWidget(RightButton, 1, 2);
    cross->addWidget(DownButton, 2, 1);

    auto *top = new QHBoxLayout;
    top->addLayout(cross);
    top->addSpacing(16);
    top->addWidget(JogSlewCheckBox, 0, Qt::AlignVCenter);
    top->addStretch(1);

    auto *fields = new QGridLayout;
    auto *jogLabel = new QLabel("Jog &Distance (.001 inch) (1-255)", this);
    jogLabel->setBuddy(JogDistance);
    auto *slewLabel = new QLabel("Joystick &Slew Speed (1-96) 0.125 inches / second", this);
    slewLabel->setBuddy(SlewSpeed);
    fields->addWidget(jogLabel, 0, 0);
    fields->addWidget(JogDistance, 0, 1);
    fields->addWidget(slewLabel, 1, 0);
    fields->addWidget(SlewSpeed, 1, 1);
    fields->setColumnStretch(2, 1);

    auto *position = new QGroupBox("Position (X, Y)", this);
    auto *pos = new QGridLayout(position);
    pos->addWidget(new QLabel("Inches", position), 0, 1, Qt::AlignHCenter);
    pos->addWidget(new QLabel("mm", position), 0, 2, Qt::AlignHCenter);
    pos->addWidget(new QLabel("X", position), 1, 0);
    pos->addWidget(PositionXInch, 1, 1);
    pos->addWidget(PositionXMM, 1, 2);
    pos->addWidget(new QLabel("Y", position), 2, 0);
    pos->addWidget(PositionYInch, 2, 1);
    pos->addWidget(PositionYMM, 2, 2);
    pos->setColumnStretch(3, 1);

    auto *keys = new QLabel("Arrow keys move the head: one step a press (Jog), or while held (Slew).", this);
    keys->setWordWrap(true);
    keys->setForegroundRole(QPalette::PlaceholderText);

    auto *outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addLayout(fields);
    outer->addWidget(position);
    outer->addWidget(keys);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    QWidget *order[] = {UpButton,   LeftButton,    RightButton, DownButton,    JogSlewCheckBox, JogDistance,
                        SlewSpeed, PositionXInch, PositionXMM, PositionYInch, PositionYMM};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    Timer = new QTimer(this);
    Timer->setObjectName("Timer");
    Timer->setInterval(1000);
    connect(Timer, &QTimer::timeout, this, Guarded("TJoystickFrm.TimerTimer", [this] { TimerTimer(); }));

    connect(JogSlewCheckBox, &QCheckBox::toggled, this,
            Guarded("TJoystickFrm.JogSlewCheckBoxClick", [this] { JogSlewCheckBoxClick(); }));
    connect(RightButton, &QPushButton::clicked, this,
            Guarded("TJoystickFrm.RightButtonClick", [this] { RightButtonClick(); }));
    connect(LeftButton, &QPushButton::clicked, this,
            Guarded("TJoystickFrm.LeftButtonClick", [this] { LeftButtonClick(); }));
    connect(UpButton, &QPushButton::clicked, this, Guarded("TJoystickFrm.UpButtonClick", [this] { UpButtonClick(); }));
    connect(DownButton, &QPushButton::clicked, this,
            Guarded("TJoystickFrm.DownButtonClick", [this] { DownButtonClick(); }));
    connect(RightButton, &QPushButton::pressed, this,
            Guarded("TJoystickFrm.RightButtonMouseDown", [this] { RightButtonMouseDown(); }));
    connect(LeftButton, &QPushButton::pressed, this,
            Guarded("TJoystickFrm.LeftButtonMouseDown", [this] { LeftButtonMouseDown(); }));
    connect(UpButton, &QPushButton::pressed, this,
            Guarded("TJoystickFrm.UpButtonMouseDown", [this] { UpButtonMouseDown(); }));
    connect(DownButton, &QPushButton::pressed, this,
            Guarded("TJoystickFrm.DownButtonMouseDown", [this] { DownButtonMouseDown(); }));
    // A button also reports released when the pointer leaves it while held.
    for (QPushButton *b : {RightButton, LeftButton})
        connect(b, &QPushButton::released, this,
                Guarded("TJoystickFrm.RightButtonMouseUp", [this] { RightButtonMouseUp(); }));
    for (QPushButton *b : {UpButton, DownButton})
        connect(b, &QPushButton::released, this,
                Guarded("TJoystickFrm.UpButtonMouseUp", [this] { UpButtonMouseUp(); }));
}

// ------------------------------------------------------------- lifecycle ---

void TJoystickFrm::FormCreate()
{
    firstLoad_ = true;
    syncing_ = false;
    const Toption &o = Options();
    JogDistance->setText(QString::number(o.JogDistance));
    JogSlewCheckBox->setChecked(o.JogMode);
    JogSlewCheckBoxClick();
    SlewSpeed->setText(QString::number(o.JoystickSlewSpeed));
}

void TJoystickFrm::ShowPanel()
{
    show();
    raise();
    activateWindow();
    queue_.Pump(); // the exchanges of showing it run before the command returns
}

void TJoystickFrm::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    FormShow();
    if (firstLoad_)
        FormActivate();
    // Shown some other way than ShowPanel (restored from the task bar).
    QTimer::singleShot(0, this, Guarded("TJoystickFrm.Exchanges", [this] { queue_.Pump(); }));
}

void TJoystickFrm::FormShow()
{
    Timer->start();
    queue_.Queue([this] { MachineJoystickOff(); });
    lastSlew_.clear();
    lastJog_.clear();
}

void TJoystickFrm::FormActivate()
{
    if (!firstLoad_)
        return;
    const TRectXYWH r = Options().JogPanelRect;
    if (r.width > 0 && r.height > 0) // nothing stored yet in this run
        ApplyWindowRect(*this, r);
    queue_.Queue([this] {
        SyncJogSettings();
        firstLoad_ = false;
    });
}

void TJoystickFrm::hideEvent(QHideEvent *e)
{
    FormHide();
    QDialog::hideEvent(e);
}

void TJoystickFrm::FormHide()
{
    Timer->stop();
    retryTimer_->stop();
    // What waited to move the head goes no more; a slew stops now.
    queue_.Clear();
    TSerial *link = host_.Link();
    StopSlewNow(link);
    MachineJoystickOn(link);
}

void TJoystickFrm::done(int result)
{
    // Escape and the title bar's close button both end here.
    FormClose();
    QDialog::done(result);
}

void TJoystickFrm::FormClose()
{
    if (TSerial *link = host_.Link()) {
        StopSlewNow(link);
        SyncJogSettings();
        MachineJoystickOn(link);
    }
    Toption &o = Options();
    o.JogPanelRect = GetWindowRect(*this);
    o.Save();
}

void TJoystickFrm::LinkClosing(TSerial &link)
{
    queue_.Clear();
    StopSlewNow(&link);
    MachineJoystickOn(&link);
}

// ---------------------------------------------------------- machine side ---

std::string TJoystickFrm::Exchange(const std::string &command, int limit)
{
    TSerial *link = host_.OpenLink();
    return link ? link->query(command, limit) : std::string();
}

void TJoystickFrm::MachineJoystickOff()
{
    if (TSerial *link = host_.Link()) {
        joystickReply_ = JoystickOff(*link);
        joystickOff_ = true;
    }
}

void TJoystickFrm::MachineJoystickOn(TSerial *link)
{
    // Only when this panel switched it off: hiding and closing both end here.
    if (!link || !joystickOff_)
        return;
    joystickOff_ = false;
    joystickReply_ = JoystickOn(*link);
}

bool TJoystickFrm::SyncJogSettings()
{
    if (syncing_)
        return true;
    syncing_ = true;
    struct Clear {
        bool &flag;
        ~Clear() { flag = false; }
    } clear{syncing_};

    TSerial *link = host_.OpenLink();
    if (firstLoad_ && link) {
        SlewSpeed->setText(ToQ(link->query("\x1b.vjoyslew:", 80)));
        JogDistance->setText(ToQ(link->query("\x1b.vjog:", 80)));
    }
    Toption &o = Options();
    int slew = 0, jog = 0;
    const std::string slewText = FromQ(SlewSpeed->text());
    if (!slewText.empty()) {
        if (!ParseJogNumber(slewText, INT32_MAX, slew)) {
            ShowMessage("Joystick Slew Speed is invalid");
            SlewSpeed->setFocus();
            return false;
        }
        o.JoystickSlewSpeed = slew;
    }
    const std::string jogText = FromQ(JogDistance->text());
    if (!jogText.empty()) {
        if (!ParseJogNumber(jogText, INT32_MAX, jog)) {
            ShowMessage("Jog Distance is invalid");
            JogDistance->setFocus();
            return false;
        }
        o.JogDistance = jog;
    }
    const bool timerWasOn = Timer->isActive();
    Timer->stop();
    o.JogMode = JogSlewCheckBox->isChecked();
    // The numbers go out as numbers (" 12" is 12); a value the machine did
    // not answer is sent again next time.
    if (!slewText.empty() && std::to_string(slew) != lastSlew_ && link) {
        const std::string reply = link->query("\x1b.wjoyslew;" + std::to_string(slew) + ":", 80);
        lastSlew_ = Answered(*link, reply) ? std::to_string(slew) : std::string();
    }
    if (!jogText.empty() && std::to_string(jog) != lastJog_ && link) {
        const std::string reply = link->query("\x1b.wjog;" + std::to_string(jog) + ":", 80);
        lastJog_ = Answered(*link, reply) ? std::to_string(jog) : std::string();
    }
    if (timerWasOn && isVisible())
        Timer->start();
    return true;
}

void TJoystickFrm::TimerTimer()
{
    Timer->stop();
    // A poll is skipped rather than queued: the next second brings another.
    if (queue_.Idle() && !(host_.Link() && host_.Link()->Exchanging()))
        queue_.Run([this] { ShowPosition(); });
    if (isVisible())
        Timer->start();
}

void TJoystickFrm::ShowPosition()
{
    TSerial *link = host_.Link();
    if (!link)
        return;
    ShowPositionRows(ReadPosition(*link), PositionXInch, PositionXMM, PositionYInch, PositionYMM);
}

// ------------------------------------------------------------- movement ---

bool TJoystickFrm::JogMode() const
{
    return JogSlewCheckBox->isChecked();
}

void TJoystickFrm::JogSlewCheckBoxClick()
{
    JogSlewCheckBox->setText(JogSlewCheckBox->isChecked() ? "&Jog/Slew = Jog" : "&Jog/Slew = Slew");
    // A slew held while the method changes would no longer be stopped by
    // its release.
    StopSlew();
}

void TJoystickFrm::Jog(TJogDirection d)
{
    if (!JogMode())
        return;
    queue_.Run([this, d] {
        if (SyncJogSettings())
            Exchange(JogCommand(d), 10);
    });
}

void TJoystickFrm::SlewStart(TJogDirection d)
{
    const TJogAxis axis = AxisOf(d);
    if (JogMode() || slews_.Active(axis))
        return;
    slews_.Start(axis);
    queue_.Run([this, d, axis] {
        // Released before it could start: its stop is already queued.
        if (!slews_.Active(axis))
            return;
        if (!SyncJogSettings()) {
            slews_.TakeStop(axis); // nothing was started
            return;
        }
        if (!slews_.Active(axis))
            return;
        const std::string text = FromQ(SlewSpeed->text());
        int speed = 0;
        Exchange(SlewCommand(d, ParseInt(text, speed) ? std::to_string(speed) : text), 10);
    });
}

void TJoystickFrm::SlewStop(TJogAxis axis)
{
    const std::string stop = slews_.TakeStop(axis);
    if (!stop.empty())
        queue_.Run([this, stop] { Exchange(stop, 10); });
}

void TJoystickFrm::StopSlew()
{
    SlewStop(TJogAxis::X);
    SlewStop(TJogAxis::Y);
}

void TJoystickFrm::StopSlewNow(TSerial *link)
{
    for (const std::string &stop : slews_.TakeStops())
        if (link)
            TellMachine(*link, stop, 10);
}

void TJoystickFrm::RightButtonClick() { Jog(TJogDirection::Right); }
void TJoystickFrm::LeftButtonClick() { Jog(TJogDirection::Left); }
void TJoystickFrm::UpButtonClick() { Jog(TJogDirection::Up); }
void TJoystickFrm::DownButtonClick() { Jog(TJogDirection::Down); }
void TJoystickFrm::RightButtonMouseDown() { SlewStart(TJogDirection::Right); }
void TJoystickFrm::LeftButtonMouseDown() { SlewStart(TJogDirection::Left); }
void TJoystickFrm::UpButtonMouseDown() { SlewStart(TJogDirection::Up); }
void TJoystickFrm::DownButtonMouseDown() { SlewStart(TJogDirection::Down); }
void TJoystickFrm::RightButtonMouseUp() { SlewStop(TJogAxis::Y); }
void TJoystickFrm::UpButtonMouseUp() { SlewStop(TJogAxis::X); }

// ---------------------------------------------------------------- events ---

bool TJoystickFrm::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::WindowBlocked: // a modal box opened over the panel
        StopSlew();
        // The panel cannot be used while the box is up (the digitizing
        // prompts ask the operator to move the head): the machine's own
        // joystick works meanwhile, and goes off again with the box.
        if (isVisible() && joystickOff_)
            queue_.Run([this] { MachineJoystickOn(host_.Link()); });
        break;
    case QEvent::WindowUnblocked:
        if (isVisible() && !joystickOff_)
            queue_.Run([this] {
                if (isVisible())
                    MachineJoystickOff();
            });
        break;
    case QEvent::WindowDeactivate: // the panel lost the focus
        StopSlew();
        break;
    default:
        break;
    }
    return QDialog::event(e);
}

bool TJoystickFrm::eventFilter(QObject *watched, QEvent *e)
{
    const QEvent::Type type = e->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        auto *ke = static_cast<QKeyEvent *>(e);
        TJogDirection d;
        if (!ArrowKey(ke->key(), d) || (ke->modifiers() & ~Qt::KeypadModifier) != 0)
            return QDialog::eventFilter(watched, e);
        if (type == QEvent::KeyRelease) {
            // Wherever the release lands, it ends a slew held by the key.
            if (!ke->isAutoRepeat())
                SlewStop(AxisOf(d));
            return true;
        }
        // The jog distance and slew speed edits keep their arrows.
        if (watched == JogDistance || watched == SlewSpeed)
            return QDialog::eventFilter(watched, e);
        if (!ke->isAutoRepeat()) {
            if (JogMode())
                Jog(d);
            else
                SlewStart(d);
        }
        return true;
    }
    if (type == QEvent::Leave) {
        for (TJogDirection d : {TJogDirection::Right, TJogDirection::Left, TJogDirection::Up, TJogDirection::Down})
            if (watched == Arrow(d) && Arrow(d)->isDown())
                SlewStop(AxisOf(d));
    }
    return QDialog::eventFilter(watched, e);
}

} // namespace grittor
