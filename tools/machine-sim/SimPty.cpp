#include "SimPty.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace grittor::sim {

bool SimPty::Open(std::string &error)
{
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        error = std::string("posix_openpt: ") + std::strerror(errno);
        return false;
    }
    char name[256];
    if (ptsname_r(master, name, sizeof name) != 0) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    path = name;
    slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        error = std::string("open ") + path + ": " + std::strerror(errno);
        return false;
    }
    termios t{};
    if (tcgetattr(slave, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
    return true;
}

void SimPty::Close()
{
    if (slave >= 0)
        ::close(slave);
    if (master >= 0)
        ::close(master);
    slave = master = -1;
}

bool PointLink(const std::string &link, const std::string &target)
{
    const std::string tmp = link + ".new";
    ::unlink(tmp.c_str());
    if (::symlink(target.c_str(), tmp.c_str()) != 0)
        return false;
    return ::rename(tmp.c_str(), link.c_str()) == 0;
}

} // namespace grittor::sim
