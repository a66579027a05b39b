#include "service/ExchangeQueue.h"

namespace grittor {

TExchangeQueue::TExchangeQueue(std::function<bool()> linkBusy, std::function<void()> retryLater)
    : linkBusy_(std::move(linkBusy)), retryLater_(std::move(retryLater))
{
}

void TExchangeQueue::Run(Work work)
{
    waiting_.push_back(std::move(work));
    Pump();
}

void TExchangeQueue::Pump()
{
    if (running_ || waiting_.empty())
        return;
    if (linkBusy_ && linkBusy_()) {
        if (retryLater_)
            retryLater_();
        return;
    }
    struct Running {
        bool &flag;
        explicit Running(bool &f) : flag(f) { flag = true; }
        ~Running() { flag = false; }
    } running(running_);
    while (!waiting_.empty()) {
        Work work = std::move(waiting_.front());
        waiting_.pop_front();
        if (work)
            work();
    }
}

} // namespace grittor
