// The rendering on two cores: whatever the plot, the picture, its colour
// table, the messages and the end point are those of a drawing in one piece.
#include "HpglTestUtil.h"

#include "foundation/AbortFlags.h"
#include "foundation/Progress.h"
#include "foundation/option.h"
#include "hpgl/IndexedCanvas.h"
#include "hpgl/IndexedRender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>
#include <thread>

using namespace grittor;
using namespace grittor::test;

namespace {

// Pens 1..6 in colours of their own, the others in the canvas colour.
TPenColors SomeColors()
{
    TPenColors c = NoPenColors();
    const uint32_t colors[] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF, 0x808080};
    for (int pen = 1; pen <= 6; ++pen)
        c[static_cast<size_t>(pen)] = colors[pen - 1];
    return c;
}

struct Rendered {
    TIndexedImage image{640, 480};
    TRenderResult result;
    std::vector<std::string> messages;
};

Rendered Render(const THpglFile &plot, bool split)
{
    Rendered r;
    r.result = RenderPlotIndexed(
        plot, r.image, 381, SomeColors(), [&r](const std::string &m, bool) { r.messages.push_back(m); }, split);
    return r;
}

void ExpectSamePicture(const Rendered &a, const Rendered &b)
{
    EXPECT_EQ(a.image.colors, b.image.colors);
    EXPECT_TRUE(a.image.pixels == b.image.pixels) << "the pictures differ";
    EXPECT_EQ(a.messages, b.messages);
    EXPECT_EQ(a.result.End, b.result.End);
    EXPECT_EQ(a.result.Complete, b.result.Complete);
}

// Each part of the plot mixes absolute and relative moves, arcs, circles,
// rectangles, PE and pen changes; pens 7 and 8 (canvas colour) and new
// colours appear only late, so the second part brings colours the first
// lacks.
std::string MixedText(unsigned seed, int blocks)
{
    std::mt19937 rng(seed);
    auto n = [&rng](int lo, int hi) { return std::to_string(std::uniform_int_distribution<int>(lo, hi)(rng)); };
    std::string t = "IN;SP1;PU0,0;";
    for (int b = 0; b < blocks; ++b) {
        const int pen = b < blocks / 2 ? 1 + b % 3 : 1 + b % 8;
        t += "SP" + std::to_string(pen) + ";";
        switch (b % 6) {
        case 0:
            t += "PA" + n(0, 20000) + "," + n(0, 15000) + ";PD" + n(0, 20000) + "," + n(0, 15000) + "," + n(0, 20000) +
                 "," + n(0, 15000) + ";PU;";
            break;
        case 1:
            t += "PR" + n(-400, 400) + "," + n(-400, 400) + ";PD" + n(-400, 400) + "," + n(-400, 400) + ";PA;PU;";
            break;
        case 2:
            t += "PA" + n(1000, 19000) + "," + n(1000, 14000) + ";CI" + n(10, 900) + ";AA" + n(0, 20000) + "," +
                 n(0, 15000) + "," + n(-270, 270) + ";";
            break;
        case 3:
            t += "PA" + n(0, 20000) + "," + n(0, 15000) + ";PD;ER" + n(-900, 900) + "," + n(-900, 900) + ";PU;";
            break;
        case 4:
            // A PE of a few contours in 7-bit mode, relative from here.
            t += "PE7<=" + PePoint(std::stoll(n(0, 20000)), std::stoll(n(0, 15000)), true) + "<" +
                 PePoint(std::stoll(n(-300, 300)), std::stoll(n(-300, 300)), true) +
                 PePoint(std::stoll(n(-300, 300)), std::stoll(n(-300, 300)), true) + ";";
            break;
        default:
            t += "PD" + n(0, 20000) + "," + n(0, 15000) + ";PU;";
            break;
        }
    }
    return t;
}

} // namespace

namespace {
// The first core held back at each progress step (defined below).
Rendered RenderWithSlowFirstCore(const THpglFile &plot);
} // namespace

