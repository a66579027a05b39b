// End-to-end fixture: a real grittor-sim on a pseudo-terminal and a real
// TSerial (receive thread, termios device) bound to it.
#pragma once

#include "link/SerialDevice.h"
#include "link/SimulatorProcess.h"
#include "link/TSerial.h"

#include "TestDoubles.h"
#include "foundation/LogOutput.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace grittor::test {

inline std::string ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

inline int64_t MonoMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class SimFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        flags.Closing = false;
        flags.Cancelled = false;
        LogOutput().SetDirectory(dir.path().toStdString());
        LogOutput().Write("e2e start", true, true);
        LogOutput().Write("e2e start", true, true);
    }
    void TearDown() override
    {
        link.reset();
        sim.Stop();
        ClearPortOverrides();
    }

    std::string Path(const std::string &name) const { return dir.path().toStdString() + "/" + name; }

    // Starts the simulator (unpaced and with short machine delays unless
    // the arguments say otherwise) and opens a link on it.
    void Start(std::vector<std::string> extra = {}, int32_t bufferSize = 20000)
    {
        std::vector<std::string> args = {"--record", Path("record.bin"), "--firmware",   Path("firmware.bin"),
                                         "--log",    Path("sim.log"),    "--time-scale", "0.01"};
        bool baudGiven = false;
        for (const auto &a : extra)
            baudGiven |= a == "--baud";
        if (!baudGiven)
            args.insert(args.end(), {"--baud", "0"});
        args.insert(args.end(), extra.begin(), extra.end());
        std::string error;
        ASSERT_TRUE(sim.Start(args, error)) << error;
        SetPortOverride("com1", sim.DevicePath());
        link = std::make_unique<TSerial>("com1", bufferSize, 0, 8, 0, 38400, flags);
        ASSERT_TRUE(link->OpenedOk()) << "could not open " << sim.DevicePath();
    }

    std::string LogText() const { return ReadFile(LogOutput().FullPath()); }

    std::string Recorded() const { return ReadFile(Path("record.bin")); }

    // Waits until the simulator has recorded at least n bytes.
    bool WaitRecorded(size_t n, int timeoutMs = 10000) const
    {
        const int64_t end = MonoMs() + timeoutMs;
        while (MonoMs() < end) {
            if (Recorded().size() >= n)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return Recorded().size() >= n;
    }

    // One control line, then a "stats" round trip so it has surely been read.
    void Control(const std::string &line)
    {
        ASSERT_TRUE(sim.Command(line));
        Stats();
    }
    std::string Stats()
    {
        sim.Command("stats");
        std::string line;
        while (sim.ReadLine(line, 3000))
            if (line.rfind("stats ", 0) == 0)
                return line;
        ADD_FAILURE() << "no stats from the simulator";
        return {};
    }

    TempSettings settings;
    QTemporaryDir dir;
    AbortFlags flags;
    TSimulatorProcess sim;
    std::unique_ptr<TSerial> link;
};

} // namespace grittor::test
