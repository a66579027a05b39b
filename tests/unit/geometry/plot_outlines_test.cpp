// Outlines and jobs of plots read by the HPGL reader: small hand-written
// plots, and every real-world plot beside the checkout.
#include "GeometryTestSupport.h"
#include "TestDoubles.h"
#include "geometry/BlastJob.h"
#include "geometry/Blow.h"
#include "foundation/AbortFlags.h"
#include "geometry/OutlineCollector.h"
#include "geometry/polygon.h"
#include "geometry/HpglOutput.h"
#include "geometry/Placement.h"
#include "hpgl/Canvas.h"
#include "hpgl/CanvasSink.h"
#include "hpgl/hpgl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

using namespace grittor;
using namespace grittor::test;

namespace {

class NullCanvas final : public Canvas {
public:
    void MoveTo(int, int) override {}
    void LineTo(int, int) override {}
    void FillRect(int, int, int, int, uint32_t) override {}
    uint32_t PenColor() const override { return 0; }
    void SetPenColor(uint32_t) override {}
};

// Opens a plot as the application does: the collection takes the points of
// the first rendering.
void Collect(const THpglFile &plot, TPolygon &poly)
{
    NullCanvas canvas;
    RenderPlot(plot, canvas, 800, 600, 381, NoPenColors(), &poly);
}

std::unique_ptr<THpglFile> FromText(const std::string &text)
{
    return std::make_unique<THpglFile>(THpglFile::FromText{text, 1.0L}, [](const std::string &, bool) {});
}

class PlotOutlines : public ::testing::Test {
protected:
    TempSettings temp;
    ScriptedDialogs dialogs; // the reader's "More than 100 errors" box
    LogCapture log;
};

} // namespace

TEST_F(PlotOutlines, SquarePlotThroughTheReader)
{
    auto plot = FromText("SP3;PU0,0;PD1000,0,1000,1000,0,1000,0,0;PU;");
    TPolygon poly;
    Collect(*plot, poly);
    ASSERT_EQ(poly.ObjectCount(), 1);
    EXPECT_EQ(poly.Outlines()[0].Count(), 4);
    EXPECT_FALSE(poly.Outlines()[0].NotClosed);
    EXPECT_EQ(poly.Outlines()[0].Pen, 3);
    ASSERT_EQ(poly.GroupCount(), 1);
    EXPECT_EQ(poly.GroupPen(0), 3);

    // Collected by a replay of its own, without any drawing, the same.
    const auto alone = TBlastJob::CollectOutlines(*plot, {});
    ASSERT_EQ(alone->ObjectCount(), 1);
    EXPECT_EQ(alone->Outlines()[0].Count(), 4);
    EXPECT_EQ(alone->Outlines()[0].End(), (TExtendedPoint{0, 0}));
}

TEST_F(PlotOutlines, ArcChordsBecomeFewSegmentsAndCirclesCloseThemselves)
{
    // A circle of radius 20 is drawn as 36 chords of about 3.5 units; one of
    // radius 2 as 36 chords of 0.35 units, which the collection merges.
    auto plot = FromText("SP1;PU1000,1000;CI20;PU5000,1000;CI2;");
    TPolygon poly;
    Collect(*plot, poly);
    ASSERT_GE(poly.ObjectCount(), 2);
    EXPECT_EQ(poly.Outlines()[0].Count(), 36);
    EXPECT_FALSE(poly.Outlines()[0].NotClosed);
    EXPECT_LE(poly.Outlines()[1].Count(), 12);
    EXPECT_GT(poly.Outlines()[1].Count(), 0);
}

// A plot big enough to fill the feed's every batch several times over, with
// what makes outlines differ: open and closed shapes, chords short enough to
// be merged, arcs whose points no float holds, pen changes inside outlines,
// relative moves and encoded polylines.
std::string FeedPlot()
{
    std::string t = "IN;";
    for (int i = 0; i < 6000; ++i) {
        const int x = (i % 80) * 700, y = (i / 80) * 700;
        t += "SP" + std::to_string(1 + i % 6) + ";";
        t += "PU" + std::to_string(x) + "," + std::to_string(y) + ";";
        switch (i % 5) {
        case 0:
            t += "PD" + std::to_string(x + 500) + "," + std::to_string(y) + "," + std::to_string(x + 500) + "," +
                 std::to_string(y + 400) + "," + std::to_string(x) + "," + std::to_string(y + 400) + "," +
                 std::to_string(x) + "," + std::to_string(y) + ";";
            break;
        case 1:
            t += "CI" + std::to_string(30 + i % 170) + ";";
            break;
        case 2:
            t += "PD;AA" + std::to_string(x + 200) + "," + std::to_string(y + 100) + ",137.5;PR0.3,0.2,0.25,-0.1,90,7;";
            break;
        case 3:
            t += "PD" + std::to_string(x + 300) + "," + std::to_string(y + 1) + ";SP2;PD" + std::to_string(x + 10) +
                 "," + std::to_string(y + 250) + ";PU;ER120,80;";
            break;
        default:
            t += "PE<=__;"; // an encoded absolute pen-up move to the origin
            t += "PD" + std::to_string(x + 50) + "," + std::to_string(y + 333) + ";";
            break;
        }
    }
    return t;
}

