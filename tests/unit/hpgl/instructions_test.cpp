// What the instructions do at scan and at draw: plot state, multiplier,
// arcs and circles, rectangles, the encoded polyline, the drawing
// primitives, number storage and text forms.
#include "HpglTestUtil.h"

#include "hpgl/CanvasSink.h"
#include "hpgl/IndexedCanvas.h"
#include "hpgl/IndexedRender.h"
#include "hpgl/PixelLines.h"

#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "pens/MaterialLibrary.h"
#include "pens/TPens.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <unistd.h>

using namespace grittor;
using namespace grittor::test;

namespace {

// A debug log of the test's own for as long as it lives: ctest runs the
// tests as processes side by side, and two that write PE diagnostics into
// one log saw each other's lines.
struct OwnLog {
    explicit OwnLog(const std::string &name)
        : folder(std::filesystem::temp_directory_path() / ("grittor-" + name + "-" + std::to_string(::getpid()))),
          oldDirectory(LogOutput().Directory()), oldName(LogOutput().FileName())
    {
        std::filesystem::create_directories(folder);
        LogOutput().SetDirectory(folder.string() + "/");
        LogOutput().SetFileName(name);
    }
    ~OwnLog()
    {
        LogOutput().SetDirectory(oldDirectory);
        LogOutput().SetFileName(oldName);
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::filesystem::path folder;
    std::string oldDirectory, oldName;
};

using Events = std::vector<std::string>;

int CountPrefix(const Events &e, char c)
{
    int n = 0;
    for (const auto &s : e)
        n += !s.empty() && s[0] == c;
    return n;
}

} // namespace

TEST(HpglInstructions, MultiplierScalesCoordinatesOnceAtScan)
{
    auto one = ReadHpgl("PU0,0;PD1016,0;");
    EXPECT_EQ(one->MaxPoint().x - one->MinPoint().x, 1016);
    EXPECT_EQ(ReplayPlot(*one).events, (Events{"M 0,0 0", "L 1016,0 0"}));

    auto two = ReadHpgl("PU0,0;PD1016,0;", 2);
    EXPECT_EQ(two->MaxPoint().x, 2032);
    EXPECT_EQ(two->Command(1).Number(0), 2032); // stored in plot units
    // Every replay draws the stored units; nothing is scaled twice.
    EXPECT_EQ(ReplayPlot(*two).events, (Events{"M 0,0 0", "L 2032,0 0"}));
    EXPECT_EQ(ReplayPlot(*two).events, (Events{"M 0,0 0", "L 2032,0 0"}));
}

TEST(HpglInstructions, RelativeAbsoluteAndPenState)
{
    auto abs = ReadHpgl("PR;PA100,100;");
    EXPECT_EQ(abs->ScanEnd().Position, ExtendedPoint(100, 100));
    EXPECT_FALSE(abs->ScanEnd().Relative);

    auto rel = ReadHpgl("PR10,10,20,20;");
    EXPECT_EQ(rel->ScanEnd().Position, ExtendedPoint(30, 30));
    EXPECT_TRUE(rel->ScanEnd().Relative);
    EXPECT_EQ(rel->MaxPoint(), ExtendedPoint(30, 30));

    auto pd = ReadHpgl("PD;");
    EXPECT_EQ(pd->ScanEnd().PenDown, 1);
    EXPECT_TRUE(ReplayPlot(*pd).events.empty());

    // A trailing odd number is ignored; PU and PD follow the current mode.
    auto odd = ReadHpgl("PR;PD5,5,7;PU1,1;");
    EXPECT_EQ(odd->ScanEnd().Position, ExtendedPoint(6, 6));
    EXPECT_EQ(odd->ScanEnd().PenDown, 0);
    // The replay starts at the origin, absolute, with the pen state the
    // prescan left (up here).
    EXPECT_EQ(ReplayPlot(*odd).events, (Events{"L 5,5 0", "M 6,6 0"}));
}

TEST(HpglInstructions, ArcEndPointAndChordCount)
{
    auto r = ReadHpgl("PU;PA1000,0;PD;AA0,0,90;");
    EXPECT_NEAR(static_cast<double>(r->ScanEnd().Position.x), 0, 1e-9);
    EXPECT_NEAR(static_cast<double>(r->ScanEnd().Position.y), 1000, 1e-9);
    EXPECT_NEAR(static_cast<double>(r->MaxPoint().y), 1000, 1e-9);
    const Replay rep = ReplayPlot(*r, 0);
    EXPECT_EQ(CountPrefix(rep.events, 'L'), 17); // step about 0.0909 rad at radius 1000
    EXPECT_NEAR(static_cast<double>(rep.points.back().x), 0, 1e-9);
    EXPECT_NEAR(static_cast<double>(rep.points.back().y), 1000, 1e-9);

    // AR: centre relative to the pen; a negative sweep turns clockwise.
    auto ar = ReadHpgl("PA0,100;AR0,-100,-90;");
    EXPECT_NEAR(static_cast<double>(ar->ScanEnd().Position.x), 100, 1e-9);
    EXPECT_NEAR(static_cast<double>(ar->ScanEnd().Position.y), 0, 1e-9);

    // Start point on the centre: nothing happens.
    auto zero = ReadHpgl("PA5,5;AA5,5,90;");
    EXPECT_EQ(zero->ScanEnd().Position, ExtendedPoint(5, 5));
    EXPECT_EQ(ReplayPlot(*zero).events, (Events{"M 5,5 0"}));

    // Too few numbers: the message at scan and at every draw, no effect.
    auto shortArc = ReadHpgl("AA10,10;");
    ASSERT_EQ(shortArc.errors.size(), 1u);
    EXPECT_EQ(shortArc.errors[0].rfind("Insuficent Number of Parameters to AA command@", 0), 0u);
    EXPECT_EQ(shortArc->ScanEnd().Position, ExtendedPoint(0, 0));
    EXPECT_FALSE(shortArc->HasExtent());
    std::vector<std::string> drawErrors;
    const auto collect = [&](const std::string &m, bool) { drawErrors.push_back(m); };
    EXPECT_TRUE(ReplayPlot(*shortArc, -1, collect).events.empty());
    EXPECT_EQ(drawErrors.size(), 1u);
}

TEST(HpglInstructions, HugeSweepsEndRightWithoutEndlessChords)
{
    // 1e9 degrees is 280 degrees on from the start after whole turns.
    auto r = ReadHpgl("PA10,0;PD;AA0,0,1000000000;");
    const long double a = 280 * 3.14159265358979323846L / 180;
    EXPECT_NEAR(static_cast<double>(r->ScanEnd().Position.x), static_cast<double>(10 * std::cos(a)), 1e-6);
    EXPECT_NEAR(static_cast<double>(r->ScanEnd().Position.y), static_cast<double>(10 * std::sin(a)), 1e-6);
    const Replay rep = ReplayPlot(*r);
    EXPECT_LT(rep.events.size(), 2000u);
    EXPECT_NEAR(static_cast<double>(rep.points.back().x), static_cast<double>(10 * std::cos(a)), 1e-6);
}

TEST(HpglInstructions, CirclesKeepPositionAndPenState)
{
    auto r = ReadHpgl("PA100,100;PU;CI50;");
    EXPECT_EQ(r->ScanEnd().Position, ExtendedPoint(100, 100));
    EXPECT_EQ(r->ScanEnd().PenDown, 0);
    EXPECT_NEAR(static_cast<double>(r->MinPoint().x), 50, 1e-9);
    EXPECT_NEAR(static_cast<double>(r->MaxPoint().x), 150, 1e-9);
    EXPECT_NEAR(static_cast<double>(r->MaxPoint().y), 150, 1e-9);
    const Replay rep = ReplayPlot(*r);
    // Drawn even with the pen up: a move to the leftmost point, 36 chords
    // (radius 50 takes the 10-degree limit), a move back to the centre.
    ASSERT_EQ(rep.events.size(), 1u + 1 + 36 + 1);
    EXPECT_EQ(rep.events[1], "M 50,100 0");
    EXPECT_EQ(rep.events.back(), "M 100,100 0");
    EXPECT_EQ(r->ScanEnd().PenDown, 0);
    EXPECT_EQ(r->ScanEnd().Position, ExtendedPoint(100, 100));

    auto zero = ReadHpgl("CI0;");
    EXPECT_EQ(ReplayPlot(*zero).events, (Events{"M 0,0 0", "M 0,0 0"}));

    // A large circle has finer chords: 2.8748 / sqrt(r) radians.
    auto big = ReadHpgl("CI10000;");
    EXPECT_EQ(CountPrefix(ReplayPlot(*big).events, 'L'),
              static_cast<int>(std::floor(2 * M_PI / std::exp(-0.5 * std::log(10000.0) + 1.056))));

    auto missing = ReadHpgl("CI;");
    ASSERT_EQ(missing.errors.size(), 1u);
    EXPECT_EQ(missing.errors[0].rfind("Insuficent Number of Parameters to CI command@", 0), 0u);
}

TEST(HpglInstructions, RectanglesDrawFourSidesAndKeepPosition)
{
    auto er = ReadHpgl("PA10,10;ER100,50;");
    EXPECT_EQ(er->MinPoint(), ExtendedPoint(10, 10));
    EXPECT_EQ(er->MaxPoint(), ExtendedPoint(110, 60));
    EXPECT_EQ(ReplayPlot(*er).events, (Events{"M 10,10 0", "L 10,60 0", "L 110,60 0", "L 110,10 0", "L 10,10 0"}));
    EXPECT_EQ(er->ScanEnd().Position, ExtendedPoint(10, 10));
    EXPECT_FALSE(er->ScanEnd().Relative);

    auto ea = ReadHpgl("PR;PA10,10;EA100,50;");
    EXPECT_EQ(ReplayPlot(*ea).events, (Events{"M 10,10 0", "L 10,50 0", "L 100,50 0", "L 100,10 0", "L 10,10 0"}));

    auto shortRect = ReadHpgl("ER5;");
    ASSERT_EQ(shortRect.errors.size(), 1u);
    EXPECT_EQ(shortRect.errors[0].rfind("Insuficent Number of Parameters to ER command@", 0), 0u);
    EXPECT_FALSE(shortRect->HasExtent());
    std::vector<std::string> drawErrors;
    ReplayPlot(*shortRect, -1, [&](const std::string &m, bool) { drawErrors.push_back(m); });
    ASSERT_EQ(drawErrors.size(), 1u);
    EXPECT_EQ(drawErrors[0].rfind("insuficient number of parameters to ea or er command@", 0), 0u);
}

TEST(HpglInstructions, EncodedPolylineFlags)
{
    // Relative points with the pen down by default.
    auto plain = ReadHpgl("PE" + PePoint(100, 0) + PePoint(0, 100) + ";");
    EXPECT_EQ(plain->MaxPoint(), ExtendedPoint(100, 100));
    EXPECT_EQ(plain->ScanEnd().PenDown, 1);
    EXPECT_EQ(ReplayPlot(*plain).events, (Events{"L 100,0 0", "L 100,100 0"}));

    // "<" lifts the pen for the next point only.
    auto up = ReadHpgl("PE<" + PePoint(10, 0) + PePoint(10, 0) + ";");
    EXPECT_EQ(ReplayPlot(*up).events, (Events{"M 10,0 0", "L 20,0 0"}));

    // "=" makes only the next point absolute.
    auto abs = ReadHpgl("PA50,50;PE=" + PePoint(5, 5) + PePoint(1, 1) + ";");
    // (pen up at the start: the prescan left it down after the PE)
    EXPECT_EQ(ReplayPlot(*abs, 0).events, (Events{"M 50,50 0", "L 5,5 0", "L 6,6 0"}));

    // ":" selects the pen of the following points and of the file.
    auto pen = ReadHpgl("SP1;PE" + PePoint(1, 0) + ":" + PeNumber(3) + PePoint(1, 0) + ";PA0,0;");
    EXPECT_EQ(pen->FinalPen(), 3);
    EXPECT_EQ(pen->Command(1).Pen(), 3);
    EXPECT_EQ(pen->Command(2).Pen(), 3);
    // Each walk starts with the pen the PE was read with, so a redraw
    // matches the first one.
    const Events expected{"L 1,0 1", "L 2,0 3", "L 0,0 3"};
    EXPECT_EQ(ReplayPlot(*pen).events, expected);
    EXPECT_EQ(ReplayPlot(*pen).events, expected);

    // ">" sets fractional bits; outside -10..10 they are 0.
    auto frac = ReadHpgl("PE>" + PeNumber(2) + PePoint(4, 8) + ";");
    EXPECT_EQ(frac->ScanEnd().Position, ExtendedPoint(1, 2));
    auto wide = ReadHpgl("PE>" + PeNumber(11) + PePoint(4, 8) + ";");
    EXPECT_EQ(wide->ScanEnd().Position, ExtendedPoint(4, 8));
    auto neg = ReadHpgl("PE>" + PeNumber(-3) + PePoint(4, 8) + ";");
    EXPECT_EQ(neg->ScanEnd().Position, ExtendedPoint(32, 64));

    // 7-bit data, negative numbers.
    auto seven = ReadHpgl("PE7" + PePoint(100, -50, true) + PePoint(-1, 2000, true) + ";");
    EXPECT_EQ(seven->ScanEnd().Position, ExtendedPoint(99, 1950));

    // The pen state after a PE is that of its last point.
    auto last = ReadHpgl("PD;PE<" + PePoint(1, 1) + ";");
    EXPECT_EQ(last->ScanEnd().PenDown, 0);
    auto none = ReadHpgl("PD;PE;");
    EXPECT_EQ(none->ScanEnd().PenDown, 1);

    // The multiplier applies at every walk.
    auto scaled = ReadHpgl("PE" + PePoint(10, 0) + ";", 2);
    EXPECT_EQ(scaled->MaxPoint().x, 20);
    EXPECT_EQ(ReplayPlot(*scaled).events, (Events{"L 20,0 0"}));
}

TEST(HpglInstructions, EncodedPolylineDataEnds)
{
    // A number without its last digit ends the walk without a point.
    auto cut = ReadHpgl("PE" + PeNumber(100) + ";PA1,1;");
    EXPECT_EQ(cut->CommandCount(), 2);
    EXPECT_EQ(cut->Command(0).Data(), PeNumber(100) + ";");
    EXPECT_EQ(cut->MaxPoint(), ExtendedPoint(1, 1));

    // Unterminated at the end of the file: the data gets its ";".
    auto open = ReadHpgl("PE" + PePoint(3, 4));
    EXPECT_EQ(open->Command(0).Data(), PePoint(3, 4) + ";");
    EXPECT_EQ(open->ScanEnd().Position, ExtendedPoint(3, 4));

    // CR and LF inside the data are left out.
    auto lines = ReadHpgl("PE" + PeNumber(1) + "\r\n" + PeNumber(2) + "\n;");
    EXPECT_EQ(lines->Command(0).Data(), PePoint(1, 2) + ";");
    EXPECT_EQ(lines->ScanEnd().Position, ExtendedPoint(1, 2));
    EXPECT_EQ(lines->Command(0).GetText(), "PE" + PePoint(1, 2) + ";");

    // A run of digits that never ends cannot overflow anything.
    auto garbage = ReadHpgl("PE" + std::string(5000, 'z') + PeNumber(1) + PeNumber(1) + ";");
    EXPECT_EQ(garbage->CommandCount(), 1);
}

TEST(HpglInstructions, DevicePositionTruncatesTowardZeroAndClamps)
{
    RecordingCanvas canvas;
    TViewport v;
    v.Scale = {2, -2};
    v.Offset = {10, 10};
    TCanvasSink sink(canvas, v, NoPenColors());
    sink.Move({1.7L, 1.7L}, 0);
    sink.Move({-5.9L, 8.1L}, 0);
    sink.Move({1e30L, -1e30L}, 0);
    sink.Move({std::nanl(""), 0}, 0);
    EXPECT_EQ(canvas.Strokes(), (Events{"M 13,6", "M -1,-6", "M 2147483647,2147483647", "M 0,10"}));
    EXPECT_EQ(v.DeviceX(-1e30L), INT_MIN);
}

namespace {
// The classic one-pixel line, step by step (what pictures were drawn with).
template <class Pixel>
void ClassicPixelLine(unsigned char *bits, std::ptrdiff_t stride, Pixel px, int x1, int y1, int x2, int y2)
{
    int dx = std::abs(x2 - x1), sx = x1 < x2 ? 1 : -1;
    int dy = -std::abs(y2 - y1), sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        reinterpret_cast<Pixel *>(bits + y1 * stride)[x1] = px;
        if (x1 == x2 && y1 == y2)
            break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x1 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y1 += sy;
        }
    }
}

