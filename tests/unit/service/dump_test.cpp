// The memory dump: the request as typed, the records as they arrive, and the
// receive loop that waits on the queue with a timeout measured from the last
// byte received.
#include "service/DumpRecordReader.h"
#include "service/MemoryDump.h"

#include "TestDoubles.h"
#include "foundation/Clock.h"
#include "link/TCharQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

using namespace grittor;

namespace {

std::string Record(std::initializer_list<uint32_t> words, char unexamined = '\r', char end = '\n')
{
    std::string s;
    for (uint32_t w : words)
        for (int b = 0; b < 4; ++b)
            s += static_cast<char>((w >> (8 * b)) & 0xFF);
    return s + unexamined + end;
}

void Fill(TCharQueue &q, const std::string &bytes)
{
    for (char c : bytes)
        ASSERT_TRUE(q.put(static_cast<uint8_t>(c)));
}

std::string Contents(std::FILE *f)
{
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        s.append(buf, n);
    return s;
}

class DumpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetClock(&clock);
        file = std::tmpfile();
        ASSERT_NE(file, nullptr);
    }
    void TearDown() override
    {
        SetClock(nullptr);
        std::fclose(file);
    }
    TDumpOutcome Receive(int32_t words, int64_t silenceMs = 5000)
    {
        return TMemoryDump::Receive(queue, words, file, progress, flags, silenceMs);
    }
    FakeClock clock;
    AbortFlags flags;
    TCharQueue queue{60000, true, flags};
    test::RecordingProgress progress;
    test::CountingUiHooks hooks;
    std::FILE *file = nullptr;
};

} // namespace

TEST(DumpRequest, AddressIsReadAsHexadecimalWhateverTheCase)
{
    EXPECT_EQ(TMemoryDump::ParseAddress("1A2b"), 6699u);
    EXPECT_EQ(TMemoryDump::AddressText(6699), "00001A2B");
    EXPECT_EQ(TMemoryDump::Command(6699, 12), "\x1b.cdump_mem;6699;12:");
    // A character that is no digit still moves the others up one place.
    EXPECT_EQ(TMemoryDump::ParseAddress("1x2"), 0x102u);
    EXPECT_EQ(TMemoryDump::ParseAddress(""), 0u);
    EXPECT_EQ(TMemoryDump::ParseAddress("123456789"), 0x23456789u); // 32 bits kept
    EXPECT_EQ(TMemoryDump::AddressText(0xFFFFFFFF), "FFFFFFFF");
}

TEST(DumpRequest, WordCountRisesToAMultipleOfFourAndNonsenseIsRefused)
{
    EXPECT_EQ(TMemoryDump::WordCount("10"), 12);
    EXPECT_EQ(TMemoryDump::WordCount("12"), 12);
    EXPECT_EQ(TMemoryDump::WordCount("0"), 0);
    EXPECT_EQ(TMemoryDump::WordCount(" 1 "), 4);
    EXPECT_EQ(TMemoryDump::WordCount("2147483644"), 2147483644);
    EXPECT_FALSE(TMemoryDump::WordCount("2147483645")); // would pass 32 bits
    EXPECT_FALSE(TMemoryDump::WordCount("-4"));
    EXPECT_FALSE(TMemoryDump::WordCount("ten"));
    EXPECT_FALSE(TMemoryDump::WordCount(""));
}

TEST(DumpRecords, WordsAreSignedAndWrittenTwoToALine)
{
    TDumpRecordReader r;
    const std::string rec = Record({1, 0xFFFFFFFF, 0x80000000, 0x7FFFFFFF});
    for (size_t i = 0; i + 1 < rec.size(); ++i)
        EXPECT_FALSE(r.Feed(static_cast<uint8_t>(rec[i])));
    EXPECT_TRUE(r.Feed(static_cast<uint8_t>(rec.back())));
    EXPECT_EQ(TDumpRecordReader::FileLines(r.Record()), "1\t-1\r\n-2147483648\t2147483647\r\n");
}

TEST(DumpRecords, ARecordWithoutItsLineFeedResynchronisesOnTheNextOne)
{
    TDumpRecordReader r;
    std::vector<TDumpRecord> got;
    // The first record's last byte is no line feed: it counts once the bytes
    // up to the next line feed are dropped; the next record reads cleanly.
    const std::string bytes = Record({1, 2, 3, 4}, '\r', 'x') + "ab\n" + Record({5, 6, 7, 8});
    for (char c : bytes)
        if (r.Feed(static_cast<uint8_t>(c)))
            got.push_back(r.Record());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (TDumpRecord{1, 2, 3, 4}));
    EXPECT_EQ(got[1], (TDumpRecord{5, 6, 7, 8}));
    EXPECT_EQ(r.Resynchronised(), 1);
}

