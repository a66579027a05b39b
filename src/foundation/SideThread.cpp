#include "foundation/SideThread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <system_error>

#include <pthread.h>
#include <sched.h>

namespace grittor {

int CoresForThisProcess()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return std::max(1u, std::thread::hardware_concurrency());
    return std::max(1, CPU_COUNT(&set));
}

std::thread StartSideThread(std::function<void()> work)
{
    struct Start {
        std::atomic<bool> placed{false};
        cpu_set_t all;
        bool widen = false;
    };
    auto start = std::make_shared<Start>();
    CPU_ZERO(&start->all);
    cpu_set_t others;
    CPU_ZERO(&others);
    const int here = sched_getcpu();
    if (here >= 0 && sched_getaffinity(0, sizeof start->all, &start->all) == 0 && CPU_COUNT(&start->all) > 1) {
        others = start->all;
        CPU_CLR(here, &others);
        start->widen = CPU_COUNT(&others) > 0;
    }
    std::thread t([start, work = std::move(work)] {
        // Once it runs where it was put, any core will do again.
        while (!start->placed.load(std::memory_order_acquire))
            std::this_thread::yield();
        if (start->widen)
            pthread_setaffinity_np(pthread_self(), sizeof start->all, &start->all);
        work();
    });
    if (start->widen && pthread_setaffinity_np(t.native_handle(), sizeof others, &others) != 0)
        start->widen = false;
    start->placed.store(true, std::memory_order_release);
    return t;
}

TSideWork::TSideWork(std::function<void()> work) : work_(std::move(work))
{
    try {
        thread_ = StartSideThread([this] {
            work_();
            const std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
            ended_.notify_all();
        });
        onSideThread_ = true;
    } catch (const std::system_error &) {
        // Wait does it.
    }
}

TSideWork::~TSideWork()
{
    if (thread_.joinable())
        thread_.join();
}

void TSideWork::AwaitEnd()
{
    if (!onSideThread_)
        return;
    std::unique_lock<std::mutex> lock(mutex_);
    ended_.wait(lock, [this] { return done_; });
}

void TSideWork::Wait(const std::function<void()> &meanwhile)
{
    if (waited_)
        return;
    waited_ = true;
    if (!thread_.joinable()) {
        work_();
        return;
    }
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!ended_.wait_for(lock, std::chrono::milliseconds(15), [this] { return done_; })) {
            if (!meanwhile)
                continue;
            lock.unlock();
            meanwhile();
            lock.lock();
        }
    }
    thread_.join();
}

} // namespace grittor