template <class Pixel> void ExpectTheClassicLines(int w, int h, const std::vector<std::array<int, 4>> &lines)
{
    const std::ptrdiff_t stride = w * static_cast<std::ptrdiff_t>(sizeof(Pixel)) + 8; // rows with padding
    std::vector<unsigned char> mine(static_cast<size_t>(stride * h)), classic(mine.size());
    for (const auto &l : lines) {
        std::fill(mine.begin(), mine.end(), 0);
        std::fill(classic.begin(), classic.end(), 0);
        PlotPixelLine<Pixel>(mine.data(), stride, Pixel(0x5A5A5A5A), l[0], l[1], l[2], l[3]);
        ClassicPixelLine<Pixel>(classic.data(), stride, Pixel(0x5A5A5A5A), l[0], l[1], l[2], l[3]);
        ASSERT_EQ(mine, classic) << l[0] << "," << l[1] << " to " << l[2] << "," << l[3];
    }
}
} // namespace

TEST(HpglInstructions, OnePixelLinesAreTheClassicLoopsPixels)
{
    // From the middle of a small picture to every pixel of it, and between
    // random points of a wide one (long lines of every slope).
    std::vector<std::array<int, 4>> lines;
    for (int y = 0; y < 61; ++y)
        for (int x = 0; x < 61; ++x) {
            lines.push_back({30, 30, x, y});
            lines.push_back({x, y, 60 - y, x});
        }
    ExpectTheClassicLines<uint8_t>(61, 61, lines);
    ExpectTheClassicLines<uint32_t>(61, 61, lines);
    lines.clear();
    std::mt19937 rng(7);
    for (int k = 0; k < 3000; ++k)
        lines.push_back({int(rng() % 1000), int(rng() % 70), int(rng() % 1000), int(rng() % 70)});
    ExpectTheClassicLines<uint8_t>(1000, 70, lines);
}

