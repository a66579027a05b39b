// Readings that used to lose geometry without a word, and inputs that hung
// the reader: each case says what the old reading did.
#include "HpglTestUtil.h"

#include "foundation/StringUtils.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

using Strs = std::vector<std::string>;

Strs StringsOf(const THpglCommand &c)
{
    Strs out;
    const TLinkedStringList s = c.Strings();
    for (int i = 0; i < s.Count(); ++i)
        out.push_back(s.Get(i));
    return out;
}

// The lines a replay draws, as "x,y pen" of their end points.
Strs Lines(THpglFile &f)
{
    Strs out;
    for (const auto &e : ReplayPlot(f).events)
        if (e[0] == 'L')
            out.push_back(e.substr(2));
    return out;
}

} // namespace

TEST(HpglReaderFaults, DefaultTerminatorRestoredByDtSemicolonInAndDf)
{
    // "DT;" made ";" the terminator: the next ETX label ran on to the next
    // ";", taking the PD with it.
    auto swallowed = ReadHpgl("DT;LBab\x03PU0,0;PD100,0;PU;");
    EXPECT_TRUE(swallowed.errors.empty());
    EXPECT_EQ(Names(*swallowed), (Strs{"dt", "lb", "pu", "pd", "pu"}));
    EXPECT_EQ(Lines(*swallowed), (Strs{"100,0 0"}));
    EXPECT_EQ(StringsOf(swallowed->Command(0)), Strs{});
    EXPECT_EQ(swallowed->Command(0).GetText(), "DT;");

    // ... or ended inside the label's own text, whose rest ("PD5,5") was
    // read as instructions.
    auto inside = ReadHpgl("DT;LBx;PD5,5\x03PU1,1;");
    EXPECT_TRUE(inside.errors.empty());
    EXPECT_EQ(Names(*inside), (Strs{"dt", "lb", "pu"}));
    EXPECT_EQ(StringsOf(inside->Command(1)), Strs{"x;PD5,5\x03"});
    EXPECT_TRUE(Lines(*inside).empty());

    // IN and DF set the default terminator again as well.
    for (const char *reset : {"IN;", "DF;", "in", "Df"}) {
        SCOPED_TRACE(reset);
        auto r = ReadHpgl(std::string("DT*;") + reset + "LBa*b\x03PU;");
        EXPECT_TRUE(r.errors.empty());
        EXPECT_EQ(StringsOf(r->Command(2)), Strs{"a*b\x03"});
    }
    // A label terminator that is a letter or ETX itself.
    auto q = ReadHpgl("DTQ;LBabcQPU;DT\x03;LBdef\x03PU;");
    EXPECT_TRUE(q.errors.empty());
    EXPECT_EQ(Names(*q), (Strs{"dt", "lb", "pu", "dt", "lb", "pu"}));
}

TEST(HpglReaderFaults, TerminatorModeIsAParameterNotTwoErrors)
{
    // "DT#,1;" cost two errors (",1" and "1;" read as names): fifty labels
    // and the 100-error stop dropped the rest of the plot.
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += "DT#," + std::to_string(i % 2) + ";PU" + std::to_string(i) + ",0;LBx;y#";
    text += "PU0,0;PD7,7;";
    auto r = ReadHpgl(text);
    EXPECT_EQ(r->ErrorCount(), 0);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r->ReadStop(), TReadStop::Complete);
    EXPECT_EQ(r->CommandCount(), 60 * 3 + 2);
    EXPECT_EQ(StringsOf(r->Command(0)), (Strs{"#", "0"}));
    EXPECT_EQ(r->Command(3).GetText(), "DT#,1;");
    EXPECT_EQ(StringsOf(r->Command(2)), Strs{"x;y#"});
    EXPECT_EQ(Lines(*r), (Strs{"7,7 0"}));

    // Without the ";" the next instruction follows the mode directly.
    auto joined = ReadHpgl("dt*,1LBab*PU;DT$\r\nLBcd$PU;");
    EXPECT_TRUE(joined.errors.empty());
    EXPECT_EQ(Names(*joined), (Strs{"dt", "lb", "pu", "dt", "lb", "pu"}));
    EXPECT_EQ(StringsOf(joined->Command(4)), Strs{"cd$"});
}

