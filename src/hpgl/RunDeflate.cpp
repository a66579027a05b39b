#include "hpgl/RunDeflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace grittor {

namespace {

constexpr int kLitLenCodes = 286;
constexpr int kEndOfBlock = 256;
constexpr int kMaxBits = 15;
constexpr int kMaxCodeLengthBits = 7;
// Symbols a block holds before its codes are made and it is written.
constexpr size_t kBlockSymbols = size_t(1) << 15;
// A block's header at most: HLIT, HDIST, HCLEN, 19 code length code lengths,
// and 287 code lengths of at most 7 + 7 bits; with the end of the block.
constexpr size_t kBlockHeaderBytes = (5 + 5 + 4 + 19 * 3 + 287 * 14 + 15) / 8 + 1;

// Lengths 3..258 as length codes 257..285 with their extra bits.
struct LengthCode {
    uint16_t symbol;
    uint8_t extraBits;
    uint16_t extra;
};
const std::array<LengthCode, 259> &LengthCodes()
{
    static const std::array<LengthCode, 259> table = [] {
        static const int base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                     31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const int bits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        std::array<LengthCode, 259> t{};
        for (int code = 0; code < 29; ++code) {
            const int to = code == 28 ? 258 : base[code + 1] - 1;
            for (int len = base[code]; len <= to; ++len)
                t[static_cast<size_t>(len)] = {static_cast<uint16_t>(257 + code), static_cast<uint8_t>(bits[code]),
                                               static_cast<uint16_t>(len - base[code])};
        }
        return t;
    }();
    return table;
}

class BitWriter {
public:
    BitWriter(uint8_t *out, size_t room) : begin_(out), out_(out), end_(out + room) {}
    // Up to 32 bits, the first in the lowest bit.  The whole bytes go out
    // at once, with eight bytes stored each time (no branch on how many).
    void Put(uint32_t bits, int count)
    {
        acc_ |= static_cast<uint64_t>(bits) << used_;
        used_ += count;
        if (end_ - out_ < 8) {
            Slow();
            return;
        }
        uint8_t bytes[8];
        for (int k = 0; k < 8; ++k)
            bytes[k] = static_cast<uint8_t>(acc_ >> (8 * k));
        std::memcpy(out_, bytes, 8);
        const int whole = used_ >> 3; // at most 4: used_ was below 8
        out_ += whole;
        acc_ >>= 8 * whole;
        used_ &= 7;
    }
    // To the next byte boundary, with zero bits.
    void Align()
    {
        while (used_ > 0) {
            if (out_ == end_)
                overflow_ = true;
            else
                *out_++ = static_cast<uint8_t>(acc_);
            acc_ >>= 8;
            used_ = std::max(used_ - 8, 0);
        }
        acc_ = 0;
    }
    size_t Written() const { return overflow_ ? 0 : static_cast<size_t>(out_ - begin_); }

private:
    // The last bytes of the room, one at a time.
    void Slow()
    {
        while (used_ >= 8) {
            if (out_ == end_) {
                overflow_ = true; // nothing more is kept
                acc_ = 0;
                used_ = 0;
                return;
            }
            *out_++ = static_cast<uint8_t>(acc_);
            acc_ >>= 8;
            used_ -= 8;
        }
    }