TEST(HpglInstructions, TheTableOfWholePointsGivesThePixelsOfTheArithmetic)
{
    std::mt19937_64 rng(20261210);
    auto uniform = [&rng](long double lo, long double hi) {
        return lo + (hi - lo) * std::uniform_real_distribution<double>(0, 1)(rng);
    };
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        TViewport v;
        // Scales with long fractions (a fitted picture), now and then one
        // whose products land on whole numbers and halves.
        v.Scale.x = round % 5 == 0 ? 0.5L : uniform(1e-4L, 3) / 3;
        v.Scale.y = round % 2 ? -v.Scale.x : -uniform(1e-3L, 2);
        v.Offset = {uniform(-5000, 5000), uniform(-5000, 5000)};
        const TExtendedPoint min{uniform(-3000, 100), uniform(-3000, 100)};
        const TExtendedPoint max{min.x + uniform(0, 4000), min.y + uniform(0, 4000)};
        const auto table = TPixelTable::Make(min, max, v, 1 << 20);
        ASSERT_TRUE(table);
        EXPECT_EQ(table->X().lo, static_cast<int64_t>(std::ceil(min.x)));
        EXPECT_EQ(table->X().n, static_cast<uint64_t>(std::floor(max.x) - std::ceil(min.x) + 1));
        RecordingCanvas plain, tabled;
        TCanvasSink without(plain, v, NoPenColors());
        TCanvasSink with(tabled, v, NoPenColors(), NoPenColor, table.get());
        // Every whole value of the extent and a little beyond it, on each
        // axis against the other's ends; then values far outside.
        const auto x0 = static_cast<int64_t>(std::floor(min.x)) - 2, x1 = static_cast<int64_t>(max.x) + 2;
        const auto y0 = static_cast<int64_t>(std::floor(min.y)) - 2, y1 = static_cast<int64_t>(max.y) + 2;
        for (int64_t x = x0; x <= x1; ++x) {
            without.LineWhole(x, x & 1 ? y0 : y1, 1);
            with.LineWhole(x, x & 1 ? y0 : y1, 1);
        }
        for (int64_t y = y0; y <= y1; ++y) {
            without.MoveWhole(y & 1 ? x0 : x1, y, 1);
            with.MoveWhole(y & 1 ? x0 : x1, y, 1);
        }
        for (int64_t far : {int64_t(1) << 40, -(int64_t(1) << 61), int64_t(3000000000)}) {
            without.LineWhole(far, -far, 2);
            with.LineWhole(far, -far, 2);
        }
        ASSERT_EQ(tabled.Strokes(), plain.Strokes());
    }
    TViewport v;
    v.Scale = {1, -1};
    // More entries than allowed, no whole number inside, absurd extents.
    EXPECT_FALSE(TPixelTable::Make({0, 0}, {99, 100}, v, 200));
    EXPECT_TRUE(TPixelTable::Make({0, 0}, {99, 99}, v, 200));
    EXPECT_FALSE(TPixelTable::Make({0.25L, 0}, {0.75L, 5}, v, 200));
    EXPECT_FALSE(TPixelTable::Make({-1e30L, 0}, {0, 5}, v, 1000));
    EXPECT_FALSE(TPixelTable::Make({std::nanl(""), 0}, {0, 5}, v, 1000));
    // Pixels more than two bytes apart.
    EXPECT_TRUE(TPixelTable::Make({-30000, 0}, {35535, 5}, v, 100000));
    EXPECT_FALSE(TPixelTable::Make({-30000, 0}, {35536, 5}, v, 100000));
    // A drawing makes one where the plot's text is long beside its extent.
    auto empty = ReadHpgl("IN;");
    EXPECT_FALSE(TPixelTable::For(*empty, v));
    std::string dense = "IN;PU0,0;PD";
    for (int k = 0; k < 300; ++k)
        dense += std::to_string(k % 50) + "," + std::to_string((k * 7) % 40) + ",";
    dense += "0,0;";
    auto small = ReadHpgl(dense);
    const auto table = TPixelTable::For(*small, v);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->X().n, 50u);
    EXPECT_EQ(table->Y().n, 40u);
    EXPECT_FALSE(TPixelTable::For(*ReadHpgl("IN;PU0,0;PD9000,9000;"), v));
}

