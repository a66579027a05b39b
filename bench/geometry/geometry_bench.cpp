// Job text and run ordering on generated plots.
//
//   bench_geometry --benchmark_filter=Job      job text of ~200,000 vertices
//   bench_geometry --benchmark_filter=Sort     ordering 2,000 runs
//
// The job benchmarks include what a job run really costs: one Solve per
// pass, the debug log copy of every pass and the "blowpattern.xls" point
// file (both written to a temporary folder).
#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "geometry/BlastJob.h"
#include "geometry/Blow.h"
#include "geometry/polygon.h"
#include "geometry/HpglOutput.h"
#include "pens/MaterialLibrary.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cmath>
#include <fstream>
#include <memory>

using namespace grittor;

namespace {

QTemporaryDir *g_dir = nullptr;

constexpr int Pens = 6;

// A plot of `vertices` vertices in six pens: closed wavy rings of 200
// vertices each, spread over a 40 x 30 inch sheet.
std::unique_ptr<TPolygon> MakePlot(int vertices)
{
    auto outlines = std::make_unique<TPolygon>();
    TPolygon &poly = *outlines;
    const int perRing = 200;
    const int rings = std::max(1, vertices / perRing);
    for (int r = 0; r < rings; ++r) {
        const int pen = 1 + r % Pens;
        const long double cx = 2000 + (r * 7919 % 40000), cy = 2000 + (r * 104729 % 30000);
        const long double radius = 300 + (r % 17) * 40;
        for (int k = 0; k < perRing; ++k) {
            const long double a = 2 * M_PIl * k / (perRing - 1);
            const long double rr = radius + 25 * std::sin(7 * a);
            const TExtendedPoint p{cx + rr * std::cos(a), cy + rr * std::sin(a)};
            if (k == 0)
                poly.Move(p, pen);
            else
                poly.Line(p, pen);
        }
    }
    poly.Move({0, 0}, 0);
    return outlines;
}

// Pen records: `passes` passes, two at a time, for every pen.
TMaterialPens MakeMaterial(int passes)
{
    TMaterialLibrary lib;
    lib.AddMaterial("Bench");
    for (int pen = 1; pen <= Pens; ++pen) {
        TPens *rec = &lib.FindOrAddPen(0, pen);
        rec->SetPen(pen);
        rec->SetBlowSpeed(10 + pen);
        rec->SetCenterOffset(0.4L);
        rec->Material = 0;
        rec->SetRadius(762);
        rec->SetVertPer(0.5L);
        rec->SetPasses(passes);
        rec->SetScanLine(1200);
        rec->SetTimes(2);
        rec->SetMargin({0, 0});
    }
    return lib.Pens(0);
}

TAlignPoints Placement()
{
    TAlignPoints d;
    d.Origin = {20000, 15000};
    d.Ref = {0, 0};
    d.Skew = {10000, 350}; // a small turn
    return d;
}

size_t TotalVertices(const TBlastJob &job)
{
    size_t n = 0;
    for (int i = 0; i < job.GroupCount(); ++i)
        n += static_cast<size_t>(job.GroupOutput(i)->PointCount());
    return n;
}

// The job text alone: BuildJobStream over a sorted list (state.range(0)
// vertices, state.range(1) passes per pen).
void BM_JobText(benchmark::State &state)
{
    TBlastJob job(MakePlot(static_cast<int>(state.range(0))));
    const TMaterialPens material = MakeMaterial(static_cast<int>(state.range(1)));
    job.BuildOutputs();
    TBlowList list = job.PrepareBlowList(material, TBlastSettings::From(Options()));
    size_t bytes = 0;
    for (auto _ : state) {
        std::string text = list.BuildJobStream(10, Placement(), nullptr);
        bytes += text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["vertices"] = static_cast<double>(TotalVertices(job));
    state.counters["points_per_s"] =
        benchmark::Counter(static_cast<double>(TotalVertices(job)) * static_cast<double>(state.range(1)) *
                               static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_JobText)
    ->Args({50000, 10})
    ->Args({100000, 10})
    ->Args({200000, 10})
    ->Args({200000, 5})
    ->Args({200000, 20})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The whole job as a job run does it: header log, blast list, ordering,
// job text and the blowpattern.xls file.
void BM_WholeJob(benchmark::State &state)
{
    TBlastJob job(MakePlot(static_cast<int>(state.range(0))));
    const TMaterialPens material = MakeMaterial(10);
    const TBlastSettings settings = TBlastSettings::From(Options());
    job.BuildOutputs();
    const std::string pattern = g_dir->path().toStdString() + "/blowpattern.xls";
    size_t bytes = 0;
    for (auto _ : state) {
        std::ofstream debug(pattern, std::ios::binary | std::ios::trunc);
        const std::string text = job.JobText(material, settings, 10, TPlacement{TPlacementRoad::LoadKey, Placement()}, &debug) + ";";
        bytes += text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_WholeJob)->Arg(200000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Ordering state.range(0) runs of six pens with random places.
void BM_DistanceSort(benchmark::State &state)
{
    const int runs = static_cast<int>(state.range(0));
    const TMaterialPens material = MakeMaterial(2);
    const TBlastSettings settings = TBlastSettings::From(Options());
    // One output per run (a short path each); two passes a pen record, two
    // at a time, so every Add makes one run.
    std::vector<std::unique_ptr<THpglOutput>> outs;
    uint32_t seed = 12345;
    auto rnd = [&]() {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<long double>(seed >> 8) / (1u << 24);
    };
    for (int i = 0; i < runs; ++i) {
        auto o = std::make_unique<THpglOutput>();
        const TExtendedPoint a{rnd() * 40000, rnd() * 30000}, b{rnd() * 40000, rnd() * 30000};
        o->AddPoint(a, a);
        o->AddPoint(b, b);
        o->ForwardCommands.Add("papu");
        o->ForwardCommands.Add("papd");
        o->BackwardCommands.Add("papd");
        o->BackwardCommands.Add("papu");
        outs.push_back(std::move(o));
    }
    for (auto _ : state) {
        state.PauseTiming();
        TBlowList list(material, settings);
        for (int i = 0; i < runs; ++i)
            list.Add(outs[static_cast<size_t>(i)].get(), 1 + i % Pens);
        state.ResumeTiming();
        list.DistanceSort();
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetComplexityN(runs);
}
BENCHMARK(BM_DistanceSort)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    // Settings, log and files of the run stay in the temporary folder.
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (dir.path() + "/data").toLocal8Bit());
    QStandardPaths::setTestModeEnabled(false);
    LogOutput().SetDirectory(dir.path().toStdString());
    Options();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