TEST(HpglSplitRender, TwoPartsDrawExactlyWhatOnePieceDraws)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        auto plot = ReadHpgl(MixedText(seed, 6000));
        ASSERT_TRUE(plot.errors.empty()) << plot.errors.front();
        ASSERT_GT(plot->Source().size(), static_cast<size_t>(THpglFile::MinCheckpointText));
        const Rendered one = Render(*plot, false);
        // However busy the host, the second core claims before the first
        // is done.
        const Rendered two = RenderWithSlowFirstCore(*plot);
        EXPECT_EQ(one.result.SplitAt, -1);
        // The second core's part was used, not drawn again here.
        EXPECT_GT(two.result.SplitAt, 0);
        ExpectSamePicture(one, two);
        // Colours that only the second part uses are in the table, after
        // those of the first.
        EXPECT_GE(two.image.colors.size(), 8u);
    }
}

TEST(HpglSplitRender, TheSecondCoreClaimsHalfOfWhatTheFirstHasNotBegun)
{
    const auto claim = [](TDrawingPartition &p) {
        const TDrawingPartition::Piece piece = p.Claim();
        return std::make_pair(piece.from, piece.to);
    };
    const std::pair<int, int> none{-1, -1};

    // Ready at once: the half after the middle checkpoint.
    TDrawingPartition atOnce(16);
    EXPECT_EQ(atOnce.Claimed(), -1);
    EXPECT_EQ(claim(atOnce), std::make_pair(8, 16));
    EXPECT_EQ(atOnce.Claimed(), 8);
    for (int j = 0; j <= 8; ++j)
        EXPECT_TRUE(atOnce.FirstTakes(j)) << j;
    EXPECT_FALSE(atOnce.FirstTakes(9));
    EXPECT_FALSE(atOnce.FirstTakes(16));
    EXPECT_EQ(claim(atOnce), none) << "the first core has begun the last range before the piece";
    EXPECT_EQ(atOnce.Claimed(), 8);
    {
        TDrawingPartition p(15);
        EXPECT_EQ(claim(p), std::make_pair(7, 15));
    }
    {
        TDrawingPartition p(1);
        EXPECT_EQ(claim(p), std::make_pair(0, 1));
    }

    // Ready late: half of the ranges left, never one the first has begun.
    TDrawingPartition late(16);
    for (int j = 0; j <= 12; ++j)
        ASSERT_TRUE(late.FirstTakes(j));
    EXPECT_EQ(claim(late), std::make_pair(14, 16)); // ranges 13 and 14 stay with the first core, 15 and the end go
    EXPECT_TRUE(late.FirstTakes(13));
    EXPECT_TRUE(late.FirstTakes(14));
    EXPECT_FALSE(late.FirstTakes(15));

    // Too late: with the last range or the end begun, nothing is claimed.
    TDrawingPartition tooLate(16);
    for (int j = 0; j <= 15; ++j)
        ASSERT_TRUE(tooLate.FirstTakes(j));
    EXPECT_EQ(claim(tooLate), none);
    EXPECT_TRUE(tooLate.FirstTakes(16));
    EXPECT_EQ(tooLate.Claimed(), -1);
    TDrawingPartition empty(0);
    EXPECT_EQ(claim(empty), none);
}

TEST(HpglSplitRender, ASecondCoreDoneEarlyClaimsAgainBeforeItsLastPiece)
{
    // The first core is slow: the second comes back for half of what the
    // first has not begun, each piece ending where its last one began,
    // until less than two ranges are left between them.
    TDrawingPartition p(16);
    ASSERT_TRUE(p.FirstTakes(0));
    EXPECT_EQ(p.Claim().from, 8);
    ASSERT_TRUE(p.FirstTakes(1));
    const TDrawingPartition::Piece second = p.Claim();
    EXPECT_EQ(std::make_pair(second.from, second.to), std::make_pair(5, 8)); // ranges 6 to 8
    EXPECT_EQ(p.Claimed(), 5);
    EXPECT_TRUE(p.FirstTakes(2));
    const TDrawingPartition::Piece third = p.Claim();
    EXPECT_EQ(std::make_pair(third.from, third.to), std::make_pair(4, 5)); // range 5 of 3 to 5
    EXPECT_TRUE(p.FirstTakes(3));
    EXPECT_TRUE(p.FirstTakes(4));
    EXPECT_FALSE(p.FirstTakes(5));
    EXPECT_EQ(p.Claim().from, -1) << "nothing left between the two cores";
    EXPECT_EQ(p.Claimed(), 4);
}

