// Reading, rendering and number conversion on a generated plot
// (bench/gen_mixed_plot.py, about 4 MB of mixed HP-GL/2, unless GRITTOR_BENCH_PLOT names one).
#include "foundation/utils.h"
#include "hpgl/CanvasSink.h"
#include "hpgl/QPainterCanvas.h"
#include "hpgl/hpgl.h"

#include <benchmark/benchmark.h>

#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

using namespace grittor;

namespace {

const std::string &Plot()
{
    static const std::string text = [] {
        std::string path;
        if (const char *p = std::getenv("GRITTOR_BENCH_PLOT"); p && *p) {
            path = p;
        } else {
            path = "/tmp/grittor-bench-plot-4MB.plt";
            std::ifstream probe(path);
            if (!probe) {
                const std::string cmd =
                    "python3 '" GRITTOR_SOURCE_DIR "/bench/gen_mixed_plot.py' 4000000 '" + path + "' 16";
                if (std::system(cmd.c_str()) != 0)
                    std::fprintf(stderr, "cannot generate the plot\n");
            }
        }
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }();
    return text;
}

void BM_Prescan(benchmark::State &state)
{
    const std::string &text = Plot();
    for (auto _ : state) {
        THpglFile f(THpglFile::FromText{text}, [](const std::string &, bool) {});
        benchmark::DoNotOptimize(f.MaxPoint());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Prescan)->Unit(benchmark::kMillisecond);

void BM_Render(benchmark::State &state)
{
    THpglFile f(THpglFile::FromText{Plot()}, [](const std::string &, bool) {});
    QImage image(1000, 700, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainterCanvas canvas(&image);
        RenderPlot(f, canvas, 1000, 700, 381, NoPenColors());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Plot().size()));
}
BENCHMARK(BM_Render)->Unit(benchmark::kMillisecond);

// The reader's conversion of typical fields: a plot of nothing but numbers.
void BM_NumberFields(benchmark::State &state)
{
    std::string text = "PA";
    const char *fields[] = {"12345", "-678", "0.5", "31999.25", "7", "-0.125", "20000", "1.5"};
    for (int i = 0; i < 250000; ++i) {
        text += fields[i % 8];
        text += ',';
    }
    text += ";";
    for (auto _ : state) {
        THpglFile f(THpglFile::FromText{text}, [](const std::string &, bool) {});
        benchmark::DoNotOptimize(f.ScanEnd());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 250000);
}
BENCHMARK(BM_NumberFields)->Unit(benchmark::kMillisecond);

// The general conversion (settings, machine replies) for comparison.
void BM_ParseExtended(benchmark::State &state)
{
    const char *fields[] = {"12345", "-678", "0.5", "31999.25", "7", "-0.125", "20000", "1.5"};
    long double sum = 0;
    for (auto _ : state) {
        for (const char *f : fields) {
            long double v;
            ParseExtended(f, v);
            sum += v;
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 8);
}
BENCHMARK(BM_ParseExtended);

} // namespace

BENCHMARK_MAIN();
