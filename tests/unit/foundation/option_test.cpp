#include "foundation/option.h"

#include "TestDoubles.h"
#include "foundation/Clock.h"
#include "foundation/LogOutput.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

using namespace grittor;

namespace {
QSettings Store() { return QSettings("Korvane Systems", "Grittor"); }
} // namespace

TEST(Options, DefaultsOnAnEmptyStore)
{
    test::TempSettings tmp;
    Toption &o = Options();
    EXPECT_EQ(o.Baud, 9600);
    EXPECT_EQ(o.DataBits, 8);
    EXPECT_EQ(o.FontSize, 10);
    EXPECT_FALSE(o.LocalEcho);
    EXPECT_EQ(o.Port, "com1");
    EXPECT_EQ(o.Radius, 381); // missing radius reads as 381
    EXPECT_EQ(o.Left, -1);
    EXPECT_EQ(o.Width, 640);
    EXPECT_EQ(o.Height, 480);
    EXPECT_EQ(o.Directory.back(), '/');
    EXPECT_EQ(o.HpglDirectory, o.Directory + "*.*");
    // Run-only values after their setters.
    EXPECT_EQ(o.Times, 1);
    EXPECT_EQ(o.VertPer, 0.1875L);
    EXPECT_EQ(o.Margin.x, 0);
    EXPECT_EQ(o.LaserOffset.x, 3048);
    EXPECT_EQ(o.ScanLine, 1200);
}

TEST(Options, OutOfRangeAndWrongTypedValuesAreCorrectedOneByOne)
{
    test::TempSettings tmp;
    {
        QSettings s = Store();
        s.setValue("Port", "");
        s.setValue("Parity", 5);
        s.setValue("Data Bits", 7);
        s.setValue("Stop Bits", 3);
        s.setValue("Radius", 100);
        s.setValue("Baud", "fast");     // wrong type: default
        s.setValue("Font Size", 12);    // fine
        s.setValue("Width", "wide");    // wrong type: default
        s.setValue("Local Echo", 1);
        s.setValue("Directory", "");
        s.setValue("Hpgl Directory", "/plots/a.plt");
    }
    Toption &o = Options();
    EXPECT_EQ(o.Port, "com1");
    EXPECT_EQ(o.Parity, 0);
    EXPECT_EQ(o.DataBits, 8);
    EXPECT_EQ(o.StopBits, 0);
    EXPECT_EQ(o.Radius, 381);
    EXPECT_EQ(o.Baud, 9600);
    EXPECT_EQ(o.FontSize, 12);
    EXPECT_EQ(o.Width, 640);
    EXPECT_TRUE(o.LocalEcho);
    EXPECT_EQ(o.Directory, Toption::DefaultDirectory());
    EXPECT_EQ(o.HpglDirectory, "/plots/a.plt");
}

TEST(Options, RadiusAboveRangeAndParityByteWrap)
{
    test::TempSettings tmp;
    {
        QSettings s = Store();
        s.setValue("Radius", 5000);
        s.setValue("Parity", 258); // stored in a byte: 2
        s.setValue("Port", "none");
    }
    Toption &o = Options();
    EXPECT_EQ(o.Radius, 2032);
    EXPECT_EQ(o.Parity, 2);
    EXPECT_EQ(o.Port, "none");
}

TEST(Options, SaveWritesTheSixteenValuesAndTheyReadBack)
{
    test::TempSettings tmp;
    {
        Toption &o = Options();
        o.Baud = 38400;
        o.FontSize = 9;
        o.LocalEcho = true;
        o.Log = true;
        o.Port = "com3";
        o.StopBits = 2;
        o.Parity = 1;
        o.Directory = "/tmp/g/";
        o.Height = 600;
        o.HpglDirectory = "/tmp/g/x.plt";
        o.Left = 12;
        o.SetRadius(1016);
        o.Top = 7;
        o.Width = 800;
        o.SetPasses(9); // run-only: not saved
        o.Save();
    }
    QSettings s = Store();
    const QStringList keys = s.allKeys();
    EXPECT_EQ(keys.size(), 16) << keys.join(",").toStdString();
    EXPECT_EQ(s.value("Local Echo").toInt(), 1); // booleans as 0/1 integers
    ResetOptions();
    Toption &o = Options();
    EXPECT_EQ(o.Baud, 38400);
    EXPECT_EQ(o.FontSize, 9);
    EXPECT_TRUE(o.LocalEcho);
    EXPECT_TRUE(o.Log);
    EXPECT_EQ(o.Port, "com3");
    EXPECT_EQ(o.StopBits, 2);
    EXPECT_EQ(o.Parity, 1);
    EXPECT_EQ(o.Directory, "/tmp/g/");
    EXPECT_EQ(o.Height, 600);
    EXPECT_EQ(o.HpglDirectory, "/tmp/g/x.plt");
    EXPECT_EQ(o.Left, 12);
    EXPECT_EQ(o.Radius, 1016);
    EXPECT_EQ(o.Top, 7);
    EXPECT_EQ(o.Width, 800);
    EXPECT_EQ(o.Passes, 1);
}

namespace {

std::string ReadAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().toStdString();
}

