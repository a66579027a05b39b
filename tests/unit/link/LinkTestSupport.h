// Helpers for driving a TSerial single-threaded on the fake clock: the
// receive rounds run whenever the link lets window messages run, and a
// scripted machine answers on the fake device, on time.
#pragma once

#include "FakeSerialDevice.h"
#include "link/TCommThread.h"
#include "link/TSerial.h"

#include "TestDoubles.h"
#include "foundation/Clock.h"
#include "foundation/LogOutput.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

namespace grittor {

// Reaches into the link where a test has to stage what another thread
// would do (hold the write guard) or what no command can (a status).
struct TSerialTestAccess {
    static void HoldWrite(TSerial &s, bool held) { s.writeBusy_ = held ? 1 : 0; }
    static bool WriteHeld(const TSerial &s) { return s.writeBusy_.load() != 0; }
    static void SetLastStatus(TSerial &s, uint8_t status) { s.lastStatus_ = status; }
};

} // namespace grittor

namespace grittor::test {

// Bytes the machine sends at fake-clock times.
class ScheduledFeed {
public:
    void At(int64_t ms, const std::string &bytes) { items_.push_back({ms, bytes}); }
    // Feeds everything due by now.
    void Pump(FakeSerialDevice &device, int64_t nowMs)
    {
        while (!items_.empty() && items_.front().first <= nowMs) {
            device.Feed(items_.front().second);
            items_.pop_front();
        }
    }
    bool Empty() const { return items_.empty(); }

private:
    std::deque<std::pair<int64_t, std::string>> items_;
};

class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetClock(&clock);
        flags.Closing = false;
        flags.Cancelled = false;
        LogOutput().SetDirectory(logDir.path().toStdString());
        // The log only notices a new folder on its next write; the first
        // write after the change is spent on that.
        LogOutput().Write("test start", true, true);
        LogOutput().Write("test start", true, true);
        hooks.onProcess = [this] { Pump(); };
    }
    void TearDown() override
    {
        hooks.onProcess = nullptr;
        link.reset();
        ClearPortOverrides();
        SetClock(nullptr);
    }

    // A link on a fake device; the receive thread does not run, the test's
    // hooks run its rounds instead.
    TSerial &Make(int32_t baud = 38400, const std::string &port = "com1",
                  const std::function<void(FakeSerialDevice &)> &prepare = {})
    {
        auto dev = std::make_unique<FakeSerialDevice>();
        device = dev.get();
        if (prepare)
            prepare(*dev);
        TSerialOptions options;
        options.Device = std::move(dev);
        options.StartThread = false;
        link = std::make_unique<TSerial>(port, 20000, 0, 8, 0, baud, flags, std::move(options));
        return *link;
    }

    // One "window message" round: the scripted machine speaks, the receive
    // round moves bytes.
    void Pump()
    {
        ++pumps;
        if (onPump)
            onPump();
        if (device)
            feed.Pump(*device, clock.NowMs());
        if (link && link->Thread())
            link->Thread()->Round(0);
    }

    // Answers every command line (ended by CR) the link writes.
    void Answer(std::function<std::string(const std::string &command)> responder)
    {
        device->OnWrite = [this, responder](const std::string &chunk) {
            for (char c : chunk) {
                if (c == '\r') {
                    device->Feed(responder(pendingCommand));
                    commands.push_back(pendingCommand);
                    pendingCommand.clear();
                } else {
                    pendingCommand += c;
                }
            }
        };
    }

    std::string LogText() const
    {
        std::ifstream f(LogOutput().FullPath(), std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }

    TempSettings settings;
    FakeClock clock;
    AbortFlags flags;
    CountingUiHooks hooks;
    QTemporaryDir logDir;
    std::unique_ptr<TSerial> link;
    FakeSerialDevice *device = nullptr;
    ScheduledFeed feed;
    std::function<void()> onPump;
    int pumps = 0;
    std::string pendingCommand;
    std::vector<std::string> commands;
};

} // namespace grittor::test
