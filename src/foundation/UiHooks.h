// The core's only way to let the user interface breathe during long work.
#pragma once

#include <cstdint>

namespace grittor {

class UiHooks {
public:
    virtual ~UiHooks() = default;
    // Run pending window messages (repaint, Cancel button, timers).
    virtual void ProcessMessages() = 0;
    // True on the thread that owns the windows.
    virtual bool IsUiThread() = 0;
};

// Does nothing; every thread counts as the interface thread.  Used until the
// application installs its own hooks, and by headless tools.
class NullUiHooks final : public UiHooks {
public:
    void ProcessMessages() override {}
    bool IsUiThread() override { return true; }
};

UiHooks &GetUiHooks();
void SetUiHooks(UiHooks *hooks); // not owned; nullptr restores the null hooks

// Shorthand used all over the long loops.
inline void ProcessMessages() { GetUiHooks().ProcessMessages(); }

// For long work that calls it often: runs the window messages when 15 ms
// have passed since the last time (on the installed clock), so the windows
// keep moving without the loop costing more than the work.
class TBreather {
public:
    TBreather();
    // True when the messages ran.
    bool Breathe();

private:
    int64_t last_;
};

} // namespace grittor
