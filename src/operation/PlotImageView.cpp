#include "operation/PlotImageView.h"

#include <QPainter>
#include <QResizeEvent>

namespace grittor {

PlotImageView::PlotImageView(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    SetPictureSize(640, 400);
}

void PlotImageView::SetPictureSize(int width, int height)
{
    if (width < 1)
        width = 1;
    if (height < 1)
        height = 1;
    if (picture_.width() == width && picture_.height() == height)
        return;
    // A plot has a handful of colours: 8 bits a pixel with a colour table
    // keep the picture of a big window in the processor's cache while it is
    // drawn (32-bit pixels are four times the memory the lines walk over),
    // and let the drawing on two cores lay its second part over it.
    picture_ = QImage(width, height, QImage::Format_Indexed8);
    picture_.setColorTable({qRgb(255, 255, 255)});
    picture_.fill(0);
    if (!stretch_)
        setFixedSize(width, height);
    update();
}

void PlotImageView::SetStretch(bool on)
{
    stretch_ = on;
    if (on) {
        setMinimumSize(1, 1);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    } else {
        setFixedSize(picture_.size());
    }
    update();
}

QSize PlotImageView::sizeHint() const { return stretch_ ? QSize(640, 400) : picture_.size(); }

void PlotImageView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (stretch_) {
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(rect(), picture_);
    } else {
        p.fillRect(rect(), Qt::white);
        p.drawImage(0, 0, picture_);
    }
}

void PlotImageView::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    emit Resized();
}

} // namespace grittor
