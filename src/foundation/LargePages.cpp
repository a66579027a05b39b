#include "foundation/LargePages.h"

#include <algorithm>
#include <cstdint>
#include <sys/mman.h>

namespace grittor {
namespace {

size_t RoundUp(size_t n, size_t to)
{
    return (n + to - 1) / to * to;
}

} // namespace

void *AllocateLarge(size_t bytes)
{
    if (!GetsOwnRegion(bytes))
        return ::operator new(bytes);
    if (bytes > SIZE_MAX - 2 * HugePageBytes)
        throw std::bad_alloc();
    const size_t span = RoundUp(bytes, HugePageBytes);
    // One huge page more than needed, so that an aligned start lies within;
    // what lies before and after it is given back at once.
    void *raw = ::mmap(nullptr, span + HugePageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const uintptr_t from = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t start = RoundUp(from, HugePageBytes);
    const uintptr_t end = start + span;
    if (start > from)
        ::munmap(raw, start - from);
    if (from + span + HugePageBytes > end)
        ::munmap(reinterpret_cast<void *>(end), from + span + HugePageBytes - end);
    // Advice only: where it is refused the region has small pages.
    ::madvise(reinterpret_cast<void *>(start), span, MADV_HUGEPAGE);
    return reinterpret_cast<void *>(start);
}

void ReleaseLarge(void *p, size_t bytes) noexcept
{
    if (!p)
        return;
    if (!GetsOwnRegion(bytes)) {
        ::operator delete(p, bytes);
        return;
    }
    ::munmap(p, RoundUp(bytes, HugePageBytes));
}

bool PrepareForWriting(const void *p, size_t bytes) noexcept
{
#ifdef MADV_POPULATE_WRITE
    constexpr uintptr_t kPage = 4096;
    const uintptr_t from = reinterpret_cast<uintptr_t>(p) & ~(kPage - 1);
    const uintptr_t to = reinterpret_cast<uintptr_t>(p) + bytes;
    if (bytes == 0 || to < from)
        return bytes == 0;
    return ::madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_WRITE) == 0;
#else
    (void)p;
    (void)bytes;
    return false;
#endif
}

TLargeArena::~TLargeArena()
{
    for (const auto &[p, n] : regions_)
        ReleaseLarge(p, n);
}

void *TLargeArena::Allocate(size_t bytes)
{
    constexpr size_t kAlign = 16;
    bytes = RoundUp(bytes ? bytes : 1, kAlign);
    if (regions_.empty() || regions_.back().second - used_ < bytes) {
        const size_t region = std::min(nextRegionBytes_, regionBytes_);
        nextRegionBytes_ = region * 2;
        const size_t n = bytes > region ? (GetsOwnRegion(bytes) ? RoundUp(bytes, HugePageBytes) : bytes) : region;
        regions_.reserve(regions_.size() + 1);
        regions_.emplace_back(static_cast<unsigned char *>(AllocateLarge(n)), n);
        used_ = 0;
    }
    void *p = regions_.back().first + used_;
    used_ += bytes;
    return p;
}

} // namespace grittor
