// The character reader: names, parameters, resynchronisation, labels,
// escapes, messages with their position context and the error stop.
#include "HpglTestUtil.h"

#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

using namespace grittor;
using namespace grittor::test;

namespace {

std::vector<std::string> Names(THpglFile &f)
{
    std::vector<std::string> out;
    for (int i = 0; i < f.CommandCount(); ++i)
        out.push_back(f.Command(i).Name());
    return out;
}

using Nums = std::vector<long double>;

} // namespace

TEST(HpglReader, NamesAnyCaseWithOrWithoutSemicolons)
{
    auto r = ReadHpgl("pa10,20;PD 30 40;");
    ASSERT_EQ(r->CommandCount(), 2);
    EXPECT_EQ(r->Command(0).Kind(), TCommandKind::PA);
    EXPECT_EQ(r->Command(0).Numbers(), (Nums{10, 20}));
    EXPECT_EQ(r->Command(1).Kind(), TCommandKind::PD);
    EXPECT_EQ(r->Command(1).Numbers(), (Nums{30, 40}));

    auto joined = ReadHpgl("PA10,20PD30,40");
    EXPECT_EQ(Names(*joined), (std::vector<std::string>{"pa", "pd"}));
    EXPECT_EQ(joined->Command(1).Numbers(), (Nums{30, 40}));

    // Separators between the two letters are skipped, ";" is not.
    auto spaced = ReadHpgl("P A5,5;");
    EXPECT_EQ(Names(*spaced), (std::vector<std::string>{"pa"}));
    EXPECT_TRUE(spaced.errors.empty());

    // Colons, CR and LF inside a parameter list are skipped (so they join
    // the digits around them); blanks and commas split; empty fields
    // vanish; trailing commas are harmless.
    auto messy = ReadHpgl("PD673,4271,,67\r\n3:7197,\r\n;PU 1 , 2;");
    EXPECT_EQ(messy->Command(0).Numbers(), (Nums{673, 4271, 6737197}));
    EXPECT_EQ(messy->Command(1).Numbers(), (Nums{1, 2}));
    EXPECT_TRUE(messy.errors.empty());
}

TEST(HpglReader, SkippedAndRejectedRows)
{
    // WA makes no instruction; its parameters are read as what follows.
    auto wa = ReadHpgl("WA;PA1,1;XT;YT;");
    EXPECT_EQ(Names(*wa), (std::vector<std::string>{"pa"}));
    // An output instruction is rejected like an unknown name.
    auto oc = ReadHpgl("OC;");
    EXPECT_EQ(oc->ErrorCount(), 1); // "oc"; "c;" and ";" at the end belong to it
    EXPECT_EQ(oc->CommandCount(), 0);
    // Every other known name is kept as text.
    auto in = ReadHpgl("IN;SC0,639,0,479;");
    ASSERT_EQ(in->CommandCount(), 2);
    EXPECT_EQ(in->Command(1).Kind(), TCommandKind::Ignored);
    EXPECT_EQ(in->Command(1).Numbers(), (Nums{0, 639, 0, 479}));
    EXPECT_EQ(in->Command(1).GetText(), "SC0,639,0,479;");
}

TEST(HpglReader, InstructionTableHasTheKnownRows)
{
    EXPECT_EQ(std::string(InstructionTable[0].name), "aa");
    EXPECT_EQ(std::string(InstructionTable[InstructionTableSize - 1].name), "yt");
    int rejected = 0, skipped = 0, labels = 0;
    for (const auto &row : InstructionTable) {
        rejected += row.kind == TReadKind::Rejected;
        skipped += row.kind == TReadKind::Skipped;
        labels += row.kind == TReadKind::Label;
        EXPECT_EQ(FindInstruction(row.name[0], row.name[1]), &row - InstructionTable) << row.name;
    }
    EXPECT_EQ(rejected, 13);
    EXPECT_EQ(skipped, 3);
    EXPECT_EQ(labels, 2);
    EXPECT_EQ(FindInstruction('z', 'z'), -1);
    EXPECT_EQ(FindInstruction('P', 'A'), -1); // the reader lower-cases first
}