TEST(HpglReaderFaults, PlotterOnAndOffEndAfterTheirLetter)
{
    // ESC.( and friends have no ":"; the reader searched for the next ":"
    // anywhere, here the pen flag of a PE, and everything up to it vanished.
    const std::string pe = "PE:" + PeNumber(3) + "<=" + PePoint(0, 0) + PePoint(200, 0) + ";";
    for (const char *letter : {"(", ")", "Y", "Z"})
        for (const char *after : {"", ";", ":"}) {
            const std::string text = std::string("\x1b.") + letter + after + "SP2PU0,0;PD100,0;" + pe;
            SCOPED_TRACE(text);
            auto r = ReadHpgl(text);
            EXPECT_TRUE(r.errors.empty());
            ASSERT_EQ(Names(*r), (Strs{letter, "sp", "pu", "pd", "pe"}));
            EXPECT_EQ(r->Command(0).Kind(), TCommandKind::Escape);
            EXPECT_EQ(r->Command(0).Strings().Count(), 0);
            EXPECT_EQ(Lines(*r), (Strs{"100,0 2", "200,0 3"}));
        }
    // Lower-case letters are other escapes: they keep their parameters.
    auto lower = ReadHpgl("\x1b.y;1:PU;");
    EXPECT_EQ(Names(*lower), (Strs{"y", "pu"}));
    EXPECT_EQ(StringsOf(lower->Command(0)), (Strs{"", "1"}));
}

TEST(HpglReaderFaults, AnEscapeNeverRunsOverALineEndAnotherEscOrAControlByte)
{
    // The rule: an escape's parameters run to ":" over printable characters
    // only.  A line end, another ESC, a control or 8-bit byte, or the end of
    // the text cuts it: "escape command not terminated with ':'", nothing
    // made, reading resumes after the escape's letter.
    struct Case {
        std::string text;
        Strs names;
    };
    const Case cases[] = {
        {"\x1b.I81;;17\nPU0,0;PD10,0;\x1b.N;19:", {"pu", "pd", "N"}},
        {"\x1b.I81;;17\r\nPU0,0;PD10,0;", {"pu", "pd"}},
        {"\x1b.N;19\x1b.I81;;17:PU0,0;PD10,0;", {"I", "pu", "pd"}},
        {"\x1b.M10\x03PU0,0;PD10,0;:", {"pu", "pd"}},
        {"\x1b.M10\xC0PU0,0;PD10,0;:", {"pu", "pd"}},
        {"\x1b.@", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(MakePrintable(c.text));
        auto r = ReadHpgl(c.text);
        ASSERT_FALSE(r.errors.empty());
        EXPECT_EQ(r.errors[0].rfind("escape command not terminated with ':'@1:", 0), 0u) << r.errors[0];
        EXPECT_EQ(Names(*r), c.names);
        if (c.names.size() >= 2) {
            EXPECT_EQ(Lines(*r), (Strs{"10,0 0"}));
        }
    }
    // The digits after the letter are read again: one unrecognised
    // instruction ("81"), not an escape that ate the plot.
    auto resumed = ReadHpgl("\x1b.I81;;17\nPU;");
    EXPECT_EQ(resumed->ErrorCount(), 2); // "81" and "17": a ";" lies between them
    // A ":" on the same line is still the escape's end, as the machine's
    // own sequences need.
    auto machine = ReadHpgl("\x1b.wstate;pause:\x1b.vposition:PU;");
    EXPECT_TRUE(machine.errors.empty());
    EXPECT_EQ(Names(*machine), (Strs{"w", "v", "pu"}));
    EXPECT_EQ(StringsOf(machine->Command(0)), (Strs{"state", "pause"}));
}

TEST(HpglReaderFaults, PclEscapesAroundHpgl2AreSkipped)
{
    // ESC E and ESC%-1B were "2nd character of escape command not period"
    // plus a run of unknown names ("%-1B" read as instructions).
    auto r = ReadHpgl("\x1b"
                      "E\x1b%-1BBPINPS1000,1000;SP1PU0,0;PD10,0;\x1b%0A\x1b"
                      "E\x1b%1BPD20,0;\x1b*c100a200B\x1b&l0O\x1b*b3WabcPD30,0;");
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r->ErrorCount(), 0);
    EXPECT_EQ(Names(*r), (Strs{"bp", "in", "ps", "sp", "pu", "pd", "pd", "pd"}));
    EXPECT_EQ(Lines(*r), (Strs{"10,0 1", "20,0 1", "30,0 1"}));

    // The universal exit, then job-language lines, then HP-GL/2.
    auto pjl = ReadHpgl("\x1b%-12345X@PJL JOB NAME=\"plan\"\r\n@PJL ENTER LANGUAGE=HPGL2\r\nIN;PU0,0;PD5,0;"
                        "\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X");
    EXPECT_TRUE(pjl.errors.empty());
    EXPECT_EQ(Names(*pjl), (Strs{"in", "pu", "pd"}));

    // What is not PCL is reported as before.
    for (const char *bad : {"\x1bxPU;", "\x1b%1", "\x1b%1\x01PU;", "\x1b*"}) {
        SCOPED_TRACE(MakePrintable(bad));
        auto b = ReadHpgl(bad);
        ASSERT_FALSE(b.errors.empty());
        EXPECT_EQ(b.errors[0].rfind("2nd character of escape command not period@1:", 0), 0u);
    }
}

