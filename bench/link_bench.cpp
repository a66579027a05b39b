// The machine link against grittor-sim at the machine's line rate:
//  - StreamJob: a job (1 MB, or $GRITTOR_BENCH_JOB_BYTES) sent with
//    send_string at 38400 baud: the share of the line rate achieved at the
//    machine, and the application's CPU time per MB;
//  - QueryRoundTrip: 200 query("ESC.vposition:") round trips: median and
//    99th percentile.
#include "BenchClock.h"
#include "link/SerialDevice.h"
#include "link/SimulatorProcess.h"
#include "link/TSerial.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace grittor;
using grittor::bench::CpuSeconds;
using grittor::bench::NowMs;

namespace {

constexpr int kBaud = 38400;

// "key=value" out of the simulator's stats line.
double StatValue(const std::string &stats, const std::string &key)
{
    const size_t at = stats.find(key + "=");
    return at == std::string::npos ? -1 : std::atof(stats.c_str() + at + key.size() + 1);
}

std::string Stats(TSimulatorProcess &sim)
{
    sim.Command("stats");
    std::string line;
    while (sim.ReadLine(line, 5000))
        if (line.rfind("stats ", 0) == 0)
            return line;
    return {};
}

std::string JobText(size_t bytes)
{
    std::string job = "papu0,0;\r\nvs20;\r\nbp762,0.50,1.00,0\r\n";
    long x = 1000, y = 1000;
    while (job.size() < bytes) {
        x = (x * 7 + 13) % 40000;
        y = (y * 11 + 17) % 40000;
        job += "papd" + std::to_string(x) + "," + std::to_string(y) + "\r\n";
    }
    job.resize(bytes);
    return job;
}

struct Bench {
    TSimulatorProcess sim;
    std::unique_ptr<TSerial> link;
    bool Start(benchmark::State &state)
    {
        std::string error;
        if (!sim.Start({"--baud", std::to_string(kBaud)}, error)) {
            state.SkipWithError(error.c_str());
            return false;
        }
        SetPortOverride("com1", sim.DevicePath());
        link = std::make_unique<TSerial>("com1", 20000, 0, 8, 0, kBaud);
        if (!link->OpenedOk()) {
            state.SkipWithError("cannot open the simulator's terminal");
            return false;
        }
        return true;
    }
};

void StreamJob(benchmark::State &state)
{
    size_t bytes = 1 << 20;
    if (const char *s = std::getenv("GRITTOR_BENCH_JOB_BYTES"))
        bytes = static_cast<size_t>(std::atol(s));
    const std::string job = JobText(bytes);
    for (auto _ : state) {
        Bench b;
        if (!b.Start(state))
            return;
        const double cpu0 = CpuSeconds();
        const double t0 = NowMs();
        b.link->send_string(job);
        b.link->flush_output();
        const double queuedMs = NowMs() - t0;
        // Wait for the machine to have read everything.
        std::string stats;
        for (;;) {
            stats = Stats(b.sim);
            if (StatValue(stats, "rx") >= static_cast<double>(job.size() + 1))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        const double wallMs = NowMs() - t0;
        const double cpu = CpuSeconds() - cpu0;
        const double rx = StatValue(stats, "rx");
        const double spanMs = StatValue(stats, "last_rx_ms") - StatValue(stats, "first_rx_ms");
        const double lineBytesPerMs = kBaud / 10.0 / 1000.0;
        state.counters["line_share_pct"] = 100.0 * rx / spanMs / lineBytesPerMs;
        state.counters["share_incl_start_pct"] = 100.0 * rx / wallMs / lineBytesPerMs;
        state.counters["cpu_ms_per_MB"] = 1000.0 * cpu / (static_cast<double>(job.size()) / (1 << 20));
        state.counters["seconds"] = wallMs / 1000.0;
        state.counters["send_returned_s"] = queuedMs / 1000.0;
    }
}

void QueryRoundTrip(benchmark::State &state)
{
    for (auto _ : state) {
        Bench b;
        if (!b.Start(state))
            return;
        std::vector<double> ms;
        for (int i = 0; i < 200; ++i) {
            const double t0 = NowMs();
            const std::string reply = b.link->query("\x1b.vposition:", 100);
            ms.push_back(NowMs() - t0);
            if (reply.empty()) {
                state.SkipWithError("no answer to ESC.vposition:");
                return;
            }
        }
        std::sort(ms.begin(), ms.end());
        state.counters["median_ms"] = ms[ms.size() / 2];
        state.counters["p99_ms"] = ms[static_cast<size_t>(ms.size() * 0.99) - 1];
        state.counters["min_ms"] = ms.front();
        state.counters["max_ms"] = ms.back();
    }
}

} // namespace

BENCHMARK(StreamJob)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(QueryRoundTrip)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
