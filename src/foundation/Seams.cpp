// Global slots of the interfaces the application installs at start.
#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"
#include "foundation/Dialogs.h"
#include "foundation/Progress.h"
#include "foundation/UiHooks.h"

#include <atomic>
#include <cstdio>

namespace grittor {

namespace {
NullUiHooks g_nullHooks;
std::atomic<UiHooks *> g_hooks{nullptr};
ConsoleDialogs g_consoleDialogs;
std::atomic<Dialogs *> g_dialogs{nullptr};
NullProgress g_nullProgress;
std::atomic<Progress *> g_progress{nullptr};
std::atomic<ProgressFactory> g_progressFactory{nullptr};
AbortFlags g_abortFlags;
} // namespace

UiHooks &GetUiHooks()
{
    UiHooks *h = g_hooks.load(std::memory_order_acquire);
    return h ? *h : g_nullHooks;
}
void SetUiHooks(UiHooks *hooks) { g_hooks.store(hooks, std::memory_order_release); }

TBreather::TBreather() : last_(GetClock().NowMs()) {}

bool TBreather::Breathe()
{
    const int64_t now = GetClock().NowMs();
    if (now - last_ < 15 && now >= last_)
        return false;
    ProcessMessages();
    last_ = GetClock().NowMs();
    return true;
}

void ConsoleDialogs::Message(const std::string &text) { std::fprintf(stderr, "%s\n", text.c_str()); }
bool ConsoleDialogs::Confirm(const std::string &text)
{
    std::fprintf(stderr, "%s [answered No]\n", text.c_str());
    return false;
}

Dialogs &GetDialogs()
{
    Dialogs *d = g_dialogs.load(std::memory_order_acquire);
    return d ? *d : g_consoleDialogs;
}
void SetDialogs(Dialogs *dialogs) { g_dialogs.store(dialogs, std::memory_order_release); }

Progress &GetProgress()
{
    Progress *p = g_progress.load(std::memory_order_acquire);
    return p ? *p : g_nullProgress;
}
void SetProgress(Progress *progress) { g_progress.store(progress, std::memory_order_release); }

void SetSecondaryProgressFactory(ProgressFactory factory) { g_progressFactory.store(factory); }
Progress *CreateSecondaryProgress(const std::string &caption)
{
    ProgressFactory f = g_progressFactory.load();
    return f ? f(caption) : nullptr;
}

AbortFlags &GetAbortFlags() { return g_abortFlags; }

} // namespace grittor
