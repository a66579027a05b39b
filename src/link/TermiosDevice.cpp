#include "link/TermiosDevice.h"

#include "link/PortPermission.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace grittor {

namespace {
bool DeviceGoneError(int e)
{
    return e == EIO || e == ENXIO || e == ENODEV || e == EPIPE || e == EBADF;
}

speed_t SpeedConstant(int32_t baud)
{
    switch (baud) {
    case 4800:
        return B4800;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    default:
        return B9600;
    }
}
} // namespace

TermiosDevice::TermiosDevice()
{
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

TermiosDevice::~TermiosDevice()
{
    Close();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

std::string TermiosDevice::DescribeOpenError(int error, const std::string &path)
{
    switch (error) {
    case ENOENT:
        return "missing device: " + path +
               " does not exist (is the adapter plugged in? the \"Com Devices\" settings, "
               "Setup > Serial Devices, map com1..com8 to device paths)";
    case EACCES:
    case EPERM:
        return "permission denied on " + path +
               ": add your user to the dialout group (sudo usermod -aG dialout $USER) and log in again";
    case EBUSY:
        return path + " is busy: another program is using the port";
    case ENXIO:
    case ENODEV:
        return "no device answers behind " + path + " (adapter unplugged?)";
    case ENOTTY:
        return path + " is not a terminal device, so it cannot be a serial port";
    default:
        return "cannot open " + path + ": " + std::strerror(error);
    }
}

std::string TermiosDevice::DescribeNotATerminal(const std::string &path, unsigned mode)
{
    if (S_ISDIR(mode))
        return path + " is a folder, not a serial port";
    if (S_ISREG(mode))
        return path + " is a regular file, not a serial port";
    if (S_ISCHR(mode))
        return path + " is a device but not a terminal, so not a serial port";
    return DescribeOpenError(ENOTTY, path);
}

int TermiosDevice::Open(const std::string &path, std::string &reason)
{
    std::unique_lock<std::shared_mutex> lock(mutex_);
    CloseLocked();
    if (path.empty()) {
        reason = "no device path";
        return ENOENT;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        reason = e == EISDIR ? DescribeNotATerminal(path, S_IFDIR) : DescribeOpenError(e, path);
        if (e == EACCES || e == EPERM)
            NotePortPermissionDenied(path); // the window and the CLI show how to join the group
        return e;
    }
    // Only a terminal can be a serial line.  Whatever else the path names (a
    // file, a FIFO, /dev/null) would swallow the machine's commands without a
    // word; it is closed again before anything is written to it.
    if (!::isatty(fd)) {
        struct stat opened {};
        const unsigned mode = ::fstat(fd, &opened) == 0 ? opened.st_mode : 0u;
        ::close(fd);
        reason = DescribeNotATerminal(path, mode);
        return ENOTTY;
    }
    // Exclusive use: the kernel's exclusive mode for later opens, and the
    // advisory lock other serial programs honour.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        reason = DescribeOpenError(EBUSY, path);
        return EBUSY;
    }
    ::ioctl(fd, TIOCEXCL);
    fd_ = fd;
    std::memset(lastCounts_, 0, sizeof lastCounts_);
    serial_icounter_struct ic{};
    if (::ioctl(fd_, TIOCGICOUNT, &ic) == 0) {
        lastCounts_[0] = ic.frame;
        lastCounts_[1] = ic.overrun;
        lastCounts_[2] = ic.parity;
        lastCounts_[3] = ic.brk;
        lastCounts_[4] = ic.buf_overrun;
    }
    reason.clear();
    return 0;
}

bool TermiosDevice::IsOpen() const
{
    std::shared_lock<std::shared_mutex> lock(mutex_);
    return fd_ >= 0;
}

bool TermiosDevice::Configure(const SerialLineSettings &s)
{
    std::shared_lock<std::shared_mutex> lock(mutex_);
    if (fd_ < 0)
        return false;
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        return false; // not a terminal at all
    // Raw binary: no line editing, no translation, no echo, no signals.
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                        IXANY | INPCK | IGNPAR);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
    // XON/XOFF both ways, CTS handshake on output, modem status ignored so a
    // missing carrier never hangs the line up.
    if (s.XonXoff)
        t.c_iflag |= IXON | IXOFF;
    t.c_cflag |= CLOCAL | CREAD | CRTSCTS;
    switch (s.DataBits) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    default:
        t.c_cflag |= CS8;
        break;
    }
    if (s.Parity == 1 || s.Parity == 2) {
        t.c_cflag |= PARENB;
        if (s.Parity == 1)
            t.c_cflag |= PARODD;
        t.c_iflag |= INPCK; // parity checked only when there is parity
    }
    if (s.StopBits != 0)
        t.c_cflag |= CSTOPB; // two (one and a half with five data bits)
    // VMIN 1: with nothing waiting a non-blocking read says "would block",
    // so a read of 0 bytes can only mean the line hung up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    ::cfsetispeed(&t, SpeedConstant(s.BaudRate));
    ::cfsetospeed(&t, SpeedConstant(s.BaudRate));
    const bool applied = ::tcsetattr(fd_, TCSANOW, &t) == 0;
    // DTR and RTS on; pseudo-terminals and some adapters refuse: fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd_, TIOCMBIS, &lines);
    return applied;
}

