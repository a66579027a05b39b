// The run-only deflate of picture rows: what the library's inflate makes of
// it, in one piece and in strips, for pictures that stress its codes.
#include "hpgl/RunDeflate.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <random>
#include <string>
#include <vector>

using namespace grittor;

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    // The bytes the stream must give: each row after a zero.
    std::vector<uint8_t> Filtered() const
    {
        std::vector<uint8_t> v;
        for (int y = 0; y < height; ++y) {
            v.push_back(0);
            v.insert(v.end(), pixels.begin() + static_cast<long>(y) * width,
                     pixels.begin() + static_cast<long>(y + 1) * width);
        }
        return v;
    }
};

// Raw inflate; false where the stream is not valid deflate, does not end,
// or gives other than `size` bytes.
bool Inflate(const std::vector<uint8_t> &stream, size_t size, std::vector<uint8_t> &out)
{
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        return false;
    out.assign(size + 16, 0xEE);
    z.next_in = const_cast<Bytef *>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int ret = inflate(&z, Z_FINISH);
    const size_t got = out.size() - z.avail_out;
    const bool allRead = z.avail_in == 0;
    inflateEnd(&z);
    out.resize(got);
    return ret == Z_STREAM_END && got == size && allRead;
}

// The picture in strips cut at `cuts` (rows), the last one ending the
// stream, put one after another as the PNG writer does.
std::vector<uint8_t> Deflate(const Picture &p, const std::vector<int> &cuts)
{
    std::vector<uint8_t> stream;
    int from = 0;
    for (size_t k = 0; k <= cuts.size(); ++k) {
        const int to = k < cuts.size() ? cuts[k] : p.height;
        const size_t bytes = static_cast<size_t>(to - from) * static_cast<size_t>(p.width + 1);
        std::vector<uint8_t> out(RunDeflateBound(bytes));
        const size_t n = RunDeflateRows(p.pixels.data(), static_cast<size_t>(p.width), p.width, from, to,
                                        k == cuts.size(), out.data(), out.size());
        EXPECT_GT(n, 0u);
        stream.insert(stream.end(), out.begin(), out.begin() + static_cast<long>(n));
        from = to;
    }
    return stream;
}

void ExpectRoundTrip(const Picture &p, const std::vector<int> &cuts = {})
{
    const std::vector<uint8_t> stream = Deflate(p, cuts);
    std::vector<uint8_t> back;
    ASSERT_TRUE(Inflate(stream, static_cast<size_t>(p.height) * static_cast<size_t>(p.width + 1), back));
    ASSERT_EQ(back, p.Filtered());
}

Picture Make(int w, int h, uint8_t fill = 0)
{
    Picture p;
    p.width = w;
    p.height = h;
    p.pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), fill);
    return p;
}

} // namespace

TEST(RunDeflate, PicturesOfRunsAndOfNoRunsComeBackByteForByte)
{
    std::mt19937 rng(1210);
    // One colour (runs far past 258, zeros that join the filter byte), and
    // every colour but zero.
    ExpectRoundTrip(Make(1000, 30, 0));
    ExpectRoundTrip(Make(1000, 30, 7));
    // Runs of every length around the copy limits: 1-10, 255-262, 514-517.
    for (int len : {1, 2, 3, 4, 5, 10, 255, 256, 257, 258, 259, 260, 261, 262, 514, 515, 516, 517}) {
        SCOPED_TRACE(len);
        Picture p = Make(len * 3 + 1, 3);
        for (size_t i = 0; i < p.pixels.size(); ++i)
            p.pixels[i] = static_cast<uint8_t>(1 + (i / static_cast<size_t>(len)) % 3);
        ExpectRoundTrip(p);
    }
    // Noise of all 256 values (no runs, every literal), over several blocks.
    Picture noise = Make(1001, 97);
    for (auto &b : noise.pixels)
        b = static_cast<uint8_t>(rng());
    ExpectRoundTrip(noise);
    // A plot-like picture: a background, lines of a few pens, dots.
    Picture plot = Make(997, 211, 3);
    for (int k = 0; k < 4000; ++k) {
        const int y = static_cast<int>(rng() % 211), x = static_cast<int>(rng() % 997);
        const int len = static_cast<int>(rng() % 40);
        for (int i = 0; i < len && x + i < 997; ++i)
            plot.pixels[static_cast<size_t>(y) * 997 + static_cast<size_t>(x + i)] = static_cast<uint8_t>(rng() % 8);
    }
    ExpectRoundTrip(plot);
    // Narrow and empty rows.
    for (int w : {0, 1, 7, 8, 9}) {
        SCOPED_TRACE(w);
        Picture p = Make(w, 50);
        for (auto &b : p.pixels)
            b = static_cast<uint8_t>(rng() % 3);
        ExpectRoundTrip(p);
    }
}

TEST(RunDeflate, CodesStayWithinFifteenBitsWhereTheCountsAreSteep)
{
    // Counts that grow as the Fibonacci numbers give a Huffman code of more
    // than 15 bits; the lengths must be cut back and the code stay whole.
    // Single pixels only (no runs): each value is a literal.
    // With the end of the block and the row's filter byte (once each) the
    // counts are 1, 1, 2, 3, 5, ...: a code 19 bits deep.
    std::vector<uint32_t> left(21, 0);
    uint32_t a = 2, b = 3;
    for (int v = 1; v <= 18; ++v) {
        left[static_cast<size_t>(v)] = a;
        const uint32_t c = a + b;
        a = b;
        b = c;
    }
    // No two neighbours alike, so that nothing becomes a run: the value
    // with the most left that differs from the one before, each time.
    std::vector<uint8_t> seq;
    for (;;) {
        int best = -1;
        for (int v = 1; v <= 20; ++v)
            if (left[static_cast<size_t>(v)] > 0 && (seq.empty() || seq.back() != v) &&
                (best < 0 || left[static_cast<size_t>(v)] > left[static_cast<size_t>(best)]))
                best = v;
        if (best < 0)
            break;
        seq.push_back(static_cast<uint8_t>(best));
        --left[static_cast<size_t>(best)];
    }
    ASSERT_EQ(seq.size(), size_t(17708));
    Picture p;
    p.width = static_cast<int>(seq.size());
    p.height = 1;
    p.pixels = seq;
    ASSERT_LT(p.pixels.size(), size_t(32000)); // one block
    ExpectRoundTrip(p);
}

TEST(RunDeflate, StripsJoinIntoOneStreamAndShortRoomIsRefused)
{
    std::mt19937 rng(77);
    Picture p = Make(513, 120, 2);
    for (int k = 0; k < 3000; ++k)
        p.pixels[rng() % p.pixels.size()] = static_cast<uint8_t>(rng() % 5);
    // Strips of any size, an empty one among them.
    ExpectRoundTrip(p, {1, 40, 40, 77, 119});
    ExpectRoundTrip(p, {60});
    // An empty picture is one final block.
    ExpectRoundTrip(Make(10, 0));
    // Room too small: nothing is claimed as written.
    const size_t bytes = 120 * 514;
    std::vector<uint8_t> out(RunDeflateBound(bytes));
    const size_t n = RunDeflateRows(p.pixels.data(), 513, 513, 0, 120, true, out.data(), out.size());
    ASSERT_GT(n, 10u);
    EXPECT_EQ(RunDeflateRows(p.pixels.data(), 513, 513, 0, 120, true, out.data(), n - 1), 0u);
    EXPECT_EQ(RunDeflateRows(p.pixels.data(), 513, 513, 0, 120, true, out.data(), n), n);
}
