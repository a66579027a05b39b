// SerialDevice on a POSIX terminal device: exclusive open, non-blocking I/O,
// poll for events, tcflush for purges.  Works the same on a real port, a USB
// adapter and a pseudo-terminal (whose missing speed and modem lines are
// skipped quietly).
#pragma once

#include "link/SerialDevice.h"

#include <mutex>
#include <shared_mutex>

namespace grittor {

class TermiosDevice final : public SerialDevice {
public:
    TermiosDevice();
    ~TermiosDevice() override;

    int Open(const std::string &path, std::string &reason) override;
    bool IsOpen() const override;
    bool Configure(const SerialLineSettings &settings) override;
    DeviceResult Read(char *buffer, size_t size) override;
    DeviceResult Write(const char *data, size_t size) override;
    int Wait(int wanted, int timeoutMs) override;
    void Wake() override;
    void Purge(bool input, bool output) override;
    bool QueueSizes(int &in, int &out) override;
    bool ClearErrors(uint32_t &mask) override;
    void Close() override;

    // The sentence the debug log gets for a failed open.
    static std::string DescribeOpenError(int error, const std::string &path);
    // The sentence for a path that is no terminal (st_mode of the path).
    static std::string DescribeNotATerminal(const std::string &path, unsigned mode);

private:
    void CloseLocked();

    mutable std::shared_mutex mutex_; // I/O shares it; open and close take it alone
    int fd_ = -1;
    int wakeFd_ = -1;
    // Last line error counters (frame, overrun, parity, break, buffer overrun).
    std::mutex countsMutex_;
    int lastCounts_[5] = {0, 0, 0, 0, 0};
};

} // namespace grittor
