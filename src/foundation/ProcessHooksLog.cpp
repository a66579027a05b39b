// The process hooks that write to the debug log (kept apart from
// ExceptionReporting.cpp, which tools without the debug log use too).
#include "foundation/ExceptionReporting.h"
#include "foundation/LogOutput.h"

namespace grittor {

namespace {
void WriteFatalReportToLog(const std::string &routine, const std::string &text, const std::string &backtrace)
{
    TLogOutput &log = LogOutput();
    log.Write("Exception in routine " + routine, true, true);
    log.Write(text, true, true);
    if (!backtrace.empty())
        log.Write(backtrace, false, false);
}
} // namespace

void InstallProcessHooks() { InstallProcessHooksWith(WriteFatalReportToLog); }

} // namespace grittor
