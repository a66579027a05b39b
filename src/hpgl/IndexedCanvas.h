// An 8-bit picture with a colour table, and the Canvas that draws into it,
// without Qt (grittor-cli render).  Draws exactly what QPainterCanvas draws
// on an 8-bit indexed QImage that starts with an empty colour table and no
// application palette.
#pragma once

#include "foundation/LargePages.h"
#include "hpgl/Canvas.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace grittor {

struct TIndexedImage {
    // Raises std::bad_alloc when the pixels do not fit in memory.
    TIndexedImage(int w, int h, uint8_t fill = 0)
        : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h), fill)
    {
    }
    int width;
    int height;
    LargeVector<uint8_t> pixels;  // rows of `width` bytes, top first
    std::vector<uint32_t> colors; // 0xAARRGGBB, at most 256
    const uint8_t *Row(int y) const { return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width); }
};

// The table entry (0xAARRGGBB) of a canvas colour, as another canvas stores
// it: a second part of a drawing takes the colours of the canvas it is laid
// over.
using TColorEntries = std::vector<std::pair<uint32_t, uint32_t>>;

class IndexedCanvas final : public Canvas {
public:
    // Draws on `image`, which outlives the canvas; colours found in
    // `entries` take their entry there, others the classic one.
    explicit IndexedCanvas(TIndexedImage &image, TColorEntries entries = {});

    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void FillRect(int left, int top, int right, int bottom, uint32_t color) override;
    uint32_t PenColor() const override { return pen_; }
    void SetPenColor(uint32_t color) override;
    bool PenAt(int &x, int &y) const override;
    bool ArgbOf(uint32_t color, uint32_t &argb) override;
    bool Overlay(const TIndexedImage &top, uint8_t untouched) override;

private:
    // The table index of a colour (0x00BBGGRR or a system colour): added
    // on first use; a full table gives its nearest colour.
    uint8_t IndexOf(uint32_t color);

    TIndexedImage &image_;
    TColorEntries entries_;
    uint32_t pen_ = 0;
    bool penSet_ = false;
    uint8_t penIndex_ = 0;
    // Coloured pens switch the colour around every line: the index of the
    // last few colours (the table only grows, so an index stays right).
    std::array<uint32_t, 8> cacheColor_{};
    std::array<uint8_t, 8> cacheIndex_{};
    std::array<bool, 8> cacheValid_{};
    int curX_ = 0, curY_ = 0;
    long long lastX_ = -2, lastY_ = -2; // the pixel the last stroke ended on
    uint8_t lastIndex_ = 0;
};

} // namespace grittor
