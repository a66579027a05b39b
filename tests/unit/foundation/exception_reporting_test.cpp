#include "foundation/ExceptionReporting.h"

#include "foundation/LogOutput.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>

using namespace grittor;

namespace {

// Not static and not inlined, so the running binary's symbol table names it.
__attribute__((noinline)) void RecordHereForTest()
{
    RecordBacktrace();
    asm volatile(""); // keep the call from becoming a tail jump
}

__attribute__((noinline)) void ThrowUncaught() { throw std::runtime_error("nobody catches this"); }
// An exception leaving a noexcept function ends in std::terminate.
void ThrowThroughNoexcept() noexcept { ThrowUncaught(); }

class CountingTarget : public ReportTarget {
public:
    void DoReport(const std::string &routine, const std::string &text, const std::exception *e, int level) override
    {
        calls.push_back(routine + "|" + text + "|" + (e ? e->what() : "-") + "|" + std::to_string(level));
        if (throwInside)
            throw std::runtime_error("inside");
    }
    std::vector<std::string> calls;
    bool throwInside = false;
};

} // namespace

TEST(Backtrace, SecondRecordingMovesTheFirstToPrevious)
{
    ClearBacktraces();
    RecordHereForTest();
    const int first = CurrentBacktraceCount();
    EXPECT_GT(first, 1);
    EXPECT_LE(first, MaxBacktrace);
    EXPECT_EQ(PreviousBacktraceCount(), 0);
    RecordHereForTest();
    EXPECT_EQ(PreviousBacktraceCount(), first);
    const std::string text = TakeBacktraceText();
    EXPECT_EQ(text.rfind("Last backtrace recorded \r\n", 0), 0u) << text;
    EXPECT_NE(text.find("\r\nPrevious backtrace recorded \r\n"), std::string::npos);
    EXPECT_NE(text.find("RecordHereForTest"), std::string::npos) << text;
    EXPECT_EQ(CurrentBacktraceCount(), 0);
    EXPECT_EQ(PreviousBacktraceCount(), 0);
    EXPECT_EQ(TakeBacktraceText(), "");
}

TEST(Backtrace, NothingIsRecordedWhileAReportIsBuilt)
{
    ClearBacktraces();
    SetRecording(true);
    RecordHereForTest();
    SetRecording(false);
    EXPECT_EQ(CurrentBacktraceCount(), 0);
}

TEST(Backtrace, AddressesResolveToNameAndOffset)
{
    const auto addr = reinterpret_cast<uintptr_t>(&RecordHereForTest) + 4;
    const std::string name = ResolveAddress(addr);
    EXPECT_EQ(name.rfind("    ", 0), 0u);
    EXPECT_NE(name.find("RecordHereForTest"), std::string::npos) << name;
    EXPECT_NE(name.find(" + $4"), std::string::npos) << name;
    EXPECT_EQ(ResolveAddress(0), "");
    EXPECT_EQ(HexAddress(0x1A2B), "00001A2B");
}

TEST(Report, NothingHappensWithoutATargetAndErrorsInsideAreAbsorbed)
{
    SetReportTarget(nullptr);
    Report("x", "y", nullptr, 0); // no target: no effect, no crash
    CountingTarget t;
    t.throwInside = true;
    SetReportTarget(&t);
    std::runtime_error boom("boom");
    EXPECT_NO_THROW(Report("TSerial.write_comm", "Error writing to serial port", &boom, 0));
    SetReportTarget(nullptr);
    ASSERT_EQ(t.calls.size(), 1u);
    EXPECT_EQ(t.calls[0], "TSerial.write_comm|Error writing to serial port|boom|0");
}

TEST(UnhandledException, TextCarriesTheMessageCutTo1024)
{
    EXPECT_EQ(UnhandledExceptionText(std::make_exception_ptr(std::runtime_error("bad"))), "Unhandled exception bad");
    const std::string t = UnhandledExceptionText(std::make_exception_ptr(std::runtime_error(std::string(5000, 'm'))));
    EXPECT_EQ(t.size(), std::string("Unhandled exception ").size() + 1024);
    EXPECT_EQ(UnhandledExceptionText(std::make_exception_ptr(42)), "Unhandled exception unknown exception");
}

TEST(ProcessHooksDeathTest, UnhandledExceptionIsWrittenToTheLogBeforeTheEnd)
{
        QTemporaryDir dir;
    const std::string logDir = dir.path().toStdString() + "/";
    EXPECT_DEATH(
        {
            LogOutput().SetDirectory(logDir);
            LogOutput().SetFileName("crash");
            InstallProcessHooks();
            ThrowThroughNoexcept();
        },
        "Unhandled exception nobody catches this");
    std::ifstream f(logDir + "crash.log", std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string log = ss.str();
    EXPECT_NE(log.find("Exception in routine ExceptHandler"), std::string::npos) << log;
    EXPECT_NE(log.find("Unhandled exception nobody catches this"), std::string::npos) << log;
    EXPECT_NE(log.find("Last backtrace recorded"), std::string::npos) << log;
}

TEST(ProcessHooksDeathTest, FatalSignalIsWrittenToTheLog)
{
        QTemporaryDir dir;
    const std::string logDir = dir.path().toStdString() + "/";
    EXPECT_DEATH(
        {
            LogOutput().SetDirectory(logDir);
            LogOutput().SetFileName("fault");
            InstallProcessHooks();
            std::raise(SIGFPE);
        },
        "");
    std::ifstream f(logDir + "fault.log", std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    EXPECT_NE(ss.str().find("Fatal signal"), std::string::npos) << ss.str();
}
