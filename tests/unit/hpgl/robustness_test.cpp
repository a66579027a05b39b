// Hostile and broken input: garbage, NUL bytes, absurd numbers, endless
// errors, unterminated constructs, big files; and every real-world plot.
#include "HpglTestUtil.h"

#include "hpgl/IndexedRender.h"

#include "hpgl/CanvasSink.h"

#include "foundation/AbortFlags.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

using namespace grittor;
using namespace grittor::test;

namespace {

// Reads, replays onto a bounded recorder and renders: what opening does.
void ReadAndRender(const std::string &text, long double multiplier = 1.0L)
{
    auto r = ReadHpgl(text, multiplier);
    RecordingCanvas canvas;
    canvas.Limit = 1000;
    RenderPlot(*r, canvas, 1000, 700, 381, NoPenColors());
    for (int i = 0; i < r->CommandCount(); ++i)
        (void)r->GetText(i);
    // Pixel coordinates stay inside the int range by construction; the
    // recorder saw every call.
    EXPECT_GE(canvas.total, canvas.calls.size());
}

std::string Bytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto &c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

} // namespace

TEST(HpglRobustness, GarbageAndNulBytesStopCleanly)
{
    // Random bytes are not a plot: the error stop ends the reading early.
    const std::string garbage = Bytes(200000, 7);
    auto r = ReadHpgl(garbage);
    EXPECT_EQ(r->ErrorCount(), 101);
    EXPECT_EQ(r->ReadStop(), TReadStop::TooManyErrors);
    EXPECT_LT(r->StopPos(), 200000);
    ReadAndRender(garbage);

    // NUL bytes between instructions are padding.
    std::string nuls(1000, '\0');
    nuls += "PA1,1;";
    nuls += std::string(3, '\0');
    auto n = ReadHpgl(nuls);
    EXPECT_EQ(n->ErrorCount(), 0);
    EXPECT_EQ(n->CommandCount(), 1);
    ReadAndRender(std::string("PA1,\0"
                              "2;PD\0\0;",
                              13));
}

TEST(HpglRobustness, AbsurdNumbersStayFiniteAndBounded)
{
    // Fields are cut to 11 characters and can hold no exponent, so every
    // coordinate a file gives is below 10^11 in size.
    const std::string text = "PA99999999999999999999,-99999999999999999999;PD1e4000,NaN,inf;"
                             "AA0,0,99999999999;CI99999999999;ER-99999999999,99999999999;"
                             "PR99999999999,99999999999,99999999999,99999999999;";
    auto r = ReadHpgl(text, 100);
    EXPECT_TRUE(std::isfinite(r->MinPoint().x) && std::isfinite(r->MaxPoint().y));
    ReadAndRender(text, 100);
    ReadAndRender(text, 0.01L);
    ReadAndRender("PA0,0;PD;PE" + std::string(100000, '~') + ";");
}

TEST(HpglRobustness, UnterminatedConstructsAtTheEnd)
{
    for (const std::string tail :
         {"LBunterminated", "PE", "PE:", "PE>", "PE<=", "\x1b", "\x1b.", "\x1b.w", "DT", "PA1,", "PA-", "SP"}) {
        SCOPED_TRACE(tail);
        ReadAndRender("PU0,0;PD100,100;" + tail);
    }
}

TEST(HpglRobustness, ThousandsOfErrorsAndMessagesAreBounded)
{
    // Unknown names stop at 101; conversion messages are not counted but
    // each belongs to a field, so their number is bounded by the text.
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "PA1-2,3+4;";
    auto r = ReadHpgl(text);
    EXPECT_EQ(r->ErrorCount(), 0);
    EXPECT_EQ(r.errors.size(), 10000u);
    EXPECT_EQ(r->CommandCount(), 5000);

    std::string unknown;
    for (int i = 0; i < 20000; ++i)
        unknown += "ZZ;";
    auto u = ReadHpgl(unknown);
    EXPECT_EQ(u->ErrorCount(), 101);
    EXPECT_EQ(u.errors.size(), 101u);
    // One run of letters that never makes a name is one instruction.
    auto run = ReadHpgl(std::string(20000, 'Z'));
    EXPECT_EQ(run->ErrorCount(), 1);
    EXPECT_EQ(run.errors.size(), 1u);
}

