// The stored settings a headless plot command needs, read without the
// toolkit's settings store: a program that does not load the toolkit starts
// in a fraction of the time, which is most of the time of a small plot.
//
// Only the plain form is read: the settings file as this program writes it
// (or no file at all), found where the store finds it, with nothing in it or
// around it that the store would read differently or report.  Anything else
// (a file edited by hand into another form, a value of the wrong type, a
// folder setting the store would replace, settings for all users, unusual
// home or XDG paths) is left to the store itself: the reader then says so,
// and the caller hands the work to the program that uses the store.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace grittor {

struct TPlainSettings {
    std::string Folder;   // of the settings file, as Toption::SettingsFolder()
    int32_t Radius = 381; // plotter units, clamped as Toption::SetRadius
};

// Looks up an environment variable; nullptr when it is not set.
using TEnvironment = std::function<const char *(const char *name)>;

// The settings as the store would load them, or nullopt where the plain
// form does not hold (see above).
std::optional<TPlainSettings> ReadPlainSettings(const TEnvironment &env);

} // namespace grittor
