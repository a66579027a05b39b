#include "geometry/OutlineFeed.h"

#include "geometry/polygon.h"

#include <stdexcept>

namespace grittor {

TOutlineFeed::TOutlineFeed(TPolygon &polygon) : polygon_(polygon), batches_(BatchCount)
{
    for (Batch &b : batches_)
        b.events = std::make_unique_for_overwrite<Event[]>(BatchSize); // written before it is read
    cur_ = batches_[0].events.get();
    end_ = cur_ + BatchSize;
    worker_ = std::thread([this] { Run(); });
}

TOutlineFeed::~TOutlineFeed()
{
    try {
        Finish();
    } catch (...) {
        // Raised to the caller of Finish already, or the caller is unwinding.
    }
}

// Hands the batch being filled to the worker and moves on to the next one,
// waiting while the worker still holds every other batch.
void TOutlineFeed::Publish()
{
    if (finished_)
        throw std::logic_error("outline feed used after it finished");
    std::unique_lock<std::mutex> lock(mutex_);
    batches_[fill_].count = static_cast<size_t>(cur_ - batches_[fill_].events.get());
    ++queued_;
    ready_.notify_one();
    freed_.wait(lock, [this] { return queued_ < BatchCount; });
    fill_ = (fill_ + 1) % BatchCount;
    cur_ = batches_[fill_].events.get();
    end_ = cur_ + BatchSize;
}

void TOutlineFeed::Run()
{
    for (;;) {
        size_t index;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return queued_ > 0 || ending_; });
            if (queued_ == 0)
                return; // ending, and everything taken
            index = take_;
        }
        const Batch &b = batches_[index];
        if (!failure_) {
            try {
                TPolygon &polygon = polygon_;
                TExtendedPoint p;
                for (size_t k = 0, n = b.count; k < n; ++k) {
                    const Event &e = b.events[k];
                    std::memcpy(&p.x, e.x, Bits80);
                    std::memcpy(&p.y, e.y, Bits80);
                    if (e.line)
                        polygon.Line(p, e.pen);
                    else
                        polygon.Move(p, e.pen);
                }
            } catch (...) {
                failure_ = std::current_exception();
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        take_ = (take_ + 1) % BatchCount;
        --queued_;
        freed_.notify_one();
    }
}

void TOutlineFeed::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        batches_[fill_].count = static_cast<size_t>(cur_ - batches_[fill_].events.get());
        if (batches_[fill_].count > 0)
            ++queued_; // the last, partly filled batch
        cur_ = end_ = nullptr;
        ending_ = true;
        ready_.notify_one();
    }
    worker_.join();
    if (failure_)
        std::rethrow_exception(failure_);
}

} // namespace grittor
