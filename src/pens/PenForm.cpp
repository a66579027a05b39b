#include "pens/PenForm.h"

#include "foundation/Dialogs.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"
#include "pens/CopyForm.h"
#include "pens/Guarded.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"
#include "pens/RadioGroup.h"
#include "pens/TPens.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>

namespace grittor {

// Paints the list's lines with every item padded to its column's width, so
// that in the fixed-width font the columns line up under the header row.
// The lines themselves keep their text unpadded.
class TPenListDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QStringList Items(const QString &line) { return line.split(" : "); }

    // Column widths from the header and every line; numbers align right.
    void Measure(const QStringList &lines)
    {
        const QStringList header = Items(QString::fromLatin1(PenListHeader));
        widths_.assign(static_cast<size_t>(header.size()), 0);
        auto widen = [this](const QStringList &items) {
            if (items.size() != static_cast<qsizetype>(widths_.size()))
                return;
            for (qsizetype i = 0; i < items.size(); ++i)
                widths_[static_cast<size_t>(i)] =
                    std::max<int>(widths_[static_cast<size_t>(i)], static_cast<int>(items[i].size()));
        };
        widen(header);
        for (const QString &line : lines)
            widen(Items(line));
    }

    QString Aligned(const QString &line) const
    {
        // Pen, ScanLine, Radius, Speed, Passes, Max Passes, Center Offset,
        // Extra and Vert Comb are numbers.
        static const bool right[] = {true, true, false, false, false, false, true, true, true, true, true, true, true};
        const QStringList items = Items(line);
        if (items.size() != static_cast<qsizetype>(widths_.size()) || widths_.size() != std::size(right))
            return line;
        QStringList padded;
        for (qsizetype i = 0; i < items.size(); ++i) {
            const int w = widths_[static_cast<size_t>(i)];
            padded << (right[i] ? items[i].rightJustified(w) : items[i].leftJustified(w));
        }
        return padded.join(" : ");
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = Aligned(option->text);
    }

private:
    std::vector<int> widths_;
};

// The pen list with a header row above its lines, inside its frame, that
// scrolls sideways with them.
class TPenListBox : public QListWidget {
public:
    explicit TPenListBox(QWidget *parent) : QListWidget(parent)
    {
        headerClip_ = new QWidget(this);
        Header = new QLabel(headerClip_);
        Header->setObjectName("PenListHeaderLabel");
        Header->setTextFormat(Qt::PlainText);
        Header->setAutoFillBackground(true);
        Header->setBackgroundRole(QPalette::AlternateBase);
        Header->setForegroundRole(QPalette::WindowText);
        // Start the header where the delegate starts the lines' text.
        const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
        Header->setContentsMargins(margin, 2, margin, 2);
        connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { PlaceHeader(); });
    }

    void SetHeaderText(const QString &text)
    {
        Header->setFont(font());
        Header->setText(text);
        setViewportMargins(0, Header->sizeHint().height(), 0, 0);
        PlaceHeader();
    }

    // Width that shows a whole line without scrolling.
    int LineWidth() const
    {
        return Header->sizeHint().width() + 2 * frameWidth() + verticalScrollBar()->sizeHint().width();
    }

    QLabel *Header = nullptr;

protected:
    void resizeEvent(QResizeEvent *e) override
    {
        QListWidget::resizeEvent(e);
        PlaceHeader();
    }

private:
    void PlaceHeader()
    {
        const QRect vp = viewport()->geometry();
        const int h = Header->sizeHint().height();
        headerClip_->setGeometry(vp.left(), vp.top() - h, vp.width(), h);
        const int x = -horizontalScrollBar()->value();
        Header->setGeometry(x, 0, std::max(Header->sizeHint().width(), vp.width() - x), h);
    }

    QWidget *headerClip_ = nullptr;
};

namespace {

QColor PenColor(int index)
{
    const uint32_t v = PenColorTable[std::clamp(index, 0, PenColorCount - 1)].Value; // 0x00BBGGRR
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

QIcon Swatch(const QColor &c)
{
    QPixmap pm(14, 14);
    pm.fill(c);
    QPainter p(&pm);
    p.setPen(QColor(96, 96, 96));
    p.drawRect(0, 0, 13, 13);
    return QIcon(pm);
}

QLineEdit *MakeEdit(QWidget *parent, const char *name, int width = 80)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setFixedWidth(width);
    return e;
}

} // namespace

