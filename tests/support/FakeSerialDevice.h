// An in-process serial device for tests: what the link writes is recorded
// (and can be answered through OnWrite), what the test feeds is read back,
// and opening failures, hang-ups and a stalled transmitter can be staged.
#pragma once

#include "link/SerialDevice.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace grittor {

class FakeSerialDevice final : public SerialDevice {
public:
    FakeSerialDevice() = default;

    // ---- staging (any thread) ----
    // Bytes the machine sends.
    void Feed(const std::string &bytes);
    // Everything the link has written so far.
    std::string Written() const;
    std::string TakeWritten();
    // The device goes away: I/O reports Gone until the next Open.
    void HangUp();
    // errno that the next opens return (0: opens succeed).
    std::atomic<int> OpenError{0};
    // The line settings are refused (a device that is no terminal).
    std::atomic<bool> ConfigureFails{false};
    // Largest write accepted at once; 0 stalls the transmitter.
    std::atomic<size_t> WriteLimit{static_cast<size_t>(-1)};
    // Called with every chunk written, outside the device's lock (it may Feed).
    std::function<void(const std::string &)> OnWrite;

    // ---- observation ----
    std::atomic<int> OpenCount{0};
    std::atomic<int> CloseCount{0};
    std::atomic<int> PurgeCount{0};
    std::atomic<int> OutputPurges{0}; // purges that dropped the driver's output
    std::string LastPath() const;
    SerialLineSettings LastSettings() const;
    size_t PendingInput() const;

    // ---- SerialDevice ----
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

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool gone_ = false;
    bool woken_ = false;
    std::string input_;   // fed, not yet read
    std::string written_; // written by the link
    std::string path_;
    SerialLineSettings settings_;
};

} // namespace grittor