TEST(HpglSplitRender, ASecondCoreWithOtherWorkFirstDrawsWhatIsLeftOnceReady)
{
    auto plot = ReadHpgl(MixedText(4, 6000));
    ASSERT_TRUE(plot.errors.empty());
    const auto &checkpoints = plot->Checkpoints();
    ASSERT_GE(checkpoints.size(), 8u);
    const Rendered one = Render(*plot, false);
    // Ready after 0, 5 and 500 ms: early, part way, after the first core
    // has drawn it all; once with a `ready` that raises.
    for (const int delayMs : {0, 5, 500, -1}) {
        SCOPED_TRACE(delayMs);
        std::atomic<int> calls{0};
        std::thread::id readyOn;
        TSecondCoreShare share;
        share.ready = [&] {
            ++calls;
            readyOn = std::this_thread::get_id();
            std::this_thread::sleep_for(std::chrono::milliseconds(std::max(delayMs, 0)));
            if (delayMs < 0)
                throw std::runtime_error("not for the drawing");
        };
        Rendered late;
        IndexedCanvas canvas(late.image);
        late.result = RenderPlot(*plot, canvas, late.image.width, late.image.height, 381, SomeColors(), nullptr,
                                 [&late](const std::string &m, bool) { late.messages.push_back(m); }, true, share);
        EXPECT_EQ(calls.load(), 1);
        EXPECT_NE(readyOn, std::this_thread::get_id()) << "waited on the second core, not here";
        // Drawn in one piece or laid over from one of the checkpoints: the
        // same picture either way.
        if (late.result.SplitAt != -1) {
            EXPECT_TRUE(std::any_of(checkpoints.begin(), checkpoints.end(),
                                    [&](const TScanCheckpoint &c) { return c.Index == late.result.SplitAt; }));
        }
        if (delayMs <= 0) {
            EXPECT_GT(late.result.SplitAt, 0) << "ready at once, it took a part";
        }
        ExpectSamePicture(one, late);
    }
}

TEST(HpglSplitRender, WaitingForABusySecondCoreKeepsTheProgressMoving)
{
    // The first core draws everything while the second is still busy with
    // its other work: the drawing then waits for it with the progress
    // moving (the window's event loop runs inside it), and the second core
    // is let go from there.  Blocked without progress, it would only end
    // when its wait ran out.
    auto plot = ReadHpgl(MixedText(5, 3000));
    ASSERT_GE(plot->Checkpoints().size(), 4u);
    struct Releasing final : Progress {
        std::atomic<bool> released{false};
        void Show(const std::string &) override {}
        void SetProgress(double fraction) override
        {
            if (fraction >= 1.0)
                released = true;
        }
        void Hide() override {}
    } progress;
    SetProgress(&progress);
    std::atomic<bool> ranOut{false};
    TSecondCoreShare share;
    share.ready = [&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!progress.released.load())
            if (std::chrono::steady_clock::now() > until) {
                ranOut = true;
                return;
            }
    };
    Rendered r;
    IndexedCanvas canvas(r.image);
    r.result = RenderPlot(*plot, canvas, r.image.width, r.image.height, 381, SomeColors(), nullptr, nullptr, true,
                          share);
    SetProgress(nullptr);
    EXPECT_FALSE(ranOut.load());
    EXPECT_TRUE(progress.released.load());
    EXPECT_EQ(r.result.SplitAt, -1); // nothing was left for it
    EXPECT_TRUE(r.result.Complete);
}