TEST(HpglReaderFaults, Hpgl2InstructionsAreReadWithTheirParameters)
{
    // A CAD plot's PC, NP, ... used to be one error per character: a real
    // plot stopped a quarter before its end.
    const std::string text = "BPINPS33640,36000;NP256;PC1,255,0,0;CR0,255,0,255,0,255;PW0.35,1;WU0;LA1,4,2,4;"
                             "MC0;PP0;RO0;QL100;TR0;UL6,40,12,12,12;IR0,100;SD1,21,2,1,4,14;AD1,21;SB0;FI101;"
                             "FN102;CF0;DV0;LM0;SV0;RF1,2,2,1,1,1,1;MT0;RP1;TD0;PU0,0;PD10,0;";
    auto r = ReadHpgl(text);
    EXPECT_EQ(r->ErrorCount(), 0);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r->CommandCount(), 31);
    for (int i = 0; i < r->CommandCount() - 2; ++i)
        EXPECT_EQ(r->Command(i).Kind(), TCommandKind::Ignored) << r->Command(i).Name();
    EXPECT_EQ(r->Command(4).Numbers(), (std::vector<long double>{1, 255, 0, 0}));
    EXPECT_EQ(r->Command(4).GetText(), "PC1,255,0,0;");
    EXPECT_EQ(Lines(*r), (Strs{"10,0 0"}));

    // Lines that draw are no ignored instructions: reading them as such
    // would lose their geometry without a word.
    for (const char *draws : {"at", "rt", "bz", "br"})
        EXPECT_EQ(FindInstruction(draws[0], draws[1]), -1) << draws;
}

TEST(HpglReaderFaults, CommentsAndMessagesKeepTheirQuotedText)
{
    // The quoted text may hold ";" and instruction letters: none of it is read.
    auto q = ReadHpgl("CO \"PD5,5; and \\\";PU0,0;PD10,0;MG\"done\";");
    EXPECT_TRUE(q.errors.empty());
    EXPECT_EQ(Names(*q), (Strs{"co", "pu", "pd", "mg"}));
    EXPECT_EQ(StringsOf(q->Command(0)), Strs{"\"PD5,5; and"}); // eleven characters
    EXPECT_EQ(Lines(*q), (Strs{"10,0 0"}));

    // Without quotes the text used to be read as instructions ("pr" in
    // "print" switched to relative plotting).  Now it is taken to ";" and
    // said.
    auto bare = ReadHpgl("COshould not print;PU10,10;PD20,10;");
    ASSERT_EQ(bare.errors.size(), 1u);
    EXPECT_EQ(bare.errors[0], "text without quotes taken as a comment@3:C-->should not");
    EXPECT_EQ(bare->ErrorCount(), 0);
    EXPECT_EQ(Names(*bare), (Strs{"co", "pu", "pd"}));
    EXPECT_EQ(Lines(*bare), (Strs{"20,10 0"}));
    // ... and never past its line.
    auto line = ReadHpgl("COnote\nPU10,10;PD20,10;");
    EXPECT_EQ(Names(*line), (Strs{"co", "pu", "pd"}));
    // An empty comment says nothing.
    EXPECT_TRUE(ReadHpgl("CO;CO ;PU;").errors.empty());
    auto open = ReadHpgl("CO\"never closed;PU;");
    ASSERT_FALSE(open.errors.empty());
    EXPECT_EQ(open.errors[0].rfind("unterminated quoted text@3:", 0), 0u);
}