std::function<int(TPenForm &)> TPenForm::ModalRunner = [](TPenForm &f) { return f.exec(); };

TPenForm::TPenForm(TLibraryStore &store, QWidget *parent)
    : TCloseQueryDialog("TPenForm.FormCloseQuery", parent), store_(store)
{
    setObjectName("PenForm");
    setWindowTitle("Pen Parameter");
    setModal(true);
    BuildControls();
    FormCreate();
}

TPenForm::~TPenForm() = default;

TMaterialLibrary &TPenForm::Library() const
{
    return store_.Library();
}

void TPenForm::BuildControls()
{
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    PenGroupBox = new QGroupBox(this);
    PenGroupBox->setObjectName("PenGroupBox");
    listBox_ = new TPenListBox(PenGroupBox);
    PenList = listBox_;
    PenList->setObjectName("PenList");
    PenList->setFont(fixed);
    PenList->setSelectionMode(QAbstractItemView::SingleSelection);
    PenList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // A material has at most eleven pens (0 to 10): show them all and the header.
    PenList->setMinimumHeight((QFontMetrics(fixed).height() + 4) * 12 + 2 * PenList->frameWidth() + 4);
    delegate_ = new TPenListDelegate(PenList);
    PenList->setItemDelegate(delegate_);
    PenListHeaderLabel = listBox_->Header;
    auto *groupLayout = new QVBoxLayout(PenGroupBox);
    groupLayout->addWidget(PenList, 1);

    PenNumber = MakeEdit(this, "PenNumber", 50);
    DrawSpeed = MakeEdit(this, "DrawSpeed", 50);
    passes = MakeEdit(this, "passes", 50);
    Times = MakeEdit(this, "Times", 50);
    CenterOffset = MakeEdit(this, "CenterOffset", 160); // up to 17 digits
    Extra = MakeEdit(this, "Extra", 80);
    Radius = MakeEdit(this, "Radius");
    ScanLine = MakeEdit(this, "ScanLine");
    VertPer = MakeEdit(this, "VertPer");
    Margin = MakeEdit(this, "Margin");
    Marginy = MakeEdit(this, "Marginy");
    MarginXLabel = new QLabel(this);
    MarginXLabel->setObjectName("MarginXLabel");
    MarginYLabel = new QLabel(this);
    MarginYLabel->setObjectName("MarginYLabel");
    for (QLabel *l : {MarginXLabel, MarginYLabel}) {
        l->setForegroundRole(QPalette::PlaceholderText);
        l->setMinimumWidth(QFontMetrics(l->font()).horizontalAdvance("-2.00 to 4.00 inches") + 8);
    }

    ColorListCB = new QComboBox(this);
    ColorListCB->setObjectName("ColorListCB");
    ColorListCB->setEditable(false);
    border = new TRadioGroup("&Border", {"False", "True"}, 2, this);
    border->setObjectName("border");
    Fill = new TRadioGroup("&Fill", {"Off", "On"}, 2, this);
    Fill->setObjectName("Fill");

    AddButton = new QPushButton("&Add/Update", this);
    AddButton->setObjectName("AddButton");
    AddButton->setDefault(true); // Return stores the record being edited
    AddButton->setToolTip("Store the edits as the record of the pen number (Return)");
    DeleteButton = new QPushButton("&Delete", this);
    DeleteButton->setObjectName("DeleteButton");
    DeleteButton->setAutoDefault(false);
    DeleteButton->setToolTip("Delete the selected pen record");
    CopyButton = new QPushButton("&Copy", this);
    CopyButton->setObjectName("CopyButton");
    CopyButton->setAutoDefault(false);
    CopyButton->setToolTip("Copy pen records from a material into this one");
    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setAutoDefault(false);

    auto label = [this](const char *text, QWidget *buddy) {
        auto *l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };

    auto *penGrid = new QGridLayout;
    penGrid->addWidget(label("Pen &Number", PenNumber), 0, 0);
    penGrid->addWidget(PenNumber, 0, 1);
    penGrid->addWidget(label("&Speed (cm/s)", DrawSpeed), 1, 0);
    penGrid->addWidget(DrawSpeed, 1, 1);
    penGrid->addWidget(label("&Passes", passes), 2, 0);
    penGrid->addWidget(passes, 2, 1);
    penGrid->addWidget(label("&Max Passes", Times), 3, 0);
    penGrid->addWidget(Times, 3, 1);
    penGrid->addWidget(label("C&enter Offset", CenterOffset), 4, 0);
    penGrid->addWidget(CenterOffset, 4, 1);
    penGrid->addWidget(label("E&xtra Rotations", Extra), 5, 0);
    penGrid->addWidget(Extra, 5, 1);
    penGrid->setRowStretch(6, 1);

    auto *sizeGrid = new QGridLayout;
    sizeGrid->addWidget(label("&Radius (in)", Radius), 0, 0);
    sizeGrid->addWidget(Radius, 0, 1);
    sizeGrid->addWidget(label("Scan &Line (in)", ScanLine), 1, 0);
    sizeGrid->addWidget(ScanLine, 1, 1);
    sizeGrid->addWidget(label("&Vert Comb (in)", VertPer), 2, 0);
    sizeGrid->addWidget(VertPer, 2, 1);
    sizeGrid->addWidget(label("X Mar&gin (in)", Margin), 3, 0);
    sizeGrid->addWidget(Margin, 3, 1);
    sizeGrid->addWidget(MarginXLabel, 3, 2);
    sizeGrid->addWidget(label("&Y Margin (in)", Marginy), 4, 0);
    sizeGrid->addWidget(Marginy, 4, 1);
    sizeGrid->addWidget(MarginYLabel, 4, 2);
    sizeGrid->setRowStretch(5, 1);

    auto *colorRow = new QHBoxLayout;
    colorRow->addWidget(label("C&olor", ColorListCB));
    colorRow->addWidget(ColorListCB, 1);
    auto *lookColumn = new QVBoxLayout;
    lookColumn->addLayout(colorRow);
    lookColumn->addWidget(border);
    lookColumn->addWidget(Fill);
    lookColumn->addStretch(1);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(AddButton);
    buttons->addWidget(DeleteButton);
    buttons->addWidget(CopyButton);
    buttons->addStretch(1);
    buttons->addWidget(OKButton);

    auto *fields = new QHBoxLayout;
    fields->addLayout(penGrid);
    fields->addSpacing(16);
    fields->addLayout(sizeGrid);
    fields->addSpacing(16);
    fields->addLayout(lookColumn);
    fields->addStretch(1);
    fields->addSpacing(16);
    fields->addLayout(buttons);

    auto *outer = new QVBoxLayout(this);
    outer->addWidget(PenGroupBox, 1);
    outer->addLayout(fields);

    QWidget *order[] = {PenList,         PenNumber, DrawSpeed,    passes,     Times,   CenterOffset, Extra,
                        Radius,          ScanLine,  VertPer,      Margin,     Marginy, ColorListCB,  border->Button(0),
                        Fill->Button(0), AddButton, DeleteButton, CopyButton, OKButton};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(PenList, &QListWidget::currentRowChanged, this,
            Guarded("TPenForm.PenListClick", [this] { PenListClick(); }));
    connect(ColorListCB, &QComboBox::currentIndexChanged, this,
            Guarded("TPenForm.ColorListCBChange", [this] { ColorListCBChange(); }));
    connect(Radius, &QLineEdit::textChanged, this, Guarded("TPenForm.ScanLineChange", [this] { ScanLineChange(); }));
    connect(VertPer, &QLineEdit::textChanged, this, Guarded("TPenForm.ScanLineChange", [this] { ScanLineChange(); }));
    connect(AddButton, &QPushButton::clicked, this, Guarded("TPenForm.AddButtonClick", [this] { AddButtonClick(); }));
    connect(DeleteButton, &QPushButton::clicked, this,
            Guarded("TPenForm.DeleteButtonClick", [this] { DeleteButtonClick(); }));
    connect(CopyButton, &QPushButton::clicked, this,
            Guarded("TPenForm.CopyButtonClick", [this] { CopyButtonClick(); }));
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TPenForm::FormCreate()
{
    const QSignalBlocker block(ColorListCB);
    for (int i = 0; i < PenColorCount; ++i)
        ColorListCB->addItem(Swatch(PenColor(i)), QString::fromLatin1(PenColorTable[i].Name));
    ColorListCB->setCurrentIndex(-1);
    LoadDefaults();
    UpdateList(); // sizes the list for its header
    adjustSize();
}

// A new material starts from the settings' blast-pattern defaults, the
// values a pen without a record is blasted with.
void TPenForm::LoadDefaults()
{
    const Toption &o = Options();
    border->SetItemIndex(0);
    Fill->SetItemIndex(1);
    PenNumber->clear();
    DrawSpeed->setText("10");
    ShowExact(Radius, UnitsToInchesText(o.Radius), o.Radius);
    ShowExact(ScanLine, UnitsToInchesText(o.ScanLine), o.ScanLine);
    ShowExact(VertPer, FormatExtendedFixed(o.VertPer, 2), o.VertPer);
    ShowExact(CenterOffset, FormatExtended(o.CenterOffset), o.CenterOffset);
    ShowExact(Extra, FormatExtendedFixed(o.Extra, 2), o.Extra);
    ShowExact(Margin, FormatExtendedFixed(0, 2), 0);
    ShowExact(Marginy, FormatExtendedFixed(0, 2), 0);
    passes->setText(QString::number(o.Passes));
    Times->setText(QString::number(o.Times));
    ScanLineChange();
}

int TPenForm::ShowModal()
{
    FormShow();
    return ModalRunner(*this);
}

void TPenForm::FormShow()
{
    LogEntry("pen.FormShowClick");
    CurrentMaterial = Library().Selected();
    if (Library().IsMaterialIndex(CurrentMaterial))
        setWindowTitle(NameToQ(Library().MaterialName(CurrentMaterial) + " Pen Selection"));
    else
        setWindowTitle("Pen Parameter");
    ClearChanged();
    UpdateList();
    if (PenList->count() > 0) {
        const QSignalBlocker block(PenList);
        PenList->setCurrentRow(0);
    }
    PenListClick();
    if (PenList->count() > 0)
        PenList->setFocus();
    else
        PenNumber->setFocus();
}

void TPenForm::UpdateList()
{
    LogEntry("pen.UpdateList");
    PenGroupBox->setTitle(QString::fromLatin1(PenListHeader));
    const QSignalBlocker block(PenList);
    PenList->clear();
    QStringList lines;
    const auto &table = Library().PenTable();
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i]->Material != CurrentMaterial)
            continue;
        auto *item = new QListWidgetItem(ToQ(PenListLine(*table[i])));
        item->setData(Qt::UserRole, static_cast<int>(i)); // the record's index in the pen table
        PenList->addItem(item);
        lines << item->text();
    }
    delegate_->Measure(lines);
    listBox_->SetHeaderText(delegate_->Aligned(QString::fromLatin1(PenListHeader)));
    // Wide enough for whole lines, as far as the screen allows.
    int room = 1200;
    if (const QScreen *screen = this->screen())
        room = screen->availableGeometry().width() - 80;
    PenList->setMinimumWidth(std::min(listBox_->LineWidth(), room));
    PenList->viewport()->update();
}

