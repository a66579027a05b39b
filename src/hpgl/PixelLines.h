// Pixel work the canvases that write straight into memory share: the
// classic system colours, clipping a line to the picture, one-pixel lines,
// and the nearest colour of a full colour table.  No Qt here: grittor-cli's
// picture is drawn without the Qt GUI libraries (their loading alone took
// a tenth of the time of rendering a small plot).
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace grittor {

struct TIndexedImage;

// The classic defaults of the system colours by index (0x00BBGGRR).
uint32_t ClassicSystemColor(uint32_t index);

// 0xAARRGGBB (opaque) of a 0x00BBGGRR colour.
inline uint32_t ArgbOfBgr(uint32_t c)
{
    return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

// Liang-Barsky against xmin..xmax, ymin..ymax (inclusive), in doubles: plot
// coordinates may be anywhere in the int range, and only the visible part
// is kept (with its slope).  False when nothing of the line is inside.
bool ClipLine(long long &x1, long long &y1, long long &x2, long long &y2, long long xmin, long long ymin,
              long long xmax, long long ymax);

// Index of the colour of `table` (0xAARRGGBB) nearest to `rgb`, by the sum
// of the red, green and blue differences; the first of equals.
int NearestColorIndex(const std::vector<uint32_t> &table, uint32_t rgb);

// Lays `top` over 8-bit pixels (rows `stride` bytes apart) whose colour
// table is `colors` (0xAARRGGBB): every pixel of `top` that is not
// `untouched` is written, its colour mapped into `colors` (colours missing
// there are appended in the order of `top`'s table).  False, with nothing
// changed, when the sizes differ, the tables together hold more than 256
// colours, or `top` uses `untouched` as a colour.
bool OverlayIndexed(uint8_t *pixels, size_t stride, int width, int height, std::vector<uint32_t> &colors,
                    const TIndexedImage &top, uint8_t untouched);
// Its two steps: the colour table (and the index of each of `top`'s colours
// in it), then the pixels.
bool MergeColorTables(std::vector<uint32_t> &colors, const std::vector<uint32_t> &top, uint8_t untouched,
                      uint8_t map[256]);
void OverlayPixels(uint8_t *pixels, size_t stride, const TIndexedImage &top, const uint8_t map[256],
                   uint8_t untouched);

// A one-pixel line, both end points included, written straight into the
// pixels; both ends are inside them (clipped before).  The pixels of the
// classic loop that steps x when twice the error is at least -|dy| and y
// when it is at most |dx|: along the longer axis it steps at every pixel,
// so only the other step is left to the error, taken without a branch (the
// lines of a dense plot turn every few pixels, and a mispredicted branch
// per pixel was most of their time).
template <class Pixel>
inline void PlotPixelLine(unsigned char *bits, std::ptrdiff_t stride, Pixel px, int x1, int y1, int x2, int y2)
{
    const int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
    const auto size = static_cast<std::ptrdiff_t>(sizeof(Pixel));
    const std::ptrdiff_t stepX = x1 < x2 ? size : -size;
    const std::ptrdiff_t stepY = y1 < y2 ? stride : -stride;
    unsigned char *p = bits + static_cast<std::ptrdiff_t>(y1) * stride + static_cast<std::ptrdiff_t>(x1) * size;
    int err = dx - dy;
    if (dx >= dy) {
        for (int i = 0; i < dx; ++i) {
            *reinterpret_cast<Pixel *>(p) = px;
            const bool turn = 2 * err <= dx;
            err -= dy;
            p += stepX;
            err += turn ? dx : 0;
            p += turn ? stepY : 0;
        }
    } else {
        for (int i = 0; i < dy; ++i) {
            *reinterpret_cast<Pixel *>(p) = px;
            const bool turn = 2 * err >= -dy;
            err += dx;
            p += stepY;
            err -= turn ? dy : 0;
            p += turn ? stepX : 0;
        }
    }
    *reinterpret_cast<Pixel *>(p) = px;
}

} // namespace grittor
