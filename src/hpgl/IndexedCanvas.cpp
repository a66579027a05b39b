#include "hpgl/IndexedCanvas.h"

#include "hpgl/PixelLines.h"

#include <algorithm>
#include <cstring>

namespace grittor {

IndexedCanvas::IndexedCanvas(TIndexedImage &image, TColorEntries entries) : image_(image), entries_(std::move(entries))
{
    SetPenColor(0);
}

bool IndexedCanvas::PenAt(int &x, int &y) const
{
    x = curX_;
    y = curY_;
    return true;
}

bool IndexedCanvas::ArgbOf(uint32_t color, uint32_t &argb)
{
    for (const auto &[c, entry] : entries_)
        if (c == color) {
            argb = entry;
            return true;
        }
    argb = ArgbOfBgr((color & 0x80000000u) ? ClassicSystemColor(color & 0xFFu) : color & 0xFFFFFFu);
    return true;
}

bool IndexedCanvas::Overlay(const TIndexedImage &top, uint8_t untouched)
{
    lastX_ = lastY_ = -2; // the last pixel may be painted over
    return OverlayIndexed(image_.pixels.data(), static_cast<size_t>(image_.width), image_.width, image_.height,
                          image_.colors, top, untouched);
}

void IndexedCanvas::MoveTo(int x, int y)
{
    curX_ = x;
    curY_ = y;
}

void IndexedCanvas::LineTo(int x, int y)
{
    long long x1 = curX_, y1 = curY_, x2 = x, y2 = y;
    curX_ = x;
    curY_ = y;
    // Both ends inside the picture (most lines of a fitted plot) need no
    // clipping.
    const auto w = static_cast<unsigned>(image_.width), h = static_cast<unsigned>(image_.height);
    const bool inside = static_cast<unsigned>(x1) < w && static_cast<unsigned>(x2) < w &&
                        static_cast<unsigned>(y1) < h && static_cast<unsigned>(y2) < h;
    if (!inside && (image_.width < 1 || image_.height < 1 ||
                    !ClipLine(x1, y1, x2, y2, 0, 0, image_.width - 1, image_.height - 1)))
        return;
    // Dense plots end many strokes on the pixel just drawn.
    if (x1 == x2 && y1 == y2 && x2 == lastX_ && y2 == lastY_ && penIndex_ == lastIndex_)
        return;
    PlotPixelLine<uint8_t>(image_.pixels.data(), image_.width, penIndex_, int(x1), int(y1), int(x2), int(y2));
    lastX_ = x2;
    lastY_ = y2;
    lastIndex_ = penIndex_;
}

void IndexedCanvas::FillRect(int left, int top, int right, int bottom, uint32_t color)
{
    lastX_ = lastY_ = -2; // the last pixel may be painted over
    const int l = std::max(left, 0), t = std::max(top, 0);
    const int r = std::min(right, image_.width), b = std::min(bottom, image_.height);
    if (l >= r || t >= b)
        return;
    const uint8_t index = IndexOf(color);
    for (int y = t; y < b; ++y)
        std::memset(image_.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(image_.width) + l, index,
                    static_cast<size_t>(r - l));
}

void IndexedCanvas::SetPenColor(uint32_t color)
{
    if (color == pen_ && penSet_)
        return;
    penSet_ = true;
    pen_ = color;
    const unsigned slot = (color ^ (color >> 7) ^ (color >> 16)) & 7u;
    if (cacheValid_[slot] && cacheColor_[slot] == color) {
        penIndex_ = cacheIndex_[slot];
        return;
    }
    penIndex_ = IndexOf(color);
    cacheValid_[slot] = true;
    cacheColor_[slot] = color;
    cacheIndex_[slot] = penIndex_;
}

uint8_t IndexedCanvas::IndexOf(uint32_t color)
{
    uint32_t rgb = 0;
    ArgbOf(color, rgb);
    std::vector<uint32_t> &table = image_.colors;
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i] == rgb)
            return static_cast<uint8_t>(i);
    if (table.size() < 256) {
        table.push_back(rgb);
        return static_cast<uint8_t>(table.size() - 1);
    }
    return static_cast<uint8_t>(NearestColorIndex(table, rgb));
}

// ---- shared with QPainterCanvas (PixelLines.h)

bool MergeColorTables(std::vector<uint32_t> &colors, const std::vector<uint32_t> &top, uint8_t untouched,
                      uint8_t map[256])
{
    std::vector<uint32_t> table = colors;
    for (size_t j = 0; j < top.size(); ++j) {
        if (j == untouched)
            return false; // the mark is a colour of the top picture
        const auto it = std::find(table.begin(), table.end(), top[j]);
        if (it != table.end()) {
            map[j] = static_cast<uint8_t>(it - table.begin());
            continue;
        }
        if (table.size() >= 256)
            return false;
        table.push_back(top[j]);
        map[j] = static_cast<uint8_t>(table.size() - 1);
    }
    colors = std::move(table);
    return true;
}

void OverlayPixels(uint8_t *pixels, size_t stride, const TIndexedImage &top, const uint8_t map[256], uint8_t untouched)
{
    // Most of the top picture is untouched: eight such pixels are passed
    // over at a time.
    const uint64_t blank = 0x0101010101010101ull * untouched;
    for (int y = 0; y < top.height; ++y) {
        const uint8_t *t = top.Row(y);
        uint8_t *b = pixels + static_cast<size_t>(y) * stride;
        int x = 0;
        for (; x + 8 <= top.width; x += 8) {
            uint64_t eight;
            std::memcpy(&eight, t + x, sizeof eight);
            if (eight == blank)
                continue;
            for (int k = x; k < x + 8; ++k)
                if (t[k] != untouched)
                    b[k] = map[t[k]];
        }
        for (; x < top.width; ++x)
            if (t[x] != untouched)
                b[x] = map[t[x]];
    }
}

bool OverlayIndexed(uint8_t *pixels, size_t stride, int width, int height, std::vector<uint32_t> &colors,
                    const TIndexedImage &top, uint8_t untouched)
{
    uint8_t map[256] = {};
    if (width != top.width || height != top.height || !MergeColorTables(colors, top.colors, untouched, map))
        return false;
    OverlayPixels(pixels, stride, top, map, untouched);
    return true;
}

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

bool ClipLine(long long &x1, long long &y1, long long &x2, long long &y2, long long xmin, long long ymin,
              long long xmax, long long ymax)
{
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

int NearestColorIndex(const std::vector<uint32_t> &table, uint32_t rgb)
{
    auto red = [](uint32_t c) { return int((c >> 16) & 0xFF); };
    auto green = [](uint32_t c) { return int((c >> 8) & 0xFF); };
    auto blue = [](uint32_t c) { return int(c & 0xFF); };
    int best = 0, bestDistance = INT_MAX;
    for (size_t i = 0; i < table.size(); ++i) {
        const int d = std::abs(red(table[i]) - red(rgb)) + std::abs(green(table[i]) - green(rgb)) +
                      std::abs(blue(table[i]) - blue(rgb));
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

} // namespace grittor