TEST_F(PlotOutlines, TheCollectorOnTheSecondCoreCollectsExactlyWhatListeningDirectlyCollects)
{
    const std::string text = FeedPlot();
    auto direct = FromText(text);
    TPolygon expected;
    Collect(*direct, expected);

    // Collected while the same plot is drawn on this thread, as the main
    // window opens a plot: two replays of one document at once.
    auto plot = FromText(text);
    TPolygon actual;
    NullCanvas canvas;
    {
        TOutlineCollector collector(*plot, actual);
        RenderPlot(*plot, canvas, 800, 600, 381, NoPenColors());
        collector.Finish();
        collector.Finish(); // a second time does nothing
    }
    ASSERT_GT(expected.ObjectCount(), 5000);
    ASSERT_EQ(actual.ObjectCount(), expected.ObjectCount());
    for (int i = 0; i < expected.ObjectCount(); ++i) {
        const TObjectList &a = actual.Outlines()[static_cast<size_t>(i)];
        const TObjectList &e = expected.Outlines()[static_cast<size_t>(i)];
        ASSERT_EQ(a.Count(), e.Count()) << "outline " << i;
        EXPECT_EQ(a.Pen, e.Pen) << "outline " << i;
        EXPECT_EQ(a.NotClosed, e.NotClosed) << "outline " << i;
        for (int k = 0; k <= e.Count() && e.Count() > 0; ++k) {
            ASSERT_EQ(a.Vertex(k).x, e.Vertex(k).x) << "outline " << i << " vertex " << k;
            ASSERT_EQ(a.Vertex(k).y, e.Vertex(k).y) << "outline " << i << " vertex " << k;
        }
    }
    ASSERT_EQ(actual.GroupCount(), expected.GroupCount());
    for (int g = 0; g < expected.GroupCount(); ++g)
        EXPECT_EQ(actual.GroupPen(g), expected.GroupPen(g));
}

