// A window's exchanges with the machine, one at a time.  An exchange waits
// for its answer while window messages run, so a button or key event can
// arrive in the middle of one; and another window may be inside an exchange
// of its own when a timer or a button of this one fires.  Starting a second
// exchange then would throw away the first one's answer (every query
// purges the input first), so the work waits here and runs in the order it
// was given as soon as nothing else is exchanging.
#pragma once

#include <deque>
#include <functional>

namespace grittor {

class TExchangeQueue {
public:
    using Work = std::function<void()>;

    // `linkBusy`: another exchange is running on the link.  `retryLater`:
    // work was left waiting on it; the owner calls Pump again shortly.
    TExchangeQueue(std::function<bool()> linkBusy, std::function<void()> retryLater);

    // Queues `work` and runs what waits, when it can.
    void Run(Work work);
    // Queues without running (the caller pumps later).
    void Queue(Work work) { waiting_.push_back(std::move(work)); }
    // Runs what waits, in order, unless one of the queue's own is running
    // (it runs the rest when it ends) or the link is busy.
    void Pump();
    // Forgets what waits (a panel being hidden moves nothing any more).
    void Clear() { waiting_.clear(); }

    bool Running() const { return running_; }
    bool Idle() const { return !running_ && waiting_.empty(); }
    size_t Waiting() const { return waiting_.size(); }

private:
    std::function<bool()> linkBusy_;
    std::function<void()> retryLater_;
    std::deque<Work> waiting_;
    bool running_ = false;
};

} // namespace grittor
