// Draws the calibration target picture (data/caltarget.jpg): how the printed
// square lies on the machine, which corner is which point, and where to find
// the square to print.  The picture is part of the sources; this program is
// how it was made, run again only to change it:
//
//   make_caltarget OUT.jpg [QUALITY]
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <cstdlib>

namespace {

void Arrow(QPainter &p, QPointF from, QPointF to, double head)
{
    p.drawLine(from, to);
    const QPointF d = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
    const QPointF n(-d.y(), d.x());
    QPainterPath tip;
    tip.moveTo(to);
    tip.lineTo(to - d * head + n * head * 0.45);
    tip.lineTo(to - d * head - n * head * 0.45);
    tip.closeSubpath();
    p.fillPath(tip, p.pen().color());
}

void Dot(QPainter &p, QPointF at, const QColor &c)
{
    p.save();
    p.setBrush(c);
    p.setPen(Qt::NoPen);
    p.drawEllipse(at, 6, 6);
    p.restore();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_caltarget OUT.jpg [QUALITY]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int quality = argc > 2 ? std::atoi(argv[2]) : 85;

    QImage img(472, 496, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font("DejaVu Sans");
    font.setPixelSize(13);
    p.setFont(font);
    const QColor ink(20, 20, 20), blue(30, 80, 170), red(190, 30, 30), grey(150, 150, 150);

    // The label at the top: where the square to print is.
    p.setPen(ink);
    p.drawText(QRectF(10, 6, 452, 40), Qt::AlignCenter | Qt::TextWordWrap,
               "You can use the 6x6 square.plt file in directory /usr/share/grittor/samples.");

    // The media: an outer frame, fed from the top to the bottom.
    const QRectF media(70, 56, 360, 420);
    p.setPen(QPen(ink, 2));
    p.setBrush(QColor(250, 248, 238));
    p.drawRect(media);
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(QPen(blue, 3));
    Arrow(p, {40, 80}, {40, 450}, 14);
    p.setPen(blue);
    p.save();
    p.translate(24, 265);
    p.rotate(-90);
    p.drawText(QRectF(-180, -8, 360, 16), Qt::AlignCenter, "media moves this way (X axis)");
    p.restore();
    p.drawText(QRectF(4, 60, 66, 16), Qt::AlignLeft, "source");
    p.drawText(QRectF(4, 456, 66, 16), Qt::AlignLeft, "take-up");

    // The cutter's top rail across the middle: the nozzle runs along it.
    const QRectF rail(media.left() - 6, 250, media.width() + 12, 22);
    p.setPen(QPen(grey.darker(130), 1));
    p.setBrush(QColor(205, 205, 210));
    p.drawRect(rail);
    p.setPen(ink);
    p.drawText(rail, Qt::AlignCenter, "cutter top rail  (nozzle moves along it: Y axis)");

    // The printed square and its four corners.
    const QRectF square(130, 140, 240, 240);
    p.setPen(QPen(ink, 2, Qt::SolidLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(square);
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    struct Corner {
        QPointF at;
        QRectF text;
        Qt::Alignment align;
        const char *label;
        QColor colour;
    } corners[] = {
        {square.topLeft(), QRectF(74, 100, 160, 32), Qt::AlignLeft, "upper left\n(max x, max y)", ink},
        {square.topRight(), QRectF(268, 86, 160, 46), Qt::AlignRight, "upper right\n(max x, min y)\nscale point",
         red},
        {square.bottomRight(), QRectF(268, 390, 160, 46), Qt::AlignRight, "lower right\n(min x, min y)\norigin point",
         red},
        {square.bottomLeft(), QRectF(74, 390, 160, 32), Qt::AlignLeft, "lower left\nskew point", red},
    };
    for (const Corner &c : corners) {
        Dot(p, c.at, c.colour);
        p.setPen(c.colour);
        p.drawText(c.text, c.align | Qt::AlignTop, c.label);
    }
    p.end();
    if (!img.save(QString::fromLocal8Bit(argv[1]), "JPEG", quality)) {
        std::fprintf(stderr, "make_caltarget: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
