#include "hpgl/QPainterCanvas.h"

#include "foundation/option.h"

#include <QGuiApplication>
#include <QImage>
#include <QPaintDevice>
#include <QPalette>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace grittor {

namespace {

QColor FromBgr(uint32_t c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// The classic defaults of the system colours by index (0x00BBGGRR).
uint32_t ClassicSystemColor(uint32_t index)
{
    switch (index) {
    case 5:
        return 0xFFFFFF; // window
    case 8:
        return 0x000000; // window text
    case 12:
        return 0xABABAB; // application workspace
    case 13:
        return 0xFF9933; // highlight
    case 14:
        return 0xFFFFFF; // highlight text
    case 15:
        return 0xF0F0F0; // button face
    case 16:
        return 0xA0A0A0; // button shadow
    case 17:
        return 0x6D6D6D; // grey text
    case 18:
        return 0x000000; // button text
    default:
        return 0x000000;
    }
}

bool DirectFormat(QImage::Format f)
{
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 || f == QImage::Format_ARGB32_Premultiplied ||
           f == QImage::Format_Indexed8;
}

} // namespace

QColor QPainterCanvas::ToQColor(uint32_t color)
{
    if (!(color & 0x80000000u))
        return FromBgr(color & 0xFFFFFFu);
    const uint32_t index = color & 0xFFu;
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        const QPalette pal = app->palette();
        switch (index) {
        case 5:
            return pal.color(QPalette::Base);
        case 8:
            return pal.color(QPalette::WindowText);
        case 12:
            return pal.color(QPalette::Dark);
        case 13:
            return pal.color(QPalette::Highlight);
        case 14:
            return pal.color(QPalette::HighlightedText);
        case 15:
            return pal.color(QPalette::Button);
        case 18:
            return pal.color(QPalette::ButtonText);
        default:
            break;
        }
    }
    return FromBgr(ClassicSystemColor(index));
}

QPainterCanvas::QPainterCanvas(QPaintDevice *device) : device_(device)
{
    width_ = device->width();
    height_ = device->height();
    if (device->devType() == QInternal::Image) {
        auto *img = static_cast<QImage *>(device);
        if (DirectFormat(img->format()) && !img->isNull()) {
            image_ = img;
            indexed_ = img->format() == QImage::Format_Indexed8;
            bits_ = img->bits(); // detaches once, before any pixel is written
            stride_ = img->bytesPerLine();
        }
    }
    if (!image_)
        painter_ = std::make_unique<QPainter>(device);
    SetPenColor(0);
}

QPainterCanvas::~QPainterCanvas()
{
    End();
}

void QPainterCanvas::End()
{
    Flush();
    if (painter_ && painter_->isActive())
        painter_->end();
    painter_.reset();
    image_ = nullptr;
}

void QPainterCanvas::MoveTo(int x, int y)
{
    curX_ = x;
    curY_ = y;
}

void QPainterCanvas::LineTo(int x, int y)
{
    long long x1 = curX_, y1 = curY_, x2 = x, y2 = y;
    curX_ = x;
    curY_ = y;
    if (!image_ && !painter_)
        return;
    if (!ClipToDevice(x1, y1, x2, y2))
        return;
    if (image_) {
        // Dense plots end many strokes on the pixel just drawn.
        if (x1 == x2 && y1 == y2 && x2 == lastX_ && y2 == lastY_ && penPixel_ == lastPixel_)
            return;
        PlotLine(int(x1), int(y1), int(x2), int(y2));
        lastX_ = x2;
        lastY_ = y2;
        lastPixel_ = penPixel_;
        return;
    }
    pending_.emplace_back(int(x1), int(y1), int(x2), int(y2));
    if (pending_.size() >= 4096)
        Flush();
}

void QPainterCanvas::FillRect(int left, int top, int right, int bottom, uint32_t color)
{
    Flush();
    lastX_ = lastY_ = -2; // the last pixel may be painted over
    const int l = std::max(left, 0), t = std::max(top, 0);
    const int r = std::min(right, width_), b = std::min(bottom, height_);
    if (l >= r || t >= b)
        return;
    const QColor c = ToQColor(color);
    if (image_ && indexed_) {
        const uint8_t index = static_cast<uint8_t>(PixelOf(c));
        for (int y = t; y < b; ++y)
            std::memset(bits_ + y * stride_ + l, index, static_cast<size_t>(r - l));
        return;
    }
    if (image_) {
        const uint32_t px = c.rgba() | 0xFF000000u;
        for (int y = t; y < b; ++y) {
            auto *line = reinterpret_cast<uint32_t *>(bits_ + y * stride_);
            std::fill(line + l, line + r, px);
        }
        return;
    }
    if (painter_)
        painter_->fillRect(QRect(l, t, r - l, b - t), c);
}

