// The core's only way to let the user interface breathe during long work.
#pragma once

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

} // namespace grittor