TEST(HpglReader, PenSelectionRoundsAndCarries)
{
    auto r = ReadHpgl("SP2.6;PA1,1;SP;PA2,2;SP-0.6;PA3,3;SP2.5;PU;");
    EXPECT_EQ(r->Command(0).Pen(), 0); // SP carries the pen before it
    EXPECT_EQ(r->Command(1).Pen(), 3);
    EXPECT_EQ(r->Command(3).Pen(), 0);
    EXPECT_EQ(r->Command(5).Pen(), -1); // floor(-0.1)
    EXPECT_EQ(r->Command(7).Pen(), 3);
    EXPECT_EQ(r->FinalPen(), 3);
    // A pen far outside any range is clamped, not undefined.
    auto big = ReadHpgl("SP99999999999;PU;");
    EXPECT_EQ(big->FinalPen(), 2147483647);
}

TEST(HpglReader, UnknownPairsResynchroniseOneCharacterOnAndCountOncePerInstruction)
{
    // zz fails, zp fails on the way, then PA is read: one unrecognised
    // instruction, one message.
    auto r = ReadHpgl("ZZPA1,1;");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0], "Invalid Hpgl Command@2:-->ZPA1,1;");
    EXPECT_EQ(r->ErrorCount(), 1);
    ASSERT_EQ(r->CommandCount(), 1);
    EXPECT_EQ(r->Command(0).Numbers(), (Nums{1, 1}));

    // zz, z1, "1;" and ";" with the blank past the end are one instruction.
    auto one = ReadHpgl("ZZ1;");
    EXPECT_EQ(one.errors.size(), 1u);
    EXPECT_EQ(one->ErrorCount(), 1);

    // An unknown HP-GL/2 instruction with its parameters: once, not once
    // per character (it used to cost nine).
    auto params = ReadHpgl("XX1,255,0,0;PA1,1;");
    EXPECT_EQ(params->ErrorCount(), 1);
    EXPECT_EQ(params.errors.size(), 1u);
    EXPECT_EQ(Names(*params), (std::vector<std::string>{"pa"}));

    // A ";" or a line end passed on the way ends the instruction: what
    // fails after it is another one.
    auto two = ReadHpgl("ZZ;ZZ;PU;");
    EXPECT_EQ(two->ErrorCount(), 2);
    ASSERT_EQ(two.errors.size(), 2u);
    EXPECT_EQ(two.errors[1], "Invalid Hpgl Command@5:ZZ;-->Z;PU;");
    auto lines = ReadHpgl("XX1,2\nYY3\r\nWW4\nPU;");
    EXPECT_EQ(lines->ErrorCount(), 3);
    EXPECT_EQ(Names(*lines), (std::vector<std::string>{"pu"}));
}

TEST(HpglReader, PositionContextSkipsTheCharacterBeforeReadPosAndShowsControls)
{
    // Nine characters from ReadPos - 10, then ten from ReadPos; controls
    // and runs in their printable form.
    auto r = ReadHpgl("PA1,1;\r\nPU2,2;XXXXXPA1,2,3,4,5;");
    ASSERT_FALSE(r.errors.empty());
    // The first error is the pair "xx" read with ReadPos on the second X (16).
    EXPECT_EQ(r.errors[0], "Invalid Hpgl Command@16:; #13  #10 PU2,2;--> 4*XPA1,2,");
    auto ctl = ReadHpgl(std::string("PU;\x01\x02;", 6));
    ASSERT_EQ(ctl.errors.size(), 1u);
    EXPECT_EQ(ctl.errors[0], "Invalid Hpgl Command@5:PU;--> #2 ;");
}

TEST(HpglReader, MoreThanOneHundredErrorsStopReading)
{
    // One hundred unrecognised instructions, and PA is still read.
    std::string hundred;
    for (int i = 0; i < 100; ++i)
        hundred += "QQ;";
    hundred += "PA2,2;";
    auto ok = ReadHpgl(hundred);
    EXPECT_EQ(ok->ErrorCount(), 100);
    EXPECT_TRUE(ok.dialogs.empty());
    EXPECT_EQ(ok->CommandCount(), 1);
    EXPECT_EQ(ok->ReadStop(), TReadStop::Complete);
    EXPECT_EQ(ok->StopPos(), 0);

    std::string text = "PA1,1;";
    for (int i = 0; i < 101; ++i)
        text += "QQ;";
    text += "PA2,2;";
    auto stop = ReadHpgl(text);
    EXPECT_EQ(stop->ErrorCount(), 101);
    EXPECT_EQ(stop.errors.size(), 101u);
    ASSERT_EQ(stop.dialogs.size(), 1u);
    EXPECT_EQ(stop.dialogs[0], "More than 100 errors in hpgl file.  This file is probably not in the correct format");
    // What was read before the stop stays, and the file says where it
    // stopped: on the second Q of the 101st pair.
    ASSERT_EQ(stop->CommandCount(), 1);
    EXPECT_EQ(stop->Command(0).Numbers(), (Nums{1, 1}));
    EXPECT_EQ(stop->ReadStop(), TReadStop::TooManyErrors);
    EXPECT_EQ(stop->StopPos(), 6 + 100 * 3 + 2);
}