TPens *TPenForm::RecordOfRow(int row) const
{
    QListWidgetItem *item = row >= 0 ? PenList->item(row) : nullptr;
    if (!item)
        return nullptr;
    return Library().PenAt(item->data(Qt::UserRole).toInt());
}

bool TPenForm::SelectRecordLine(const TPens *rec)
{
    const QSignalBlocker block(PenList);
    for (int row = 0; rec && row < PenList->count(); ++row)
        if (RecordOfRow(row) == rec) {
            PenList->setCurrentRow(row);
            return true;
        }
    PenList->setCurrentRow(-1);
    PenList->clearSelection();
    return false;
}

void TPenForm::PenListClick()
{
    LogEntry("pen.PenListClick");
    const int row = PenList->currentItem() ? PenList->currentRow() : -1;
    TPens *chosen = RecordOfRow(row);
    if (!chosen)
        return;
    if (Changed() && GetDialogs().Confirm("Save changes?") && !AddButtonClick()) {
        // The edits could not be stored: stay with the record they belong to
        // rather than overwrite them with the chosen one.
        SelectRecordLine(loaded_);
        return;
    }
    SelectRecordLine(chosen);
    LoadRecord(*chosen);
    ClearChanged();
}

void TPenForm::LoadRecord(const TPens &rec)
{
    border->SetItemIndex(rec.border ? 1 : 0);
    ShowExact(CenterOffset, FormatExtended(rec.CenterOffset), rec.CenterOffset);
    {
        const QSignalBlocker block(ColorListCB);
        ColorListCB->setCurrentIndex(rec.Color);
    }
    ColorListCBChange();
    DrawSpeed->setText(QString::number(rec.blowspeed));
    Fill->SetItemIndex(rec.fill ? 1 : 0);
    ShowExact(Extra, FormatExtendedFixed(rec.extra, 2), rec.extra);
    ShowExact(Margin, FormatExtendedFixed(rec.margin.x, 2), rec.margin.x);
    ShowExact(Marginy, FormatExtendedFixed(rec.margin.y, 2), rec.margin.y);
    passes->setText(QString::number(rec.passes));
    PenNumber->setText(QString::number(rec.pen));
    ShowExact(Radius, UnitsToInchesText(rec.radius), rec.radius);
    ShowExact(ScanLine, UnitsToInchesText(rec.ScanLine), rec.ScanLine);
    ShowExact(VertPer, FormatExtendedFixed(rec.vertper, 2), rec.vertper);
    ScanLineChange();
    Times->setText(QString::number(rec.Times));
    loaded_ = &rec;
}

