// The scan on a second thread behind the reading finds what the scan on the
// reading's own thread finds: extent, checkpoints, instructions, pens and
// messages, also when the reading's stores grow out of their room while the
// scan reads them.
#include "HpglTestUtil.h"

#include <gtest/gtest.h>

#include <random>

using namespace grittor;
using namespace grittor::test;

namespace {

struct Read {
    std::vector<std::string> messages;
    std::unique_ptr<THpglFile> file;
};

Read ReadText(const std::string &text, bool scanBehind, long double multiplier = 1.0L)
{
    Read r;
    r.file = std::make_unique<THpglFile>(THpglFile::FromText{text, multiplier, scanBehind},
                                         [&r](const std::string &m, bool) { r.messages.push_back(m); });
    return r;
}

void ExpectSameReading(const Read &a, const Read &b)
{
    const THpglFile &x = *a.file, &y = *b.file;
    EXPECT_EQ(a.messages, b.messages);
    ASSERT_EQ(x.CommandCount(), y.CommandCount());
    EXPECT_EQ(x.HasExtent(), y.HasExtent());
    EXPECT_EQ(x.MinPoint(), y.MinPoint());
    EXPECT_EQ(x.MaxPoint(), y.MaxPoint());
    EXPECT_EQ(x.ScanEnd().Position, y.ScanEnd().Position);
    EXPECT_EQ(x.FinalPen(), y.FinalPen());
    ASSERT_EQ(x.Checkpoints().size(), y.Checkpoints().size());
    for (size_t k = 0; k < x.Checkpoints().size(); ++k) {
        EXPECT_EQ(x.Checkpoints()[k].Index, y.Checkpoints()[k].Index) << k;
        EXPECT_EQ(x.Checkpoints()[k].State.Position, y.Checkpoints()[k].State.Position) << k;
    }
    for (int i = 0; i < x.CommandCount(); ++i) {
        ASSERT_EQ(x.GetText(i), y.GetText(i)) << i;
        ASSERT_EQ(x.Command(i).Pen(), y.Command(i).Pen()) << i;
    }
}

// Dense numbers (more words than the reading makes room for up front), a
// pen change at almost every instruction (pen runs), PE bodies wrapped with
// line ends (kept apart from the text) with pen selections, arcs with too
// few numbers (messages of the scan), relative moves far from the origin
// late in the plot (the extent).
std::string GrowingText(unsigned seed)
{
    std::mt19937 rng(seed);
    auto n = [&rng](int lo, int hi) { return std::to_string(std::uniform_int_distribution<int>(lo, hi)(rng)); };
    std::string t = "IN;PU0,0;";
    for (int b = 0; b < 9000; ++b) {
        t += "SP" + n(1, 8) + ";";
        switch (b % 5) {
        case 0:
            t += "PD";
            for (int k = 0; k < 60; ++k)
                t += n(0, 9) + ",";
            t += "1;PU;";
            break;
        case 1:
            t += "PE:" + PeNumber(std::stoll(n(1, 6))) +
                 "<=" + PePoint(std::stoll(n(0, 9000)), std::stoll(n(0, 9000))) + "\r\n" +
                 PePoint(std::stoll(n(-90, 90)), std::stoll(n(-90, 90))) + "\n" +
                 PePoint(std::stoll(n(-90, 90)), std::stoll(n(-90, 90))) + ";";
            break;
        case 2:
            t += b % 1000 == 2 ? "AA5;"
                               : "PA" + n(0, 9000) + "," + n(0, 9000) + ";AA" + n(0, 9000) + "," + n(0, 9000) + ",45;";
            break;
        case 3:
            t += "PR" + n(-500, 500) + "," + n(-500, 500) + ";PD" + n(-9, 9) + "," + n(-9, 9) + ";PA;PU;";
            break;
        default:
            t += "PA" + n(0, 9000) + "," + n(0, 9000) + ";CI" + n(1, 300) + ";EA" + n(0, 9000) + "," + n(0, 9000) + ";";
            break;
        }
    }
    t += "PR-777777,123456;PD1,1;";
    return t;
}

} // namespace

TEST(HpglScanBehind, FindsWhatTheScanOnTheReadingsThreadFinds)
{
    for (unsigned seed : {1u, 2u}) {
        SCOPED_TRACE(seed);
        const std::string text = GrowingText(seed);
        ASSERT_GT(text.size(), static_cast<size_t>(THpglFile::ScanBehindText));
        ScriptedDialogs dialogs;
        const Read alone = ReadText(text, false);
        const Read behind = ReadText(text, true);
        EXPECT_EQ(alone.messages.size(), 9u);
        EXPECT_EQ(alone.file->MinPoint().x, alone.file->ScanEnd().Position.x - 1); // the last relative move
        ExpectSameReading(alone, behind);
        // With a multiplier every number is stored in full: the words grow
        // three times as fast.
        ExpectSameReading(ReadText(text, false, 0.3L), ReadText(text, true, 0.3L));
    }
}

TEST(HpglScanBehind, AReadingCutShortWaitsForItsScan)
{
    // Not HPGL after a while: the error stop, and the extent of what was
    // read, as on one thread.
    std::string text = GrowingText(3);
    for (int k = 0; k < 300; ++k)
        text += "XX;";
    ScriptedDialogs dialogs;
    const Read alone = ReadText(text, false);
    const Read behind = ReadText(text, true);
    EXPECT_EQ(behind.file->ReadStop(), TReadStop::TooManyErrors);
    EXPECT_TRUE(behind.file->Checkpoints().empty());
    ExpectSameReading(alone, behind);
}