void QPainterCanvas::SetPenColor(uint32_t color)
{
    if (color == pen_ && penSet_)
        return;
    penSet_ = true;
    Flush();
    pen_ = color;
    // Coloured pens switch the colour around every line: remember the
    // stored form of the last few colours.
    const unsigned slot = (color ^ (color >> 7) ^ (color >> 16)) & 7u;
    if (cacheValid_[slot] && cacheColor_[slot] == color && !painter_) {
        penPixel_ = cachePixel_[slot];
        return;
    }
    const QColor c = ToQColor(color);
    penPixel_ = PixelOf(c);
    cacheValid_[slot] = true;
    cacheColor_[slot] = color;
    cachePixel_[slot] = penPixel_;
    if (painter_)
        painter_->setPen(QPen(c, 0)); // cosmetic, one pixel wide
}

void QPainterCanvas::Repaint()
{
    Flush();
    if (OnRepaint)
        OnRepaint();
}

void QPainterCanvas::Flush()
{
    if (!pending_.empty() && painter_)
        painter_->drawLines(pending_.data(), int(pending_.size()));
    pending_.clear();
}

// Liang-Barsky against the device grown by a pixel, in doubles: plot
// coordinates may be anywhere in the int range, and only the visible part
// is handed on (with its slope kept).
bool QPainterCanvas::ClipToDevice(long long &x1, long long &y1, long long &x2, long long &y2) const
{
    // Direct pixels are clipped to the image itself so the line loop needs
    // no bounds test; a painter gets a pixel of slack for its pen.
    const long long slack = image_ ? 0 : 1;
    const long long xmin = -slack, ymin = -slack, xmax = width_ - 1 + slack, ymax = height_ - 1 + slack;
    if (x1 >= xmin && x1 <= xmax && y1 >= ymin && y1 <= ymax && x2 >= xmin && x2 <= xmax && y2 >= ymin && y2 <= ymax)
        return true;
    const double dx = double(x2 - x1), dy = double(y2 - y1);
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {double(x1 - xmin), double(xmax - x1), double(y1 - ymin), double(ymax - y1)};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0)
                return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0) {
            if (t > t1)
                return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0)
                return false;
            t1 = std::min(t1, t);
        }
    }
    const double ox = double(x1), oy = double(y1);
    auto clampc = [](double v, long long lo, long long hi) {
        return std::clamp<long long>((long long)std::llround(v), lo, hi);
    };
    x1 = clampc(ox + t0 * dx, xmin, xmax);
    y1 = clampc(oy + t0 * dy, ymin, ymax);
    x2 = clampc(ox + t1 * dx, xmin, xmax);
    y2 = clampc(oy + t1 * dy, ymin, ymax);
    return true;
}

// The stored form of a colour: 32-bit pixel, or its index in the colour
// table of an 8-bit image (added on first use; a full table takes the
// nearest colour it has).
uint32_t QPainterCanvas::PixelOf(const QColor &c)
{
    const QRgb rgb = c.rgba() | 0xFF000000u;
    if (!indexed_)
        return rgb;
    QList<QRgb> table = image_->colorTable();
    for (int i = 0; i < table.size(); ++i)
        if (table[i] == rgb)
            return static_cast<uint32_t>(i);
    if (table.size() < 256) {
        table.push_back(rgb);
        image_->setColorTable(table);
        bits_ = image_->bits(); // setColorTable may detach
        return static_cast<uint32_t>(table.size() - 1);
    }
    int best = 0, bestDistance = INT_MAX;
    for (int i = 0; i < table.size(); ++i) {
        const int d = std::abs(qRed(table[i]) - qRed(rgb)) + std::abs(qGreen(table[i]) - qGreen(rgb)) +
                      std::abs(qBlue(table[i]) - qBlue(rgb));
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return static_cast<uint32_t>(best);
}

void QPainterCanvas::PlotLine(int x1, int y1, int x2, int y2)
{
    if (indexed_)
        PlotLineT<uint8_t>(x1, y1, x2, y2);
    else
        PlotLineT<uint32_t>(x1, y1, x2, y2);
}

// A one-pixel line, both end points included, written straight into the
// image; both ends are inside it (clipped before).
template <class Pixel> void QPainterCanvas::PlotLineT(int x1, int y1, int x2, int y2)
{
    uchar *const bits = bits_;
    const qsizetype stride = stride_;
    const Pixel px = static_cast<Pixel>(penPixel_);
    if (x1 == x2 && y1 == y2) {
        reinterpret_cast<Pixel *>(bits + y1 * stride)[x1] = px;
        return;
    }
    int dx = std::abs(x2 - x1), sx = x1 < x2 ? 1 : -1;
    int dy = -std::abs(y2 - y1), sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        reinterpret_cast<Pixel *>(bits + y1 * stride)[x1] = px;
        if (x1 == x2 && y1 == y2)
            break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x1 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y1 += sy;
        }
    }
}

} // namespace grittor