TEST(HpglReaderFaults, AMillionUnterminatedLabelsInLinearTime)
{
    // Each unterminated label searched the rest of the file: 2 MB of them
    // took 18.8 s.  The result is the same: a label without text, then the
    // next name.
    std::ifstream in(TestDataPath("hpgl/unterminated-labels.plt"), std::ios::binary);
    ASSERT_TRUE(in) << TestDataPath("hpgl/unterminated-labels.plt");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(text.size(), 2000000u);
    long messages = 0;
    const auto t0 = std::chrono::steady_clock::now();
    THpglFile f(THpglFile::FromText{text},
                [&](const std::string &m, bool) { messages += m.rfind("unterminated label@", 0) == 0; });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(f.CommandCount(), 1000000);
    EXPECT_EQ(messages, 1000000);
    EXPECT_EQ(f.Command(999999).Strings().Count(), 0);
    EXPECT_LT(seconds, 10.0); // about 0.3 s; generous for sanitizer builds

    // Searches for different terminators keep their own answers.
    auto mixed = ReadHpgl("LBa;DT*;LBb*DT;LBc");
    ASSERT_EQ(Names(*mixed), (Strs{"lb", "dt", "lb", "dt", "lb"}));
    EXPECT_EQ(mixed->Command(0).Strings().Count(), 0);
    EXPECT_EQ(StringsOf(mixed->Command(2)), Strs{"b*"});
    EXPECT_EQ(mixed->Command(4).Strings().Count(), 0);
    auto later = ReadHpgl("LBx\n;DT*;LBy*LBz");
    ASSERT_EQ(Names(*later), (Strs{"lb", "dt", "lb", "lb"}));
    EXPECT_EQ(StringsOf(later->Command(2)), Strs{"y*"});
}

TEST(HpglReaderFaults, OnlyRegularFilesAreRead)
{
    QTemporaryDir dir;
    // A FIFO without a writer froze the window in open().
    const std::string fifo = dir.filePath("plot.fifo").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, [&] {
        try {
            THpglFile f(fifo, 1.0L, nullptr);
        } catch (const THpglReadError &e) {
            return std::string(e.what());
        }
        return std::string("read");
    });
    if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Free the blocked reader, so the test ends with the failure.
        const int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        ADD_FAILURE() << "opening a FIFO blocked";
        if (w >= 0)
            ::close(w);
    }
    EXPECT_EQ(reading.get(), "cannot read " + fifo + ": it is a pipe, not a file");

    // /dev/zero ran for 14 s and took 2.1 GB before "file too large".
    const std::string link = dir.filePath("zero.plt").toStdString();
    ASSERT_EQ(::symlink("/dev/zero", link.c_str()), 0);
    for (const std::string &device : {std::string("/dev/zero"), std::string("/dev/null"), link}) {
        SCOPED_TRACE(device);
        try {
            THpglFile f(device, 1.0L, nullptr);
            ADD_FAILURE() << "a device was read";
        } catch (const THpglReadError &e) {
            EXPECT_EQ(std::string(e.what()), "cannot read " + device + ": it is a device, not a file");
        }
    }
    try {
        THpglFile f(dir.path().toStdString(), 1.0L, nullptr);
        ADD_FAILURE() << "a folder was read";
    } catch (const THpglReadError &e) {
        EXPECT_NE(std::string(e.what()).find(": it is a folder"), std::string::npos);
    }
    // A regular file behind a link is fine.
    const std::string plot = dir.filePath("p.plt").toStdString(), alias = dir.filePath("q.plt").toStdString();
    std::ofstream(plot) << "PU0,0;PD5,5;";
    ASSERT_EQ(::symlink(plot.c_str(), alias.c_str()), 0);
    THpglFile ok(alias, 1.0L, nullptr);
    EXPECT_EQ(ok.CommandCount(), 2);
}

