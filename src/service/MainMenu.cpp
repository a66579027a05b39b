#include "service/MainMenu.h"

#include "foundation/Dialogs.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"
#include "link/TSerial.h"
#include "pens/Guarded.h"
#include "pens/RadioGroup.h"
#include "service/LinkHost.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace grittor {

namespace {

const char *ValueCaption(TMachineValue v)
{
    switch (v) {
    case TMachineValue::LastError:
        return "Last Saved Error Message";
    case TMachineValue::MediaHeight:
        return "Media Height";
    case TMachineValue::DrawSpeed:
        return "Blow Speed";
    case TMachineValue::State:
        return "State";
    case TMachineValue::Version:
        return "Firmware Version";
    case TMachineValue::MoveSpeed:
        return "Move Speed";
    case TMachineValue::Acceleration:
        return "Acceleration";
    case TMachineValue::Position:
        break;
    }
    return "Position";
}

QLineEdit *MakeEdit(QWidget *parent, const char *name, int chars)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setFixedWidth(QFontMetrics(e->font()).horizontalAdvance(QString(chars, '0')) + 16);
    return e;
}

// A value the operator reads but does not edit: out of the tab chain, so
// Tab goes from one thing to change to the next.
QLineEdit *MakeShown(QWidget *parent, const char *name, int chars)
{
    QLineEdit *e = MakeEdit(parent, name, chars);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus);
    return e;
}

QLabel *Range(QWidget *parent, const char *text)
{
    auto *l = new QLabel(text, parent);
    l->setForegroundRole(QPalette::PlaceholderText);
    return l;
}

} // namespace

std::function<int(TMainMenuFrm &)> TMainMenuFrm::ModalRunner = [](TMainMenuFrm &f) { return f.exec(); };

TMainMenuFrm::TMainMenuFrm(TLinkHost &host, QWidget *parent) : QDialog(parent), host_(host)
{
    setObjectName("MainMenuFrm");
    setWindowTitle("Main Menu");
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    BuildControls();
}

TMainMenuFrm::~TMainMenuFrm() = default;