void WriteAll(const QString &path, const std::string &content)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content.data(), static_cast<qint64>(content.size()));
}

// The debug log in a folder of its own, read back.
class LogIn {
public:
    explicit LogIn(const QString &folder)
    {
        QDir().mkpath(folder);
        LogOutput().SetDirectory(folder.toStdString());
        LogOutput().Write("test start", true, true);
        LogOutput().Write("test start", true, true);
    }
    std::string Text() const { return ReadAll(QString::fromStdString(LogOutput().FullPath())); }
};

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(Options, ASettingsFileNotReadAsWrittenIsCopiedBeforeTheFirstSaveAndReportedOnce)
{
    const std::string sound = "[General]\nBaud=38400\nData%20Bits=8\nFont%20Size=9\nOneMS=1000\nPort=com2\n";
    struct Case {
        std::string content;
        const char *reason;
    } cases[] = {
        {sound + "Width=64", "the file ends in the middle of a line (it was cut short)"},
        {sound + "Wid", "it is not in the settings format (cut short or damaged)"},
        {sound + "Width=wide\nLeft=99999999999\nLocal%20Echo=yes\n",
         "these values are not of their type: \"Local Echo\", \"Left\", \"Width\""},
    };
    for (const Case &c : cases) {
        test::TempSettings tmp;
        LogIn log(tmp.Path() + "/log");
        const QString file = tmp.FileName();
        WriteAll(file, c.content);
        Toption &o = Options();
        EXPECT_EQ(o.Baud, 38400) << "what could be read is used";
        EXPECT_EQ(o.Port, "com2");
        const std::string message = TakeSettingsLoadProblem();
        EXPECT_NE(message.find("The settings could not be read as written from\r\n\"" + file.toStdString() + "\""),
                  std::string::npos)
            << message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << c.content << "\n" << message;
        EXPECT_NE(message.find("\"" + file.toStdString() + ".bad\""), std::string::npos) << message;
        EXPECT_EQ(TakeSettingsLoadProblem(), "") << "reported once";
        EXPECT_EQ(Count(log.Text(), "Settings not read as written"), 1u);

        EXPECT_FALSE(QFile::exists(file + ".bad")) << "a run that never saves leaves the file alone";
        o.Save();
        EXPECT_EQ(ReadAll(file + ".bad"), c.content);
        EXPECT_NE(ReadAll(file), c.content) << "the save wrote a sound file";
        o.Width = 700;
        o.Save();
        EXPECT_EQ(ReadAll(file + ".bad"), c.content) << "copied before the first save only";

        ResetOptions();
        Options();
        EXPECT_EQ(TakeSettingsLoadProblem(), "") << "what the program saved reads as written";
    }
}

TEST(Options, AFolderSettingThatIsNotAnAbsolutePathToAFolderFallsBackToItsDefault)
{
    test::TempSettings tmp;
    LogIn log(tmp.Path() + "/log");
    const std::string aFile = tmp.Path().toStdString() + "/log/not-a-folder";
    WriteAll(QString::fromStdString(aFile), "x");
    struct Case {
        std::string directory, hpgl;
        bool directoryKept, hpglKept;
        const char *why;
    } cases[] = {
        {"work/", "plots/*.*", false, false, "is not an absolute path"},
        {"/tmp/\x01\x02\x7f/", "/tmp/a\nb/*.*", false, false, "holds bytes that are not part of a path"},
        {aFile + "/", aFile + "/x.plt", false, false, "names something that is not a folder"},
        {"/no/such/folder/yet/", "/no/such/folder/yet/*.*", true, true, nullptr},
        {tmp.Path().toStdString() + "/", aFile, true, true, nullptr},
    };
    for (const Case &c : cases) {
        {
            QSettings s = Store();
            s.setValue("Directory", QString::fromStdString(c.directory));
            s.setValue("Hpgl Directory", QString::fromStdString(c.hpgl));
        }
        ResetOptions();
        const size_t linesBefore = Count(log.Text(), "is used instead");
        const Toption &o = Options();
        EXPECT_EQ(o.Directory, c.directoryKept ? c.directory : Toption::DefaultDirectory()) << c.directory;
        EXPECT_EQ(o.HpglDirectory, c.hpglKept ? c.hpgl : Toption::DefaultHpglDirectory()) << c.hpgl;
        const std::string text = log.Text();
        EXPECT_EQ(Count(text, "is used instead") - linesBefore, (c.directoryKept ? 0u : 1u) + (c.hpglKept ? 0u : 1u));
        if (c.why) {
            EXPECT_NE(text.find(std::string(c.why) + "; \"" + Toption::DefaultDirectory() + "\" is used instead"),
                      std::string::npos)
                << text;
        }
        EXPECT_EQ(TakeSettingsLoadProblem(), "") << "a folder setting falls back without a message box";
    }
}