TEST(HpglReaderFaults, ABigFileReadInTwoHalvesIsTheFileByteForByte)
{
    // From 8 MB on, the second half of a file is read on a side thread
    // into room that is not cleared first: every byte must be the file's,
    // wherever the halves meet (here inside an instruction and a label).
    QTemporaryDir dir;
    std::mt19937 rng(8);
    std::string text = "IN;SP1;DT\x03;";
    while (text.size() < (size_t(9) << 20) + 12345)
        text += "PU" + std::to_string(rng() % 20000) + "," + std::to_string(rng() % 20000) + ";PD" +
                std::to_string(rng() % 20000) + "," + std::to_string(rng() % 20000) + ";LBlabel " +
                std::to_string(rng() % 1000) + "\x03;";
    ASSERT_GE(text.size(), THpglFile::ReadInHalvesFrom);
    const std::string path = dir.filePath("big.plt").toStdString();
    std::ofstream(path, std::ios::binary) << text;
    THpglFile fromFile(path, 1.0L, nullptr);
    const auto fromText = ReadHpgl(text);
    ASSERT_TRUE(fromFile.Source() == std::string_view(text));
    EXPECT_EQ(fromFile.ReadStop(), TReadStop::Complete);
    EXPECT_EQ(fromFile.CommandCount(), fromText.file->CommandCount());
    EXPECT_EQ(fromFile.MinPoint(), fromText.file->MinPoint());
    EXPECT_EQ(fromFile.MaxPoint(), fromText.file->MaxPoint());
    const int last = fromFile.CommandCount() - 1;
    EXPECT_EQ(fromFile.GetText(last), fromText.file->GetText(last));
}