DeviceResult TermiosDevice::Read(char *buffer, size_t size)
{
    std::shared_lock<std::shared_mutex> lock(mutex_);
    DeviceResult r;
    if (fd_ < 0) {
        r.Error = EBADF;
        return r;
    }
    const ssize_t n = ::read(fd_, buffer, size);
    if (n > 0) {
        r.Count = n;
    } else if (n == 0 && size > 0) {
        // End of file on a terminal is a hang-up; a terminal left with VMIN 0
        // by someone else also reads 0 when merely idle, so ask poll.
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
            r.Gone = true;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        r.Error = errno;
        r.Gone = DeviceGoneError(errno);
    }
    return r;
}

DeviceResult TermiosDevice::Write(const char *data, size_t size)
{
    std::shared_lock<std::shared_mutex> lock(mutex_);
    DeviceResult r;
    if (fd_ < 0) {
        r.Error = EBADF;
        return r;
    }
    const ssize_t n = ::write(fd_, data, size);
    if (n >= 0) {
        r.Count = n;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        r.Error = errno;
        r.Gone = DeviceGoneError(errno);
    }
    return r;
}

int TermiosDevice::Wait(int wanted, int timeoutMs)
{
    std::shared_lock<std::shared_mutex> lock(mutex_);
    pollfd fds[2] = {};
    int count = 0;
    fds[count].fd = wakeFd_;
    fds[count].events = POLLIN;
    ++count;
    if (fd_ >= 0) {
        fds[count].fd = fd_;
        fds[count].events =
            static_cast<short>(((wanted & EvReceive) ? POLLIN : 0) | ((wanted & EvTransmit) ? POLLOUT : 0));
        ++count;
    }
    if (::poll(fds, static_cast<nfds_t>(count), timeoutMs) <= 0)
        return 0;
    if (fds[0].revents & POLLIN) {
        uint64_t v;
        [[maybe_unused]] ssize_t n = ::read(wakeFd_, &v, sizeof v);
    }
    int events = 0;
    if (count > 1) {
        const short re = fds[1].revents;
        if (re & POLLIN)
            events |= EvReceive;
        if (re & POLLOUT)
            events |= EvTransmit;
        if (re & (POLLHUP | POLLERR | POLLNVAL))
            events |= EvHangup;
    }
    return events;
}

void TermiosDevice::Wake()
{
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
}

void TermiosDevice::Purge(bool input, bool output)
{
    std::shared_lock<std::shared_mutex> lock(mutex_);
    if (fd_ < 0 || (!input && !output))
        return;
    ::tcflush(fd_, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH);
}

bool TermiosDevice::QueueSizes(int &in, int &out)
{
    std::shared_lock<std::shared_mutex> lock(mutex_);
    in = out = 0;
    if (fd_ < 0)
        return false;
    const bool okIn = ::ioctl(fd_, FIONREAD, &in) == 0;
    const bool okOut = ::ioctl(fd_, TIOCOUTQ, &out) == 0;
    return okIn && okOut;
}

bool TermiosDevice::ClearErrors(uint32_t &mask)
{
    std::shared_lock<std::shared_mutex> lock(mutex_);
    mask = 0;
    if (fd_ < 0)
        return false;
    serial_icounter_struct ic{};
    if (::ioctl(fd_, TIOCGICOUNT, &ic) != 0)
        return errno == ENOTTY || errno == EINVAL; // no counters here (pseudo-terminals)
    const int now[5] = {ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
    std::lock_guard<std::mutex> countsLock(countsMutex_);
    const uint32_t bits[5] = {CeFrame, CeOverrun, CeRxParity, CeBreak, CeRxOver};
    for (int i = 0; i < 5; ++i)
        if (now[i] != lastCounts_[i]) {
            mask |= bits[i];
            lastCounts_[i] = now[i];
        }
    return true;
}

void TermiosDevice::Close()
{
    Wake(); // a receive thread waiting on the line lets go at once
    std::unique_lock<std::shared_mutex> lock(mutex_);
    CloseLocked();
}

void TermiosDevice::CloseLocked()
{
    if (fd_ < 0)
        return;
    // The exclusive mode outlives this descriptor when someone else holds the
    // terminal (a simulator keeps its own); drop it so the next open works.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

} // namespace grittor
