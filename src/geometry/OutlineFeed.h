// Collecting outlines on a second thread while the first one draws pixels.
//
// Opening a big plot walks every instruction once: each move and line is
// drawn into the image and handed to the outline collection.  The two jobs
// share nothing but the points, so the feed passes the points to a worker
// thread in large batches and the two halves of the work run side by side.
// The collection receives exactly the calls, in the same order, that it
// would receive as the replay's sink itself.
#pragma once

#include "foundation/utils.h"
#include "hpgl/PlotReplay.h"

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace grittor {

class TPolygon;

class TOutlineFeed final : public TPlotSink {
public:
    // Starts the worker.  Nothing else may touch the collection until Finish.
    explicit TOutlineFeed(TPolygon &polygon);
    // Finishes without raising (a failure already raised by Finish, or
    // lost when unwinding from another one).
    ~TOutlineFeed() override;
    TOutlineFeed(const TOutlineFeed &) = delete;
    TOutlineFeed &operator=(const TOutlineFeed &) = delete;

    void Move(const TExtendedPoint &point, int pen) override { Push(point, pen, false); }
    void Line(const TExtendedPoint &point, int pen) override { Push(point, pen, true); }
    // Waits until the collection has taken every point and stops the
    // worker.  Raises what the collection raised (the points after a
    // failure are dropped).  Calling it again does nothing.
    void Finish();

    static constexpr size_t BatchSize = 4096;
    static constexpr size_t BatchCount = 16;

private:
    // A point crosses to the other core as its 80 significant bits only:
    // the smaller the events, the fewer cache lines change hands.
    static constexpr size_t Bits80 = std::numeric_limits<long double>::digits == 64 ? 10 : sizeof(long double);
    struct Event {
        unsigned char x[Bits80];
        unsigned char y[Bits80];
        int32_t pen;
        bool line;
    };
    struct Batch {
        std::unique_ptr<Event[]> events;
        size_t count = 0;
    };

    void Push(const TExtendedPoint &point, int pen, bool line)
    {
        if (cur_ == end_)
            Publish();
        Event &e = *cur_++;
        std::memcpy(e.x, &point.x, Bits80);
        std::memcpy(e.y, &point.y, Bits80);
        e.pen = pen;
        e.line = line;
    }
    void Publish();
    void Run();

    // Read by the worker at every point, written by no one.
    TPolygon &polygon_;
    std::vector<Batch> batches_;
    // Written by the drawing thread at every point: a cache line of its own,
    // or the worker's reads above would miss every time.
    alignas(64) size_t fill_ = 0; // the batch the drawing thread fills
    Event *cur_ = nullptr;
    Event *end_ = nullptr;
    // Guarded by mutex_: batches handed over and not yet taken back, the
    // next batch the worker reads, and the end of the feed.
    alignas(64) std::mutex mutex_;
    std::condition_variable ready_; // a batch for the worker, or the end
    std::condition_variable freed_; // room for the drawing thread
    size_t queued_ = 0;
    size_t take_ = 0;
    bool ending_ = false;
    std::exception_ptr failure_;
    std::thread worker_;
    bool finished_ = false;
};

} // namespace grittor
