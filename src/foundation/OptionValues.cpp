// The parts of the settings that need no settings store: the pen colour
// table, the check of a folder setting, and inch/unit conversions.  Kept apart
// from option.cpp so that headless tools built without the toolkit can use
// them.
#include "foundation/option.h"

#include "foundation/utils.h"

#include <algorithm>
#include <filesystem>

namespace grittor {

const TPenColor PenColorTable[PenColorCount] = {
    {"Aqua   ", 0xFFFF00}, {"Black  ", 0x000000}, {"Blue   ", 0xFF0000}, {"DkGray ", 0x808080},
    {"Fuchsia", 0xFF00FF}, {"Gray   ", 0x808080}, {"Green  ", 0x008000}, {"Lime   ", 0x00FF00},
    {"LtGray ", 0xC0C0C0}, {"Maroon ", 0x000080}, {"Navy   ", 0x800000}, {"Olive  ", 0x008080},
    {"Purple ", 0x800080}, {"Red    ", 0x0000FF}, {"Silver ", 0xC0C0C0}, {"Teal   ", 0x808000},
    {"White  ", 0xFFFFFF}, {"Yellow ", 0x00FFFF},
};

std::string FolderSettingProblem(const std::string &value, bool fileOrMask)
{
    if (value.empty() || value[0] != '/')
        return "is not an absolute path";
    for (unsigned char c : value)
        if (c < 32 || c == 127)
            return "holds bytes that are not part of a path";
    if (value.find("\xEF\xBF\xBD") != std::string::npos) // what bytes that are no UTF-8 read as
        return "holds bytes that are not part of a path";
    // The nearest part of the path that exists must be a folder: a folder
    // that does not exist yet is made when work files are written.
    std::filesystem::path folder = fileOrMask ? value.substr(0, value.rfind('/') + 1) : value;
    folder = folder.lexically_normal();
    if (!folder.has_filename() && folder.has_parent_path() && folder != folder.root_path())
        folder = folder.parent_path(); // "/a/b/" is the folder "/a/b"
    std::error_code ec;
    while (!std::filesystem::exists(std::filesystem::symlink_status(folder, ec)) && folder != folder.root_path())
        folder = folder.parent_path();
    if (!std::filesystem::is_directory(folder, ec))
        return "names something that is not a folder";
    return {};
}

// ------------------------------------------------------------ units ---

long double UnitsToInches(long double units) { return units / 1016.0L; }

std::string UnitsToInchText(long double units) { return FormatExtendedFixed(units / 1016.0L, 2); }

int32_t InchTextToUnits(const std::string &text)
{
    long double v = 0;
    if (!ParseExtended(text, v))
        v = 0;
    const long long r = RoundHalfAway(v * 1016.0L);
    return static_cast<int32_t>(std::clamp<long long>(r, INT32_MIN, INT32_MAX));
}

} // namespace grittor