TEST(HpglInstructions, LineColoursOnScreenAndOnPaper)
{
    RecordingCanvas screen, paper;
    TViewport v;
    v.Scale = {1, 1};
    screen.SetPenColor(0x123);
    paper.SetPenColor(0x456);
    TPenColors colors = NoPenColors();
    colors[2] = 0x0000FF;
    TCanvasSink onScreen(screen, v, colors);
    onScreen.Line({1, 1}, 2);  // own colour, then the canvas colour again
    onScreen.Line({2, 2}, 3);  // no colour of its own
    onScreen.Line({3, 3}, 12); // outside the table
    onScreen.Line({4, 4}, -1);
    ASSERT_EQ(screen.calls.size(), 1u + 3 + 3);
    EXPECT_EQ(screen.calls[2].color, 0x0000FFu);
    EXPECT_EQ(screen.calls[3].color, 0x123u);
    for (size_t i = 4; i < screen.calls.size(); ++i)
        EXPECT_EQ(screen.calls[i].color, 0x123u);

    TCanvasSink onPaper(paper, v, PrintPenColors, PrintPenColors[0]);
    onPaper.Line({1, 1}, 5);
    onPaper.Line({1, 1}, 20); // print colour of pen 0
    EXPECT_EQ(paper.calls[2].color, 0xFF0000u);
    EXPECT_EQ(paper.calls[3].color, 0x456u);
    EXPECT_EQ(paper.calls[5].color, 0x000000u);
    EXPECT_EQ(paper.PenColor(), 0x456u);
}