void TPenForm::ShowExact(QLineEdit *edit, const std::string &text, long double value)
{
    edit->setText(ToQ(text));
    shown_[edit] = Shown{edit->text(), value};
}

long double TPenForm::DecimalField(QLineEdit *edit) const
{
    auto it = shown_.find(edit);
    if (it != shown_.end() && it->second.text == edit->text())
        return it->second.value;
    return DecimalOrZero(FromQ(edit->text()));
}

int32_t TPenForm::InchField(QLineEdit *edit) const
{
    auto it = shown_.find(edit);
    if (it != shown_.end() && it->second.text == edit->text())
        return static_cast<int32_t>(it->second.value);
    return InchesToUnits(FromQ(edit->text()));
}

void TPenForm::ColorListCBChange()
{
    const int index = ColorListCB->currentIndex();
    QPalette pal = palette();
    if (index >= 0) {
        const QColor text = PenColor(index);
        pal.setColor(QPalette::Text, text);
        pal.setColor(QPalette::ButtonText, text);
        // White, yellow, aqua and the light greys would vanish on a light
        // field: give them a dark one.
        if (qGray(text.rgb()) > 150) {
            pal.setColor(QPalette::Button, QColor(70, 70, 70));
            pal.setColor(QPalette::Base, QColor(70, 70, 70));
        }
    }
    ColorListCB->setPalette(pal);
}

