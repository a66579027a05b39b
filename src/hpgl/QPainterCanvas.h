// The Canvas on Qt: a QPainter on any paint device (the window image, a
// QPrinter page), with a direct pixel writer when the device is a 32-bit or
// an 8-bit indexed QImage (what the window image and grittor-cli render use;
// a plot has few colours, and the 8-bit form is a quarter of the memory).
#pragma once

#include "hpgl/Canvas.h"

#include <QColor>
#include <QLine>
#include <QPainter>

#include <functional>
#include <memory>
#include <vector>

class QImage;
class QPaintDevice;

namespace grittor {

class QPainterCanvas final : public Canvas {
public:
    // Paints on `device` until destroyed (or End()).  The device outlives
    // the canvas.
    explicit QPainterCanvas(QPaintDevice *device);
    ~QPainterCanvas() override;
    QPainterCanvas(const QPainterCanvas &) = delete;
    QPainterCanvas &operator=(const QPainterCanvas &) = delete;

    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void FillRect(int left, int top, int right, int bottom, uint32_t color) override;
    uint32_t PenColor() const override { return pen_; }
    void SetPenColor(uint32_t color) override;
    void Repaint() override;
    // A drawing on two cores: only on an 8-bit indexed image.
    bool PenAt(int &x, int &y) const override;
    bool ArgbOf(uint32_t color, uint32_t &argb) override;
    bool Overlay(const TIndexedImage &top, uint8_t untouched) override;

    // Draws what is pending and releases the device.
    void End();
    // Called by Repaint after pending lines are drawn (the window repaints).
    std::function<void()> OnRepaint;

    // 0x00BBGGRR, or a system colour (bit 31) from the application palette
    // when there is one, else from the classic defaults.
    static QColor ToQColor(uint32_t color);

private:
    void Flush();
    bool ClipToDevice(long long &x1, long long &y1, long long &x2, long long &y2) const;
    void PlotLine(int x1, int y1, int x2, int y2);
    template <class Pixel> void PlotLineT(int x1, int y1, int x2, int y2);
    uint32_t PixelOf(const QColor &c);

    QPaintDevice *device_;
    QImage *image_ = nullptr; // set when pixels are written directly
    bool indexed_ = false;    // 8-bit image with a colour table
    std::unique_ptr<QPainter> painter_;
    int width_ = 0, height_ = 0;
    uchar *bits_ = nullptr;
    qsizetype stride_ = 0;
    uint32_t pen_ = 0;
    bool penSet_ = false;
    uint32_t penPixel_ = 0xFF000000u;
    int curX_ = 0, curY_ = 0;
    long long lastX_ = -2, lastY_ = -2; // the pixel the last stroke ended on
    uint32_t lastPixel_ = 0;
    std::vector<QLine> pending_;
    bool cacheValid_[8] = {};
    uint32_t cacheColor_[8] = {};
    uint32_t cachePixel_[8] = {};
};

} // namespace grittor
