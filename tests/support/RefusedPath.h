// A path whose opening for reading and writing fails with "permission
// denied" for the user running the tests: a file without permissions, or,
// for root (who may open any file), a read-only kernel attribute.
#pragma once

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace grittor::test {

// Empty when no such path is found here.
inline std::string RefusedPath(const std::string &scratchDir)
{
    const std::string file = scratchDir + "/refused-port";
    std::ofstream(file).put('x');
    ::chmod(file.c_str(), 0);
    for (const std::string &path :
         {file, std::string("/proc/sys/kernel/osrelease"), std::string("/sys/devices/system/cpu/online")}) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        else if (errno == EACCES)
            return path;
    }
    return {};
}

} // namespace grittor::test