TEST_F(PlotOutlines, ACollectorLeftWithoutFinishingStillCollectsEverythingAndStaysQuiet)
{
    // Too few numbers for an arc: the drawing reports it, the collector
    // beside it must not report it a second time.
    auto plot = FromText("SP3;PU0,0;PD1000,0,1000,1000,0,1000,0,0;PU;AA5;");
    ScriptedDialogs dialogs;
    TPolygon poly;
    {
        TOutlineCollector collector(*plot, poly);
    } // e.g. an exception unwinding past it
    ASSERT_EQ(poly.ObjectCount(), 1);
    EXPECT_EQ(poly.Outlines()[0].Count(), 4);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(PlotOutlines, ACancelledOpeningStopsTheCollectorToo)
{
    auto plot = FromText(FeedPlot());
    GetAbortFlags().OperationCancelled = true;
    TPolygon poly;
    TOutlineCollector collector(*plot, poly);
    collector.Finish();
    GetAbortFlags().OperationCancelled = false;
    EXPECT_LE(poly.ObjectCount(), 1) << "the collector went on after the cancel"; // 5000 and more in full
}

TEST_F(PlotOutlines, EveryRealPlot)
{
    const std::string dir = SharedPlotsDir();
    if (dir.empty())
        GTEST_SKIP() << "no real-world plots beside the checkout";
    TBlastSettings settings;
    settings.PassOffset = 0; // passes over the same points
    settings.Passes = 2;
    settings.Times = 1;
    int plots = 0;
    const std::regex pointLine("(papu |papu|papd)-?[0-9]+,-?[0-9]+");
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name == "SOURCES.txt")
            continue;
        SCOPED_TRACE(name);
        auto plot = std::make_unique<THpglFile>(entry.path().string(), 1.0L, [](const std::string &, bool) {});
        auto collected = std::make_unique<TPolygon>();
        Collect(*plot, *collected);
        TBlastJob job(std::move(collected));
        const TPolygon &poly = job.Outlines();
        ++plots;

        // Outlines are continuous chains; only the last segment of an
        // outline may be shorter than 1 unit.
        std::map<int, size_t> vertices;
        for (size_t i = 0; i < poly.Outlines().size(); ++i) {
            const TObjectList &obj = poly.Outlines()[i];
            const int n = obj.Count();
            for (int j = 0; j < n; ++j) {
                const TSegment s = obj.Segment(j);
                ASSERT_GT(s.length, 0);
                ASSERT_EQ(s.Parent, i);
                if (j > 0) {
                    ASSERT_EQ(s.StartPoint, obj.Segment(j - 1).EndPoint) << "outline breaks at segment " << j;
                }
                if (j + 1 < n) {
                    ASSERT_GE(s.length, 1.0L);
                }
            }
            if (!obj.Empty())
                vertices[obj.Pen] += static_cast<size_t>(n) + 1;
        }
        ASSERT_EQ(static_cast<size_t>(poly.GroupCount()), vertices.size());

        job.BuildOutputs();
        for (int i = 0; i < poly.GroupCount(); ++i)
            ASSERT_EQ(static_cast<size_t>(job.GroupOutput(i)->PointCount()), vertices[poly.GroupPen(i)]);

        // An unturned placement moves every vertex exactly; whole units by
        // the tie rule.
        for (int i = 0; i < poly.GroupCount(); ++i) {
            THpglOutput &out = *job.GroupOutput(i);
            out.Digitized = OriginPlacement(out.Drawing, {100, -200}).Record;
            out.Solve();
            ASSERT_EQ(out.Rotate, 0);
            const auto lines = Lines(out.Emit(false, false));
            ASSERT_EQ(lines.size(), static_cast<size_t>(out.PointCount()));
            for (size_t k = 0; k < lines.size(); k += 97) {
                const TExtendedPoint &p = out.ForwardPoints[k];
                const std::string want = out.ForwardCommands.Get(static_cast<int>(k)) +
                                         std::to_string(ToWholeUnits(p.x - out.Drawing.Ref.x + 100)) + "," +
                                         std::to_string(ToWholeUnits(p.y - out.Drawing.Ref.y - 200));
                ASSERT_EQ(lines[k], want);
            }
        }

        // The job: two passes of one pass each per group, every point line
        // well formed, and as many as the runs ask for.
        TBlowList list = job.PrepareBlowList(TMaterialPens{}, settings);
        size_t expectPoints = 0;
        for (int i = 1; i < list.Count(); ++i)
            expectPoints += static_cast<size_t>(list.Passes(i) * list.Output(i)->PointCount());
        TAlignPoints placed;
        placed.Ref = {0, 0};
        placed.Skew = {3000, 400};
        const auto lines = Lines(list.BuildJobStream(10, placed, nullptr));
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.front(), "papu0,0;");
        EXPECT_EQ(lines.back(), "pa0,0,0,0,0,0;");
        size_t points = 0, firsts = 0;
        for (size_t k = 1; k + 1 < lines.size(); ++k) {
            const std::string &l = lines[k];
            if (l.empty() || l.rfind("vs", 0) == 0 || l.rfind("bp", 0) == 0)
                continue;
            ASSERT_TRUE(std::regex_match(l, pointLine)) << l;
            firsts += l.rfind("papu ", 0) == 0;
            ++points;
        }
        EXPECT_EQ(points, expectPoints);
        EXPECT_EQ(firsts, expectPoints ? 1u : 0u);
    }
    EXPECT_GT(plots, 10);
}

TEST_F(PlotOutlines, AJobKeepsTheVerticesOfAPlotFarFromZeroCompact)
{
    // 150 000 points around (300000, -250000): collected for a job, their
    // vertices are stored from the middle of the plot's extent, 4 bytes
    // each, not as wide slots from (0, 0).
    std::string text = "SP1;PU300000,-250000;PD";
    for (int k = 1; k < 150000; ++k)
        text += std::to_string(300000 + (k * 13) % 30000) + "," + std::to_string(-250000 - (k % 2) * 3000) + ",";
    text += "300000,-250000;PU;";
    auto plot = FromText(text);
    const auto outlines = TBlastJob::CollectOutlines(*plot, {});
    ASSERT_EQ(outlines->ObjectCount(), 1);
    const TObjectList &o = outlines->Outlines()[0];
    ASSERT_EQ(o.Count(), 150000);
    EXPECT_EQ(o.Vertex(149999), (TExtendedPoint{300000 + (149999 * 13) % 30000, -253000}));
    // One 2 MB block of cells (524 288 of them) and little else; from (0, 0)
    // every vertex would take a wide slot besides its cell (1.2 MB more).
    EXPECT_LT(outlines->OutlineBytes(), (size_t(2) << 20) + 100000);
}
