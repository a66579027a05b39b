#include "foundation/PlainSettings.h"

#include "foundation/option.h"
#include "foundation/utils.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace grittor {

namespace {

constexpr char kOrganisation[] = "Korvane Systems";
constexpr char kApplication[] = "Grittor";

// The parts of `text` between the separators, in order.
std::vector<std::string_view> Split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

// An absolute path the toolkit keeps as it stands: printable ASCII, no
// empty, "." or ".." parts, no slash at the end.
bool PlainAbsolutePath(std::string_view p)
{
    if (p.size() < 2 || p[0] != '/' || p.back() == '/')
        return false;
    for (unsigned char c : p)
        if (c < 0x20 || c > 0x7E)
            return false;
    for (const std::string_view part : Split(p.substr(1), '/'))
        if (part.empty() || part == "." || part == "..")
            return false;
    return true;
}

// An XDG base folder: the variable when set, else home + fallback.
// Empty when the value is not plain.
std::string BaseFolder(const TEnvironment &env, const char *name, const std::string &home, const char *fallback)
{
    const char *value = env(name);
    if (value && *value)
        return PlainAbsolutePath(value) ? std::string(value) : std::string();
    return home + fallback;
}

enum class FileState { Missing, Regular, Other };

FileState Probe(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? FileState::Missing : FileState::Other;
    return S_ISREG(st.st_mode) ? FileState::Regular : FileState::Other;
}

// The keys as the store writes them (a space as %20), and their kinds.
struct Key {
    const char *written;
    bool number;
};
constexpr std::array<Key, 16> kKeys = {{
    {"Baud", true},           {"Data%20Bits", true}, {"Directory", false}, {"Font%20Size", true},
    {"Height", true},         {"Hpgl%20Directory", false}, {"Left", true}, {"Local%20Echo", true},
    {"Log", true},            {"OneMS", true},       {"Parity", true},     {"Port", false},
    {"Radius", true},         {"Stop%20Bits", true}, {"Top", true},        {"Width", true},
}};

bool PlainNumber(std::string_view v, int32_t &out)
{
    if (v.empty() || v.size() > 11)
        return false;
    const char *first = v.data();
    const char *last = v.data() + v.size();
    if (*first != '-' && (*first < '0' || *first > '9'))
        return false;
    const auto r = std::from_chars(first, last, out);
    return r.ec == std::errc() && r.ptr == last;
}

// A text value the store reads as it stands: printable ASCII without the
// characters its format quotes, escapes or splits at, no blank at either end.
bool PlainText(std::string_view v)
{
    if (!v.empty() && (v.front() == ' ' || v.back() == ' ' || v.front() == '@'))
        return false;
    for (unsigned char c : v)
        if (c < 0x20 || c > 0x7E || c == '\\' || c == '"' || c == ';' || c == ',' || c == '=' || c == '#')
            return false;
    return true;
}

} // namespace

std::optional<TPlainSettings> ReadPlainSettings(const TEnvironment &env)
{
    const char *homeValue = env("HOME");
    if (!homeValue || !PlainAbsolutePath(homeValue))
        return std::nullopt;
    const std::string home = homeValue;
    const std::string config = BaseFolder(env, "XDG_CONFIG_HOME", home, "/.config");
    const std::string data = BaseFolder(env, "XDG_DATA_HOME", home, "/.local/share");
    if (config.empty() || data.empty())
        return std::nullopt;

    // The store also reads an organisation-wide file and files for all
    // users; where any of them exists, it is left to the store.
    std::vector<std::string> others = {config + "/" + kOrganisation + ".conf"};
    std::string systemDirs = "/etc/xdg";
    if (const char *dirs = env("XDG_CONFIG_DIRS"); dirs && *dirs)
        systemDirs += std::string(":") + dirs;
    for (const std::string_view dir : Split(systemDirs, ':')) {
        if (!dir.empty()) {
            others.push_back(std::string(dir) + "/" + kOrganisation + "/" + kApplication + ".conf");
            others.push_back(std::string(dir) + "/" + kOrganisation + ".conf");
        }
    }
    for (const std::string &other : others)
        if (Probe(other) != FileState::Missing)
            return std::nullopt;

    TPlainSettings settings;
    settings.Folder = config + "/" + kOrganisation;
    const std::string file = settings.Folder + "/" + kApplication + ".conf";
    std::array<std::optional<std::string>, kKeys.size()> values;
    switch (Probe(file)) {
    case FileState::Missing:
        break;
    case FileState::Other:
        return std::nullopt;
    case FileState::Regular: {
        std::string text;
        int error = 0;
        if (ReadRegularFile(file, size_t(1) << 20, text, error) != TFileRead::Read)
            return std::nullopt;
        constexpr std::string_view kHeader = "[General]\n";
        if (text.empty())
            break; // an empty file holds no settings
        if (text.compare(0, kHeader.size(), kHeader) != 0 || text.back() != '\n')
            return std::nullopt;
        size_t pos = kHeader.size();
        while (pos < text.size()) {
            const size_t end = text.find('\n', pos);
            const std::string_view line(text.data() + pos, end - pos);
            pos = end + 1;
            const size_t eq = line.find('=');
            if (eq == std::string_view::npos)
                return std::nullopt;
            const std::string_view key = line.substr(0, eq);
            const std::string_view value = line.substr(eq + 1);
            const auto k = std::find_if(kKeys.begin(), kKeys.end(), [&](const Key &x) { return key == x.written; });
            if (k == kKeys.end())
                return std::nullopt;
            auto &slot = values[static_cast<size_t>(k - kKeys.begin())];
            int32_t n = 0;
            if (slot || (k->number ? !PlainNumber(value, n) : !PlainText(value)))
                return std::nullopt;
            slot = std::string(value);
        }
        break;
    }
    }
    auto valueOf = [&](const char *written) -> const std::optional<std::string> & {
        const auto k = std::find_if(kKeys.begin(), kKeys.end(), [&](const Key &x) { return std::string_view(written) == x.written; });
        return values[static_cast<size_t>(k - kKeys.begin())];
    };

    // The folder settings the store checks, and replaces (with a log line)
    // when they are not what they must be.
    const std::string defaultDirectory = data + "/Korvane/Grittor/";
    const auto &directory = valueOf("Directory");
    const auto &hpglDirectory = valueOf("Hpgl%20Directory");
    if (!FolderSettingProblem(directory && !directory->empty() ? *directory : defaultDirectory, false).empty())
        return std::nullopt;
    if (!FolderSettingProblem(hpglDirectory && !hpglDirectory->empty() ? *hpglDirectory : defaultDirectory + "*.*",
                              true)
             .empty())
        return std::nullopt;

    int32_t radius = 381;
    if (const auto &r = valueOf("Radius"))
        PlainNumber(*r, radius);
    settings.Radius = std::clamp<int32_t>(radius, 381, 2032);
    return settings;
}

} // namespace grittor
