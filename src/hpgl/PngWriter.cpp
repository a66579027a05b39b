#include "hpgl/PngWriter.h"

#include <zlib.h>

#include <cstdint>

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

    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK)
        return {};
    std::string idat(deflateBound(&z, static_cast<uLong>(w + 1) * static_cast<uLong>(h)), '\0');
    z.next_out = reinterpret_cast<Bytef *>(idat.data());
    z.avail_out = static_cast<uInt>(idat.size());
    Bytef none = 0; // filter type of every row
    bool ok = true;
    for (int y = 0; y < h && ok; ++y) {
        z.next_in = &none;
        z.avail_in = 1;
        ok = deflate(&z, Z_NO_FLUSH) == Z_OK;
        z.next_in = const_cast<Bytef *>(image.Row(y));
        z.avail_in = static_cast<uInt>(w);
        ok = ok && deflate(&z, Z_NO_FLUSH) == Z_OK;
    }
    ok = ok && deflate(&z, Z_FINISH) == Z_STREAM_END;
    idat.resize(z.total_out);
    deflateEnd(&z);
    if (!ok)
        return {};
    Chunk(out, "IDAT", idat);
    Chunk(out, "IEND", std::string());
    return out;
}

} // namespace grittor
