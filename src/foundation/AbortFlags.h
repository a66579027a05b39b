// The two flags every long operation watches: the main window is closing, or
// the operator cancelled the current job.  The main window owns one instance
// and hands it to the link and the job code.
#pragma once

#include <atomic>

namespace grittor {

struct AbortFlags {
    std::atomic<bool> Closing{false};
    std::atomic<bool> Cancelled{false};
    // The operator pressed Cancel on the progress window: the running long
    // piece of work (reading, rendering, printing a plot) stops.  Cleared by
    // the command that starts such work.
    std::atomic<bool> OperationCancelled{false};
    bool Any() const { return Closing.load() || Cancelled.load(); }
    bool StopLongWork() const { return Closing.load() || OperationCancelled.load(); }
};

// The program's flags (owned by whoever runs the main window; a default
// instance exists so headless code always has one).
AbortFlags &GetAbortFlags();

} // namespace grittor