    uint8_t *begin_, *out_, *end_;
    uint64_t acc_ = 0;
    int used_ = 0;
    bool overflow_ = false;
};

// Code lengths of at most `maxBits` for the symbols of `freq` that occur
// (two at least, or none): Huffman's, then the longest shortened as the
// general compressor does, by moving leaves up where the code has room.
void CodeLengths(const uint32_t *freq, int n, int maxBits, uint8_t *lengths)
{
    std::fill(lengths, lengths + n, uint8_t(0));
    std::vector<int> used;
    for (int s = 0; s < n; ++s)
        if (freq[s] > 0)
            used.push_back(s);
    if (used.empty())
        return;
    if (used.size() == 1) {
        lengths[used[0]] = 1;
        return;
    }
    std::stable_sort(used.begin(), used.end(), [freq](int a, int b) { return freq[a] < freq[b]; });
    // Moffat and Katajainen's in-place lengths of a minimum-redundancy code,
    // on the weights in ascending order.
    const int m = static_cast<int>(used.size());
    std::vector<uint64_t> a(static_cast<size_t>(m));
    for (int i = 0; i < m; ++i)
        a[static_cast<size_t>(i)] = freq[used[static_cast<size_t>(i)]];
    a[0] += a[1];
    int root = 0, leaf = 2;
    for (int next = 1; next < m - 1; ++next) {
        if (leaf >= m || a[static_cast<size_t>(root)] < a[static_cast<size_t>(leaf)]) {
            a[static_cast<size_t>(next)] = a[static_cast<size_t>(root)];
            a[static_cast<size_t>(root++)] = static_cast<uint64_t>(next);
        } else {
            a[static_cast<size_t>(next)] = a[static_cast<size_t>(leaf++)];
        }
        if (leaf >= m || (root < next && a[static_cast<size_t>(root)] < a[static_cast<size_t>(leaf)])) {
            a[static_cast<size_t>(next)] += a[static_cast<size_t>(root)];
            a[static_cast<size_t>(root++)] = static_cast<uint64_t>(next);
        } else {
            a[static_cast<size_t>(next)] += a[static_cast<size_t>(leaf++)];
        }
    }
    a[static_cast<size_t>(m - 2)] = 0;
    for (int next = m - 3; next >= 0; --next)
        a[static_cast<size_t>(next)] = a[static_cast<size_t>(a[static_cast<size_t>(next)])] + 1;
    int avail = 1, usedNodes = 0, depth = 0, next = m - 1;
    root = m - 2;
    while (avail > 0) {
        while (root >= 0 && a[static_cast<size_t>(root)] == static_cast<uint64_t>(depth)) {
            ++usedNodes;
            --root;
        }
        while (avail > usedNodes) {
            a[static_cast<size_t>(next--)] = static_cast<uint64_t>(depth);
            --avail;
        }
        avail = 2 * usedNodes;
        ++depth;
        usedNodes = 0;
    }
    // a[i] is now the length of the i-th rarest symbol.  Count by length,
    // the too long ones at maxBits, and make the code fit again.
    std::array<int, 64> count{};
    for (int i = 0; i < m; ++i)
        ++count[static_cast<size_t>(std::min<uint64_t>(a[static_cast<size_t>(i)], static_cast<uint64_t>(maxBits)))];
    uint64_t kraft = 0;
    for (int len = 1; len <= maxBits; ++len)
        kraft += static_cast<uint64_t>(count[static_cast<size_t>(len)]) << (maxBits - len);
    while (kraft > (uint64_t(1) << maxBits)) {
        --count[static_cast<size_t>(maxBits)];
        for (int len = maxBits - 1; len > 0; --len) {
            if (count[static_cast<size_t>(len)] > 0) {
                --count[static_cast<size_t>(len)];
                count[static_cast<size_t>(len + 1)] += 2;
                break;
            }
        }
        --kraft;
    }
    // The rarest symbols take the longest codes.
    int i = 0;
    for (int len = maxBits; len >= 1; --len)
        for (int k = count[static_cast<size_t>(len)]; k > 0; --k)
            lengths[used[static_cast<size_t>(i++)]] = static_cast<uint8_t>(len);
}

// Canonical codes of `lengths`, bit-reversed for writing lowest bit first.
void CanonicalCodes(const uint8_t *lengths, int n, uint16_t *codes)
{
    std::array<int, kMaxBits + 2> count{};
    for (int s = 0; s < n; ++s)
        ++count[lengths[s]];
    count[0] = 0;
    std::array<uint32_t, kMaxBits + 2> next{};
    uint32_t code = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
        code = (code + static_cast<uint32_t>(count[static_cast<size_t>(len - 1)])) << 1;
        next[static_cast<size_t>(len)] = code;
    }
    for (int s = 0; s < n; ++s) {
        const int len = lengths[s];
        if (len == 0) {
            codes[s] = 0;
            continue;
        }
        uint32_t c = next[static_cast<size_t>(len)]++, r = 0;
        for (int b = 0; b < len; ++b, c >>= 1)
            r = (r << 1) | (c & 1);
        codes[s] = static_cast<uint16_t>(r);
    }
}

