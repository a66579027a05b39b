#include "FakeSerialDevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace grittor {

void FakeSerialDevice::Feed(const std::string &bytes)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        input_ += bytes;
    }
    changed_.notify_all();
}

std::string FakeSerialDevice::Written() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

std::string FakeSerialDevice::TakeWritten()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string w;
    w.swap(written_);
    return w;
}

void FakeSerialDevice::HangUp()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        gone_ = true;
    }
    changed_.notify_all();
}

std::string FakeSerialDevice::LastPath() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return path_;
}

SerialLineSettings FakeSerialDevice::LastSettings() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_;
}

size_t FakeSerialDevice::PendingInput() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return input_.size();
}

int FakeSerialDevice::Open(const std::string &path, std::string &reason)
{
    std::lock_guard<std::mutex> lock(mutex_);
    path_ = path;
    const int e = OpenError.load();
    if (e != 0) {
        reason = "staged failure opening " + path;
        return e;
    }
    open_ = true;
    gone_ = false;
    ++OpenCount;
    reason.clear();
    return 0;
}

bool FakeSerialDevice::IsOpen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
}

bool FakeSerialDevice::Configure(const SerialLineSettings &settings)
{
    std::lock_guard<std::mutex> lock(mutex_);
    settings_ = settings;
    return open_ && !ConfigureFails.load();
}

DeviceResult FakeSerialDevice::Read(char *buffer, size_t size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    DeviceResult r;
    if (!open_) {
        r.Error = EBADF;
        return r;
    }
    if (gone_ && input_.empty()) {
        r.Gone = true;
        r.Error = EIO;
        return r;
    }
    const size_t n = std::min(size, input_.size());
    std::copy_n(input_.begin(), n, buffer);
    input_.erase(0, n);
    r.Count = static_cast<long>(n);
    return r;
}

DeviceResult FakeSerialDevice::Write(const char *data, size_t size)
{
    DeviceResult r;
    std::string chunk;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_) {
            r.Error = EBADF;
            return r;
        }
        if (gone_) {
            r.Gone = true;
            r.Error = EIO;
            return r;
        }
        const size_t n = std::min(size, WriteLimit.load());
        chunk.assign(data, n);
        written_ += chunk;
        r.Count = static_cast<long>(n);
    }
    if (!chunk.empty() && OnWrite)
        OnWrite(chunk);
    return r;
}

int FakeSerialDevice::Wait(int wanted, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    auto events = [&] {
        int ev = 0;
        if (!open_)
            return ev;
        if ((wanted & EvReceive) && !input_.empty())
            ev |= EvReceive;
        if ((wanted & EvTransmit) && WriteLimit.load() > 0 && !gone_)
            ev |= EvTransmit;
        if (gone_)
            ev |= EvHangup;
        return ev;
    };
    changed_.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)), [&] { return events() != 0 || woken_; });
    woken_ = false;
    return events();
}

void FakeSerialDevice::Wake()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    changed_.notify_all();
}

void FakeSerialDevice::Purge(bool input, bool output)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++PurgeCount;
    if (output)
        ++OutputPurges;
    if (input)
        input_.clear();
}

bool FakeSerialDevice::QueueSizes(int &in, int &out)
{
    std::lock_guard<std::mutex> lock(mutex_);
    in = static_cast<int>(input_.size());
    out = 0;
    return open_;
}

bool FakeSerialDevice::ClearErrors(uint32_t &mask)
{
    mask = 0;
    return true;
}

void FakeSerialDevice::Close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (open_)
            ++CloseCount;
        open_ = false;
    }
    changed_.notify_all();
}

} // namespace grittor
