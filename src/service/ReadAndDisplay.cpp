#include "service/ReadAndDisplay.h"

#include "foundation/Dialogs.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "foundation/utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <cstring>

namespace grittor {

TReadAndDisplayForm::TReadAndDisplayForm(QWidget *parent) : QDialog(parent)
{
    setObjectName("ReadAndDisplayForm");
    setWindowTitle("Read And Display Bit File");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto *top = new QVBoxLayout(this);
    auto *row = new QHBoxLayout;
    Bytes = new QLineEdit("25", this);
    Bytes->setObjectName("Bytes");
    Bytes->setMaximumWidth(80);
    auto *label = new QLabel(" &Bytes per row ", this);
    label->setBuddy(Bytes);
    row->addWidget(label);
    row->addWidget(Bytes);
    ReadFileButton = new QPushButton("&Read File", this);
    ReadFileButton->setObjectName("ReadFileButton");
    ReadFileButton->setDefault(true);
    connect(ReadFileButton, &QPushButton::clicked, this, &TReadAndDisplayForm::ReadFileButtonClick);
    row->addWidget(ReadFileButton);
    Info = new QLabel(this);
    Info->setObjectName("Info");
    row->addWidget(Info, 1);
    top->addLayout(row);
    ScrollBox = new QScrollArea(this);
    ScrollBox->setObjectName("ScrollBox");
    ScrollBox->setBackgroundRole(QPalette::Dark);
    Image = new QLabel;
    Image->setObjectName("Image");
    Image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ScrollBox->setWidget(Image);
    ScrollBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    top->addWidget(ScrollBox, 1);
    resize(520, 400);
}

QImage TReadAndDisplayForm::BitPicture(const QByteArray &bytes, int bytesPerRow, int maxRows)
{
    if (bytesPerRow <= 0)
        return QImage();
    const int rows = static_cast<int>(std::min<qsizetype>(bytes.size() / bytesPerRow, maxRows));
    QImage picture(bytesPerRow * 8, rows, QImage::Format_Mono);
    if (picture.isNull())
        return picture;
    picture.setColor(0, qRgb(255, 255, 255));
    picture.setColor(1, qRgb(0, 0, 0));
    for (int r = 0; r < rows; ++r)
        std::memcpy(picture.scanLine(r), bytes.constData() + static_cast<qsizetype>(r) * bytesPerRow,
                    static_cast<size_t>(bytesPerRow));
    return picture;
}

bool TReadAndDisplayForm::LoadFile(const std::string &path)
{
    int perRow = 0;
    if (!ParseInt(FromQ(Bytes->text()), perRow) || perRow < 1 || perRow > MaxBytesPerRow) {
        ShowMessage("Bytes per row must be a whole number from 1 to " + std::to_string(MaxBytesPerRow));
        Bytes->setFocus();
        Bytes->selectAll();
        return false;
    }
    QFile f(ToQ(path));
    if (!f.open(QIODevice::ReadOnly)) {
        ShowMessage("Unable to read " + path);
        return false;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        ShowMessage("Unable to read " + path);
        return false;
    }
    picture_ = BitPicture(bytes, perRow);
    Image->setPixmap(QPixmap::fromImage(picture_));
    Image->resize(picture_.size());
    const qsizetype wholeRows = bytes.size() / perRow;
    QString info = QString("%1: %2 bytes, %3 x %4 pixels")
                       .arg(QFileInfo(ToQ(path)).fileName())
                       .arg(bytes.size())
                       .arg(picture_.width())
                       .arg(picture_.height());
    if (wholeRows > MaxRows)
        info += QString(", first %1 rows").arg(MaxRows);
    else if (bytes.size() % perRow != 0)
        info += QString(", last %1 bytes not a whole row").arg(bytes.size() % perRow);
    Info->setText(info);
    return true;
}

void TReadAndDisplayForm::ReadFileButtonClick()
{
    LogEntry("ReadFileButtonClick");
    const std::string initial = FromQ(QDir::tempPath()) + "/bit0.bi";
    const auto chosen = GetDialogs().OpenFile("Read And Display Bit File", initial, "Bit files (*.bi);;All files (*)");
    if (chosen)
        LoadFile(*chosen);
}

} // namespace grittor
