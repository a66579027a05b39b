// Collecting the outlines of a plot on a second thread while the first one
// draws its picture.
#pragma once

#include "foundation/SideThread.h"
#include "hpgl/PlotReplay.h"

#include <exception>
#include <functional>

namespace grittor {

class TPolygon;

// Collects the outlines of a plot on a second thread by a replay of its own,
// while the calling thread draws the same plot: the two walks share nothing,
// not even the points.  The replay is quiet (the drawing beside it reports
// the messages and writes the PE diagnostics); it stops where long work is
// to stop, as the drawing does.  The collection receives exactly what
// ReplayInto gives it.
class TOutlineCollector {
public:
    // Starts the worker.  Nothing else may touch the collection until Finish.
    TOutlineCollector(const THpglFile &plot, TPolygon &polygon);
    // Finishes without raising.
    ~TOutlineCollector();
    TOutlineCollector(const TOutlineCollector &) = delete;
    TOutlineCollector &operator=(const TOutlineCollector &) = delete;
    // Waits for the collection to end and raises what it raised; while it
    // waits, `meanwhile` (if given) runs every 15 ms (the window keeps its
    // event loop going).  Calling it again does nothing.
    void Finish(const std::function<void()> &meanwhile = nullptr);
    // Blocks until the collection has ended, from any thread (at once where
    // it runs on no thread of its own: Finish does it then).
    void AwaitEnd() { work_.AwaitEnd(); }
    bool OnSideThread() const { return work_.OnSideThread(); }

private:
    void Collect() noexcept;

    const THpglFile &plot_;
    TPolygon &polygon_;
    bool finished_ = false;
    std::exception_ptr failure_;
    TSideWork work_; // last: starts once the rest is ready
};

} // namespace grittor
