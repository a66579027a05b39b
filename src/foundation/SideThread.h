// A thread for a short piece of work beside the calling one.  A freshly made
// thread starts on its maker's core, and the scheduler moves it to the idle
// one only after some milliseconds: a job that takes five was then done
// after the caller's own half, not beside it.  This one is placed on
// another core at once (where the process may run on more than one), and
// may run anywhere again once it has started.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace grittor {

// Raises std::system_error when no thread can be made, as std::thread does.
std::thread StartSideThread(std::function<void()> work);

// The cores this process may run on (at least 1).
int CoresForThisProcess();

// A piece of work on a side thread that the caller waits for later while
// keeping itself alive (the window runs its event loop meanwhile).  `work`
// must not raise.
class TSideWork {
public:
    // Starts the work; where no thread can be made, Wait runs it on the
    // caller's thread.
    explicit TSideWork(std::function<void()> work);
    // Waits for work started on a side thread (work never started is
    // dropped).
    ~TSideWork();
    TSideWork(const TSideWork &) = delete;
    TSideWork &operator=(const TSideWork &) = delete;
    bool OnSideThread() const { return onSideThread_; }
    // Until the work has ended, runs `meanwhile` (if given) every 15 ms.
    // Calling it again returns at once.
    void Wait(const std::function<void()> &meanwhile = nullptr);
    // Blocks until work on the side thread has ended (at once where it runs
    // on no side thread).  Any thread may call it, while Wait is pending too.
    void AwaitEnd();

private:
    std::function<void()> work_;
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    bool waited_ = false;
    bool onSideThread_ = false; // set once, before any other thread can ask
    std::thread thread_;        // last: started once the rest is ready
};

} // namespace grittor
