#include "foundation/LogOutput.h"

#include "foundation/Clock.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace grittor;

namespace {

std::string ReadAll(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void WriteFile(const std::string &path, const std::string &content)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << content;
}

bool Exists(const std::string &p) { return std::filesystem::exists(p); }

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clock.SetWall(QDateTime(QDate(2026, 3, 9), QTime(14, 3, 22, 517)));
        SetClock(&clock);
        dir = tmp.path().toStdString() + "/";
    }
    void TearDown() override { SetClock(nullptr); }

    FakeClock clock;
    QTemporaryDir tmp;
    std::string dir;
};

} // namespace

TEST_F(LogTest, PathIsBuiltFromFolderNameAndExtension)
{
    TLogOutput log("", "Grittor");
    EXPECT_EQ(log.FullPath(), "./Grittor.log");
    log.SetDirectory("/var/x");
    EXPECT_EQ(log.FullPath(), "/var/x/Grittor.log");
    log.SetExtension("txt");
    EXPECT_EQ(log.FullPath(), "/var/x/Grittor.txt");
    EXPECT_EQ(log.GenerationPath(15), "/var/x/Grittor15.txt");
}

TEST_F(LogTest, NewFileGetsHeaderOpenedLineAndTimestampedEntry)
{
    TLogOutput log(dir, "Grittor");
    log.Write("FormClose", true, true);
    EXPECT_EQ(ReadAll(log.FullPath()), "File Created 03/09/2026\r\nFile Opened\r\n09.14:03:22.517:FormClose\r\n");
    EXPECT_TRUE(log.Opened());
}

TEST_F(LogTest, TextWithoutLineEndWaitsForTheNextLine)
{
    TLogOutput log(dir, "Grittor");
    log.Write("abc", false, false);
    EXPECT_FALSE(Exists(log.FullPath()));
    EXPECT_EQ(log.Pending(), "abc");
    log.Write("def", true, true);
    const std::string all = ReadAll(log.FullPath());
    EXPECT_NE(all.find("File Opened\r\nabc09.14:03:22.517:def\r\n"), std::string::npos) << all;
    EXPECT_EQ(log.Pending(), "");
}

TEST_F(LogTest, TextsThatLookTimeStampedGetNoSecondStamp)
{
    TLogOutput log(dir, "Grittor");
    log.Write("12.x", true, true);
    log.Write("45.x", true, true);
    log.Write("", true, true);
    const std::string all = ReadAll(log.FullPath());
    EXPECT_NE(all.find("\r\n12.x\r\n"), std::string::npos) << all;
    EXPECT_NE(all.find("09.14:03:22.517:45.x\r\n"), std::string::npos) << all;
    EXPECT_NE(all.find("09.14:03:22.517:\r\n"), std::string::npos) << all;
}

TEST_F(LogTest, ExistingFileGetsFileOpenedOncePerRun)
{
    WriteFile(dir + "Grittor.log", "File Created 03/08/2026\r\nold line\r\n");
    TLogOutput log(dir, "Grittor");
    log.Write("one", false, true);
    log.Write("two", false, true);
    EXPECT_EQ(ReadAll(log.FullPath()), "File Created 03/08/2026\r\nold line\r\nFile Opened\r\none\r\ntwo\r\n");
    EXPECT_EQ(log.CreatedAt().date(), QDate(2026, 3, 8));
}

TEST_F(LogTest, ShortExistingFileIsRestartedWithAFreshHeader)
{
    WriteFile(dir + "Grittor.log", "garbage 22 bytes long!"); // 22 bytes < 23
    TLogOutput log(dir, "Grittor");
    log.Write("x", false, true);
    EXPECT_EQ(ReadAll(log.FullPath()), "File Created 03/09/2026\r\nFile Opened\r\nx\r\n");
}

TEST_F(LogTest, AFileOfTwentyThreeBytesIsKept)
{
    WriteFile(dir + "Grittor.log", "File Created 03/08/2026"); // 23 bytes: long enough, and a day old
    TLogOutput log(dir, "Grittor");
    log.Write("x", false, true);
    EXPECT_EQ(ReadAll(log.FullPath()), "File Created 03/08/2026File Opened\r\nx\r\n");
}

TEST_F(LogTest, UnreadableHeaderDateCountsAsCreatedNow)
{
    WriteFile(dir + "Grittor.log", "File Created 31/31/2000\r\n");
    TLogOutput log(dir, "Grittor");
    log.Write("x", false, true);
    EXPECT_EQ(log.CreatedAt(), clock.WallNow());
    EXPECT_TRUE(Exists(log.FullPath()));
    EXPECT_FALSE(Exists(log.GenerationPath(1)));
}