void TMainMenuFrm::BuildControls()
{
    auto label = [this](const char *text, QWidget *buddy = nullptr) {
        auto *l = new QLabel(text, this);
        if (buddy)
            l->setBuddy(buddy);
        return l;
    };

    // ---- the machine
    Version = MakeShown(this, "Version", 30);
    MediaHeightInch = MakeShown(this, "MediaHeightInch", 8);
    MediaHeightMM = MakeShown(this, "MediaHeightMM", 8);
    PositionXInch = MakeShown(this, "PositionXInch", 8);
    PositionXMM = MakeShown(this, "PositionXMM", 8);
    PositionYInch = MakeShown(this, "PositionYInch", 8);
    PositionYMM = MakeShown(this, "PositionYMM", 8);
    for (QLineEdit *e : {MediaHeightInch, MediaHeightMM, PositionXInch, PositionXMM, PositionYInch, PositionYMM})
        e->setAlignment(Qt::AlignRight);
    LastError = MakeShown(this, "LastError", 30);
    ClearErrorButton = new QPushButton("Clear &Error", this);
    ClearErrorButton->setObjectName("ClearErrorButton");
    ClearErrorButton->setAutoDefault(false);
    StateRadioGroup = new TRadioGroup(" S&tate ", {"Unload", "Pause", "Ready"}, 3, this);
    StateRadioGroup->setObjectName("StateRadioGroup");
    MoveSpeed = MakeEdit(this, "MoveSpeed", 6);
    DrawSpeed = MakeEdit(this, "DrawSpeed", 6);
    Acceleration = MakeEdit(this, "Acceleration", 6);

    auto *machine = new QGroupBox("Machine", this);
    auto *mg = new QGridLayout;
    int row = 0;
    mg->addWidget(label("Zeve Didedez Firmware Version"), row, 0);
    mg->addWidget(Version, row++, 1, 1, 4);
    mg->addWidget(label("Inches"), row, 2, Qt::AlignHCenter);
    mg->addWidget(label("mm"), row++, 3, Qt::AlignHCenter);
    mg->addWidget(label("Media Height"), row, 0);
    mg->addWidget(MediaHeightInch, row, 2);
    mg->addWidget(MediaHeightMM, row++, 3);
    mg->addWidget(label("Position (X, Y)"), row, 0);
    mg->addWidget(label("X"), row, 1);
    mg->addWidget(PositionXInch, row, 2);
    mg->addWidget(PositionXMM, row++, 3);
    mg->addWidget(label("Y"), row, 1);
    mg->addWidget(PositionYInch, row, 2);
    mg->addWidget(PositionYMM, row++, 3);
    mg->addWidget(label("Last Saved Error Message"), row, 0);
    mg->addWidget(LastError, row++, 1, 1, 4);
    mg->addWidget(ClearErrorButton, row++, 1, 1, 3, Qt::AlignLeft);
    mg->addWidget(StateRadioGroup, row++, 0, 1, 5);
    mg->addWidget(label("&Move Speed", MoveSpeed), row, 0);
    mg->addWidget(MoveSpeed, row, 1, 1, 2);
    mg->addWidget(Range(this, "1-25 (cm/sec)"), row++, 3, 1, 2);
    mg->addWidget(label("&Blow Speed", DrawSpeed), row, 0);
    mg->addWidget(DrawSpeed, row, 1, 1, 2);
    mg->addWidget(Range(this, "1-25 (cm/sec)"), row++, 3, 1, 2);
    mg->addWidget(label("&Acceleration", Acceleration), row, 0);
    mg->addWidget(Acceleration, row, 1, 1, 2);
    mg->addWidget(Range(this, "1-4 (0.25 m/Sec/Sec)"), row++, 3, 1, 2);
    mg->setRowStretch(row, 1);
    mg->setColumnStretch(4, 1);
    machine->setLayout(mg);

    // ---- the program's blast-pattern defaults
    CenterOffset = MakeEdit(this, "CenterOffset", 6);
    Radius = MakeEdit(this, "Radius", 6);
    ScanLine = MakeEdit(this, "ScanLine", 6);
    Margin = MakeEdit(this, "Margin", 6);
    Marginy = MakeEdit(this, "Marginy", 6);
    MarginXLabel = Range(this, "");
    MarginXLabel->setObjectName("MarginXLabel");
    MarginYLabel = Range(this, "");
    MarginYLabel->setObjectName("MarginYLabel");
    for (QLabel *l : {MarginXLabel, MarginYLabel})
        l->setMinimumWidth(QFontMetrics(l->font()).horizontalAdvance("-4.00 to 4.00 inches") + 8);
    Laserx = MakeEdit(this, "Laserx", 6);
    Lasery = MakeEdit(this, "Lasery", 6);
    OnTime = MakeEdit(this, "OnTime", 6);
    passes = MakeEdit(this, "passes", 6);
    Times = MakeEdit(this, "Times", 6);
    Extra = MakeEdit(this, "Extra", 6);
    VertPer = MakeEdit(this, "VertPer", 6);
    Multiplier = MakeEdit(this, "Multiplier", 6);
    PassOffset = MakeEdit(this, "PassOffset", 6);
    PenUpOff = new TRadioGroup(" Pen Up O&ff ", {"Off", "On"}, 2, this);
    PenUpOff->setObjectName("PenUpOff");

    auto *pattern = new QGroupBox("Blast Pattern", this);
    auto *pg = new QGridLayout;
    row = 0;
    auto addRow = [&](const char *caption, QWidget *edit, QLabel *range) {
        pg->addWidget(label(caption, edit), row, 0);
        pg->addWidget(edit, row, 1);
        pg->addWidget(range, row++, 2);
    };
    addRow("&Center Offset", CenterOffset, Range(this, "0.1 - 1 Diameter/Rev"));
    addRow("&Radius", Radius, Range(this, "0.375 - 2 inches"));
    addRow("Scan &Line Separation", ScanLine, Range(this, "0.5 - 4 inches"));
    addRow("&X Margin Overlap", Margin, MarginXLabel);
    addRow("&Y Margin Overlap", Marginy, MarginYLabel);
    pg->addWidget(label("Laser Poi&nter Offset (x,y) inches", Laserx), row, 0);
    auto *laser = new QHBoxLayout;
    laser->addWidget(Laserx);
    laser->addWidget(Lasery);
    laser->addStretch(1);
    pg->addLayout(laser, row++, 1, 1, 2);
    // The sand on time is kept and applied but not offered: its field and
    // labels exist hidden, outside the layout.
    for (QWidget *w : {static_cast<QWidget *>(label("Sand On Time", OnTime)), static_cast<QWidget *>(OnTime),
                       static_cast<QWidget *>(Range(this, "0.3 to 10 seconds"))})
        w->hide();
    addRow("&Passes", passes, Range(this, "0-30 times"));
    addRow("Max Pa&sses", Times, Range(this, "1-Passes times"));
    addRow("Extra Rotat&ions", Extra, Range(this, "0.0 - 4.0 rotations"));
    addRow("&Vertical Combine", VertPer, Range(this, "0.18 - 2 inches"));
    addRow("Ima&ge Multiplier", Multiplier, Range(this, "0.01 - 100"));
    addRow("Pass &offset", PassOffset, Range(this, "0 - 50 % radius"));
    pg->addWidget(PenUpOff, row++, 0, 1, 3);
    pg->setRowStretch(row, 1);
    pg->setColumnStretch(2, 1);
    pattern->setLayout(pg);

    // ---- what could not be read, and the buttons
    UnreadLabel = new QLabel(this);
    UnreadLabel->setObjectName("UnreadLabel");
    UnreadLabel->setWordWrap(true);
    UnreadLabel->hide();
    QPalette warn = UnreadLabel->palette();
    warn.setColor(QPalette::WindowText, QColor(170, 40, 20));
    UnreadLabel->setPalette(warn);

    SaveSetupButton = new QPushButton("Save Set&up", this);
    SaveSetupButton->setObjectName("SaveSetupButton");
    SaveSetupButton->setAutoDefault(false);
    SaveSetupButton->setToolTip("Apply the panel, save the settings and have the machine keep its setup");
    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setAutoDefault(false);

    auto *columns = new QHBoxLayout;
    columns->addWidget(machine, 1);
    columns->addWidget(pattern, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(SaveSetupButton);
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    auto *outer = new QVBoxLayout(this);
    outer->addLayout(columns, 1);
    outer->addWidget(UnreadLabel);
    outer->addLayout(buttons);

    QWidget *order[] = {ClearErrorButton,
                        StateRadioGroup->Button(0),
                        StateRadioGroup->Button(1),
                        StateRadioGroup->Button(2),
                        MoveSpeed,
                        DrawSpeed,
                        Acceleration,
                        CenterOffset,
                        Radius,
                        ScanLine,
                        Margin,
                        Marginy,
                        Laserx,
                        Lasery,
                        passes,
                        Times,
                        Extra,
                        VertPer,
                        Multiplier,
                        PassOffset,
                        PenUpOff->Button(0),
                        PenUpOff->Button(1),
                        SaveSetupButton,
                        OKButton,
                        CancelButton};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(Radius, &QLineEdit::textChanged, this, Guarded("TMainMenuFrm.RadiusChange", [this] { RadiusChange(); }));
    connect(VertPer, &QLineEdit::textChanged, this, Guarded("TMainMenuFrm.RadiusChange", [this] { RadiusChange(); }));
    connect(ClearErrorButton, &QPushButton::clicked, this,
            Guarded("TMainMenuFrm.ClearErrorButtonClick", [this] { ClearErrorButtonClick(); }));
    connect(SaveSetupButton, &QPushButton::clicked, this,
            Guarded("TMainMenuFrm.SaveSetupButtonClick", [this] { SaveSetupButtonClick(); }));
    connect(OKButton, &QPushButton::clicked, this, Guarded("TMainMenuFrm.OKButtonClick", [this] { accept(); }));
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

// --------------------------------------------------------------- fields ---

TSettingsPanelFields TMainMenuFrm::FieldsFromControls() const
{
    TSettingsPanelFields f = fields_; // keeps what each decimal field was filled from
    f.StateIndex = StateRadioGroup->ItemIndex();
    f.MoveSpeed = FromQ(MoveSpeed->text());
    f.DrawSpeed = FromQ(DrawSpeed->text());
    f.Acceleration = FromQ(Acceleration->text());
    const std::pair<TDecimalField *, QLineEdit *> decimals[] = {
        {&f.ScanLine, ScanLine}, {&f.Radius, Radius},   {&f.CenterOffset, CenterOffset}, {&f.MarginX, Margin},
        {&f.MarginY, Marginy},   {&f.LaserX, Laserx},   {&f.LaserY, Lasery},             {&f.OnTime, OnTime},
        {&f.VertPer, VertPer},   {&f.Extra, Extra},     {&f.Multiplier, Multiplier}};
    for (const auto &[field, edit] : decimals)
        field->Text = FromQ(edit->text());
    f.Passes = FromQ(passes->text());
    f.Times = FromQ(Times->text());
    f.PassOffset = FromQ(PassOffset->text());
    f.PenUpOff = PenUpOff->ItemIndex();
    return f;
}

void TMainMenuFrm::ShowFields(const TSettingsPanelFields &f)
{
    fields_ = f;
    {
        const QSignalBlocker blockRadius(Radius);
        const QSignalBlocker blockVertPer(VertPer);
        StateRadioGroup->SetItemIndex(f.StateIndex);
        MoveSpeed->setText(ToQ(f.MoveSpeed));
        DrawSpeed->setText(ToQ(f.DrawSpeed));
        Acceleration->setText(ToQ(f.Acceleration));
        ScanLine->setText(ToQ(f.ScanLine.Text));
        Radius->setText(ToQ(f.Radius.Text));
        CenterOffset->setText(ToQ(f.CenterOffset.Text));
        Margin->setText(ToQ(f.MarginX.Text));
        Marginy->setText(ToQ(f.MarginY.Text));
        Laserx->setText(ToQ(f.LaserX.Text));
        Lasery->setText(ToQ(f.LaserY.Text));
        OnTime->setText(ToQ(f.OnTime.Text));
        VertPer->setText(ToQ(f.VertPer.Text));
        passes->setText(ToQ(f.Passes));
        Times->setText(ToQ(f.Times));
        Extra->setText(ToQ(f.Extra.Text));
        Multiplier->setText(ToQ(f.Multiplier.Text));
        PassOffset->setText(ToQ(f.PassOffset));
        PenUpOff->SetItemIndex(f.PenUpOff);
    }
    RadiusChange();
}

QLineEdit *TMainMenuFrm::DecimalEdit(TDecimalFieldId id) const
{
    switch (id) {
    case TDecimalFieldId::ScanLine:
        return ScanLine;
    case TDecimalFieldId::Radius:
        return Radius;
    case TDecimalFieldId::CenterOffset:
        return CenterOffset;
    case TDecimalFieldId::MarginX:
        return Margin;
    case TDecimalFieldId::MarginY:
        return Marginy;
    case TDecimalFieldId::LaserX:
        return Laserx;
    case TDecimalFieldId::LaserY:
        return Lasery;
    case TDecimalFieldId::OnTime:
        return OnTime;
    case TDecimalFieldId::VertPer:
        return VertPer;
    case TDecimalFieldId::Extra:
        return Extra;
    case TDecimalFieldId::Multiplier:
        return Multiplier;
    case TDecimalFieldId::None:
        break;
    }
    return nullptr;
}

void ShowPositionRows(const TMachinePosition &p, QLineEdit *xInch, QLineEdit *xMM, QLineEdit *yInch, QLineEdit *yMM)
{
    if (p.HaveX) {
        const TLengthTexts t = LengthTexts(p.X);
        xInch->setText(ToQ(t.Inches));
        xMM->setText(ToQ(t.Millimetres));
    }
    if (p.HaveY) {
        const TLengthTexts t = LengthTexts(p.Y);
        yInch->setText(ToQ(t.Inches));
        yMM->setText(ToQ(t.Millimetres));
    }
}

void TMainMenuFrm::ShowPosition(const TMachinePosition &p)
{
    ShowPositionRows(p, PositionXInch, PositionXMM, PositionYInch, PositionYMM);
}

void TMainMenuFrm::RadiusChange()
{
    const TSettingsPanelFields f = FieldsFromControls();
    const TMarginRanges r = MarginRanges(f.Radius, f.VertPer);
    MarginXLabel->setText(ToQ(r.X));
    MarginYLabel->setText(ToQ(r.Y));
}

// ------------------------------------------------------------ commands ---

std::string TMainMenuFrm::Exchange(const std::string &command, int limit)
{
    TSerial *link = host_.OpenLink();
    return link ? link->query(command, limit) : std::string();
}

void TMainMenuFrm::ShowPanel()
{
    host_.OpenLink();
    host_.HideJogPanel();
    LoadPanel();
    MoveSpeed->setFocus();
    ModalRunner(*this);
}

void TMainMenuFrm::LoadPanel()
{
    TMachineReadings r;
    if (TSerial *link = host_.Link())
        r = ReadMachineSettings(*link);
    else
        r.Unread = {TMachineValue::LastError, TMachineValue::MediaHeight, TMachineValue::DrawSpeed,
                    TMachineValue::State,     TMachineValue::Version,     TMachineValue::MoveSpeed,
                    TMachineValue::Acceleration, TMachineValue::Position};
    LastError->setText(ToQ(r.LastError));
    const TLengthTexts height = LengthTexts(r.MediaHeight);
    MediaHeightInch->setText(ToQ(height.Inches));
    MediaHeightMM->setText(ToQ(height.Millimetres));
    Version->setText(ToQ(r.Version));
    Version->setCursorPosition(0); // a long version shows its beginning
    Version->setToolTip(ToQ(r.Version));
    ShowPosition(r.Position);
    TSettingsPanelFields f = fields_;
    FillMachineFields(r, f, memory_);
    FillSettingsFields(Options(), f);
    ShowFields(f);

    std::string unread;
    for (TMachineValue v : r.Unread)
        unread += std::string(unread.empty() ? "" : ", ") + ValueCaption(v);
    UnreadLabel->setText(ToQ("No answer from the machine for: " + unread));
    UnreadLabel->setVisible(!unread.empty());
}

bool TMainMenuFrm::ApplyPanel()
{
    TSettingsPanelFields f = FieldsFromControls();
    TSettingsApply apply(
        Options(), [this](const std::string &command, int limit) { return Exchange(command, limit); },
        [](const std::string &text) { ShowMessage(text); });
    const TApplyOutcome outcome = apply.Run(f, memory_);
    ShowFields(f);
    if (outcome.Completed)
        return true;
    ShowMessage(outcome.Message);
    if (QLineEdit *e = DecimalEdit(outcome.StoppedAt)) {
        e->setFocus();
        e->selectAll();
    }
    return false;
}

void TMainMenuFrm::accept()
{
    if (ApplyPanel())
        QDialog::accept();
}

void TMainMenuFrm::ClearErrorButtonClick()
{
    Exchange("\x1b.werror_mes:", 150);
    LastError->clear();
}

void TMainMenuFrm::SaveSetupButtonClick()
{
    if (!ApplyPanel())
        return;
    Options().Save();
    Exchange("\x1b.wsetting;1:", 80);
}

TMachinePosition TMainMenuFrm::ReadPosition()
{
    TMachinePosition p;
    if (TSerial *link = host_.Link())
        p = grittor::ReadPosition(*link);
    ShowPosition(p);
    return p;
}

std::string TMainMenuFrm::ReadDrawSpeed()
{
    TSerial *link = host_.Link();
    const std::string s = link ? grittor::ReadDrawSpeed(*link) : std::string();
    DrawSpeed->setText(ToQ(s));
    memory_.DrawSpeed = s;
    fields_.DrawSpeed = s;
    return s;
}

std::string TMainMenuFrm::ReadMoveSpeed()
{
    TSerial *link = host_.Link();
    const std::string s = link ? grittor::ReadMoveSpeed(*link) : std::string();
    MoveSpeed->setText(ToQ(s));
    memory_.MoveSpeed = s;
    fields_.MoveSpeed = s;
    return s;
}

std::string TMainMenuFrm::JoystickOn()
{
    if (TSerial *link = host_.Link())
        joystickReply_ = grittor::JoystickOn(*link);
    return joystickReply_;
}

std::string TMainMenuFrm::JoystickOff()
{
    if (TSerial *link = host_.Link())
        joystickReply_ = grittor::JoystickOff(*link);
    return joystickReply_;
}

} // namespace grittor