TEST(HpglReader, LabelsAndTheirTerminator)
{
    auto r = ReadHpgl("DT*;LBHELLO*PU;");
    ASSERT_EQ(Names(*r), (std::vector<std::string>{"dt", "lb", "pu"}));
    EXPECT_EQ(r->Command(0).Strings().Get(0), "*");
    EXPECT_EQ(r->Command(1).Strings().Count(), 1);
    EXPECT_EQ(r->Command(1).Strings().Get(0), "HELLO*");
    EXPECT_FALSE(r->Command(1).HasNumbers());
    EXPECT_EQ(r->Command(1).GetText(), "LBHELLO*;");
    EXPECT_TRUE(r.errors.empty());

    // The default terminator is ETX; a label may hold separators and ";".
    auto etx = ReadHpgl("LBa;b, c\x03PA1,1;");
    EXPECT_EQ(etx->Command(0).Strings().Get(0), "a;b, c\x03");
    EXPECT_EQ(etx->Command(1).Kind(), TCommandKind::PA);

    // Label texts keep eleven characters like every parameter text.
    auto longLabel = ReadHpgl("LBABCDEFGHIJKLMNOP\x03;");
    EXPECT_EQ(longLabel->Command(0).Strings().Get(0), "ABCDEFGHIJK");

    // DT at the very end takes the blank returned past the end.
    auto dtEnd = ReadHpgl("DT");
    EXPECT_EQ(dtEnd->Command(0).Strings().Get(0), " ");
}

TEST(HpglReader, UnterminatedLabelReadsItsOwnLetters)
{
    auto r = ReadHpgl("LBHELLO");
    ASSERT_EQ(r.errors.size(), 2u);
    EXPECT_EQ(r.errors[0], "unterminated label@2:-->BHELLO");
    // he, el, ll fail (one unrecognised instruction); lo is a known name.
    EXPECT_EQ(r->ErrorCount(), 1);
    ASSERT_EQ(Names(*r), (std::vector<std::string>{"lb", "lo"}));
    EXPECT_EQ(r->Command(0).Strings().Count(), 0);
    EXPECT_EQ(r->Command(0).GetText(), "LB;");
}

TEST(HpglReader, EscapeSequences)
{
    auto v = ReadHpgl("PU;\x1b.vposition:PA1,1;");
    ASSERT_EQ(v->CommandCount(), 3);
    auto esc = v->Command(1);
    EXPECT_EQ(esc.Kind(), TCommandKind::Escape);
    EXPECT_EQ(esc.Name(), "v");
    ASSERT_EQ(esc.Strings().Count(), 1);
    EXPECT_EQ(esc.Strings().Get(0), "position");
    EXPECT_EQ(esc.GetText(), "\x1b.Vposition:");
    EXPECT_EQ(v->Command(2).Kind(), TCommandKind::PA);

    auto w = ReadHpgl("\x1b.wstate;pause:");
    ASSERT_EQ(w->Command(0).Strings().Count(), 2);
    EXPECT_EQ(w->Command(0).Strings().Get(1), "pause");

    // Pieces are kept as they are, empty ones too.  Plotter on ends after
    // its letter and its ";" (it used to run on to the next ":", taking
    // the next escape with it).
    auto nested = ReadHpgl("\x1b.(;\x1b.I81;;17:PU;");
    ASSERT_EQ(nested->CommandCount(), 3);
    EXPECT_EQ(nested->Command(0).Name(), "(");
    EXPECT_EQ(nested->Command(0).Strings().Count(), 0);
    auto s = nested->Command(1).Strings();
    EXPECT_EQ(nested->Command(1).Name(), "I");
    ASSERT_EQ(s.Count(), 3);
    EXPECT_EQ(s.Get(0), "81");
    EXPECT_EQ(s.Get(1), "");
    EXPECT_EQ(s.Get(2), "17");
    EXPECT_EQ(nested->Command(2).Kind(), TCommandKind::PU);
    EXPECT_TRUE(nested.errors.empty());

    auto bad = ReadHpgl("\x1bxPA1,1;");
    ASSERT_GE(bad.errors.size(), 2u);
    EXPECT_EQ(bad.errors[0], "2nd character of escape command not period@1:--> #27 xPA1,1;");
    EXPECT_EQ(bad.errors[1].rfind("Invalid Hpgl Command@3:", 0), 0u); // "xp"
    EXPECT_EQ(bad->Command(bad->CommandCount() - 1).Kind(), TCommandKind::PA);

    // Without its ":" the escape makes nothing; reading resumes after its
    // letter.
    auto open = ReadHpgl("\x1b.vbc");
    ASSERT_GE(open.errors.size(), 1u);
    EXPECT_EQ(open.errors[0], "escape command not terminated with ':'@1:--> #27 .vbc");
    EXPECT_EQ(open->CommandCount(), 0);
    EXPECT_EQ(open->ErrorCount(), 1); // "bc"

    auto last = ReadHpgl("PU;\x1b");
    ASSERT_EQ(last.errors.size(), 1u);
    EXPECT_EQ(last.errors[0], "2nd character of escape command not period@4:PU--> #27 ");
}