TEST_F(LogTest, OldFileTakesTheFirstLineThenRotates)
{
    WriteFile(dir + "Grittor.log", "File Created 03/01/2026\r\n"); // 8 days before
    TLogOutput log(dir, "Grittor");
    log.Write("first", false, true);
    EXPECT_FALSE(Exists(log.FullPath()));
    EXPECT_EQ(ReadAll(log.GenerationPath(1)), "File Created 03/01/2026\r\nFile Opened\r\nfirst\r\n");
    log.Write("second", false, true);
    EXPECT_EQ(ReadAll(log.FullPath()), "File Created 03/09/2026\r\nFile Opened\r\nsecond\r\n");
}

TEST_F(LogTest, SevenDaysExactlyIsNotTooOld)
{
    clock.SetWall(QDateTime(QDate(2026, 3, 9), QTime(0, 0, 0)));
    WriteFile(dir + "Grittor.log", "File Created 03/02/2026\r\n");
    TLogOutput log(dir, "Grittor");
    log.Write("x", false, true);
    EXPECT_TRUE(Exists(log.FullPath()));
    clock.Advance(1);
    TLogOutput log2(dir, "Grittor");
    log2.Write("y", false, true);
    EXPECT_FALSE(Exists(log2.FullPath()));
}

TEST_F(LogTest, SizeLimitRotatesOnlyAboveMaxSize)
{
    const std::string header = "File Created 03/09/2026\r\n";
    TLogOutput log(dir, "Grittor");
    log.Write("start", false, true); // opened in this run
    // Exactly MaxSize bytes: not rotated.
    WriteFile(log.FullPath(), header + std::string(3145728 - header.size(), 'x'));
    clock.Advance(1001); // the log trusts its open handle for a second
    log.Write("a", false, true);
    EXPECT_FALSE(Exists(log.GenerationPath(1)));
    // Now the file is MaxSize + 3 bytes: this write still lands in it, then it rotates.
    log.Write("b", false, true);
    ASSERT_TRUE(Exists(log.GenerationPath(1)));
    const std::string gen1 = ReadAll(log.GenerationPath(1));
    EXPECT_EQ(gen1.substr(gen1.size() - 6), "a\r\nb\r\n");
    EXPECT_FALSE(log.Opened());
    log.Write("c", false, true);
    EXPECT_EQ(ReadAll(log.FullPath()), header + "File Opened\r\nc\r\n");
}

TEST_F(LogTest, OneByteOverMaxSizeRotatesAtTheNextLine)
{
    const std::string header = "File Created 03/09/2026\r\n";
    TLogOutput log(dir, "Grittor");
    log.Write("start", false, true);
    WriteFile(log.FullPath(), header + std::string(3145728 + 1 - header.size(), 'x'));
    clock.Advance(1001);
    log.Write("a", false, true);
    ASSERT_TRUE(Exists(log.GenerationPath(1)));
    EXPECT_EQ(ReadAll(log.GenerationPath(1)).size(), 3145728u + 1 + 3) << "the line lands, then the file rotates";
    log.Write("b", false, true);
    EXPECT_EQ(ReadAll(log.FullPath()), header + "File Opened\r\nb\r\n");
}

TEST_F(LogTest, AnEntryLongerThan64KiBIsCutWithANoteOfWhatWasLeftOut)
{
    TLogOutput log(dir, "Grittor");
    log.Write("start", false, true);
    const std::string opened = ReadAll(log.FullPath());
    // One job pass: a megabyte of lines, logged without time stamp or line end.
    std::string pass;
    for (int i = 0; pass.size() < 1048576; ++i)
        pass += "papd" + std::to_string(100000 + i) + ",2000\r\n";
    pass.resize(1048576);
    log.Write(pass, false, false);
    log.Write("next", true, true);
    std::string text = ReadAll(log.FullPath()).substr(opened.size());
    const size_t kept = pass[65535] == '\r' ? 65535 : 65536; // a line end is never split
    EXPECT_EQ(text, pass.substr(0, kept) + (pass[kept - 1] == '\n' ? "" : "\r\n") + "... " +
                        std::to_string(1048576 - kept) + " more bytes of this entry left out of the log\r\n" +
                        "09.14:03:22.517:next\r\n");

    // 64 KiB exactly is kept whole; a cut that would split a line end
    // leaves the whole line end out.
    const size_t before = ReadAll(log.FullPath()).size();
    log.Write(std::string(65536, 'a'), false, true);
    EXPECT_EQ(ReadAll(log.FullPath()).size(), before + 65538);
    log.Write(std::string(65535, 'b') + "\r\nrest", false, true);
    text = ReadAll(log.FullPath()).substr(before + 65538);
    EXPECT_EQ(text, std::string(65535, 'b') + "\r\n... 6 more bytes of this entry left out of the log\r\n");

    // Pieces that wait for their line end are held to the same limit.
    for (int i = 0; i < 10; ++i)
        log.Write(std::string(10000, 'p'), false, false);
    EXPECT_EQ(log.Pending().size(), 65536u);
    log.Write("end", false, true);
    text = ReadAll(log.FullPath());
    EXPECT_NE(text.find(std::string(10, 'p') + "\r\n... 34464 more bytes of this entry left out of the log\r\nend\r\n"),
              std::string::npos);
}

