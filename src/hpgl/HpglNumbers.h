// The one-word and three-word forms of instruction numbers (internal to
// the reader and the instructions).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace grittor::hpglnum {

// Exact powers of ten for the one-word number form.
constexpr long double kPow10[11] = {1e0L, 1e1L, 1e2L, 1e3L, 1e4L, 1e5L, 1e6L, 1e7L, 1e8L, 1e9L, 1e10L};
constexpr long double kNarrowLimit = 134217728.0L; // 2^27

// One word: signed 28-bit mantissa over 10^k, k in the low four bits.
inline bool EncodeNarrow(long double v, uint32_t &word)
{
    if (v == 0) {
        if (std::signbit(v))
            return false;
        word = 0;
        return true;
    }
    for (int k = 0; k < 11; ++k) {
        const long double m = v * kPow10[k];
        if (!(m > -kNarrowLimit && m < kNarrowLimit))
            return false; // growing further only makes it larger
        if (m != std::trunc(m))
            continue;
        const int32_t mi = static_cast<int32_t>(m);
        const long double back = k == 0 ? static_cast<long double>(mi) : static_cast<long double>(mi) / kPow10[k];
        if (back == v) {
            word = (static_cast<uint32_t>(mi) << 4) | static_cast<uint32_t>(k);
            return true;
        }
    }
    return false;
}

// Whether two one-word numbers are both whole (no decimal places), and the
// whole number of such a word.
inline bool BothWhole(uint32_t a, uint32_t b) { return ((a | b) & 15u) == 0; }
inline int64_t WholeOf(uint32_t word) { return static_cast<int32_t>(word) >> 4; }

inline long double DecodeNarrow(uint32_t word)
{
    const int32_t mi = static_cast<int32_t>(word) >> 4;
    const unsigned k = word & 15u;
    return k == 0 ? static_cast<long double>(mi) : static_cast<long double>(mi) / kPow10[k];
}

inline long double DecodeWide(const uint32_t *w)
{
    long double v = 0;
    std::memcpy(&v, w, 10);
    return v;
}

inline void EncodeWide(long double v, uint32_t *w)
{
    w[0] = w[1] = w[2] = 0;
    std::memcpy(w, &v, 10);
}

} // namespace grittor::hpglnum