// A block's symbols: a literal byte (0-255), or 256 + a length (3-258) of
// a copy of the byte before; with how often each came.
constexpr int kSymbolKinds = 256 + 259;
struct BlockSymbols {
    std::vector<uint16_t> list;
    std::array<uint32_t, kSymbolKinds> count{};
    void Add(int s)
    {
        list.push_back(static_cast<uint16_t>(s));
        ++count[static_cast<size_t>(s)];
    }
    void Clear()
    {
        list.clear();
        count.fill(0);
    }
};

void WriteBlock(BitWriter &w, const BlockSymbols &block, bool final)
{
    const auto &lengthCodes = LengthCodes();
    std::array<uint32_t, kLitLenCodes> freq{};
    for (int b = 0; b < 256; ++b)
        freq[static_cast<size_t>(b)] = block.count[static_cast<size_t>(b)];
    for (int len = 3; len <= 258; ++len)
        freq[lengthCodes[static_cast<size_t>(len)].symbol] += block.count[static_cast<size_t>(256 + len)];
    freq[kEndOfBlock] = 1;
    // Two codes at least, so that the code is complete.
    if (std::count_if(freq.begin(), freq.end(), [](uint32_t f) { return f > 0; }) < 2)
        ++freq[0];
    std::array<uint8_t, kLitLenCodes> lit{};
    CodeLengths(freq.data(), kLitLenCodes, kMaxBits, lit.data());
    std::array<uint16_t, kLitLenCodes> litCodes{};
    CanonicalCodes(lit.data(), kLitLenCodes, litCodes.data());
    // The one distance, 1, in one bit (code 0).
    int hlit = kLitLenCodes;
    while (hlit > 257 && lit[static_cast<size_t>(hlit - 1)] == 0)
        --hlit;
    std::vector<uint8_t> lens(lit.begin(), lit.begin() + hlit);
    lens.push_back(1);
    // The code lengths, run-length coded (16: the last again 3-6 times,
    // 17: 3-10 zeros, 18: 11-138 zeros), with extra bits.
    std::vector<std::pair<uint8_t, uint8_t>> cl;
    for (size_t i = 0; i < lens.size();) {
        const uint8_t l = lens[i];
        size_t run = 1;
        while (i + run < lens.size() && lens[i + run] == l)
            ++run;
        i += run;
        if (l == 0) {
            while (run >= 11) {
                const size_t r = std::min<size_t>(run, 138);
                cl.emplace_back(18, static_cast<uint8_t>(r - 11));
                run -= r;
            }
            if (run >= 3) {
                cl.emplace_back(17, static_cast<uint8_t>(run - 3));
                run = 0;
            }
        } else {
            cl.emplace_back(l, 0);
            --run;
            while (run >= 3) {
                const size_t r = std::min<size_t>(run, 6);
                cl.emplace_back(16, static_cast<uint8_t>(r - 3));
                run -= r;
            }
        }
        for (; run > 0; --run)
            cl.emplace_back(l, 0);
    }
    std::array<uint32_t, 19> clFreq{};
    for (const auto &c : cl)
        ++clFreq[c.first];
    std::array<uint8_t, 19> clLen{};
    CodeLengths(clFreq.data(), 19, kMaxCodeLengthBits, clLen.data());
    std::array<uint16_t, 19> clCodes{};
    CanonicalCodes(clLen.data(), 19, clCodes.data());
    static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int hclen = 19;
    while (hclen > 4 && clLen[order[hclen - 1]] == 0)
        --hclen;

    w.Put(final ? 1 : 0, 1);
    w.Put(2, 2); // dynamic codes
    w.Put(static_cast<uint32_t>(hlit - 257), 5);
    w.Put(0, 5); // one distance code
    w.Put(static_cast<uint32_t>(hclen - 4), 4);
    for (int k = 0; k < hclen; ++k)
        w.Put(clLen[order[k]], 3);
    for (const auto &[sym, extra] : cl) {
        w.Put(clCodes[sym], clLen[sym]);
        if (sym == 16)
            w.Put(extra, 2);
        else if (sym == 17)
            w.Put(extra, 3);
        else if (sym == 18)
            w.Put(extra, 7);
    }
    // Each kind of symbol as the bits it is written with: a literal's code,
    // or a length's code, its extra bits and the distance code (0).
    struct Bits {
        uint32_t bits = 0;
        int count = 0;
    };
    std::array<Bits, kSymbolKinds> as{};
    for (int b = 0; b < 256; ++b)
        as[static_cast<size_t>(b)] = {litCodes[static_cast<size_t>(b)], lit[static_cast<size_t>(b)]};
    for (int len = 3; len <= 258; ++len) {
        const LengthCode &lc = lengthCodes[static_cast<size_t>(len)];
        const int n = lit[lc.symbol];
        as[static_cast<size_t>(256 + len)] = {litCodes[lc.symbol] | (static_cast<uint32_t>(lc.extra) << n),
                                              n + lc.extraBits + 1};
    }
    for (const uint16_t s : block.list)
        w.Put(as[s].bits, as[s].count);
    w.Put(litCodes[kEndOfBlock], lit[kEndOfBlock]);
}