TEST_F(LogTest, ABigJobRotatesTheLogWithinTheRunAndNoGenerationPassesTheLimitByMoreThanAnEntry)
{
    TLogOutput log(dir, "Grittor");
    log.MaxSize = 300000;
    const std::string pass(2000000, 'x');
    for (int k = 0; k < 40; ++k) {
        log.Write("output for pen " + std::to_string(k), true, true);
        log.Write(pass + "\r\n", false, false);
        clock.Advance(20); // the handle stays open: the size is taken from it
    }
    ASSERT_TRUE(Exists(log.GenerationPath(1)));
    for (int n = 0; n <= 15; ++n) {
        const std::string path = n == 0 ? log.FullPath() : log.GenerationPath(n);
        if (Exists(path)) {
            EXPECT_LE(std::filesystem::file_size(path), 300000u + 2 * (65536 + 200)) << path;
        }
    }
}

TEST_F(LogTest, RotationShiftsGenerationsAndSkipsGaps)
{
    TLogOutput log(dir, "Grittor");
    for (int k = 1; k <= 15; ++k)
        if (k != 4 && k != 9)
            WriteFile(log.GenerationPath(k), "gen" + std::to_string(k));
    WriteFile(log.FullPath(), "File Created 01/01/2026\r\n"); // old: rotates after the write
    log.Write("x", false, true);
    EXPECT_FALSE(Exists(log.FullPath()));
    EXPECT_EQ(ReadAll(log.GenerationPath(2)), "gen1");
    EXPECT_FALSE(Exists(log.GenerationPath(5))); // gap at 4 moved up
    EXPECT_EQ(ReadAll(log.GenerationPath(6)), "gen5");
    EXPECT_FALSE(Exists(log.GenerationPath(10)));
    EXPECT_EQ(ReadAll(log.GenerationPath(15)), "gen14"); // old 15 deleted
    EXPECT_NE(ReadAll(log.GenerationPath(1)).find("x\r\n"), std::string::npos);
}

TEST_F(LogTest, MovingTheLogStartsTheNewFileWithoutLosingALine)
{
    TLogOutput log(dir + "a", "Grittor");
    std::filesystem::create_directories(dir + "a");
    std::filesystem::create_directories(dir + "b");
    log.Write("in a", false, true);
    log.SetDirectory(dir + "b");
    log.Write("in b", false, true);
    EXPECT_EQ(ReadAll(dir + "b/Grittor.log"), "File Created 03/09/2026\r\nFile Opened\r\nin b\r\n");
}

TEST_F(LogTest, ABurstOfLinesKeepsTheFileOpenButEveryLineIsOnDiskAtOnce)
{
    TLogOutput log(dir, "Grittor");
    log.Write("first", false, true);
    log.Write("second", false, true);
    EXPECT_NE(ReadAll(log.FullPath()).find("second\r\n"), std::string::npos); // flushed, readable
    // Removed by someone else: after a second the log notices and, as when
    // reopening fails, drops that line and starts a new file with the next.
    std::filesystem::remove(log.FullPath());
    clock.Advance(1001);
    log.Write("lost", false, true);
    log.Write("third", false, true);
    EXPECT_EQ(ReadAll(log.FullPath()), "File Created 03/09/2026\r\nFile Opened\r\nthird\r\n");
}