TEST(Options, SetterClampsAtTheirBoundaries)
{
    Toption o;
    o.SetCenterOffset(0.05L);
    EXPECT_EQ(o.CenterOffset, 0.4L);
    o.SetCenterOffset(0.1L);
    EXPECT_EQ(o.CenterOffset, 0.1L);
    o.SetCenterOffset(1.5L);
    EXPECT_EQ(o.CenterOffset, 1.0L);
    o.SetOnTime(0.1L);
    EXPECT_EQ(o.OnTime, 2.0L);
    o.SetOnTime(0.3L);
    EXPECT_EQ(o.OnTime, 0.3L);
    o.SetOnTime(11);
    EXPECT_EQ(o.OnTime, 10.0L);
    o.SetMultiplier(0);
    EXPECT_EQ(o.Multiplier, 1.0L);
    o.SetMultiplier(0.01L);
    EXPECT_EQ(o.Multiplier, 0.01L);
    o.SetMultiplier(1000);
    EXPECT_EQ(o.Multiplier, 100.0L);
    o.SetExtra(-1);
    EXPECT_EQ(o.Extra, 0.0L);
    o.SetExtra(4.5L);
    EXPECT_EQ(o.Extra, 4.0L);
    o.SetLaserOffset(-6000, 5080);
    EXPECT_EQ(o.LaserOffset.x, -5080);
    EXPECT_EQ(o.LaserOffset.y, 5080);
    o.SetPassOffset(51);
    EXPECT_EQ(o.PassOffset, 50);
    o.SetPassOffset(-1);
    EXPECT_EQ(o.PassOffset, 0);
    o.SetScanLine(380);
    EXPECT_EQ(o.ScanLine, 381);
    o.SetScanLine(4065);
    EXPECT_EQ(o.ScanLine, 4064);
    o.SetVertPer(0.1L);
    EXPECT_EQ(o.VertPer, 0.1875L);
    o.SetVertPer(5);
    EXPECT_EQ(o.VertPer, 4.0L);
    o.SetRadius(380);
    EXPECT_EQ(o.Radius, 381);
    o.SetRadius(2033);
    EXPECT_EQ(o.Radius, 2032);
    o.SetPasses(31);
    EXPECT_EQ(o.Passes, 30);
    o.SetPasses(-1);
    EXPECT_EQ(o.Passes, 0);
}

TEST(Options, TimesFollowsPasses)
{
    Toption o;
    o.SetPasses(3);
    o.SetTimes(5);
    EXPECT_EQ(o.Times, 3);
    o.SetTimes(0);
    EXPECT_EQ(o.Times, 1);
    o.SetPasses(0);
    o.SetTimes(0);
    EXPECT_EQ(o.Times, 0);
    o.SetTimes(4);
    EXPECT_EQ(o.Times, 0);
}

TEST(Options, MarginLimitsComeFromRadiusAndScanLine)
{
    Toption o;
    o.SetRadius(1016);
    o.SetScanLine(1200);
    o.SetMargin({-5, 5});
    EXPECT_EQ(o.Margin.x, -2031.0L / 1016);
    EXPECT_EQ(o.Margin.y, 1199.0L / 1016);
    o.SetMargin({5, -5});
    EXPECT_EQ(o.Margin.x, 2031.0L / 1016);
    EXPECT_EQ(o.Margin.y, -599.0L / 1016);
    o.SetMargin({0.5L, 0.25L});
    EXPECT_EQ(o.Margin.x, 0.5L);
    EXPECT_EQ(o.Margin.y, 0.25L);
}

TEST(Options, UnitConversions)
{
    EXPECT_EQ(InchTextToUnits("1"), 1016);
    EXPECT_EQ(InchTextToUnits("0.375"), 381);
    EXPECT_EQ(InchTextToUnits("abc"), 0);
    EXPECT_EQ(InchTextToUnits("-0.5"), -508);
    EXPECT_EQ(InchTextToUnits("0.0005"), 1);
    EXPECT_EQ(InchTextToUnits("-0.0005"), -1);
    EXPECT_EQ(UnitsToInchText(381), "0.38");
    EXPECT_EQ(UnitsToInchText(2032), "2.00");
    EXPECT_EQ(UnitsToInches(508), 0.5L);
}

TEST(Options, PenColourTableHasEighteenPaddedNames)
{
    EXPECT_STREQ(PenColorTable[0].Name, "Aqua   ");
    EXPECT_STREQ(PenColorTable[4].Name, "Fuchsia");
    EXPECT_EQ(PenColorTable[13].Value, 0x0000FFu); // Red as 0x00BBGGRR
    EXPECT_EQ(PenColorTable[3].Value, PenColorTable[5].Value);
    EXPECT_EQ(PenColorTable[8].Value, PenColorTable[14].Value);
    for (const auto &c : PenColorTable)
        EXPECT_EQ(std::string(c.Name).size(), 7u);
}

TEST(Options, OneMSCalibratesOnFirstUseAndSurvivesAFrozenClock)
{
    FakeClock clock; // does not move while the busy loop runs
    SetClock(&clock);
    Toption o;
    EXPECT_EQ(o.OneMS, 0);
    o.CalibrateOneMS();
    EXPECT_EQ(o.OneMS, 300000 * 1000); // elapsed counted as 1 ms, never divided by zero
    SetClock(nullptr);
    o.OneMS = 5;
    o.Delay(2);
    EXPECT_EQ(o.OneMS, 5);
}
