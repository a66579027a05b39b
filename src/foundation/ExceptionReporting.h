// One place for every error that escapes a handler: the report window, the
// terminal and the debug log.  The core raises reports through `Report`; the
// report window registers itself as the target.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace grittor {

// Receives reports.  Implemented by the report window; absent until it exists.
class ReportTarget {
public:
    virtual ~ReportTarget() = default;
    virtual void DoReport(const std::string &routine, const std::string &text, const std::exception *e,
                          int level) = 0;
};

// Routine name, text, the exception being handled (or nullptr) and the level
// (0 = the window's level).  Nothing happens until a target exists.
void Report(const std::string &routine, const std::string &text, const std::exception *e, int level);
void SetReportTarget(ReportTarget *target);
ReportTarget *GetReportTarget();

// ---- backtrace store: a current and a previous list of up to 31 frames ----

struct BacktraceEntry {
    uintptr_t Frame = 0;
    uintptr_t Return = 0;
};
constexpr int MaxBacktrace = 31;

// Walks the stack of the calling thread into the current list (the old
// current list becomes the previous one).  Does nothing while a report is
// being built.
void RecordBacktrace();
// Builds the backtrace text ("Last backtrace recorded " ... "Previous
// backtrace recorded " ...) and empties both lists.
std::string TakeBacktraceText();
int CurrentBacktraceCount();
int PreviousBacktraceCount();
void ClearBacktraces();
// The recording flag: set while a report is being built.
void SetRecording(bool on);
bool Recording();

// "    name + $offset" for a code address, from the running binary's symbols;
// empty when nothing is known about it.
std::string ResolveAddress(uintptr_t address);
// "%08X"-style hexadecimal of an address (8 digits at least).
std::string HexAddress(uintptr_t address);

// ---- process hooks ----

// std::set_terminate and the fatal-signal handlers: an unhandled exception or
// a fault writes its report and backtrace to the debug log before the
// process ends.  Installed before any window exists.
void InstallProcessHooks();
// The same hooks, handing the report (routine, text and the backtrace text,
// which may be empty) to `write` instead: a tool built without the debug log
// prints it.
using TFatalReportWriter = void (*)(const std::string &routine, const std::string &text, const std::string &backtrace);
void InstallProcessHooksWith(TFatalReportWriter write);
void RestoreProcessHooks();

// The text the terminate handler writes ("Unhandled exception " + message,
// at most 1024 characters of message).
std::string UnhandledExceptionText(std::exception_ptr ep);

} // namespace grittor
