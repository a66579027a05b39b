// The fitted rendering: box, one scale, fills, progress and the stop.
#include "HpglTestUtil.h"

#include "hpgl/CanvasSink.h"

#include "foundation/AbortFlags.h"
#include "foundation/option.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace grittor;
using namespace grittor::test;
using Op = RecordingCanvas::Op;

TEST(HpglRender, FitsWidePlotsByWidthAndTallOnesByHeight)
{
    // 2 by 1 inches, radius 381: box 2032 + 4 x 381 wide, 1016 + 250 high.
    auto wide = ReadHpgl("PU0,0;PD2032,0,2032,1016,0,1016,0,0;");
    RecordingCanvas c;
    const TViewport w = RenderPlot(*wide, c, 1000, 700, 381, NoPenColors()).Viewport;
    const long double sx = 1000.0L / (2032 + 4 * 381);
    EXPECT_EQ(w.Scale.x, sx);
    EXPECT_EQ(w.Scale.y, -sx);
    // Limited by the width: centred in the height.
    const long double slackY = (700 - 1266 * sx) / 2;
    EXPECT_EQ(w.Offset.x, 2 * 381 * sx);
    EXPECT_NEAR(static_cast<double>(w.Offset.y), static_cast<double>(1141 * sx + slackY), 1e-9);
    ASSERT_GE(c.calls.size(), 3u);
    EXPECT_EQ(c.calls[0].op, Op::Fill);
    EXPECT_EQ(c.calls[0].x2, 1000);
    EXPECT_EQ(c.calls[0].y2, 700);
    EXPECT_EQ(c.calls[0].color, 0xFFFFFFu);
    // The plot area: the whole width, the box height in pixels, with as
    // much room above as below.
    EXPECT_EQ(c.calls[1].op, Op::Fill);
    EXPECT_EQ(c.calls[1].color, clAppWorkSpace);
    EXPECT_EQ(c.calls[1].x, 0);
    EXPECT_EQ(c.calls[1].y, static_cast<int>(std::floor(slackY)));
    EXPECT_EQ(c.calls[1].x2, 1000);
    EXPECT_EQ(c.calls[1].y2, static_cast<int>(std::ceil(1266 * sx + slackY)));
    EXPECT_NEAR(c.calls[1].y + c.calls[1].y2, 700, 1);
    EXPECT_EQ(c.calls[2].op, Op::Pen);
    EXPECT_EQ(c.calls[2].color, clWindowText);
    // Lines land where the transform says, truncated toward zero.
    EXPECT_EQ(c.Strokes()[2], "L " + std::to_string(static_cast<int>(2032 * sx + 2 * 381 * sx)) + "," +
                                  std::to_string(static_cast<int>(1141 * sx + slackY)));

    auto tall = ReadHpgl("PU0,0;PD100,0,100,5000,0,5000,0,0;");
    RecordingCanvas t;
    const TViewport tv = RenderPlot(*tall, t, 1000, 700, 0, NoPenColors()).Viewport;
    EXPECT_EQ(tv.Scale.x, 700.0L / 5250);
    EXPECT_EQ(tv.Scale.y, -tv.Scale.x);
    EXPECT_NEAR(t.calls[1].y2, 700, 1); // ceil of a product that rounds either way
    EXPECT_LT(t.calls[1].x2, 1000);
    EXPECT_NEAR(t.calls[1].x + t.calls[1].x2, 1000, 1); // centred across
}

TEST(HpglRender, StartsAtTheOriginAndShowsProgress)
{
    RecordingProgress progress;
    std::string text = "PR;";
    for (int i = 0; i < 999; ++i)
        text += "PD1,1;";
    auto r = ReadHpgl(text);
    progress.events.clear();
    RecordingCanvas c;
    const TRenderResult result = RenderPlot(*r, c, 100, 100, 0, NoPenColors());
    // The replay began at (0, 0), absolute: PR then 999 steps of (1, 1).
    EXPECT_EQ(result.End, ExtendedPoint(999, 999));
    EXPECT_TRUE(result.Complete);
    ASSERT_FALSE(progress.events.empty());
    EXPECT_EQ(progress.events.front().caption, "Render image");
    EXPECT_EQ(progress.CountOf(ProgressEvent::Set), 3); // instructions 0, 400, 800
    EXPECT_EQ(progress.events.back().kind, ProgressEvent::Hide);
    EXPECT_EQ(c.repaints, 4);
}

TEST(HpglRender, StopsWhenTheMainWindowClosesOrTheOperatorCancels)
{
    for (std::atomic<bool> *flag : {&GetAbortFlags().Closing, &GetAbortFlags().OperationCancelled}) {
        RecordingProgress progress;
        std::string text;
        for (int i = 0; i < 100; ++i)
            text += "PD" + std::to_string(i) + ",0;";
        auto r = ReadHpgl(text);
        struct Stopper final : TPlotSink {
            std::atomic<bool> *flag;
            int lines = 0;
            void Move(const TExtendedPoint &, int) override {}
            void Line(const TExtendedPoint &, int) override
            {
                if (++lines == 5)
                    *flag = true;
            }
        } stopper;
        stopper.flag = flag;
        RecordingCanvas c;
        const TRenderResult result = RenderPlot(*r, c, 100, 100, 0, NoPenColors(), &stopper);
        *flag = false;
        EXPECT_EQ(stopper.lines, 5);
        EXPECT_FALSE(result.Complete);
        EXPECT_EQ(progress.events.back().kind, ProgressEvent::Hide);
    }
}

TEST(HpglRender, EmptyPlotFillsWhiteOnly)
{
    auto r = ReadHpgl("");
    RecordingCanvas c;
    const TViewport v = RenderPlot(*r, c, 640, 480, 381, NoPenColors()).Viewport;
    ASSERT_GE(c.calls.size(), 1u);
    // No extent, so no plot area: the one fill is the white of the picture.
    EXPECT_EQ(c.CountOf(RecordingCanvas::Op::Fill), 1);
    EXPECT_EQ(c.calls[0].color, 0xFFFFFFu);
    EXPECT_TRUE(std::isfinite(v.Scale.x) && v.Scale.x > 0);
    // One point is an extent of no size: it has its area (the margins).
    auto dot = ReadHpgl("PA100,100;");
    RecordingCanvas d;
    RenderPlot(*dot, d, 640, 480, 381, NoPenColors());
    EXPECT_EQ(d.CountOf(RecordingCanvas::Op::Fill), 2);
}
