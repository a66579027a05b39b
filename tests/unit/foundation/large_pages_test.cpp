#include "foundation/LargePages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace grittor;

namespace {

uintptr_t Addr(const void *p)
{
    return reinterpret_cast<uintptr_t>(p);
}

// Whether every page of [p, p+n) is mapped (mincore fails with ENOMEM on a
// hole).
bool Mapped(const void *p, size_t n)
{
    const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const uintptr_t from = Addr(p) & ~(page - 1);
    const uintptr_t to = (Addr(p) + n + page - 1) & ~(page - 1);
    std::vector<unsigned char> v((to - from) / page);
    return ::mincore(reinterpret_cast<void *>(from), to - from, v.data()) == 0;
}

// The kernel's flags of the mapping that holds `p` (VmFlags in smaps).
std::string FlagsOfMappingAt(const void *p)
{
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        unsigned long long lo = 0, hi = 0;
        if (std::sscanf(line.c_str(), "%llx-%llx ", &lo, &hi) == 2 && line.find(' ') > line.find('-'))
            inside = Addr(p) >= lo && Addr(p) < hi;
        else if (inside && line.rfind("VmFlags:", 0) == 0)
            return line;
    }
    return {};
}

} // namespace

TEST(LargePages, BigBlocksGetAdvisedRegionsOfTheirOwnThatGoWhenReleased)
{
    // Sizes around the edges: the threshold, a huge page, a little over one.
    for (const size_t n : {LargeFrom, HugePageBytes - 1, HugePageBytes, HugePageBytes + 1, 5 * HugePageBytes + 333}) {
        SCOPED_TRACE(n);
        auto *a = static_cast<unsigned char *>(AllocateLarge(n));
        auto *b = static_cast<unsigned char *>(AllocateLarge(n));
        // Two live blocks never overlap, and all of each can be written.
        EXPECT_TRUE(Addr(a) + n <= Addr(b) || Addr(b) + n <= Addr(a));
        std::memset(a, 0xA5, n);
        std::memset(b, 0x5A, n);
        EXPECT_EQ(a[n - 1], 0xA5);
        EXPECT_EQ(b[0], 0x5A);
        // Near the start of a huge page, and in a region advised for them.
        EXPECT_LT(Addr(a) % HugePageBytes, size_t(64) << 10);
        if (std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled")) { // a kernel that has them
            EXPECT_NE(FlagsOfMappingAt(a).find(" hg"), std::string::npos) << FlagsOfMappingAt(a);
        }
        ReleaseLarge(a, n);
        // All of the region went, the other block stayed.
        EXPECT_FALSE(Mapped(a, 1));
        EXPECT_FALSE(Mapped(a + n - 1, 1));
        EXPECT_TRUE(Mapped(b, n));
        EXPECT_EQ(b[n - 1], 0x5A);
        ReleaseLarge(b, n);
        EXPECT_FALSE(Mapped(b, n));
    }
    ReleaseLarge(nullptr, HugePageBytes); // nothing to give back
}

TEST(LargePages, ContainersKeepTheirContentsAcrossGrowthOverTheThreshold)
{
    LargeVector<uint32_t> v;
    for (uint32_t i = 0; i < 300000; ++i) // crosses the threshold while growing
        v.push_back(i * 7);
    for (uint32_t i = 0; i < 300000; i += 997)
        ASSERT_EQ(v[i], i * 7);
    LargeString s;
    for (int i = 0; i < 100000; ++i)
        s += "abc";
    EXPECT_EQ(s.size(), 300000u);
    EXPECT_EQ(std::string_view(s).substr(299997), "abc");
    EXPECT_EQ(GetsOwnRegion(s.capacity() + 1), true);
    // Small ones stay on the ordinary heap.
    EXPECT_FALSE(GetsOwnRegion(LargeFrom - 1));
    LargeVector<uint8_t> small(100, 7);
    EXPECT_EQ(small[99], 7);
}

TEST(LargePages, AnArenaHandsOutDistinctAlignedPiecesAndGivesThemBackTogether)
{
    unsigned char *first = nullptr;
    {
        TLargeArena arena;
        std::vector<std::pair<unsigned char *, size_t>> pieces;
        for (size_t n : {1u, 7u, 65536u, 300000u, 1u, 3000000u, 64u}) {
            auto *p = static_cast<unsigned char *>(arena.Allocate(n));
            EXPECT_EQ(Addr(p) % 16, 0u);
            std::memset(p, static_cast<int>(n & 0xFF), n);
            pieces.emplace_back(p, n);
        }
        for (size_t i = 0; i < pieces.size(); ++i)
            for (size_t j = i + 1; j < pieces.size(); ++j)
                EXPECT_TRUE(Addr(pieces[i].first) + pieces[i].second <= Addr(pieces[j].first) ||
                            Addr(pieces[j].first) + pieces[j].second <= Addr(pieces[i].first));
        for (const auto &[p, n] : pieces)
            EXPECT_EQ(p[n - 1], static_cast<unsigned char>(n & 0xFF));
        // 3 MB does not fit in a 2 MB region: a region of its own.
        EXPECT_GE(arena.Regions(), 2u);
        first = pieces.front().first;
    }
    EXPECT_FALSE(Mapped(first, 1)); // the arena's regions went with it
}

