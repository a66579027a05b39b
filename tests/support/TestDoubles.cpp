#include "TestDoubles.h"

#include "foundation/option.h"

#include <QDir>
#include <QSettings>

#include <cstdlib>
#include <filesystem>

namespace grittor::test {

ScriptedDialogs::ScriptedDialogs() { SetDialogs(this); }
ScriptedDialogs::~ScriptedDialogs() { SetDialogs(nullptr); }

void ScriptedDialogs::Message(const std::string &text)
{
    messages.push_back(text);
    if (onMessage)
        onMessage(text);
}

bool ScriptedDialogs::Confirm(const std::string &text)
{
    confirmations.push_back(text);
    if (answers.empty())
        return false;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

std::optional<std::string> ScriptedDialogs::OpenFile(const std::string &, const std::string &initial,
                                                     const std::string &)
{
    fileInitials.push_back(initial);
    if (files.empty())
        return std::nullopt;
    auto f = files.front();
    files.pop_front();
    return f;
}

std::optional<std::string> ScriptedDialogs::SaveFile(const std::string &caption, const std::string &initial,
                                                     const std::string &filter)
{
    return OpenFile(caption, initial, filter);
}

RecordingProgress::RecordingProgress() { grittor::SetProgress(this); }
RecordingProgress::~RecordingProgress() { grittor::SetProgress(nullptr); }

void RecordingProgress::Show(const std::string &caption)
{
    std::lock_guard<std::mutex> l(mutex);
    events.push_back({ProgressEvent::Show, caption, 0});
}

void RecordingProgress::SetProgress(double fraction)
{
    {
        std::lock_guard<std::mutex> l(mutex);
        events.push_back({ProgressEvent::Set, {}, fraction});
    }
    if (onSet)
        onSet(fraction);
}

void RecordingProgress::Hide()
{
    std::lock_guard<std::mutex> l(mutex);
    events.push_back({ProgressEvent::Hide, {}, 0});
}

int RecordingProgress::CountOf(ProgressEvent::Kind k) const
{
    int n = 0;
    for (const auto &e : events)
        if (e.kind == k)
            ++n;
    return n;
}

CountingUiHooks::CountingUiHooks() { SetUiHooks(this); }
CountingUiHooks::~CountingUiHooks() { SetUiHooks(nullptr); }

void CountingUiHooks::ProcessMessages()
{
    ++calls;
    if (onProcess)
        onProcess();
}

TempSettings::TempSettings(bool presetOneMS)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
    qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (dir_.path() + "/data").toLocal8Bit());
    ResetOptions();
    if (presetOneMS) {
        QSettings s("Korvane Systems", "Grittor");
        s.setValue("OneMS", 1000);
        s.sync();
    }
}

TempSettings::~TempSettings() { ResetOptions(); }

QString TempSettings::FileName() const
{
    QSettings s("Korvane Systems", "Grittor");
    return s.fileName();
}

std::string SourceDir()
{
    if (const char *s = std::getenv("GRITTOR_SOURCE_DIR"); s && *s)
        return s;
    return GRITTOR_SOURCE_DIR_FALLBACK;
}

std::string TestDataPath(const std::string &name) { return SourceDir() + "/tests/data/" + name; }

std::string SharedPlotsDir()
{
    const std::string p = SourceDir() + "/../shared/plots";
    std::error_code ec;
    return std::filesystem::is_directory(p, ec) ? p : std::string();
}

} // namespace grittor::test