TEST(HpglInstructions, NumbersAreStoredExactly)
{
    const char *fields[] = {"0.1", "-0.3", "12345.678", "-0", "123456789.1", "0.000001", "99999999999", "-.5"};
    std::string text = "PA";
    for (const char *f : fields)
        text += std::string(f) + ",";
    text += ";";
    for (long double mult : {1.0L, 0.3L}) {
        auto r = ReadHpgl(text, mult);
        auto c = r->Command(0);
        ASSERT_EQ(c.NumberCount(), 8);
        for (int i = 0; i < 8; ++i) {
            long double want = 0;
            ASSERT_TRUE(ParseExtended(fields[i], want));
            want *= mult;
            const long double got = c.Number(i);
            EXPECT_EQ(std::memcmp(&got, &want, 10), 0) << fields[i] << " x " << static_cast<double>(mult);
        }
    }
    EXPECT_TRUE(std::signbit(ReadHpgl("PA-0,1;")->Command(0).Number(0)));
}

TEST(HpglInstructions, TextFormsRoundTrip)
{
    const std::string text = "IN;SP2;PA10.5,-20,0.1;PR1,2,3;CI5;AA1,2,45;ER-3,4;DT*;LBabc*;WA;\x1b.wstate;pause:PE" +
                             PePoint(3, 4) + ";SC;PU;";
    auto first = ReadHpgl(text);
    std::string again;
    for (int i = 0; i < first->CommandCount(); ++i)
        again += first->GetText(i);
    EXPECT_EQ(again, "IN;SP2;PA10.5,-20,0.1;PR1,2,3;CI5;AA1,2,45;ER-3,4;DT*;LBabc*;\x1b.Wstate;pause:PE" +
                         PePoint(3, 4) + ";SC;PU;");
    auto second = ReadHpgl(again);
    ASSERT_EQ(second->CommandCount(), first->CommandCount());
    for (int i = 0; i < first->CommandCount(); ++i) {
        EXPECT_EQ(second->GetText(i), first->GetText(i));
        EXPECT_EQ(second->Command(i).Numbers(), first->Command(i).Numbers());
    }
    EXPECT_EQ(second->MaxPoint(), first->MaxPoint());
}