TEST_F(LogTest, TwoProgramsWritingOneFileOverwriteNoLine)
{
    // A second copy of the program (or a second test process) logs to the
    // same file while both keep their handles open.
    TLogOutput first(dir, "Grittor");
    TLogOutput second(dir, "Grittor");
    first.Write("one", false, true);
    second.Write("two", false, true);
    first.Write("three", false, true);
    second.Write("four", false, true);
    const std::string text = ReadAll(first.FullPath());
    for (const char *line : {"one\r\n", "two\r\n", "three\r\n", "four\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    EXPECT_LT(text.find("one"), text.find("two"));
    EXPECT_LT(text.find("three"), text.find("four"));
}

TEST_F(LogTest, UnwritableFolderIsSilent)
{
    TLogOutput log(dir + "missing/folder", "Grittor");
    log.Write("x", true, true); // nothing raised, nothing written
    EXPECT_FALSE(log.Opened());
    EXPECT_FALSE(Exists(log.FullPath()));
}

TEST_F(LogTest, TwoThreadsLoseNoLineAndInterleaveOnlyWholeLines)
{
    SetClock(nullptr);
    TLogOutput log(dir, "Grittor");
    log.MaxSize = 1 << 30;
    auto writer = [&](char tag) {
        for (int i = 0; i < 10000; ++i)
            log.Write(std::string(1, tag) + std::to_string(i), false, true);
    };
    std::thread a(writer, 'A'), b(writer, 'B');
    a.join();
    b.join();
    std::istringstream in(ReadAll(log.FullPath()));
    std::string line;
    int nextA = 0, nextB = 0;
    while (std::getline(in, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        if (line[0] == 'A') {
            ASSERT_EQ(line, "A" + std::to_string(nextA++));
        } else if (line[0] == 'B') {
            ASSERT_EQ(line, "B" + std::to_string(nextB++));
        }
    }
    EXPECT_EQ(nextA, 10000);
    EXPECT_EQ(nextB, 10000);
}

TEST(LogFolder, BesideTheProgramWhenWritableElseThePerUserStateFolder)
{
    QTemporaryDir exeDir, state;
    struct Env {
        std::string name, saved;
        bool had;
        explicit Env(const char *n) : name(n), had(std::getenv(n) != nullptr)
        {
            if (had)
                saved = std::getenv(n);
        }
        ~Env() { had ? (void)setenv(name.c_str(), saved.c_str(), 1) : (void)unsetenv(name.c_str()); }
    } keepOverride("GRITTOR_LOG_DIR"), keepState("XDG_STATE_HOME");
    unsetenv("GRITTOR_LOG_DIR");
    setenv("XDG_STATE_HOME", state.path().toLocal8Bit().constData(), 1);

    const std::string beside = exeDir.path().toStdString() + "/";
    EXPECT_EQ(ChooseLogFolder(beside), beside);
    // /proc cannot be written even by root: an installed program's case.
    const std::string perUser = state.path().toStdString() + "/Grittor/";
    EXPECT_EQ(ChooseLogFolder("/proc/"), perUser);
    EXPECT_TRUE(std::filesystem::is_directory(perUser)) << "the folder is made for the log";
    TLogOutput log(ChooseLogFolder("/proc/"), "grittor");
    log.Write("lands in the state folder", true, true);
    EXPECT_EQ(log.FullPath(), perUser + "grittor.log");
    EXPECT_NE(ReadAll(log.FullPath()).find("lands in the state folder"), std::string::npos);

    setenv("GRITTOR_LOG_DIR", beside.c_str(), 1);
    EXPECT_EQ(ChooseLogFolder("/proc/"), beside);
}

TEST_F(LogTest, TimeStampsAreLocalTimeToTheMillisecondAcrossMinutesAndClockChanges)
{
    // A zone with summer time (no zone files needed), and back afterwards.
    const char *was = std::getenv("TZ");
    const std::string saved = was ? was : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    auto expected = [](int64_t ms) {
        return QDateTime::fromMSecsSinceEpoch(ms).toString("dd.hh:mm:ss.zzz").toStdString();
    };
    // Around a minute's end, the spring and autumn changes of 2026 (29 March
    // 01:00 UTC, 25 October 01:00 UTC), New Year, and before 1970.
    const int64_t changes[] = {QDateTime(QDate(2026, 3, 29), QTime(1, 0), Qt::UTC).toMSecsSinceEpoch(),
                               QDateTime(QDate(2026, 10, 25), QTime(1, 0), Qt::UTC).toMSecsSinceEpoch(),
                               QDateTime(QDate(2026, 12, 31), QTime(23, 0), Qt::UTC).toMSecsSinceEpoch(),
                               QDateTime(QDate(2026, 3, 9), QTime(14, 3, 59, 998)).toMSecsSinceEpoch(),
                               -86400000LL * 3 + 1234};
    for (const int64_t at : changes) {
        for (const int64_t step : {-60001, -60000, -59999, -1001, -1, 0, 1, 999, 1000, 59999, 60000, 3600000}) {
            clock.SetWall(QDateTime::fromMSecsSinceEpoch(at + step));
            const int64_t ms = clock.WallMs();
            ASSERT_EQ(TLogOutput::Timestamp(), expected(ms)) << ms;
        }
    }
    if (was)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}