TEST(HpglReader, ParameterFieldsAreCutAndConversionFailuresReported)
{
    auto r = ReadHpgl("PA123456789012345,1;");
    EXPECT_EQ(r->Command(0).Strings().Get(0), "12345678901");
    EXPECT_EQ(r->Command(0).Number(0), 12345678901.0L);
    EXPECT_TRUE(r.errors.empty());

    auto bad = ReadHpgl("PA1-2,+,.,5;");
    EXPECT_EQ(bad->Command(0).Numbers(), (Nums{0, 0, 0, 5}));
    ASSERT_EQ(bad.errors.size(), 3u);
    EXPECT_EQ(bad.errors[0], "cannot convert 1-2 to floating point@11:PA1-2,+,.-->5;");
    EXPECT_EQ(bad->ErrorCount(), 0); // conversion messages are not counted

    // Neither exponents nor NaN or infinity can enter: their letters end
    // the parameters.
    auto exotic = ReadHpgl("PA1e4000,2;PAnan,inf;");
    for (int i = 0; i < exotic->CommandCount(); ++i)
        for (long double v : exotic->Command(i).Numbers())
            EXPECT_TRUE(std::isfinite(v));
}

TEST(HpglReader, NumbersKeepTheirValuesWhicheverFormsMeetInOneInstruction)
{
    // Short numbers are kept as words and the rest as extended values; an
    // instruction may switch from one to the other at any field, and a
    // multiplier scales either.
    const long double big = 99999999999.0L;
    for (const long double m : {1.0L, 2.0L}) {
        SCOPED_TRACE(static_cast<double>(m));
        auto r = ReadHpgl("PA1,-2.5,99999999999,-0,3.25,1-2,7;PA99999999999,1,2,3;PA1,2;AA1,2;AA1,2,3;SP2.5,99999999999;"
                          "PU-0,5;BP1,\"name\",2;",
                          m);
        EXPECT_EQ(r->Command(0).Numbers(), (Nums{1 * m, -2.5L * m, big * m, 0, 3.25L * m, 0, 7}));
        EXPECT_TRUE(std::signbit(r->Command(0).Number(3))) << "minus zero keeps its sign";
        EXPECT_EQ(r->Command(1).Numbers(), (Nums{big * m, 1 * m, 2 * m, 3 * m}));
        EXPECT_EQ(r->Command(2).Numbers(), (Nums{1 * m, 2 * m}));
        EXPECT_EQ(r->Command(3).Numbers(), (Nums{1, 2})); // too few for an arc: left as read
        EXPECT_EQ(r->Command(4).Numbers(), (Nums{1 * m, 2 * m, 3}));
        EXPECT_EQ(r->Command(6).Pen(), 3); // SP's first number, rounded
        EXPECT_EQ(r->Command(6).Numbers(), (Nums{-0.0L, 5 * m}));
        EXPECT_TRUE(std::signbit(r->Command(6).Number(0)));
        EXPECT_EQ(r->Command(7).Numbers(), (Nums{1, 0, 2}));
        ASSERT_EQ(r.errors.size(), 2u);
        EXPECT_EQ(r.errors[0].rfind("cannot convert 1-2", 0), 0u) << r.errors[0];
        EXPECT_EQ(r.errors[1].rfind("Insuficent Number of Parameters to AA command", 0), 0u) << r.errors[1];
    }
}

