#include "foundation/ExceptionReporting.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <algorithm>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <link.h>
#include <memory>
#include <mutex>
#include <unwind.h>
#include <vector>

namespace grittor {

namespace {
std::atomic<ReportTarget *> g_target{nullptr};

// The store is process-wide; the receive thread may record into it too.
std::mutex g_storeMutex;
BacktraceEntry g_current[MaxBacktrace];
int g_currentCount = 0;
BacktraceEntry g_previous[MaxBacktrace];
int g_previousCount = 0;
std::atomic<bool> g_recording{false};
} // namespace

void SetReportTarget(ReportTarget *target) { g_target.store(target); }
ReportTarget *GetReportTarget() { return g_target.load(); }

void Report(const std::string &routine, const std::string &text, const std::exception *e, int level)
{
    ReportTarget *t = g_target.load();
    if (!t)
        return;
    try {
        t->DoReport(routine, text, e, level);
    } catch (...) {
        // Errors inside the report are absorbed.
    }
}

// ----------------------------------------------------------- backtraces ---

namespace {

struct WalkState {
    BacktraceEntry *entries;
    int count;
};

_Unwind_Reason_Code WalkFrame(struct _Unwind_Context *ctx, void *arg)
{
    auto *st = static_cast<WalkState *>(arg);
    if (st->count >= MaxBacktrace)
        return _URC_END_OF_STACK;
    const uintptr_t ip = _Unwind_GetIP(ctx);
    if (ip == 0)
        return _URC_END_OF_STACK;
    st->entries[st->count].Frame = _Unwind_GetCFA(ctx);
    st->entries[st->count].Return = ip;
    ++st->count;
    return _URC_NO_REASON;
}

} // namespace

void RecordBacktrace()
{
    bool expected = false;
    if (!g_recording.compare_exchange_strong(expected, true))
        return;
    {
        std::lock_guard<std::mutex> lock(g_storeMutex);
        std::memcpy(g_previous, g_current, sizeof g_current);
        g_previousCount = g_currentCount;
        WalkState st{g_current, 0};
        _Unwind_Backtrace(WalkFrame, &st);
        g_currentCount = st.count;
    }
    g_recording.store(false);
}

std::string HexAddress(uintptr_t address)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08lX", static_cast<unsigned long>(address));
    return buf;
}

namespace {

// Function symbols of one ELF file (the whole symbol table, so routines
// with internal linkage are named too; dladdr only knows exported ones).
struct SymbolTable {
    struct Sym {
        uintptr_t value;
        uintptr_t size;
        std::string name;
    };
    std::vector<Sym> syms;

    explicit SymbolTable(const std::string &path)
    {
        std::ifstream f(path, std::ios::binary);
        if (!f)
            return;
        std::vector<char> data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        if (data.size() < sizeof(Elf64_Ehdr))
            return;
        const auto *eh = reinterpret_cast<const Elf64_Ehdr *>(data.data());
        if (std::memcmp(eh->e_ident, ELFMAG, SELFMAG) != 0 || eh->e_ident[EI_CLASS] != ELFCLASS64)
            return;
        if (eh->e_shoff == 0 || eh->e_shoff + static_cast<size_t>(eh->e_shnum) * sizeof(Elf64_Shdr) > data.size())
            return;
        const auto *sh = reinterpret_cast<const Elf64_Shdr *>(data.data() + eh->e_shoff);
        for (int i = 0; i < eh->e_shnum; ++i) {
            if (sh[i].sh_type != SHT_SYMTAB || sh[i].sh_link >= eh->e_shnum)
                continue;
            const Elf64_Shdr &strs = sh[sh[i].sh_link];
            if (sh[i].sh_offset + sh[i].sh_size > data.size() || strs.sh_offset + strs.sh_size > data.size())
                continue;
            const auto *sym = reinterpret_cast<const Elf64_Sym *>(data.data() + sh[i].sh_offset);
            const size_t n = sh[i].sh_size / sizeof(Elf64_Sym);
            for (size_t k = 0; k < n; ++k) {
                if (ELF64_ST_TYPE(sym[k].st_info) != STT_FUNC || sym[k].st_value == 0 ||
                    sym[k].st_name >= strs.sh_size)
                    continue;
                const char *name = data.data() + strs.sh_offset + sym[k].st_name;
                syms.push_back({sym[k].st_value, sym[k].st_size,
                                std::string(name, strnlen(name, strs.sh_size - sym[k].st_name))});
            }
        }
        std::sort(syms.begin(), syms.end(), [](const Sym &a, const Sym &b) { return a.value < b.value; });
    }

    const Sym *Find(uintptr_t rel) const
    {
        auto it = std::upper_bound(syms.begin(), syms.end(), rel, [](uintptr_t v, const Sym &s) { return v < s.value; });
        if (it == syms.begin())
            return nullptr;
        --it;
        if (it->size != 0 && rel >= it->value + it->size)
            return nullptr;
        return &*it;
    }
};

std::string Demangle(const std::string &name)
{
    int status = 0;
    char *demangled = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    std::string out = (status == 0 && demangled) ? std::string(demangled) : name;
    std::free(demangled);
    return out;
}

std::string NameAndOffset(const std::string &name, uintptr_t offset)
{
    char off[32];
    std::snprintf(off, sizeof off, "%lX", static_cast<unsigned long>(offset));
    return "    " + Demangle(name) + " + $" + off;
}

} // namespace