namespace {

// Holds the first core back at every block of its drawing (the progress
// moves there), so that the second core finishes its piece long before and
// claims more.
Rendered RenderWithSlowFirstCore(const THpglFile &plot)
{
    SlowFirstCore slow;
    SetProgress(&slow);
    Rendered r = Render(plot, true);
    SetProgress(nullptr);
    return r;
}

} // namespace

TEST(HpglSplitRender, ASlowFirstCoreLeavesSeveralPiecesToTheSecondAndThePictureIsTheSame)
{
    for (unsigned seed : {11u, 12u}) {
        SCOPED_TRACE(seed);
        // An arc with too few numbers early, in the middle and late: the
        // messages of the pieces come in the order of the plot.
        const std::string text = "IN;SP1;PU0,0;AA5,5;" + MixedText(seed, 3000) + "AA1;" + MixedText(seed + 100, 3000) +
                                 "CI;" + MixedText(seed + 200, 3000) + "AA2;";
        auto plot = ReadHpgl(text);
        const auto &checkpoints = plot->Checkpoints();
        ASSERT_GE(checkpoints.size(), 8u);
        const Rendered one = Render(*plot, false);
        const Rendered pieces = RenderWithSlowFirstCore(*plot);
        ASSERT_EQ(one.messages.size(), 4u);
        // The second core came back for more than the half after the middle.
        EXPECT_GT(pieces.result.SplitAt, 0);
        EXPECT_LT(pieces.result.SplitAt, checkpoints[checkpoints.size() / 2].Index);
        ExpectSamePicture(one, pieces);
    }
}

TEST(HpglSplitRender, ABigPictureIsLeftAtOnePieceOnTheSecondCore)
{
    // Each piece holds a picture of its own until the end: at 6000 x 6000
    // pixels a second piece would pass what the pieces may take, so the
    // second core stops after its first, however slow the first core is.
    auto plot = ReadHpgl(MixedText(13, 9000));
    const auto &checkpoints = plot->Checkpoints();
    ASSERT_GE(checkpoints.size(), 8u);
    Rendered one, big;
    one.image = TIndexedImage(6000, 6000);
    big.image = TIndexedImage(6000, 6000);
    one.result = RenderPlotIndexed(*plot, one.image, 381, SomeColors(), nullptr, false);
    SlowFirstCore slow(std::chrono::milliseconds(10)); // the second core's big piece takes long
    SetProgress(&slow);
    big.result = RenderPlotIndexed(*plot, big.image, 381, SomeColors(), nullptr, true);
    SetProgress(nullptr);
    // The half after the middle, and nothing before it.
    EXPECT_GE(big.result.SplitAt, checkpoints[checkpoints.size() / 2 - 1].Index);
    ExpectSamePicture(one, big);
}

TEST(HpglSplitRender, PiecesThatWouldStartFromAnotherStateAreDrawnAgainInOrder)
{
    // As above with pieces: the reading starts with the pen up, a replay
    // with the pen down (as the reading left it), until a PU at a third of
    // the plot.  The second core's first pieces, after the PU, begin in the
    // recorded state; the ones it claims later, before the PU, do not.
    std::string text = "IN;SP1;";
    std::mt19937 rng(6);
    for (int k = 0; k < 30000; ++k) {
        text += "PA" + std::to_string(rng() % 20000) + "," + std::to_string(rng() % 15000) + ";";
        if (k == 10000)
            text += "PU;SP2;";
    }
    text += "PD;";
    auto plot = ReadHpgl(text);
    ASSERT_GE(plot->Checkpoints().size(), 8u);
    const Rendered one = Render(*plot, false);
    const Rendered pieces = RenderWithSlowFirstCore(*plot);
    ExpectSamePicture(one, pieces);
}

TEST(HpglSplitRender, MessagesOfBothPartsComeInTheOrderOfTheInstructions)
{
    // An arc with too few numbers early and late in the plot.
    std::string text = "IN;SP1;PU0,0;AA5,5;" + MixedText(7, 3000) + "AA1;" + MixedText(8, 3000) + "CI;";
    auto plot = ReadHpgl(text);
    const Rendered one = Render(*plot, false);
    const Rendered two = Render(*plot, true);
    ASSERT_GT(two.result.SplitAt, 0);
    ASSERT_EQ(one.messages.size(), 3u);
    ExpectSamePicture(one, two);
}