TEST(HpglReader, EmptyAndSeparatorOnlyTexts)
{
    for (const std::string &text : {std::string(), std::string(";;; \r\n,:"), std::string("\x03")}) {
        auto r = ReadHpgl(text);
        EXPECT_EQ(r->CommandCount(), 0);
        EXPECT_FALSE(r->HasExtent());
        EXPECT_EQ(r->MinPoint(), ExtendedPoint(0, 0));
        EXPECT_EQ(r->MaxPoint(), ExtendedPoint(0, 0));
        EXPECT_TRUE(r.errors.empty());
    }
}

TEST(HpglReader, PrescanProgressAndClosing)
{
    RecordingProgress progress;
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += "PA1,1;";
    auto r = ReadHpgl(text);
    EXPECT_EQ(r->CommandCount(), 1000);
    ASSERT_GE(progress.events.size(), 4u);
    EXPECT_EQ(progress.events.front().kind, ProgressEvent::Show);
    EXPECT_EQ(progress.events.front().caption, "Prescan Hpgl File");
    EXPECT_EQ(progress.CountOf(ProgressEvent::Set), 2); // at the 400th and 800th instruction
    EXPECT_NEAR(progress.events[1].fraction, 400.0 * 6 / text.size(), 0.01);
    EXPECT_EQ(progress.events.back().kind, ProgressEvent::Hide);

    GetAbortFlags().Closing = true;
    auto closed = ReadHpgl(text);
    GetAbortFlags().Closing = false;
    EXPECT_EQ(closed->CommandCount(), 0);
    EXPECT_EQ(closed->ReadStop(), TReadStop::Cancelled);
    EXPECT_EQ(progress.events.back().kind, ProgressEvent::Hide);
}

TEST(HpglReader, ABigFileIsReadInPiecesBetweenWhichTheWindowsRunAndClosingStops)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/big.plt";
    std::string text;
    while (text.size() < (size_t(9) << 20))
        text += "PA1016,2032;PD3048,4064;";
    {
        std::ofstream f(path, std::ios::binary);
        f << text;
    }
    // A clock on which every look takes 10 ms.
    struct SteppingClock final : Clock {
        int64_t now = 1000;
        int64_t NowMs() override { return now += 10; }
        int64_t NowNs() override { return NowMs() * 1000000; }
        int64_t WallMs() override { return QDateTime(QDate(2026, 1, 15), QTime(10, 0)).addMSecs(now).toMSecsSinceEpoch(); }
        void SleepMs(int ms) override { now += ms; }
    } clock;
    SetClock(&clock);
    CountingUiHooks hooks;
    {
        THpglFile whole(path, 1.0L, nullptr);
        EXPECT_EQ(whole.Source(), text);
        EXPECT_EQ(whole.CommandCount(), static_cast<int>(text.size() / 12));
        EXPECT_GE(hooks.calls.load(), 1) << "the windows ran between the pieces";
    }
    hooks.onProcess = [] { GetAbortFlags().Closing = true; };
    THpglFile cut(path, 1.0L, nullptr);
    GetAbortFlags().Closing = false;
    SetClock(nullptr);
    EXPECT_LT(cut.Source().size(), text.size());
    EXPECT_EQ(cut.CommandCount(), 0);
    // A plot cut short says so, and where.
    EXPECT_EQ(cut.ReadStop(), TReadStop::Cancelled);
    EXPECT_EQ(cut.StopPos(), static_cast<int>(cut.Source().size()) + 1);
}

TEST(HpglReader, FileThatCannotBeReadRaises)
{
    EXPECT_THROW(THpglFile("/nonexistent/plot.plt", 1.0L, nullptr), THpglReadError);
    EXPECT_THROW(THpglFile("/tmp", 1.0L, nullptr), THpglReadError);
}

TEST(HpglReader, ReportErrorWithoutSinkShowsAMessageBox)
{
    ScriptedDialogs dialogs;
    THpglFile f(THpglFile::FromText{"QQ"}, nullptr);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "Invalid Hpgl Command@2:-->Q");
}