TEST_F(DumpTest, TenWordsAskForTwelveAndThreeRecordsFinishIt)
{
    Fill(queue,
         Record({1, 2, 3, 4}) + Record({5, 6, 7, 8}) + Record({9, 10, 11, 0xFFFFFFFE}) + Record({99, 99, 99, 99}));
    const auto words = TMemoryDump::WordCount("10");
    const TDumpOutcome o = Receive(*words);
    EXPECT_FALSE(o.TimedOut);
    EXPECT_EQ(o.Records, 3);
    EXPECT_EQ(o.WordsLeft, 0);
    EXPECT_EQ(Contents(file), "1\t2\r\n3\t4\r\n5\t6\r\n7\t8\r\n9\t10\r\n11\t-2\r\n");
    EXPECT_EQ(queue.Count(), 18);                             // the fourth record is not read
    ASSERT_EQ(progress.CountOf(test::ProgressEvent::Set), 1); // 0 left is a multiple of 4096
    EXPECT_DOUBLE_EQ(progress.events.back().fraction, 1.0);
}

TEST_F(DumpTest, ACountOfZeroStillReadsOneRecord)
{
    Fill(queue, Record({1, 2, 3, 4}) + Record({5, 6, 7, 8}));
    const TDumpOutcome o = Receive(0);
    EXPECT_EQ(o.Records, 1);
    EXPECT_EQ(o.WordsLeft, -4);
    EXPECT_EQ(queue.Count(), 18);
}

TEST_F(DumpTest, ProgressMovesEvery4096Words)
{
    std::string bytes;
    for (uint32_t r = 0; r < 2048; ++r)
        bytes += Record({r, r, r, r});
    Fill(queue, bytes);
    const TDumpOutcome o = Receive(8192);
    EXPECT_EQ(o.Records, 2048);
    ASSERT_EQ(progress.CountOf(test::ProgressEvent::Set), 2);
    EXPECT_DOUBLE_EQ(progress.events[0].fraction, 0.5);
    EXPECT_DOUBLE_EQ(progress.events[1].fraction, 1.0);
}

TEST_F(DumpTest, SilenceEndsTheDumpAndThePartialFileStays)
{
    Fill(queue, Record({1, 2, 3, 4}) + Record({5, 6, 7, 8}).substr(0, 10));
    const int64_t start = clock.NowMs();
    const TDumpOutcome o = Receive(12, 5000);
    EXPECT_TRUE(o.TimedOut);
    EXPECT_EQ(o.WordsLeft, 8);
    EXPECT_EQ(Contents(file), "1\t2\r\n3\t4\r\n");
    EXPECT_GE(clock.NowMs() - start, 5000);
    EXPECT_LT(clock.NowMs() - start, 5000 + TMemoryDump::WaitSliceMs + 1);
}

TEST_F(DumpTest, TheTimeoutCountsFromTheLastByteNotFromTheStart)
{
    // One byte arrives every 4 s: never 5 s of silence, so the dump goes
    // on for as long as bytes keep coming.
    const std::string rec = Record({7, 7, 7, 7});
    size_t next = 0;
    int64_t lastFeed = clock.NowMs();
    hooks.onProcess = [&] {
        if (next < rec.size() && clock.NowMs() - lastFeed >= 4000) {
            queue.put(static_cast<uint8_t>(rec[next++]));
            lastFeed = clock.NowMs();
        }
    };
    const TDumpOutcome o = Receive(4, 5000);
    EXPECT_FALSE(o.TimedOut);
    EXPECT_EQ(o.Records, 1);
    EXPECT_GE(clock.NowMs(), 18 * 4000); // 72 s of dump, never a timeout
}

TEST_F(DumpTest, CancelStopsItWithoutATimeout)
{
    hooks.onProcess = [&] { flags.Cancelled = true; };
    const TDumpOutcome o = Receive(12);
    EXPECT_TRUE(o.Aborted);
    EXPECT_FALSE(o.TimedOut);
}

TEST(DumpWait, TheLoopSleepsOnTheQueueInsteadOfSpinning)
{
    // Real clock: the record comes 60 ms late from another thread.  A poll
    // loop would run window messages thousands of times meanwhile.
    AbortFlags flags;
    TCharQueue queue(100, true, flags);
    test::RecordingProgress progress;
    test::CountingUiHooks hooks;
    std::FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::thread producer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        for (char c : Record({1, 2, 3, 4}))
            queue.put(static_cast<uint8_t>(c));
    });
    const auto t0 = std::chrono::steady_clock::now();
    const TDumpOutcome o = TMemoryDump::Receive(queue, 4, file, progress, flags, 5000);
    const auto took = std::chrono::steady_clock::now() - t0;
    producer.join();
    std::fclose(file);
    EXPECT_EQ(o.Records, 1);
    EXPECT_LT(took, std::chrono::milliseconds(1000));
    EXPECT_LT(hooks.calls.load(), 50); // about one a slice (20 ms), not one a poll
}
