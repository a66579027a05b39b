// Side threads: started away from the caller's core, then free to run
// anywhere the process may.
#include "foundation/SideThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <pthread.h>
#include <sched.h>

using namespace grittor;

TEST(SideThread, RunsTheWorkAndEndsFreeToRunOnEveryCoreOfTheProcess)
{
    cpu_set_t process;
    CPU_ZERO(&process);
    ASSERT_EQ(sched_getaffinity(0, sizeof process, &process), 0);
    cpu_set_t seen;
    CPU_ZERO(&seen);
    int ran = 0;
    std::thread t = StartSideThread([&] {
        ++ran;
        pthread_getaffinity_np(pthread_self(), sizeof seen, &seen);
    });
    t.join();
    EXPECT_EQ(ran, 1);
    // The placement on another core must not stay: the work may wait on a
    // core that another program keeps busy.
    EXPECT_TRUE(CPU_EQUAL(&seen, &process)) << CPU_COUNT(&seen) << " of " << CPU_COUNT(&process) << " cores";
}

TEST(SideThread, AProcessOnOneCoreStillGetsItsThread)
{
    cpu_set_t process, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof process, &process), 0);
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    bool ran = false;
    std::thread t = StartSideThread([&] { ran = true; });
    t.join();
    sched_setaffinity(0, sizeof process, &process);
    EXPECT_TRUE(ran);
}

TEST(SideThread, WaitingForSideWorkKeepsTheCallerGoing)
{
    // The work ends only once the caller has run its own business while
    // waiting (as the window runs its event loop).
    std::atomic<bool> released{false};
    int rounds = 0;
    TSideWork work([&] {
        while (!released.load())
            std::this_thread::yield();
    });
    ASSERT_TRUE(work.OnSideThread());
    work.Wait([&] {
        ++rounds;
        released = true;
    });
    EXPECT_GE(rounds, 1);
    work.Wait([&] { ++rounds; }); // once done, waiting again returns at once
    EXPECT_EQ(rounds, 1);
}

TEST(SideThread, OtherThreadsCanAwaitTheEndOfSideWork)
{
    // Two other threads await the end while the owner waits too; none of
    // them returns before the work has ended.
    std::atomic<bool> released{false}, ended{false};
    TSideWork work([&] {
        while (!released.load())
            std::this_thread::yield();
        ended = true;
    });
    ASSERT_TRUE(work.OnSideThread());
    std::atomic<int> sawEnded{0};
    std::thread a([&] {
        work.AwaitEnd();
        sawEnded += ended.load();
    });
    std::thread b([&] {
        work.AwaitEnd();
        sawEnded += ended.load();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(sawEnded.load(), 0);
    released = true;
    work.Wait();
    a.join();
    b.join();
    EXPECT_EQ(sawEnded.load(), 2);
    work.AwaitEnd(); // after the end it returns at once
}
