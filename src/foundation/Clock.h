// Time source of the whole program.  Timeouts, log ages and time stamps all
// ask the installed clock, so tests can run a 59-second wait in no real time.
#pragma once

#include <QDateTime>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace grittor {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic milliseconds and nanoseconds (the tick count and the
    // high-resolution counter).
    virtual int64_t NowMs() = 0;
    virtual int64_t NowNs() = 0;
    // Wall time in milliseconds since 1970 (UTC), for time stamps and the
    // log's age.
    virtual int64_t WallMs() = 0;
    // The same as local time.  (Inline, so that code built without the
    // toolkit can use a clock: only what calls it needs QDateTime.)
    QDateTime WallNow() { return QDateTime::fromMSecsSinceEpoch(WallMs()); }
    virtual void SleepMs(int ms) = 0;
    // Waits on `cv` (its mutex held through `lock`) until `ready` holds or
    // ms pass; true when ready.  A clock other than the system's lets the
    // time pass by sleeping on itself, so a test's clock decides how long
    // "nothing arrived" lasts.
    virtual bool WaitFor(std::condition_variable &cv, std::unique_lock<std::mutex> &lock, int ms,
                         const std::function<bool()> &ready);
};

class SystemClock final : public Clock {
public:
    int64_t NowMs() override;
    int64_t NowNs() override;
    int64_t WallMs() override;
    void SleepMs(int ms) override;
    bool WaitFor(std::condition_variable &cv, std::unique_lock<std::mutex> &lock, int ms,
                 const std::function<bool()> &ready) override;
};

// A clock that only moves when told to, or when someone sleeps on it.
class FakeClock final : public Clock {
public:
    explicit FakeClock(const QDateTime &wallStart = QDateTime(QDate(2026, 1, 15), QTime(10, 0, 0)))
        : wallStartMs_(wallStart.toMSecsSinceEpoch())
    {
    }
    int64_t NowMs() override { return ns_ / 1000000; }
    int64_t NowNs() override { return ns_; }
    int64_t WallMs() override { return wallStartMs_ + ns_ / 1000000; }
    void SleepMs(int ms) override { Advance(ms); }
    void Advance(int64_t ms) { ns_ += ms * 1000000; }
    void SetWall(const QDateTime &wall) { wallStartMs_ = wall.toMSecsSinceEpoch() - ns_ / 1000000; }

private:
    int64_t wallStartMs_;
    int64_t ns_ = 1000000000;
};

// The installed clock (a SystemClock unless a test installs another).
Clock &GetClock();
// Installs `clock` (not owned; nullptr restores the system clock).
void SetClock(Clock *clock);

} // namespace grittor
