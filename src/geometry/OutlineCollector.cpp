#include "geometry/OutlineCollector.h"

#include "geometry/polygon.h"

#include <string>

namespace grittor {

TOutlineCollector::TOutlineCollector(const THpglFile &plot, TPolygon &polygon)
    : plot_(plot), polygon_(polygon), work_([this] { Collect(); })
{
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

void TOutlineCollector::Finish(const std::function<void()> &meanwhile)
{
    if (finished_)
        return;
    finished_ = true;
    work_.Wait(meanwhile);
    if (failure_)
        std::rethrow_exception(failure_);
}

} // namespace grittor
