#include "geometry/OutlineCollector.h"

#include "geometry/polygon.h"

#include <string>
#include <system_error>

namespace grittor {

TOutlineCollector::TOutlineCollector(const THpglFile &plot, TPolygon &polygon) : plot_(plot), polygon_(polygon)
{
    try {
        worker_ = std::thread([this] { Run(); });
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

void TOutlineCollector::Run() noexcept
{
    try {
        TPlotReplay replay(plot_, polygon_, nullptr, [](const std::string &, bool) {});
        replay.SetPeDiagnostics(false);
        replay.PlayAll();
    } catch (...) {
        failure_ = std::current_exception();
    }
}

void TOutlineCollector::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    if (started_)
        worker_.join();
    else
        Run();
    if (failure_)
        std::rethrow_exception(failure_);
}

} // namespace grittor