TEST(HpglRobustness, ZeroByteAndBigFilesFromDisk)
{
    QTemporaryDir dir;
    const std::string empty = dir.filePath("empty.plt").toStdString();
    std::ofstream(empty).close();
    THpglFile e(empty, 1.0L, nullptr);
    EXPECT_EQ(e.CommandCount(), 0);

    // About 8 MB of short instructions: memory stays a small multiple of
    // the text and the time linear.
    const std::string big = dir.filePath("big.plt").toStdString();
    {
        std::ofstream out(big, std::ios::binary);
        std::string block;
        for (int i = 0; i < 1000; ++i)
            block += "PD" + std::to_string(i * 7 % 30000) + "," + std::to_string(i * 13 % 20000) + ";";
        for (int k = 0; k < 600; ++k)
            out << block;
    }
    const auto t0 = std::chrono::steady_clock::now();
    THpglFile f(big, 1.0L, nullptr);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(f.CommandCount(), 600000);
    const size_t size = f.Source().size();
    // Records and numbers actually used: 16 bytes and two words a PD.
    EXPECT_LE(static_cast<double>(f.CommandCount()) * 24, 3.0 * static_cast<double>(size));
    EXPECT_LT(seconds, 20.0); // generous: sanitizer builds on a shared machine
}

TEST(HpglRobustness, EveryRealWorldPlotReadsAndRenders)
{
    const std::string dir = PlotsDir();
    if (dir.empty())
        GTEST_SKIP() << "no real-world plots beside the checkout";
    int files = 0, split = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        const std::string path = entry.path().string();
        if (entry.path().filename() == "SOURCES.txt" || !entry.is_regular_file())
            continue;
        SCOPED_TRACE(path);
        ++files;
        ScriptedDialogs dialogs;
        std::vector<std::string> errors;
        const auto t0 = std::chrono::steady_clock::now();
        THpglFile f(path, 1.0L, [&](const std::string &m, bool) { errors.push_back(m); });
        RecordingCanvas canvas;
        canvas.Limit = 0;
        RenderPlot(f, canvas, 1000, 700, 381, NoPenColors());
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_LT(seconds, 10.0);
        EXPECT_LE(f.ErrorCount(), 101);
        EXPECT_LE(f.InstructionBytes(), 8 * f.Source().size() + 65536);
        // Every reader message carries its position context.
        for (const auto &m : errors)
            EXPECT_NE(m.find('@'), std::string::npos) << m;
        if (f.CommandCount() > 0 && f.HasExtent()) {
            EXPECT_GT(canvas.total, 0u);
        }
        // On two cores (plots of 64 KB and more), the picture of one.
        TIndexedImage one(1000, 700), two(1000, 700);
        RenderPlotIndexed(f, one, 381, PrintPenColors, [](const std::string &, bool) {}, false);
        const TRenderResult r =
            RenderPlotIndexed(f, two, 381, PrintPenColors, [](const std::string &, bool) {}, true);
        split += r.SplitAt > 0;
        EXPECT_EQ(one.colors, two.colors);
        EXPECT_TRUE(one.pixels == two.pixels) << "the picture drawn in two parts differs";
    }
    EXPECT_GE(files, 20);
    EXPECT_GE(split, 4); // the bigger plots were drawn in two parts
}

TEST(HpglRobustness, KnownPlotFacts)
{
    const std::string dir = PlotsDir();
    if (dir.empty())
        GTEST_SKIP() << "no real-world plots beside the checkout";
    // The board outline: one rectangle, 2.30 inches square.
    THpglFile kicad(dir + "/kicad__laser-Edge_Cuts.plt", 1.0L, nullptr);
    EXPECT_EQ(kicad.MinPoint(), ExtendedPoint(3099, 4082));
    EXPECT_EQ(kicad.MaxPoint(), ExtendedPoint(5436, 6419));
    EXPECT_EQ(kicad.ErrorCount(), 0);
    // Device escapes at the start of a driver's output are kept as such.
    THpglFile acad(dir + "/hp2xx__acad.hp", 1.0L, nullptr);
    ASSERT_GT(acad.CommandCount(), 0);
    EXPECT_EQ(acad.Command(0).Kind(), TCommandKind::Escape);
    EXPECT_EQ(acad.ErrorCount(), 0);
    // The Latin-1 repaired PE decodes its point (2077, 2210).
    ScriptedDialogs quiet;
    THpglFile pe(dir + "/jemgreen__acad_test-Model.repaired-latin1.PLT", 1.0L, [](const std::string &, bool) {});
    EXPECT_EQ(pe.MaxPoint(), ExtendedPoint(2077, 2210));
}
