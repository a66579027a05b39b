#include "foundation/Clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace grittor {

int64_t SystemClock::NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t SystemClock::NowNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t SystemClock::WallMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void SystemClock::SleepMs(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    else
        std::this_thread::yield();
}

bool Clock::WaitFor(std::condition_variable &, std::unique_lock<std::mutex> &lock, int ms,
                    const std::function<bool()> &ready)
{
    if (ready())
        return true;
    lock.unlock();
    SleepMs(ms);
    lock.lock();
    return ready();
}

bool SystemClock::WaitFor(std::condition_variable &cv, std::unique_lock<std::mutex> &lock, int ms,
                          const std::function<bool()> &ready)
{
    if (ms <= 0)
        return ready();
    return cv.wait_for(lock, std::chrono::milliseconds(ms), ready);
}

namespace {
SystemClock g_systemClock;
std::atomic<Clock *> g_clock{nullptr};
} // namespace

Clock &GetClock()
{
    Clock *c = g_clock.load(std::memory_order_acquire);
    return c ? *c : g_systemClock;
}

void SetClock(Clock *clock) { g_clock.store(clock, std::memory_order_release); }

} // namespace grittor