TEST(HpglReaderFaults, RealCadPlotsReadToTheirEnd)
{
    const std::string dir = PlotsDir();
    if (dir.empty())
        GTEST_SKIP() << "no real-world plots beside the checkout";
    // The steel-construction plot stopped at byte 279,144 of 362,555 on
    // its PC instructions, and its job lacked pen 8.
    std::vector<std::string> messages;
    THpglFile f(dir + "/ezdxf__GB01_Stahlbau.plt", 1.0L, [&](const std::string &m, bool) { messages.push_back(m); });
    EXPECT_EQ(f.ErrorCount(), 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(f.ReadStop(), TReadStop::Complete);
    EXPECT_EQ(f.Source().size(), 362555u);
    bool pen8 = false;
    for (const auto &e : ReplayPlot(f).events)
        pen8 |= e[0] == 'L' && e.size() > 2 && e.substr(e.size() - 2) == " 8";
    EXPECT_TRUE(pen8);

    // Every plot of the collection reads without an unrecognised name.
    for (const char *name : {"ezdxf__BF_ISO.plt", "ezdxf__PLOTFILE.plt", "hp2xx__pw.hpg", "hp2xx__dt.plt",
                             "tgoodhew__test.plt", "jemgreen__acad_test-Model.repaired-latin1.PLT"}) {
        SCOPED_TRACE(name);
        THpglFile g(dir + "/" + name, 1.0L, [](const std::string &, bool) {});
        EXPECT_EQ(g.ErrorCount(), 0);
        EXPECT_EQ(g.ReadStop(), TReadStop::Complete);
    }
}

TEST(HpglReaderFaults, ConstructsFoundByTheComparisonWithAnotherReader)
{
    // Each of these cost errors, and some lost their lines.
    struct Case {
        std::string text;
        Strs lines;
    };
    const Case cases[] = {
        // A tab is a blank: the line after "PD\t" was lost.
        {"PU100,100;\tPD\t200,\t300;", {"200,300 0"}},
        {"PU100,100;P\tD200,300;", {"200,300 0"}},
        // Padding after the last instruction: NUL, EOT, form feed, DOS ^Z.
        {std::string("PU100,100;PD200,200;\r\n\0\x04\x0c\x1a", 26), {"200,200 0"}},
        // A quoted picture name in BP.
        {"BP1,\"plan; rev. B\",5,1;PU100,100;PD200,200;", {"200,200 0"}},
        // SM takes a character.
        {"PU100,100;SM*;PD200,200;SM;PD300,200;SMAPD300,300;", {"200,200 0", "300,200 0", "300,300 0"}},
        // Requests, aborts and the handshake reset have no parameters.
        {"\x1b.B\x1b.O\x1b.L\x1b.E\x1b.A\x1b.K\x1b.J\x1b.R\x1b.R:PU100,100;PD200,200;", {"200,200 0"}},
        // Instructions of the older plotters that draw nothing.
        {"PU100,100;CV1,5;GM0,0,0,0;KY1,2;BF;GC5;VA;VN;PD200,200;", {"200,200 0"}},
        // A quote inside a comment is written twice.
        {"CO\"say \"\"PD1,1;\"\"\";PU100,100;PD200,200;", {"200,200 0"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(MakePrintable(c.text));
        auto r = ReadHpgl(c.text);
        EXPECT_EQ(r->ErrorCount(), 0);
        EXPECT_TRUE(r.errors.empty()) << r.errors.front();
        EXPECT_EQ(Lines(*r), c.lines);
    }
    auto sm = ReadHpgl("SM*;SM;");
    EXPECT_EQ(StringsOf(sm->Command(0)), Strs{"*"});
    EXPECT_EQ(sm->Command(1).Strings().Count(), 0);
    auto bp = ReadHpgl("BP1,\"plan\",5,1;");
    EXPECT_EQ(bp->Command(0).Numbers(), (std::vector<long double>{1, 0, 5, 1}));
    EXPECT_FALSE(ReadHpgl("BP1,\"never closed;PU;").errors.empty());
}

TEST(HpglReaderFaults, TheExtentIsTheDrawingsOwnWhereverItLies)
{
    // The extent started at +-1e7: a square at 20,000,000 units got a
    // minimum of 10,000,000 (a size of 9,843 inches), one at -20,000,000 a
    // maximum of -10,000,000, and a plot of no point a negative size.
    auto far = ReadHpgl("PU20000000,20000000;PD20001016,20000000,20001016,20001016,20000000,20001016,20000000,20000000;");
    ASSERT_TRUE(far->HasExtent());
    EXPECT_EQ(far->MinPoint(), ExtendedPoint(20000000, 20000000));
    EXPECT_EQ(far->MaxPoint(), ExtendedPoint(20001016, 20001016));
    auto below = ReadHpgl("PU-20000000,-30000000;PD-19998984,-30000000;");
    EXPECT_EQ(below->MinPoint(), ExtendedPoint(-20000000, -30000000));
    EXPECT_EQ(below->MaxPoint(), ExtendedPoint(-19998984, -30000000));
    // One point is an extent of no size; circles and rectangles start it
    // as plot instructions do.
    auto dot = ReadHpgl("PA7,9;");
    EXPECT_TRUE(dot->HasExtent());
    EXPECT_EQ(dot->MinPoint(), dot->MaxPoint());
    auto circle = ReadHpgl("PU20000000,0;CI1000;");
    EXPECT_NEAR(static_cast<double>(circle->MinPoint().x), 19999000, 1e-6);
    EXPECT_NEAR(static_cast<double>(circle->MaxPoint().x), 20001000, 1e-6);
    auto rect = ReadHpgl("EA-20000000,-20000000;");
    EXPECT_EQ(rect->MinPoint(), ExtendedPoint(-20000000, -20000000));
    EXPECT_EQ(rect->MaxPoint(), ExtendedPoint(0, 0));
    // Instructions that reach no point leave the plot without an extent.
    for (const char *text : {"", "IN;SP1;", "AA10,10;", "ER5;", "LBhello\x03;"}) {
        SCOPED_TRACE(text);
        auto none = ReadHpgl(text);
        EXPECT_FALSE(none->HasExtent());
        EXPECT_EQ(none->MinPoint(), ExtendedPoint(0, 0));
        EXPECT_EQ(none->MaxPoint(), ExtendedPoint(0, 0));
    }
}

TEST(HpglReaderFaults, AnInstructionKnowsWhereItStandsInItsFile)
{
    // 1-based byte of the name's first letter, also with separators
    // between the letters, for PE data with line ends (kept as a copy) and
    // for escapes.
    const std::string text = "IN;PA1,2;\r\nP D3,4;PE<=\r\n\xbf\xbf;\x1b.ok:LBab\x03;";
    auto f = ReadHpgl(text);
    std::vector<int> at;
    for (int i = 0; i < f->CommandCount(); ++i)
        at.push_back(f->Command(i).TextPos());
    const int pd = static_cast<int>(text.find("P D")) + 1, pe = static_cast<int>(text.find("PE")) + 1;
    const int esc = static_cast<int>(text.find('\x1b')) + 1, lb = static_cast<int>(text.find("LB")) + 1;
    EXPECT_EQ(at, (std::vector<int>{1, 4, pd, pe, esc, lb}));
    // The point an instruction draws leads back to it.
    EXPECT_EQ(InstructionDrawing(*f, ExtendedPoint(3, 4)), 2);
    EXPECT_EQ(InstructionDrawing(*f, ExtendedPoint(1, 2)), 1);
    EXPECT_EQ(InstructionDrawing(*f, ExtendedPoint(7, 7)), -1);
}
