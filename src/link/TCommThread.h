// The receive thread: every round it waits up to 50 ms for the port's
// events, moves received bytes into InQueue, writes queued output, renders
// terminal text and checks the idle timer.  It never calls window code.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace grittor {

class TSerial;

class TCommThread {
public:
    static constexpr int RoundMs = 50;

    explicit TCommThread(TSerial &link);
    ~TCommThread();
    TCommThread(const TCommThread &) = delete;
    TCommThread &operator=(const TCommThread &) = delete;

    void Start();
    void Terminate();
    void WaitFor();
    bool Terminated() const { return terminated_.load(); }
    bool Running() const { return thread_.joinable(); }
    // True when the system granted the raised priority.
    bool PriorityRaised() const { return priorityRaised_.load(); }

    // One round of the loop, waiting at most waitMs for events.  Tests
    // without a running thread call it directly.
    void Round(int waitMs);

private:
    void Execute();
    void Nap(int ms);

    TSerial &Link;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> priorityRaised_{false};
    std::mutex napMutex_;
    std::condition_variable napWake_;
    std::thread thread_;
};

} // namespace grittor