TEST(HpglSplitRender, APartThatWouldStartFromAnotherStateIsDrawnAgainInOrder)
{
    // The reading starts with the pen up, a replay with the pen as the
    // reading left it (down): without a PD or PU before the middle, the
    // recorded state is not where the first part ends, and the moves of
    // the second part are lines.
    std::string text = "IN;SP1;";
    std::mt19937 rng(5);
    for (int k = 0; k < 20000; ++k)
        text += "PA" + std::to_string(rng() % 20000) + "," + std::to_string(rng() % 15000) + ";";
    text += "PD;";
    auto plot = ReadHpgl(text);
    ASSERT_FALSE(plot->Checkpoints().empty());
    EXPECT_EQ(plot->Checkpoints()[plot->Checkpoints().size() / 2].State.PenDown, 0);
    const Rendered one = Render(*plot, false);
    const Rendered two = Render(*plot, true);
    EXPECT_EQ(two.result.SplitAt, -1);
    ExpectSamePicture(one, two);
}

TEST(HpglSplitRender, ShortOrPartlyReadPlotsAreDrawnInOnePiece)
{
    auto small = ReadHpgl("IN;SP1;PD100,100,200,0;");
    EXPECT_TRUE(small->Checkpoints().empty());
    EXPECT_EQ(Render(*small, true).result.SplitAt, -1);

    // Not HPGL after the first half: the reading stops at 100 errors and
    // keeps no checkpoints, since the end state of a partial read is not
    // the plot's.
    std::string text = MixedText(9, 3000);
    for (int k = 0; k < 300; ++k)
        text += "XX;";
    ScriptedDialogs dialogs;
    THpglFile partial(THpglFile::FromText{text, 1.0L}, [](const std::string &, bool) {});
    ASSERT_EQ(partial.ReadStop(), TReadStop::TooManyErrors);
    EXPECT_TRUE(partial.Checkpoints().empty());
}

TEST(HpglSplitRender, CancelStopsBothParts)
{
    auto plot = ReadHpgl(MixedText(4, 6000));
    GetAbortFlags().OperationCancelled = true;
    const Rendered r = Render(*plot, true);
    GetAbortFlags().OperationCancelled = false;
    EXPECT_FALSE(r.result.Complete);
    EXPECT_EQ(r.result.SplitAt, -1);
}

TEST(HpglSplitRender, OverlayMapsColoursAndKeepsUntouchedPixels)
{
    TIndexedImage base(4, 1), top(4, 1);
    base.colors = {0xFF000000u, 0xFFFFFFFFu};
    base.pixels = {0, 1, 1, 0};
    // The top picture knows white and red, in its own order.
    top.colors = {0xFFFF0000u, 0xFFFFFFFFu};
    top.pixels = {255, 0, 1, 255};
    ASSERT_TRUE(OverlayIndexed(base, top, 255));
    EXPECT_EQ(base.colors, (std::vector<uint32_t>{0xFF000000u, 0xFFFFFFFFu, 0xFFFF0000u}));
    EXPECT_EQ(base.pixels, (LargeVector<uint8_t>{0, 2, 1, 0}));

    // Tables that together exceed 256 colours, or a top picture that uses
    // the untouched mark as a colour, leave the base as it was.
    TIndexedImage full(4, 1), many(4, 1);
    for (uint32_t c = 0; c < 200; ++c) {
        full.colors.push_back(0xFF000000u | c);
        many.colors.push_back(0xFF100000u | c);
    }
    const TIndexedImage before = full;
    EXPECT_FALSE(OverlayIndexed(full, many, 255));
    EXPECT_EQ(full.colors, before.colors);
    TIndexedImage marked(4, 1);
    for (uint32_t c = 0; c < 256; ++c)
        marked.colors.push_back(0xFF200000u | c);
    EXPECT_FALSE(OverlayIndexed(base, marked, 255));
}
