#include "hpgl/PngWriter.h"

#include "foundation/LargePages.h"
#include "foundation/SideThread.h"
#include "hpgl/RunDeflate.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace grittor {

namespace {

void Put32(std::string &out, uint32_t v)
{
    out += static_cast<char>(v >> 24);
    out += static_cast<char>(v >> 16);
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}

void Chunk(std::string &out, const char type[4], const std::string &data)
{
    Put32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.append(type, 4);
    out += data;
    const auto *p = reinterpret_cast<const Bytef *>(out.data() + start);
    Put32(out, static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), p, static_cast<uInt>(out.size() - start))));
}

// Pictures of this many pixels and more are compressed on two cores, in
// this many strips.
constexpr size_t kTwoCorePixels = 256 * 1024;
constexpr int kStrips = 6;

struct DeflatedRows {
    const uint8_t *data = nullptr; // raw deflate blocks, in their compressor's arena
    size_t size = 0;
    uLong adler = 0; // of the uncompressed rows
    size_t length = 0;
    bool ok = false;
};

// One compressor that takes strip after strip: its output comes from an
// arena of its own, made in huge pages (LargePages.h).  Before, each strip
// had its output room from the heap, and its fresh pages cost more time
// than the compression of a small picture.
class StripCompressor {
public:
    // Rows from..to-1, each after its filter byte (none), as raw deflate
    // that looks only for runs of one colour (RunDeflate.h).  `last`: the
    // final blocks of the stream; otherwise it ends on a byte boundary for
    // more blocks to follow.  The result stays valid as long as the
    // compressor.
    DeflatedRows Deflate(const TIndexedImage &image, int from, int to, bool last)
    {
        DeflatedRows r;
        const int w = image.width;
        r.length = static_cast<size_t>(w + 1) * static_cast<size_t>(to - from);
        // Room for the worst case: only what is written is touched (a strip
        // of a plot picture compresses to a tenth or less).
        const size_t room = RunDeflateBound(r.length);
        uint8_t *out = nullptr;
        try {
            out = static_cast<uint8_t *>(arena_.Allocate(room));
        } catch (const std::bad_alloc &) {
            return r;
        }
        r.size = RunDeflateRows(image.pixels.data(), static_cast<size_t>(w), w, from, to, last, out, room);
        r.data = out;
        r.ok = r.size > 0;
        r.adler = adler32(0L, nullptr, 0);
        const Bytef none = 0; // filter type of every row
        for (int y = from; y < to; ++y) {
            r.adler = adler32(r.adler, &none, 1);
            r.adler = adler32(r.adler, image.Row(y), static_cast<uInt>(w));
        }
        return r;
    }

private:
    TLargeArena arena_;
};

} // namespace

std::string EncodeIndexedPng(const TIndexedImage &image)
{
    const int w = image.width, h = image.height;
    if (image.colors.empty() || image.colors.size() > 256 || w < 1 || h < 1 ||
        image.pixels.size() != static_cast<size_t>(w) * static_cast<size_t>(h))
        return {};
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr;
    Put32(ihdr, static_cast<uint32_t>(w));
    Put32(ihdr, static_cast<uint32_t>(h));
    ihdr += std::string("\x08\x03\x00\x00\x00", 5); // 8 bits, palette, deflate, no filter, no interlace
    Chunk(out, "IHDR", ihdr);
    std::string plte;
    bool opaque = true;
    for (const uint32_t c : image.colors) {
        plte += static_cast<char>(c >> 16);
        plte += static_cast<char>(c >> 8);
        plte += static_cast<char>(c);
        opaque &= (c >> 24) == 255;
    }
    Chunk(out, "PLTE", plte);
    if (!opaque) {
        std::string trns;
        for (const uint32_t c : image.colors)
            trns += static_cast<char>(c >> 24);
        Chunk(out, "tRNS", trns);
    }

    // The rows go through deflate in strips that both cores take in turn:
    // each strip is compressed on its own (it never refers back into
    // another), every strip but the last ends on a byte boundary without
    // closing the stream, and the checksum of the whole is combined from
    // theirs.  Strips rather than halves, as the detail of a plot is rarely
    // spread evenly over the picture.
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    const int strips = pixels >= kTwoCorePixels ? std::min(h, kStrips) : 1;
    std::vector<DeflatedRows> parts(static_cast<size_t>(strips));
    std::atomic<int> next{0};
    // Each compressor lives until the parts are put together.
    std::unique_ptr<StripCompressor> mine, helpers;
    auto work = [&](std::unique_ptr<StripCompressor> &compressor) {
        for (int k = next++; k < strips; k = next++) {
            if (!compressor)
                compressor = std::make_unique<StripCompressor>();
            parts[static_cast<size_t>(k)] =
                compressor->Deflate(image, static_cast<int>(static_cast<long long>(h) * k / strips),
                                    static_cast<int>(static_cast<long long>(h) * (k + 1) / strips), k + 1 == strips);
        }
    };
    std::thread helper;
    if (strips > 1) {
        try {
            helper = StartSideThread([&] {
                try {
                    work(helpers);
                } catch (const std::bad_alloc &) {
                    // Its strip stays not ok.
                }
            });
        } catch (const std::system_error &) {
            // One core does it all.
        }
    }
    try {
        work(mine);
    } catch (const std::bad_alloc &) {
        // As above.
    }
    if (helper.joinable())
        helper.join();
    size_t total = 2 + 4;
    for (const DeflatedRows &part : parts)
        total += part.size;
    std::string idat;
    idat.reserve(total);
    idat.assign("\x78\x01", 2); // deflate, 32 KiB window, fastest
    uLong adler = adler32(0L, nullptr, 0);
    for (const DeflatedRows &part : parts) {
        if (!part.ok)
            return {};
        idat.append(reinterpret_cast<const char *>(part.data), part.size);
        adler = adler32_combine(adler, part.adler, static_cast<z_off_t>(part.length));
    }
    Put32(idat, static_cast<uint32_t>(adler));
    Chunk(out, "IDAT", idat);
    Chunk(out, "IEND", std::string());
    return out;
}

} // namespace grittor
