// Test doubles of the core's seams: scripted dialogs, recording progress,
// counting UI hooks, and a temporary settings store.
#pragma once

#include "foundation/Dialogs.h"
#include "foundation/Progress.h"
#include "foundation/UiHooks.h"

#include <QTemporaryDir>

#include <atomic>
#include <deque>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

namespace grittor::test {

// A file's whole content (empty when it cannot be read).
inline std::string ReadAll(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Records every text shown; answers questions and file choosers from queues
// (No and "cancelled" when the queues run dry).
class ScriptedDialogs final : public Dialogs {
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    void Message(const std::string &text) override;
    bool Confirm(const std::string &text) override;
    std::optional<std::string> OpenFile(const std::string &caption, const std::string &initial,
                                        const std::string &filter) override;
    std::optional<std::string> SaveFile(const std::string &caption, const std::string &initial,
                                        const std::string &filter) override;

    std::vector<std::string> messages;      // every Message text, in order
    std::vector<std::string> confirmations; // every Confirm text, in order
    std::vector<std::string> fileInitials;  // the `initial` of every chooser
    std::deque<bool> answers;               // answers for Confirm
    std::deque<std::optional<std::string>> files; // answers for the choosers
    std::function<void(const std::string &)> onMessage; // optional side effect
};

struct ProgressEvent {
    enum Kind { Show, Set, Hide } kind;
    std::string caption;
    double fraction = 0;
};

class RecordingProgress final : public Progress {
public:
    RecordingProgress();
    ~RecordingProgress() override;
    void Show(const std::string &caption) override;
    void SetProgress(double fraction) override;
    void Hide() override;
    std::vector<ProgressEvent> events;
    int CountOf(ProgressEvent::Kind k) const;
    std::mutex mutex;
    // Optional: what the event loop might run while the progress moves.
    std::function<void(double)> onSet;
};

class CountingUiHooks final : public UiHooks {
public:
    CountingUiHooks();
    ~CountingUiHooks() override;
    void ProcessMessages() override;
    bool IsUiThread() override { return true; }
    std::atomic<int> calls{0};
    std::function<void()> onProcess; // optional side effect (e.g. set a flag)
};

// Points QSettings at a fresh temporary folder for the life of the object,
// pre-sets "OneMS" so loading never busy-waits, and drops the settings object
// before and after.
class TempSettings {
public:
    explicit TempSettings(bool presetOneMS = true);
    ~TempSettings();
    QString Path() const { return dir_.path(); }
    // The file QSettings writes for the program.
    QString FileName() const;

private:
    QTemporaryDir dir_;
};

// Folder of the checkout (for samples and test data).
std::string SourceDir();
std::string TestDataPath(const std::string &name);
// Folder of the real-world plots beside the checkout, or empty when absent.
std::string SharedPlotsDir();

} // namespace grittor::test