TEST(LargePages, AnArenaThatStartsSmallGrowsItsRegionsToHugePages)
{
    TLargeArena arena(HugePageBytes, size_t(16) << 10);
    auto *first = static_cast<unsigned char *>(arena.Allocate(100));
    EXPECT_EQ(arena.Regions(), 1u);
    unsigned char *last = nullptr;
    const size_t piece = 1000;
    for (size_t total = 0; total < (size_t(8) << 20); total += piece) {
        last = static_cast<unsigned char *>(arena.Allocate(piece));
        std::memset(last, 0x3C, piece);
    }
    first[99] = 1;
    // Doubling: a handful of small regions, then huge ones, not hundreds
    // of the first size.
    EXPECT_LE(arena.Regions(), 12u);
    EXPECT_EQ(Addr(last) % 16, 0u);
    if (std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled")) {
        // A plot with a few outlines takes no huge page for them; a big
        // one gets them.
        EXPECT_EQ(FlagsOfMappingAt(first).find(" hg"), std::string::npos) << FlagsOfMappingAt(first);
        EXPECT_NE(FlagsOfMappingAt(last).find(" hg"), std::string::npos);
    }
    // A piece larger than the next small region gets one of its size.
    TLargeArena small(HugePageBytes, 4096);
    auto *big = static_cast<unsigned char *>(small.Allocate(100000));
    std::memset(big, 0x5A, 100000);
    auto *after = static_cast<unsigned char *>(small.Allocate(16));
    EXPECT_TRUE(Addr(after) >= Addr(big) + 100000 || Addr(after) + 16 <= Addr(big));
    EXPECT_EQ(big[99999], 0x5A);
}

TEST(LargePages, AContainerOnAnArenaTakesItsBlocksFromTheArenasRegions)
{
    struct Record {
        uint64_t a, b, c, d;
    };
    TLargeArena arena;
    std::deque<Record, TArenaAllocator<Record>> records{TArenaAllocator<Record>(arena)};
    const Record *early = nullptr;
    for (uint64_t i = 0; i < 200000; ++i) { // 6.4 MB: several regions
        records.push_back({i, i * 3, ~i, 7});
        if (i == 10)
            early = &records[10];
    }
    EXPECT_EQ(early, &records[10]); // growing moved nothing
    EXPECT_GE(arena.Regions(), 3u);
    for (uint64_t i = 0; i < records.size(); i += 991) {
        ASSERT_EQ(records[i].b, i * 3);
        ASSERT_EQ(records[i].c, ~i);
    }
    // The records lie in the arena's advised regions, not on the heap's
    // small pages.
    if (std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled")) {
        EXPECT_NE(FlagsOfMappingAt(&records[0]).find(" hg"), std::string::npos);
        EXPECT_NE(FlagsOfMappingAt(&records.back()).find(" hg"), std::string::npos);
    }
    // Allocators share state only through the same arena.
    TLargeArena other;
    EXPECT_TRUE(TArenaAllocator<Record>(arena) == TArenaAllocator<int>(arena));
    EXPECT_FALSE(TArenaAllocator<Record>(arena) == TArenaAllocator<Record>(other));
}

namespace {
// How many of the pages of [p, p+n) are resident (p, n whole pages).
size_t ResidentPages(const void *p, size_t n)
{
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> v(n / page);
    if (::mincore(const_cast<void *>(p), n, v.data()) != 0)
        return SIZE_MAX;
    size_t k = 0;
    for (unsigned char c : v)
        k += c & 1;
    return k;
}
} // namespace

TEST(LargePages, PreparingForWritingMakesThePagesAndLeavesWhatIsWritten)
{
    const size_t n = 4 * HugePageBytes;
    auto *a = static_cast<unsigned char *>(AllocateLarge(n));
    ASSERT_EQ(ResidentPages(a, n), 0u);
    // Something written in the middle of the stretch to prepare stays.
    a[HugePageBytes + 4097] = 0x7E;
    // A stretch from the middle of a page to the middle of another, in the
    // second and third huge pages.
    ASSERT_TRUE(PrepareForWriting(a + HugePageBytes + 100, HugePageBytes));
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    EXPECT_EQ(ResidentPages(a, HugePageBytes), 0u);
    EXPECT_EQ(ResidentPages(a + HugePageBytes, HugePageBytes), HugePageBytes / page);
    EXPECT_GE(ResidentPages(a + 2 * HugePageBytes, page), 1u); // where it ends
    EXPECT_EQ(ResidentPages(a + 3 * HugePageBytes, HugePageBytes), 0u);
    EXPECT_EQ(a[HugePageBytes + 4097], 0x7E);
    EXPECT_EQ(a[HugePageBytes + 100], 0);
    EXPECT_TRUE(PrepareForWriting(a, 0));
    ReleaseLarge(a, n);
    // Memory that is gone is refused, not made.
    EXPECT_FALSE(PrepareForWriting(a, page));
    EXPECT_FALSE(Mapped(a, page));
}
