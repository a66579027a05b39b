#include "foundation/DataFiles.h"

#include "foundation/BuildInfo.h"

#include <filesystem>
#include <fstream>
#include <mutex>

namespace grittor {

namespace fs = std::filesystem;

std::vector<std::string> DataDirectories(const std::string &exeDir, const std::string &sourceDir,
                                         const std::string &fromBin)
{
    std::vector<std::string> dirs;
    if (!exeDir.empty() && !fromBin.empty())
        dirs.push_back((fs::path(exeDir) / fromBin).lexically_normal().string());
    if (!sourceDir.empty()) {
        dirs.push_back((fs::path(sourceDir) / "data").string());
        dirs.push_back(sourceDir);
    }
    return dirs;
}

std::string FindDataFileIn(const std::string &relativeName, const std::vector<std::string> &dirs)
{
    const fs::path name(relativeName);
    if (relativeName.empty() || name.is_absolute())
        return {};
    for (const auto &part : name)
        if (part == "..")
            return {};
    for (const std::string &dir : dirs) {
        const fs::path candidate = fs::path(dir) / name;
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec))
            return candidate.lexically_normal().string();
    }
    return {};
}

namespace {
std::mutex g_executableMutex;
std::string g_executablePath; // "" when not handed over
} // namespace

std::string ExecutablePath()
{
    {
        std::lock_guard<std::mutex> lock(g_executableMutex);
        if (!g_executablePath.empty())
            return g_executablePath;
    }
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

void SetExecutablePath(const std::string &path)
{
    std::lock_guard<std::mutex> lock(g_executableMutex);
    g_executablePath = path;
}

std::string ExecutableDirectory()
{
    const std::string exe = ExecutablePath();
    return exe.empty() ? std::string() : fs::path(exe).parent_path().string();
}

std::string ReadSourceMarker(const std::string &exeDir)
{
    if (exeDir.empty())
        return {};
    const fs::path here(exeDir);
    for (const fs::path &dir : {here, here.parent_path()}) {
        std::ifstream marker(dir / SourceMarkerName);
        std::string line;
        if (marker && std::getline(marker, line) && !line.empty())
            return line;
    }
    return {};
}

std::string FindDataFile(const std::string &relativeName)
{
    const std::string exeDir = ExecutableDirectory();
    return FindDataFileIn(relativeName, DataDirectories(exeDir, ReadSourceMarker(exeDir), InstalledDataFromBin));
}

} // namespace grittor
