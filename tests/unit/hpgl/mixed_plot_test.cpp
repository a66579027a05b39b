// Mixed HP-GL/2 plots from bench/gen_mixed_plot.py against the truth the
// generator writes beside them: the reader must report nothing, collect
// every outline with its pen exactly as drawn, and find the same extent.
#include "HpglTestUtil.h"

#include "geometry/BlastJob.h"
#include "geometry/polygon.h"
#include "hpgl/IndexedRender.h"

#include "foundation/Progress.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <climits>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

using namespace grittor;
using namespace grittor::test;

namespace {

struct Outline {
    int pen = 0;
    std::vector<std::pair<long long, long long>> points;
};

struct Truth {
    long long minX = 0, minY = 0, maxX = 0, maxY = 0;
    std::vector<Outline> outlines;
};

Truth ReadTruth(const std::string &path)
{
    Truth t;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string kind;
        s >> kind;
        if (kind == "extent") {
            s >> t.minX >> t.minY >> t.maxX >> t.maxY;
        } else if (kind == "outline") {
            Outline o;
            int n = 0;
            s >> o.pen >> n;
            for (int k = 0; k <= n; ++k) {
                long long x = 0, y = 0;
                s >> x >> y;
                o.points.emplace_back(x, y);
            }
            t.outlines.push_back(std::move(o));
        }
    }
    return t;
}

std::string Describe(const Outline &o)
{
    std::string s = "pen " + std::to_string(o.pen) + ":";
    for (size_t k = 0; k < o.points.size() && k < 6; ++k)
        s += " (" + std::to_string(o.points[k].first) + "," + std::to_string(o.points[k].second) + ")";
    if (o.points.size() > 6)
        s += " ... " + std::to_string(o.points.size()) + " points";
    return s;
}

class MixedPlot : public ::testing::Test {
protected:
    // Writes a plot of about `bytes` with the given seed; returns its path.
    // `comparable`: the benchmark's kind, which another reader also reads.
    std::string Generate(long bytes, int seed, bool comparable = false)
    {
        const QString out = dir_.filePath(QString("mixed-%1-%2.plt").arg(bytes).arg(seed));
        QStringList args = {QString::fromStdString(SourceDir() + "/bench/gen_mixed_plot.py"), QString::number(bytes),
                            out, QString::number(seed)};
        if (comparable)
            args << "--comparable";
        QProcess p;
        p.start("python3", args);
        EXPECT_TRUE(p.waitForFinished(120000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return out.toStdString();
    }

    // Reads the plot from disk as opening it does and checks it against
    // its truth.
    void Check(const std::string &path)
    {
        SCOPED_TRACE(path);
        const Truth truth = ReadTruth(path + ".truth");
        ASSERT_FALSE(truth.outlines.empty());
        std::vector<std::string> messages;
        THpglFile plot(path, 1.0L, [&](const std::string &m, bool) { messages.push_back(m); });
        EXPECT_EQ(plot.ErrorCount(), 0);
        EXPECT_EQ(plot.ReadStop(), TReadStop::Complete);
        EXPECT_TRUE(messages.empty()) << messages.size() << " reader messages, the first: " << messages.front();
        EXPECT_TRUE(dialogs_.messages.empty());

        EXPECT_EQ(FormatPoint(plot.MinPoint()), FormatPoint(ExtendedPoint(truth.minX, truth.minY)));
        EXPECT_EQ(FormatPoint(plot.MaxPoint()), FormatPoint(ExtendedPoint(truth.maxX, truth.maxY)));

        // Drawn on two cores, the picture is the one drawn in one piece.
        TIndexedImage one(800, 600), two(800, 600);
        RenderPlotIndexed(plot, one, 381, PrintPenColors, nullptr, false);
        // The first core held back at each progress step, so that the second
        // claims its part before the first is done, however busy the host.
        SlowFirstCore slow(std::chrono::microseconds(300));
        grittor::SetProgress(&slow);
        const TRenderResult split = RenderPlotIndexed(plot, two, 381, PrintPenColors, nullptr, true);
        grittor::SetProgress(nullptr);
        if (plot.Source().size() >= 1000000) {
            EXPECT_GT(split.SplitAt, 0);
        }
        EXPECT_EQ(one.colors, two.colors);
        EXPECT_TRUE(one.pixels == two.pixels) << "the picture drawn in two parts differs";

        // Collected as the job collects them.
        const auto poly = TBlastJob::CollectOutlines(plot, {});
        std::vector<Outline> got;
        for (const TObjectList &o : poly->Outlines()) {
            if (o.Empty())
                continue;
            Outline g;
            g.pen = o.Pen;
            for (int k = 0; k <= o.Count(); ++k) {
                const TExtendedPoint p = o.Vertex(k);
                g.points.emplace_back(static_cast<long long>(p.x), static_cast<long long>(p.y));
                if (p.x != std::floor(p.x) || p.y != std::floor(p.y))
                    g.points.back() = {LLONG_MIN, LLONG_MIN}; // never in a truth
            }
            got.push_back(std::move(g));
        }
        // The first difference tells more than thousands of them.
        const size_t n = std::min(got.size(), truth.outlines.size());
        for (size_t i = 0; i < n; ++i) {
            const Outline &a = got[i], &b = truth.outlines[i];
            if (a.pen != b.pen || a.points != b.points) {
                ADD_FAILURE() << "outline " << i << " of " << truth.outlines.size()
                              << " differs\n  read:     " << Describe(a) << "\n  expected: " << Describe(b);
                return;
            }
        }
        EXPECT_EQ(got.size(), truth.outlines.size());
        // Per pen as well: the job is built per pen group.
        std::map<int, size_t> perPen, expectedPerPen;
        for (const auto &o : got)
            ++perPen[o.pen];
        for (const auto &o : truth.outlines)
            ++expectedPerPen[o.pen];
        EXPECT_EQ(perPen, expectedPerPen);
    }

    TempSettings settings_;
    ScriptedDialogs dialogs_;
    QTemporaryDir dir_;
};

} // namespace

TEST_F(MixedPlot, OneThreeAndTenMegabytes)
{
    ASSERT_TRUE(dir_.isValid());
    Check(Generate(1000000, 101));
    Check(Generate(3000000, 2024));
    Check(Generate(10000000, 77));
}

TEST_F(MixedPlot, ManySmallPlotsOfDifferentMixes)
{
    // Every seed draws its own share of PE, labels, escapes and settings.
    for (int seed = 1; seed <= 24; ++seed)
        Check(Generate(40000 + 3000 * seed, seed));
    // The benchmark's plots hold to the same truth.
    for (int seed = 16; seed <= 30; seed += 7)
        Check(Generate(300000, seed, true));
}
