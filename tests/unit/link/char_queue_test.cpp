// The byte rings and the event stash.
#include "link/TCharQueue.h"
#include "link/TStash.h"

#include "TestDoubles.h"
#include "foundation/Clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

using namespace grittor;

namespace {

class QueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetClock(&clock);
        flags.Closing = false;
        flags.Cancelled = false;
        ClearStash();
        SetStashMask(DefaultStashMask);
        SetDoStash(false);
    }
    void TearDown() override
    {
        SetClock(nullptr);
        SetDoStash(false);
        ClearStash();
    }
    FakeClock clock;
    AbortFlags flags;
};

int CountCode(int code)
{
    int n = 0;
    for (const auto &r : StashSnapshot())
        if (r.Code == code)
            ++n;
    return n;
}

} // namespace

TEST_F(QueueTest, HoldsOneByteLessThanItsSlotsAndTheNextPutWaitsUntilCancelled)
{
    TCharQueue q(20000, false, flags);
    for (int i = 0; i < 19999; ++i)
        ASSERT_TRUE(q.put(static_cast<uint8_t>(i)));
    EXPECT_EQ(q.Count(), 19999);
    EXPECT_EQ(q.FreeSpace(), 0);

    // The 20000th put waits in whole steps, letting the window run, until
    // the operator cancels; then the byte is dropped.
    test::CountingUiHooks hooks;
    const int64_t before = clock.NowMs();
    hooks.onProcess = [&] {
        if (clock.NowMs() - before >= 3000)
            flags.Cancelled = true;
    };
    SetDoStash(true);
    EXPECT_FALSE(q.put(0xAA));
    EXPECT_GE(clock.NowMs() - before, 3000);
    EXPECT_LT(clock.NowMs() - before, 3100) << "a cancel ends the wait within one short slice";
    EXPECT_EQ(q.Count(), 19999);
    EXPECT_GT(hooks.calls.load(), 0);
    EXPECT_EQ(CountCode(STOutputFull), 3) << "one record per whole 1000 ms step";
    EXPECT_EQ(q.get(), 0) << "oldest byte first";
}

TEST_F(QueueTest, EmptyGetReturnsMinusOneAndChangesNothing)
{
    TCharQueue q(8, true, flags);
    EXPECT_TRUE(q.is_empty());
    EXPECT_EQ(q.get(), -1);
    EXPECT_EQ(q.Count(), 0);
    q.put('a');
    EXPECT_EQ(q.get(), 'a');
    EXPECT_EQ(q.get(), -1);
    EXPECT_TRUE(q.is_empty());
    EXPECT_EQ(q.HighWater(), 1);
}

TEST_F(QueueTest, GetAllFillsFromTheStartUpToTheBufferLengthAcrossTheWrap)
{
    TCharQueue q(16, false, flags);
    // Move the read position near the end so the data wraps.
    for (int i = 0; i < 12; ++i)
        q.put('x');
    for (int i = 0; i < 12; ++i)
        q.get();
    for (int i = 0; i < 10; ++i)
        q.put(static_cast<uint8_t>('0' + i));
    std::string buffer(1000, '-');
    EXPECT_EQ(q.get_all(buffer), 10);
    EXPECT_EQ(buffer.substr(0, 11), "0123456789-");
    EXPECT_TRUE(q.is_empty());

    for (int i = 0; i < 10; ++i)
        q.put(static_cast<uint8_t>('a' + i));
    std::string small(4, ' ');
    EXPECT_EQ(q.get_all(small), 4);
    EXPECT_EQ(small, "abcd");
    EXPECT_EQ(q.Count(), 6);
    EXPECT_EQ(q.get(), 'e');
    EXPECT_EQ(q.HighWater(), 12);
}

TEST_F(QueueTest, StashRecordsOnlyWhenSwitchedOnAndUnmasked)
{
    TCharQueue in(4, true, flags);
    TCharQueue out(3, false, flags);
    in.put('a');
    in.get();
    EXPECT_FALSE(StashExists() && !StashSnapshot().empty()) << "switch off: nothing recorded";

    SetDoStash(true);
    in.put('b');
    in.get(); // code 8 is outside the mask 0x7E0FF
    in.get(); // empty
    std::string buf(10, ' ');
    out.put('1');
    out.put('2');
    out.get_all(buf); // code 13 is recorded, code 12 would not be
    EXPECT_EQ(CountCode(STGetByteInput), 0);
    EXPECT_EQ(CountCode(STPutByteInput), 0);
    EXPECT_EQ(CountCode(STGetAllOutput), 1);

    // A put on a full output queue records STOutputFull.
    out.put('1');
    out.put('2');
    test::CountingUiHooks hooks;
    hooks.onProcess = [&] {
        if (CountCode(STOutputFull) > 0)
            flags.Closing = true;
    };
    EXPECT_FALSE(out.put('3'));
    EXPECT_EQ(CountCode(STOutputFull), 1);
    const auto records = StashSnapshot();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(std::string(StashCodeName(records.back().Code)), "STOutputFull");

    SetStashMask(0xFFFFFFFF);
    in.get();
    EXPECT_EQ(CountCode(STGetByteInput), 1);
    EXPECT_EQ(StashSnapshot().back().Text, "empty");
}

