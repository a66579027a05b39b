#include "hpgl/QPainterCanvas.h"

#include "foundation/option.h"
#include "hpgl/IndexedCanvas.h"
#include "hpgl/PixelLines.h"

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
    // Both ends inside the picture (most lines of a fitted plot) need no
    // clipping.
    const auto w = static_cast<unsigned>(width_), h = static_cast<unsigned>(height_);
    const bool inside = image_ && static_cast<unsigned>(x1) < w && static_cast<unsigned>(x2) < w &&
                        static_cast<unsigned>(y1) < h && static_cast<unsigned>(y2) < h;
    if (!inside && !ClipToDevice(x1, y1, x2, y2))
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

bool QPainterCanvas::PenAt(int &x, int &y) const
{
    x = curX_;
    y = curY_;
    return image_ && indexed_;
}

bool QPainterCanvas::ArgbOf(uint32_t color, uint32_t &argb)
{
    if (!image_ || !indexed_)
        return false;
    argb = ToQColor(color).rgba() | 0xFF000000u; // as PixelOf stores it
    return true;
}

bool QPainterCanvas::Overlay(const TIndexedImage &top, uint8_t untouched)
{
    if (!image_ || !indexed_ || top.width != width_ || top.height != height_)
        return false;
    Flush();
    lastX_ = lastY_ = -2; // the last pixel may be painted over
    const QList<QRgb> before = image_->colorTable();
    std::vector<uint32_t> colors(before.begin(), before.end());
    uint8_t map[256] = {};
    if (!MergeColorTables(colors, top.colors, untouched, map))
        return false;
    // The table first: setting it may detach the image from a copy.
    if (colors.size() != static_cast<size_t>(before.size())) {
        image_->setColorTable(QList<QRgb>(colors.begin(), colors.end()));
        bits_ = image_->bits();
    }
    OverlayPixels(bits_, static_cast<size_t>(stride_), top, map, untouched);
    return true;
}

void QPainterCanvas::Flush()
{
    if (!pending_.empty() && painter_)
        painter_->drawLines(pending_.data(), int(pending_.size()));
    pending_.clear();
}

// Direct pixels are clipped to the image itself so the line loop needs no
// bounds test; a painter gets a pixel of slack for its pen.
bool QPainterCanvas::ClipToDevice(long long &x1, long long &y1, long long &x2, long long &y2) const
{
    const long long slack = image_ ? 0 : 1;
    return ClipLine(x1, y1, x2, y2, -slack, -slack, width_ - 1 + slack, height_ - 1 + slack);
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
    return static_cast<uint32_t>(NearestColorIndex(std::vector<uint32_t>(table.begin(), table.end()), rgb));
}

void QPainterCanvas::PlotLine(int x1, int y1, int x2, int y2)
{
    if (indexed_)
        PlotLineT<uint8_t>(x1, y1, x2, y2);
    else
        PlotLineT<uint32_t>(x1, y1, x2, y2);
}

template <class Pixel> void QPainterCanvas::PlotLineT(int x1, int y1, int x2, int y2)
{
    PlotPixelLine<Pixel>(bits_, stride_, static_cast<Pixel>(penPixel_), x1, y1, x2, y2);
}

} // namespace grittor
