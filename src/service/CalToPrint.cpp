#include "service/CalToPrint.h"

#include "foundation/DataFiles.h"
#include "foundation/LogOutput.h"
#include "service/JpegDecoder.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace grittor {

TCalToPrintForm::TCalToPrintForm(QWidget *parent) : QDialog(parent)
{
    setObjectName("CalToPrintForm");
    setWindowTitle("Calibrate to printer target locations");
    setModal(false);
    resize(480, 553);
    Image = new QLabel(this);
    Image->setObjectName("Image");
    Image->setAlignment(Qt::AlignCenter);
    Image->setMinimumSize(472, 496);
    Image->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Image, 1, Qt::AlignBottom);
}

void TCalToPrintForm::LoadPicture(const std::string &path)
{
    loaded_ = true;
    std::string error;
    const QImage picture = path.empty() ? QImage() : DecodeJpegFile(path, error);
    if (path.empty())
        error = "the file caltarget.jpg was not found";
    if (picture.isNull()) {
        hasPicture_ = false;
        LogEntry("Target picture not shown: " + error);
        Image->setPixmap(QPixmap());
        Image->setText(QString::fromStdString(
            "The target picture cannot be shown (" + error +
            ").\n\nThe printed square: origin point lower right (min x, min y), skew point lower left, "
            "scale point upper right (max x, min y), upper left (max x, max y)."));
        return;
    }
    hasPicture_ = true;
    Image->setText(QString());
    Image->setPixmap(QPixmap::fromImage(picture));
}

void TCalToPrintForm::showEvent(QShowEvent *e)
{
    if (!loaded_)
        LoadPicture(FindDataFile("caltarget.jpg"));
    QDialog::showEvent(e);
}

} // namespace grittor
