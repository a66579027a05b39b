// The material library file's fixed words, shared by its reader and its
// writer.  Internal to the pens folder.
#pragma once

#include <charconv>
#include <cstddef>
#include <string>

namespace grittor {

inline constexpr char kLibraryFileName[] = "Grittor Materials.json";
inline constexpr char kLibraryFormat[] = "Grittor material library";
inline constexpr int kLibraryVersion = 1;
// Far beyond any real library (20,000 materials of 11 pens as the program
// writes them take about 110 MB); keeps a wrongly chosen file from filling
// memory.
inline constexpr long long kMaxLibraryFileSize = 256LL * 1024 * 1024;

// The shortest text that reads back as `d`.
inline std::string ShortestDouble(double d)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

} // namespace grittor
