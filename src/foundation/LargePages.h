// Memory for the big buffers that are filled soon after they are made: a
// plot's text and stores, pictures, the compressor's state.  On this kind of
// machine every first touch of a small page traps into the kernel, and under
// virtualisation a trap costs some microseconds: a 700 KB picture took
// 1.5 ms to clear, a 1 MB plot's buffers a third of its whole rendering.
// A block of LargeFrom bytes or more gets a region of its own, aligned to
// the kernel's huge page and advised to be backed by huge pages, which fault
// in 2 MB at a time (the same picture: 0.1 ms).  Smaller blocks come from
// the ordinary heap.  Where the kernel has no huge page to give, the region
// falls back to small pages and nothing else changes.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace grittor {

constexpr size_t HugePageBytes = size_t(2) << 20;
// The smallest block worth a region of its own: below it, the rounding up to
// a huge page would waste more memory than its faults cost time.
constexpr size_t LargeFrom = size_t(256) << 10;

// Raises std::bad_alloc when no memory is left.  A block must be given back
// with the same size.
void *AllocateLarge(size_t bytes);
void ReleaseLarge(void *p, size_t bytes) noexcept;

// Makes the memory of [p, p + bytes) ready to be written, as a first write
// to each page would, without writing it (its contents stay as they are):
// one thread can take the system's clearing of fresh pages off another that
// is about to fill them.  False where the system cannot (nothing is lost:
// the pages are then made at their first write).
bool PrepareForWriting(const void *p, size_t bytes) noexcept;

// Whether a block of this size gets a huge-page region of its own.
inline bool GetsOwnRegion(size_t bytes)
{
    return bytes >= LargeFrom;
}

template <class T> struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() noexcept = default;
    template <class U> LargePageAllocator(const LargePageAllocator<U> &) noexcept {}
    T *allocate(size_t n)
    {
        if (n > static_cast<size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T *>(AllocateLarge(n * sizeof(T)));
    }
    void deallocate(T *p, size_t n) noexcept { ReleaseLarge(p, n * sizeof(T)); }
    template <class U> bool operator==(const LargePageAllocator<U> &) const noexcept { return true; }
    template <class U> bool operator!=(const LargePageAllocator<U> &) const noexcept { return false; }
};

template <class T> using LargeVector = std::vector<T, LargePageAllocator<T>>;
using LargeString = std::basic_string<char, std::char_traits<char>, LargePageAllocator<char>>;

// The same, leaving the room a resize adds uninitialised (value-initialising
// a char writes a zero): for a buffer a file is read into, whose every byte
// is then written once, not twice, and by whichever thread reads that part.
template <class T> struct LargeUninitAllocator : LargePageAllocator<T> {
    template <class U> struct rebind {
        using other = LargeUninitAllocator<U>;
    };
    LargeUninitAllocator() noexcept = default;
    template <class U> LargeUninitAllocator(const LargeUninitAllocator<U> &) noexcept {}
    template <class U> void construct(U *p) noexcept { ::new (static_cast<void *>(p)) U; }
    template <class U, class... A> void construct(U *p, A &&...args)
    {
        ::new (static_cast<void *>(p)) U(std::forward<A>(args)...);
    }
};
using LargeText = std::vector<char, LargeUninitAllocator<char>>;

// A heap for many small blocks that all go at once (the compressor's state
// of several streams): they are cut one after another from large regions,
// and given back together when the arena goes.  Not for use by two threads
// at once.
class TLargeArena {
public:
    // Regions of `regionBytes`; with a smaller `firstRegionBytes` the first
    // regions start at that size and double up to it, so that an arena that
    // is never filled much does not take a whole huge page.
    explicit TLargeArena(size_t regionBytes = HugePageBytes, size_t firstRegionBytes = 0)
        : regionBytes_(regionBytes), nextRegionBytes_(firstRegionBytes ? firstRegionBytes : regionBytes)
    {
    }
    ~TLargeArena();
    TLargeArena(const TLargeArena &) = delete;
    TLargeArena &operator=(const TLargeArena &) = delete;
    // Aligned to 16 bytes; raises std::bad_alloc.
    void *Allocate(size_t bytes);
    size_t Regions() const { return regions_.size(); }

private:
    size_t regionBytes_;
    size_t nextRegionBytes_;
    std::vector<std::pair<unsigned char *, size_t>> regions_;
    size_t used_ = 0; // in the last region
};

// An allocator for a container that only grows and goes as a whole (the
// outlines of a collection): its blocks are cut one after another from the
// arena's regions, huge pages once the arena has grown, instead of coming
// one by one from the heap, whose fresh small pages each cost a trap at
// their first touch.  Nothing is given back before the arena goes.
template <class T> struct TArenaAllocator {
    using value_type = T;
    explicit TArenaAllocator(TLargeArena &arena) noexcept : arena(&arena) {}
    template <class U> TArenaAllocator(const TArenaAllocator<U> &other) noexcept : arena(other.arena) {}
    T *allocate(size_t n)
    {
        static_assert(alignof(T) <= 16, "the arena aligns to 16 bytes");
        if (n > static_cast<size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T *>(arena->Allocate(n * sizeof(T)));
    }
    void deallocate(T *, size_t) noexcept {}
    template <class U> bool operator==(const TArenaAllocator<U> &other) const noexcept { return arena == other.arena; }
    template <class U> bool operator!=(const TArenaAllocator<U> &other) const noexcept { return arena != other.arena; }
    TLargeArena *arena;
};

} // namespace grittor