TEST(HpglInstructions, PeDiagnosticsGoToTheDebugLogWhenSwitchedOn)
{
    auto readLog = [] {
        std::ifstream in(LogOutput().FullPath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const OwnLog own("pe-diagnostics");
    const std::string data = "<" + PePoint(1, 2) + ";";
    const size_t before = readLog().size();
    ReadHpgl("PE" + data); // off: nothing written
    EXPECT_EQ(readLog().size(), before);

    THpglFile::SetPeDiagnostics(LogPiece);
    auto r = ReadHpgl("PE" + data);
    ReplayPlot(*r);
    THpglFile::SetPeDiagnostics(nullptr);
    const std::string log = readLog().substr(before);
    EXPECT_NE(log.find("\t\t\tpegl minmax entry\r\n\t\t\t60 <\r\n\t\t\tpenup\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\t\t\tpegl draw entry\r\n"), std::string::npos);
    EXPECT_NE(log.find("\t\t\t59 ;\r\n"), std::string::npos);
}

// Bit for bit, so that -0 and 0 differ.
bool SameExtended(long double a, long double b)
{
    return std::memcmp(&a, &b, 10) == 0;
}

// The points of two replays and the extents of two readings, bit for bit.
void ExpectSamePointsAndExtent(const Replay &a, const Replay &b, const THpglFile &x, const THpglFile &y)
{
    ASSERT_EQ(a.events, b.events);
    ASSERT_EQ(a.points.size(), b.points.size());
    for (size_t i = 0; i < a.points.size(); ++i)
        ASSERT_TRUE(SameExtended(a.points[i].x, b.points[i].x) && SameExtended(a.points[i].y, b.points[i].y)) << i;
    EXPECT_TRUE(SameExtended(x.MinPoint().x, y.MinPoint().x));
    EXPECT_TRUE(SameExtended(x.MinPoint().y, y.MinPoint().y));
    EXPECT_TRUE(SameExtended(x.MaxPoint().x, y.MaxPoint().x));
    EXPECT_TRUE(SameExtended(x.MaxPoint().y, y.MaxPoint().y));
}

TEST(HpglInstructions, PeRunsInWholeNumbersGoWhereTheExtendedWalkTakesThem)
{
    // Plain runs are walked in 64-bit integers; the diagnostics walk never
    // is.  From every kind of start (whole, fractional, -0, near and past
    // 2^62, far beyond), at multipliers 1 and 2, with flags, long numbers
    // and sums that cross the integers' limit, both must give the same
    // points, extent, state and picture.
    const OwnLog own("pe-whole");
    std::mt19937_64 rng(62);
    const char *starts[] = {"PA100,100;", "PA0.5,3;",   "PA-0,-0;", "PA4611686018427387000,0;",
                            "PA-4611686018427387903,5;", "PA123456789012345678901234,1;", "PR;",      ""};
    const long long kBig = 1LL << 52; // still nine digits
    for (const char *start : starts) {
        for (long double m : {1.0L, 2.0L}) {
            for (int round = 0; round < 12; ++round) {
                std::string text = std::string("SP1;") + start + "PD;PE";
                for (int k = 0; k < 40; ++k) {
                    const unsigned pick = static_cast<unsigned>(rng() % 16);
                    const long long r = static_cast<long long>(rng() % 4001) - 2000;
                    if (pick == 0)
                        text += "<";
                    else if (pick == 1)
                        text += "=";
                    else if (pick == 2)
                        text += ">" + PeNumber(rng() % 3 == 0 ? 0 : r % 12);
                    else if (pick == 3)
                        text += ":" + PeNumber(rng() % 8);
                    else if (pick == 4 && k == 0)
                        text += "7";
                    else if (pick == 5)
                        text += static_cast<char>(rng() % 256);
                    else if (pick == 6)
                        text += PePoint(r * (kBig / 2000), -r * (kBig / 2000)); // large steps
                    else if (pick == 7)
                        text += PePoint(r << 50, r); // ten digits and more
                    else
                        text += PePoint(r, static_cast<long long>(rng() % 4001) - 2000,
                                        text.find("PE7") != std::string::npos);
                }
                text += rng() % 2 ? ";PR10,10;" : ";";
                SCOPED_TRACE(text);
                auto plain = ReadHpgl(text, m);
                THpglFile::SetPeDiagnostics(LogPiece);
                auto logged = ReadHpgl(text, m);
                const Replay b = ReplayPlot(*logged);
                TIndexedImage loggedPicture(160, 120);
                RenderPlotIndexed(*logged, loggedPicture, 381, NoPenColors());
                THpglFile::SetPeDiagnostics(nullptr);
                const Replay a = ReplayPlot(*plain);
                TIndexedImage plainPicture(160, 120);
                RenderPlotIndexed(*plain, plainPicture, 381, NoPenColors());
                ExpectSamePointsAndExtent(a, b, *plain, *logged);
                if (HasFatalFailure())
                    return;
                EXPECT_TRUE(SameExtended(plain->ScanEnd().Position.x, logged->ScanEnd().Position.x));
                EXPECT_TRUE(SameExtended(plain->ScanEnd().Position.y, logged->ScanEnd().Position.y));
                EXPECT_EQ(plain->ScanEnd().PenDown, logged->ScanEnd().PenDown);
                EXPECT_EQ(plain->ScanEnd().Relative, logged->ScanEnd().Relative);
                EXPECT_EQ(plain->FinalPen(), logged->FinalPen());
                EXPECT_TRUE(plainPicture.pixels == loggedPicture.pixels);
                EXPECT_EQ(plainPicture.colors, loggedPicture.colors);
            }
        }
    }
}

TEST(HpglInstructions, PlotPairsInWholeNumbersGoWhereTheExtendedPathTakesThem)
{
    // PA, PR, PD and PU pairs of whole numbers are summed up as integers by
    // the scan and reach the sinks as integers; the same numbers written
    // "N.0", read with their fraction kept, take the Extended path
    // everywhere.  Both readings must give the same points, extent,
    // checkpoints, end state and picture, from whole and fractional
    // positions (arcs), with numbers up to the one-word limit and beyond
    // it, at multipliers 1 and 2.  So must the "N.0" text read as usual
    // (its numbers whole).
    // The extent of a run takes its smallest and largest values wherever
    // in the run they lie, and a run goes on in Extended values from a
    // fraction.
    struct Case {
        const char *text;
        TExtendedPoint min, max, end;
    };
    for (const Case &c : {Case{"PD10,20,30,-5,-7,40,3,3;", {-7, -5}, {30, 40}, {3, 3}},
                          Case{"PA100,100;PR5,5,10,-20,0.5,3,1,1;", {100, 85}, {116.5L, 105}, {116.5L, 89}},
                          Case{"PR-3,4;PU2,-9;PD-4,1,0,0;", {-5, -5}, {-1, 4}, {-5, -4}}}) {
        SCOPED_TRACE(c.text);
        auto plot = ReadHpgl(c.text);
        ASSERT_TRUE(plot->HasExtent());
        EXPECT_EQ(plot->MinPoint(), c.min);
        EXPECT_EQ(plot->MaxPoint(), c.max);
        EXPECT_EQ(plot->ScanEnd().Position, c.end);
    }

    std::mt19937_64 rng(2026);
    for (long double m : {1.0L, 2.0L}) {
        for (int round = 0; round < 6; ++round) {
            std::string whole = "IN;SP1;", pointZero = "IN;SP1;";
            const auto number = [&](long long v, bool forceWide) {
                const std::string digits = std::to_string(v);
                whole += digits;
                // A field is cut to 11 characters: "N.0" only where it fits.
                pointZero += forceWide || digits.size() > 9 ? digits : digits + ".0";
            };
            const auto both = [&](const std::string &t) {
                whole += t;
                pointZero += t;
            };
            // Where each instruction of the "N.0" text begins.
            std::vector<size_t> starts = {0, 3};
            for (int k = 0; k < 6000; ++k) {
                starts.push_back(pointZero.size());
                const unsigned pick = static_cast<unsigned>(rng() % 20);
                if (pick == 0) {
                    // An arc leaves a fractional position behind it (from
                    // a point near its centre: few chords).
                    both("PA");
                    number(static_cast<long long>(rng() % 20000), false);
                    both(",");
                    number(static_cast<long long>(rng() % 20000), false);
                    both(";");
                    starts.push_back(pointZero.size());
                    both("AA");
                    number(static_cast<long long>(rng() % 20000), false);
                    both(",");
                    number(static_cast<long long>(rng() % 20000), false);
                    both("," + std::to_string(static_cast<int>(rng() % 170) + 7) + ";");
                    continue;
                }
                if (pick == 1) {
                    both(rng() % 2 ? "SP2;" : "SP1;");
                    continue;
                }
                const char *names[] = {"PA", "PR", "PD", "PU"};
                both(names[rng() % 4]);
                const int pairs = static_cast<int>(rng() % 4);
                for (int j = 0; j < 2 * pairs; ++j) {
                    if (j > 0)
                        both(",");
                    const unsigned size = static_cast<unsigned>(rng() % 10);
                    long long v = static_cast<long long>(rng() % 40001) - 20000;
                    if (size == 0)
                        v = (rng() % 2 ? 1 : -1) * ((1LL << 27) - 1 - static_cast<long long>(rng() % 3)); // the last one-word numbers
                    else if (size == 1)
                        v = (rng() % 2 ? 1 : -1) * ((1LL << 27) + static_cast<long long>(rng() % 3)); // three words
                    if (size == 2 && j % 2 == 1) {
                        both("0.5"); // a fraction in the middle of a run
                        continue;
                    }
                    number(v, size <= 1);
                }
                both(";");
            }
            SCOPED_TRACE(testing::Message() << "multiplier " << static_cast<double>(m) << ", round " << round);
            const auto extended = [&](const std::string &text) {
                THpglFile::FromText source{text, m};
                source.zeroFractionsWhole = false;
                return ReadHpgl(std::move(source));
            };
            auto a = ReadHpgl(whole, m);
            auto b = extended(pointZero);
            ASSERT_TRUE(a.errors.empty()) << a.errors.front();
            ASSERT_EQ(a->CommandCount(), b->CommandCount());
            const Replay ra = ReplayPlot(*a), rb = ReplayPlot(*b);
            ExpectSamePointsAndExtent(ra, rb, *a, *b);
            if (HasFatalFailure())
                return;
            const auto sameState = [](const TPlotterState &x, const TPlotterState &y) {
                return SameExtended(x.Position.x, y.Position.x) && SameExtended(x.Position.y, y.Position.y) &&
                       x.Relative == y.Relative && x.PenDown == y.PenDown;
            };
            EXPECT_TRUE(sameState(a->ScanEnd(), b->ScanEnd()));
            // The checkpoints lie at other instructions in the longer text:
            // each is compared with the scan's end of the "N.0" text cut
            // before its instruction.
            ASSERT_EQ(starts.size(), static_cast<size_t>(a->CommandCount()));
            ASSERT_FALSE(a->Checkpoints().empty());
            for (const TScanCheckpoint &c : a->Checkpoints()) {
                auto cut = extended(pointZero.substr(0, starts[static_cast<size_t>(c.Index)]));
                ASSERT_EQ(cut->CommandCount(), c.Index);
                EXPECT_TRUE(sameState(c.State, cut->ScanEnd())) << "checkpoint at " << c.Index;
            }
            TIndexedImage pa(320, 240), pb(320, 240);
            RenderPlotIndexed(*a, pa, 381, NoPenColors(), nullptr, false);
            RenderPlotIndexed(*b, pb, 381, NoPenColors(), nullptr, false);
            EXPECT_TRUE(pa.pixels == pb.pixels);
            auto c = ReadHpgl(pointZero, m);
            ExpectSamePointsAndExtent(ra, ReplayPlot(*c), *a, *c);
            EXPECT_TRUE(sameState(a->ScanEnd(), c->ScanEnd()));
        }
    }
}

TEST(HpglInstructions, ZerosAfterThePointChangeNoValueAndMakeANumberWhole)
{
    // Each number written with zeros at the end of its fraction has the
    // value, bit for bit, of the same number without them; -0.0 stays -0.
    // Whole ones reach a sink as whole numbers, as written without the
    // point; read with the fraction kept, as Extended values.
    const auto bits = [](long double v) {
        std::string b(10, '\0');
        std::memcpy(b.data(), &v, 10);
        return b;
    };
    auto zeros = ReadHpgl("PA2.50,0.0,-10.00,1.000,0.1230,-7.5000,123456.0,0.000001,99.9900;SP1.0;PA-0.0,5;");
    auto plain = ReadHpgl("PA2.5,0,-10,1,0.123,-7.5,123456,0.000001,99.99;SP1;PA-0.0,5;");
    ASSERT_TRUE(zeros.errors.empty()) << zeros.errors.front();
    ASSERT_EQ(zeros->CommandCount(), plain->CommandCount());
    for (int i = 0; i < zeros->CommandCount(); ++i) {
        const THpglCommand z = zeros->Command(i), p = plain->Command(i);
        ASSERT_EQ(z.NumberCount(), p.NumberCount());
        for (int k = 0; k < z.NumberCount(); ++k)
            EXPECT_EQ(bits(z.Number(k)), bits(p.Number(k))) << "instruction " << i << " number " << k;
    }
    EXPECT_TRUE(std::signbit(zeros->Command(2).Number(0)));

    struct Routes final : TPlotSink {
        int whole = 0, extended = 0;
        void Move(const TExtendedPoint &, int) override { ++extended; }
        void Line(const TExtendedPoint &, int) override { ++extended; }
        void MoveWhole(int64_t, int64_t, int) override { ++whole; }
        void LineWhole(int64_t, int64_t, int) override { ++whole; }
    };
    const std::string text = "SP1;PU10.0,20.0;PD30.00,40.0,50.0,60.0;PU;";
    Routes read, kept, plainRoutes;
    ReplayInto(*ReadHpgl(text), read);
    ReplayInto(*ReadHpgl("SP1;PU10,20;PD30,40,50,60;PU;"), plainRoutes);
    THpglFile::FromText source{text};
    source.zeroFractionsWhole = false;
    ReplayInto(*ReadHpgl(std::move(source)), kept);
    EXPECT_GE(read.whole, 3);
    EXPECT_EQ(read.whole, plainRoutes.whole);
    EXPECT_EQ(read.extended, plainRoutes.extended);
    EXPECT_EQ(kept.whole, 0);
    EXPECT_EQ(kept.extended, read.whole + read.extended);
}

namespace {

// A text read and replayed with the PE diagnostics on (the walk takes one
// character at a time) and off (pairs of plain numbers go the straight
// way) must give the same points, extent, end state and pen.
void ExpectTheSameWithAndWithoutDiagnostics(const std::string &text)
{
    auto plain = ReadHpgl(text);
    THpglFile::SetPeDiagnostics(LogPiece);
    auto logged = ReadHpgl(text);
    const Replay b = ReplayPlot(*logged);
    THpglFile::SetPeDiagnostics(nullptr);
    const Replay a = ReplayPlot(*plain);
    EXPECT_EQ(a.events, b.events);
    EXPECT_EQ(plain->MinPoint(), logged->MinPoint());
    EXPECT_EQ(plain->MaxPoint(), logged->MaxPoint());
    EXPECT_TRUE(SameExtended(plain->ScanEnd().Position.x, logged->ScanEnd().Position.x));
    EXPECT_TRUE(SameExtended(plain->ScanEnd().Position.y, logged->ScanEnd().Position.y));
    EXPECT_EQ(plain->ScanEnd().PenDown, logged->ScanEnd().PenDown);
    EXPECT_EQ(plain->FinalPen(), logged->FinalPen());
}

} // namespace

TEST(HpglInstructions, PeWalkIsTheSameWithAndWithoutDiagnostics)
{
    // The walk has a straight path for plain coordinate pairs and a
    // character-at-a-time path that writes the diagnostics: random data,
    // flags and stray bytes included, must come out the same from both.
    const OwnLog own("pe-walk");
    std::mt19937 rng(1016);
    for (int round = 0; round < 40; ++round) {
        std::string text = "SP1;PA100,100;PD;PE";
        for (int k = 0; k < 30; ++k) {
            const unsigned pick = rng() % 12;
            if (pick == 0)
                text += "<";
            else if (pick == 1)
                text += "=";
            else if (pick == 2)
                text += ">" + PeNumber(static_cast<int>(rng() % 25) - 12);
            else if (pick == 3)
                text += ":" + PeNumber(rng() % 8);
            else if (pick == 4 && k == 0)
                text += "7";
            else if (pick == 5)
                text += static_cast<char>(rng() % 256); // anything at all
            else
                text += PePoint(static_cast<int>(rng() % 4001) - 2000, static_cast<int>(rng() % 4001) - 2000,
                                text.find("PE7") != std::string::npos);
        }
        if (round % 3 != 0)
            text += ";PA0,0;";
        SCOPED_TRACE(round);
        ExpectTheSameWithAndWithoutDiagnostics(text);
    }
}

TEST(HpglInstructions, PeNumbersOfEveryLengthAndStrayBytesInThemReadAsOneByOne)
{
    // The walk's straight path reads pairs of numbers of up to nine digits
    // and leaves anything else to the general one: numbers of one to ten
    // digits, with bytes in them that are no digit or end a number early
    // (';', a flag, 127, 255, a byte below 63, a last digit), and data that
    // ends anywhere, must give the points of the character-at-a-time reading
    // of the diagnostics.
    const OwnLog own("pe-lengths");
    std::mt19937_64 rng(20261210);
    const unsigned char strays[] = {';', ':', '<', '=', '>', '7', 127, 255, 128, 190, 0, 62, 63, 191, 254};
    for (int round = 0; round < 300; ++round) {
        std::string text = "SP1;PA100,100;PD;PE";
        const int items = 1 + static_cast<int>(rng() % 40);
        for (int k = 0; k < items; ++k) {
            const int digits = 1 + static_cast<int>(rng() % 10);
            std::string number;
            for (int j = 0; j + 1 < digits; ++j)
                number += static_cast<char>(63 + rng() % 64);
            number += static_cast<char>(191 + rng() % 64);
            if (rng() % 6 == 0)
                number[rng() % number.size()] = static_cast<char>(strays[rng() % std::size(strays)]);
            text += number;
        }
        if (round % 2 == 0)
            text += ";PA0,0;";
        SCOPED_TRACE(testing::Message() << "round " << round);
        ExpectTheSameWithAndWithoutDiagnostics(text);
        if (HasFailure())
            return;
    }
}