// How many of the first n bytes at p are b.
size_t RunOf(const uint8_t *p, size_t n, uint8_t b)
{
    const uint64_t all = 0x0101010101010101ull * b;
    size_t k = 0;
    for (; k + 8 <= n; k += 8) {
        uint64_t eight;
        std::memcpy(&eight, p + k, 8);
        if (const uint64_t diff = eight ^ all)
            return k + static_cast<size_t>(__builtin_ctzll(diff) >> 3);
    }
    while (k < n && p[k] == b)
        ++k;
    return k;
}

} // namespace

size_t RunDeflateBound(size_t bytes)
{
    // A literal takes at most 15 bits, a copy of 3 bytes or more at most
    // 15 + 5 + 1: two bytes an input byte; a header per block of symbols.
    return 2 * bytes + (bytes / kBlockSymbols + 2) * kBlockHeaderBytes + 64;
}

size_t RunDeflateRows(const uint8_t *pixels, size_t stride, int width, int from, int to, bool last, uint8_t *out,
                      size_t room)
{
    BitWriter w(out, room);
    BlockSymbols block;
    block.list.reserve(kBlockSymbols + 8);
    // A full block is written and the next begun.
    auto writeIfFull = [&] {
        if (block.list.size() >= kBlockSymbols) {
            WriteBlock(w, block, false);
            block.Clear();
        }
    };
    auto run = [&](uint8_t b, size_t length) {
        block.Add(b);
        size_t rest = length - 1;
        while (rest >= 3) {
            const size_t m = std::min<size_t>(rest, 258);
            block.Add(256 + static_cast<int>(m));
            rest -= m;
        }
        for (; rest > 0; --rest)
            block.Add(b);
        writeIfFull();
    };
    const size_t n = width > 0 ? static_cast<size_t>(width) : 0;
    for (int y = from; y < to; ++y) {
        const uint8_t *row = pixels + static_cast<size_t>(y) * stride;
        // The filter byte with the zeros that follow it.
        size_t x = RunOf(row, n, 0);
        run(0, x + 1);
        while (x < n) {
            // Eight bytes none of which is the third of a run: eight
            // literals (the busy parts of a picture).  A run of three or
            // more that only begins in them is begun again after them.
            if (x >= 2 && n - x >= 8) {
                uint64_t here, one, two;
                std::memcpy(&here, row + x, 8);
                std::memcpy(&one, row + x - 1, 8);
                std::memcpy(&two, row + x - 2, 8);
                const uint64_t v = (here ^ one) | (here ^ two); // a zero byte: a third of a run
                if (((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) == 0) {
                    for (size_t k = 0; k < 8; ++k)
                        block.Add(row[x + k]);
                    x += 8;
                    writeIfFull();
                    continue;
                }
            }
            const size_t len = RunOf(row + x, n - x, row[x]);
            run(row[x], len);
            x += len;
        }
    }
    if (!block.list.empty() || last)
        WriteBlock(w, block, last);
    if (!last) {
        // An empty stored block: the stream goes on at a byte boundary.
        w.Put(0, 3);
        w.Align();
        w.Put(0xFFFF0000u, 32);
    }
    w.Align();
    return w.Written();
}

} // namespace grittor