void TPenForm::ScanLineChange()
{
    // The limits the setters will apply: radius and vertper clamped first.
    const int32_t r = std::clamp<int32_t>(InchField(Radius), 381, 2032);
    long double v = DecimalField(VertPer);
    v = v < 0.1875L ? 0.1875L : (v >= 4.0L ? 4.0L : v);
    const long double limit = MarginLimitFor(r);
    MarginYLabel->setText(ToQ(FormatExtendedFixed(-v, 2) + " to " + FormatExtendedFixed(limit, 2) + " inches"));
    MarginXLabel->setText(ToQ(FormatExtendedFixed(-limit, 2) + " to " + FormatExtendedFixed(limit, 2) + " inches"));
}

bool TPenForm::AddButtonClick()
{
    LogEntry("pen.AddButtonClick");
    int pen = 0;
    if (!ParseInt(FromQ(PenNumber->text()), pen) || pen < MinPenNumber || pen > MaxPenNumber) {
        GetDialogs().Message("pen number must be in range " + std::to_string(MinPenNumber) + "-" +
                             std::to_string(MaxPenNumber));
        return false;
    }
    if (ColorListCB->currentIndex() < 0) {
        GetDialogs().Message("Select a color");
        return false;
    }
    if (!Library().IsMaterialIndex(CurrentMaterial)) {
        GetDialogs().Message("Select a material");
        return false;
    }
    TPens &rec = Library().FindOrAddPen(CurrentMaterial, pen);
    rec.SetPen(pen);
    rec.SetBlowSpeed(WholeOr(FromQ(DrawSpeed->text()), 10));
    rec.border = border->ItemIndex() == 1 ? 1 : 0;
    rec.SetCenterOffset(DecimalField(CenterOffset));
    rec.SetColor(ColorListCB->currentIndex());
    rec.SetExtra(DecimalField(Extra));
    rec.fill = Fill->ItemIndex() == 1 ? 1 : 0;
    rec.Material = CurrentMaterial;
    rec.SetRadius(InchField(Radius));
    rec.SetVertPer(DecimalField(VertPer));
    rec.SetPasses(WholeOr(FromQ(passes->text()), 1));
    rec.SetScanLine(InchField(ScanLine));
    rec.SetTimes(WholeOr(FromQ(Times->text()), 1));
    rec.SetMargin({DecimalField(Margin), DecimalField(Marginy)});
    ClearChanged();
    UpdateList();
    // Show the record as stored, clamps applied.
    SelectRecordLine(&rec);
    PenListClick();
    return true;
}