std::string ResolveAddress(uintptr_t address)
{
    Dl_info info{};
    if (address == 0 || !dladdr(reinterpret_cast<void *>(address), &info))
        return {};
    if (info.dli_sname && info.dli_saddr)
        return NameAndOffset(info.dli_sname, address - reinterpret_cast<uintptr_t>(info.dli_saddr));
    // Not exported: look in the object's full symbol table (read once).
    static std::mutex tablesMutex;
    static std::vector<std::pair<std::string, std::unique_ptr<SymbolTable>>> tables;
    if (!info.dli_fname)
        return {};
    std::string path = info.dli_fname;
    if (path.empty() || path.find('/') == std::string::npos)
        path = "/proc/self/exe";
    std::lock_guard<std::mutex> lock(tablesMutex);
    SymbolTable *table = nullptr;
    for (auto &t : tables)
        if (t.first == path)
            table = t.second.get();
    if (!table) {
        tables.emplace_back(path, std::make_unique<SymbolTable>(path));
        table = tables.back().second.get();
    }
    const uintptr_t base = reinterpret_cast<uintptr_t>(info.dli_fbase);
    // Position-independent objects hold addresses relative to their base.
    const auto *eh = reinterpret_cast<const Elf64_Ehdr *>(info.dli_fbase);
    const uintptr_t rel = (eh && eh->e_type == ET_DYN) ? address - base : address;
    const SymbolTable::Sym *s = table->Find(rel);
    if (!s)
        return {};
    return NameAndOffset(s->name, rel - s->value);
}

static std::string EntryLines(const BacktraceEntry *entries, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += HexAddress(entries[i].Frame) + " " + HexAddress(entries[i].Return) + ResolveAddress(entries[i].Return) +
               "\r\n";
    return out;
}

std::string TakeBacktraceText()
{
    std::lock_guard<std::mutex> lock(g_storeMutex);
    std::string text;
    if (g_currentCount > 0) {
        text += "Last backtrace recorded \r\n";
        text += EntryLines(g_current, g_currentCount);
        g_currentCount = 0;
    }
    if (g_previousCount > 0) {
        text += "\r\nPrevious backtrace recorded \r\n";
        text += EntryLines(g_previous, g_previousCount);
        g_previousCount = 0;
    }
    return text;
}

int CurrentBacktraceCount()
{
    std::lock_guard<std::mutex> lock(g_storeMutex);
    return g_currentCount;
}

int PreviousBacktraceCount()
{
    std::lock_guard<std::mutex> lock(g_storeMutex);
    return g_previousCount;
}

void ClearBacktraces()
{
    std::lock_guard<std::mutex> lock(g_storeMutex);
    g_currentCount = 0;
    g_previousCount = 0;
}

void SetRecording(bool on) { g_recording.store(on); }
bool Recording() { return g_recording.load(); }

// --------------------------------------------------------- process hooks ---

std::string UnhandledExceptionText(std::exception_ptr ep)
{
    std::string msg = "unknown exception";
    if (ep) {
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception &e) {
            msg = e.what();
        } catch (...) {
        }
    }
    if (msg.size() > 1024)
        msg.resize(1024);
    return "Unhandled exception " + msg;
}

namespace {

std::terminate_handler g_previousTerminate = nullptr;
struct sigaction g_previousActions[32];
const int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
std::atomic<bool> g_hooksInstalled{false};
std::atomic<bool> g_inFatal{false};

std::atomic<TFatalReportWriter> g_reportWriter{nullptr};

void WriteFatalReport(const std::string &routine, const std::string &text)
{
    if (const TFatalReportWriter write = g_reportWriter.load())
        write(routine, text, TakeBacktraceText());
}

void TerminateHandler()
{
    if (!g_inFatal.exchange(true)) {
        RecordBacktrace();
        WriteFatalReport("ExceptHandler", UnhandledExceptionText(std::current_exception()));
        std::fprintf(stderr, "Grittor: %s\n", UnhandledExceptionText(std::current_exception()).c_str());
    }
    std::signal(SIGABRT, SIG_DFL);
    std::abort();
}

void FatalSignalHandler(int sig, siginfo_t *info, void *)
{
    // Best effort: the process is going down anyway, and a record of where
    // it fell is worth more than strict signal safety here.
    if (!g_inFatal.exchange(true)) {
        RecordBacktrace();
        std::string text = std::string("Fatal signal ") + strsignal(sig);
        if (info && (sig == SIGSEGV || sig == SIGBUS))
            text += " at address " + HexAddress(reinterpret_cast<uintptr_t>(info->si_addr));
        WriteFatalReport("ExceptHandler", text);
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

} // namespace

void InstallProcessHooksWith(TFatalReportWriter write)
{
    g_reportWriter.store(write);
    if (g_hooksInstalled.exchange(true))
        return;
    g_previousTerminate = std::set_terminate(TerminateHandler);
    for (int sig : kFatalSignals) {
        struct sigaction sa {};
        sa.sa_sigaction = FatalSignalHandler;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_SIGINFO | SA_RESETHAND;
        sigaction(sig, &sa, &g_previousActions[sig]);
    }
}

void RestoreProcessHooks()
{
    if (!g_hooksInstalled.exchange(false))
        return;
    std::set_terminate(g_previousTerminate);
    for (int sig : kFatalSignals)
        sigaction(sig, &g_previousActions[sig], nullptr);
}

} // namespace grittor