TEST(StashTest, NamesAndDump)
{
    EXPECT_STREQ(StashCodeName(0), "STReadStart");
    EXPECT_STREQ(StashCodeName(13), "STGetAllOutput");
    EXPECT_STREQ(StashCodeName(18), "STOpenError");
    EXPECT_STREQ(StashCodeName(19), "");
    SetDoStash(true);
    SetStashMask(DefaultStashMask);
    ClearStash();
    StashRecord(STSendRec, 256, "");
    StashRecord(40, 1, "beyond the mask's 32 bits"); // ignored, no crash
    size_t seen = 0;
    WithStash([&](std::vector<TStash> &list) {
        seen = list.size();
        list.clear(); // a dump empties the stash under its lock
    });
    EXPECT_EQ(seen, 1u);
    EXPECT_TRUE(StashSnapshot().empty());
    SetDoStash(false);
}

// Two threads hammer two queues: the "receive" thread moves everything from
// one queue into the other while the "interface" thread feeds the first and
// checks what comes out of the second.  No byte may be lost or doubled.
TEST(QueueHammer, TwoThreadsTwoQueuesLoseAndDuplicateNothing)
{
    // A few seconds in the normal suite, ten under the sanitizers (or on
    // request through GRITTOR_HAMMER_SECONDS).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    double seconds = 10;
#else
    double seconds = 2;
#endif
    if (const char *s = std::getenv("GRITTOR_HAMMER_SECONDS"))
        seconds = std::atof(s);
    AbortFlags flags;
    TCharQueue toThread(97, false, flags); // small rings wrap constantly
    TCharQueue fromThread(61, true, flags);
    std::atomic<bool> stop{false};
    std::atomic<long long> moved{0};
    auto pattern = [](long long i) { return static_cast<uint8_t>((i * 2654435761LL) >> 7); };

    std::thread relay([&] {
        std::string chunk;
        while (!stop) {
            // Alternate single gets and bulk gets, as the link does; take no
            // more than fits, so the relay never waits inside put.
            int c = -1;
            if (fromThread.FreeSpace() > 0 && (c = toThread.get()) >= 0) {
                fromThread.put(static_cast<uint8_t>(c));
                ++moved;
            }
            chunk.resize(static_cast<size_t>(std::min<int32_t>(13, fromThread.FreeSpace())));
            const int n = toThread.get_all(chunk);
            for (int i = 0; i < n; ++i)
                fromThread.put(static_cast<uint8_t>(chunk[static_cast<size_t>(i)]));
            moved += n;
            if (c < 0 && n == 0)
                std::this_thread::yield();
        }
    });

    long long sent = 0, received = 0;
    bool mismatch = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end && !mismatch) {
        for (int k = 0; k < 64 && toThread.FreeSpace() > 0; ++k)
            toThread.put(pattern(sent++));
        for (int c; (c = fromThread.get()) >= 0;) {
            if (c != pattern(received)) {
                mismatch = true;
                break;
            }
            ++received;
        }
    }
    // Drain what is still in flight.
    const auto drainEnd = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (received < sent && !mismatch && std::chrono::steady_clock::now() < drainEnd) {
        const int c = fromThread.get();
        if (c < 0) {
            std::this_thread::yield();
            continue;
        }
        mismatch = c != pattern(received);
        ++received;
    }
    stop = true;
    relay.join();
    EXPECT_FALSE(mismatch) << "byte " << received << " out of order, lost or doubled";
    EXPECT_EQ(received, sent);
    EXPECT_EQ(moved.load(), sent);
    EXPECT_GT(sent, 10000) << "the hammer must actually run";
    EXPECT_TRUE(toThread.is_empty());
    EXPECT_TRUE(fromThread.is_empty());
}

TEST_F(QueueTest, AWaitingGetEndsWhenTheTimeRunsOutOrAByteArrives)
{
    TCharQueue q(100, true, flags);
    const int64_t start = clock.NowMs();
    EXPECT_EQ(q.get_wait(250), -1);
    EXPECT_EQ(clock.NowMs() - start, 250); // the installed clock's time passed, no real time
    ASSERT_TRUE(q.put('z'));
    const int64_t before = clock.NowMs();
    EXPECT_EQ(q.get_wait(250), 'z'); // a byte that is there is taken at once
    EXPECT_EQ(clock.NowMs(), before);
    EXPECT_TRUE(q.is_empty());
}

TEST(QueueWait, PutWakesAWaitingGetOnTheRealClock)
{
    AbortFlags flags;
    TCharQueue q(100, true, flags);
    std::thread producer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        q.put('a');
    });
    const auto t0 = std::chrono::steady_clock::now();
    const int c = q.get_wait(10000);
    const auto took = std::chrono::steady_clock::now() - t0;
    producer.join();
    EXPECT_EQ(c, 'a');
    EXPECT_LT(took, std::chrono::seconds(5)); // woken by the put, long before the timeout
    EXPECT_FALSE(q.wait_data(1)); // and nothing is left
}
