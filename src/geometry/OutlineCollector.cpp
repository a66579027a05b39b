#include "geometry/OutlineCollector.h"

#include "foundation/SideThread.h"
#include "geometry/polygon.h"

#include <chrono>
#include <string>
#include <system_error>

namespace grittor {

TOutlineCollector::TOutlineCollector(const THpglFile &plot, TPolygon &polygon) : plot_(plot), polygon_(polygon)
{
    try {
        worker_ = StartSideThread([this] { Run(); });
        started_ = true;
    } catch (const std::system_error &) {
        started_ = false; // collected in Finish, on the calling thread
    }
}

TOutlineCollector::~TOutlineCollector()
{
    try {
        Finish();
    } catch (...) {
    }
}

void TOutlineCollector::Collect() noexcept
{
    try {
        TPlotReplay replay(plot_, polygon_, nullptr, [](const std::string &, bool) {});
        replay.SetPeDiagnostics(false);
        replay.PlayAll();
    } catch (...) {
        failure_ = std::current_exception();
    }
}

void TOutlineCollector::Run() noexcept
{
    Collect();
    const std::lock_guard<std::mutex> lock(mutex_);
    collected_ = true;
    done_.notify_all();
}

void TOutlineCollector::Finish(const std::function<void()> &meanwhile)
{
    if (finished_)
        return;
    finished_ = true;
    if (!started_) {
        Collect();
    } else {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            while (!done_.wait_for(lock, std::chrono::milliseconds(15), [this] { return collected_; })) {
                if (!meanwhile)
                    continue;
                lock.unlock();
                meanwhile();
                lock.lock();
            }
        }
        worker_.join();
    }
    if (failure_)
        std::rethrow_exception(failure_);
}

} // namespace grittor