void TPenForm::DeleteButtonClick()
{
    LogEntry("pen.DeleteButtonClick");
    TPens *rec = RecordOfRow(PenList->currentItem() ? PenList->currentRow() : -1);
    if (!rec) {
        GetDialogs().Message("select a pen to delete");
        return;
    }
    if (loaded_ == rec)
        loaded_ = nullptr;
    Library().RemovePen(rec);
    UpdateList();
    if (PenList->count() > 0) {
        const QSignalBlocker block(PenList);
        PenList->setCurrentRow(0);
    }
    PenListClick();
}

void TPenForm::CopyButtonClick()
{
    LogEntry("pen.CopyButtonClick");
    TCopyForm copy(Library(), this);
    if (copy.ShowModal() == QDialog::Accepted && Library().IsMaterialIndex(CurrentMaterial))
        Library().CopyPens(copy.ChosenMaterial(), CurrentMaterial, copy.ChosenPens());
    UpdateList();
}

bool TPenForm::Changed()
{
    LogEntry("pen.Changed");
    for (const QLineEdit *e :
         {PenNumber, ScanLine, CenterOffset, Extra, Margin, Marginy, Radius, DrawSpeed, passes, VertPer, Times})
        if (e->isModified())
            return true;
    return ColorListCB->currentIndex() != SavedColor || Fill->ItemIndex() != SavedFill ||
           border->ItemIndex() != SavedBorder;
}

void TPenForm::ClearChanged()
{
    LogEntry("pen.ClearChanged");
    for (QLineEdit *e :
         {PenNumber, ScanLine, CenterOffset, Extra, Margin, Marginy, Radius, DrawSpeed, passes, VertPer, Times})
        e->setModified(false);
    SavedColor = ColorListCB->currentIndex();
    SavedFill = Fill->ItemIndex();
    SavedBorder = border->ItemIndex();
}

bool TPenForm::FormCloseQuery()
{
    LogEntry("pen.FormCloseQuery");
    if (Changed() && GetDialogs().Confirm("Save changes?") && !AddButtonClick())
        return false; // keep the edits the operator wanted stored
    int borders = 0, fillOffs = 0;
    bool allowed = true;
    const std::vector<TPens *> pens = Library().PensOfMaterial(CurrentMaterial);
    for (const TPens *p : pens) {
        if (p->border)
            ++borders;
        if (!p->fill)
            ++fillOffs;
    }
    for (const TPens *p : pens)
        if (p->border && !p->fill) {
            GetDialogs().Message("The border pen cannot be Fill off");
            allowed = false;
        }
    if (borders > 1) {
        GetDialogs().Message("You have " + std::to_string(borders) + " pens defined as border.\r\n" +
                             "Only one pen can be defined as a border.");
        allowed = false;
    }
    if (fillOffs > 1) {
        GetDialogs().Message("You have " + std::to_string(fillOffs) + " pens defined as fill off.\r\n" +
                             "Only one pen can be defined as a fill off.");
        allowed = false;
    }
    return allowed;
}

void TPenForm::FormClose()
{
    LogEntry("pen.FormClose");
    Options().Save();
    std::string error;
    if (store_.Save(error) == LibrarySaveResult::Failed)
        GetDialogs().Message("The material library could not be saved to\r\n\"" + store_.Path() + "\":\r\n" +
                             error);
}


} // namespace grittor
