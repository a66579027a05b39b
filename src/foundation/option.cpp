#include "foundation/option.h"

#include "foundation/Clock.h"
#include "foundation/LogOutput.h"
#include "foundation/StringUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <mutex>

namespace grittor {


static const char *const kOrganisation = "Korvane Systems";
static const char *const kApplication = "Grittor";

Toption::Toption() { SetInitialValues(); }

Toption::~Toption() = default;

std::string Toption::DefaultDirectory()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + "/.local/share";
    return (base + "/Korvane/Grittor/").toStdString();
}

std::string Toption::DefaultHpglDirectory() { return DefaultDirectory() + "*.*"; }

std::string Toption::DefaultFirmwareFile()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + "/.local/share";
    return (base + "/Korvane/Zizi Didirezu/i960a.hex").toStdString();
}

std::string Toption::SettingsFolder() const
{
    QSettings s(kOrganisation, kApplication);
    return QFileInfo(s.fileName()).absolutePath().toStdString();
}

void Toption::SetInitialValues()
{
    Baud = 9600;
    DataBits = 8;
    FontSize = 10;
    LocalEcho = false;
    Log = false;
    Parity = 0;
    Port = "com1";
    StopBits = 0;
    Directory = DefaultDirectory();
    Height = 480;
    HpglDirectory = DefaultHpglDirectory();
    Left = -1;
    OneMS = 0;
    Radius = 0; // unclamped until read
    Top = 0;
    Width = 640;

    SetCenterOffset(0.4L);
    CharLog = false;
    SetExtra(0);
    FirmwareFile = DefaultFirmwareFile();
    JoystickSlewSpeed = 100;
    JogMode = false;
    JogDistance = 24;
    SetLaserOffset(3048, 3048);
    Margin = {0, 0}; // -Radius/1016 with Radius still 0
    SetMultiplier(1.0L);
    SetOnTime(4.0L);
    SetPasses(1);
    SetPassOffset(25);
    PenUpOff = 0;
    SetScanLine(1200);
    SetTimes(10);
    SetVertPer(0);
    JogPanelRect = {};
}

// ------------------------------------------------------------- setters ---

void Toption::SetCenterOffset(long double v)
{
    CenterOffset = v;
    if (CenterOffset < 0.1L)
        CenterOffset = 0.4L;
    if (CenterOffset > 1.0L)
        CenterOffset = 1.0L;
}

void Toption::SetExtra(long double v)
{
    Extra = v;
    if (Extra < 0)
        Extra = 0;
    if (Extra > 4.0L)
        Extra = 4.0L;
}

void Toption::SetLaserOffset(int32_t x, int32_t y)
{
    LaserOffset.x = std::clamp<int32_t>(x, -5080, 5080);
    LaserOffset.y = std::clamp<int32_t>(y, -5080, 5080);
}

long double Toption::RadiusMarginLimit() const { return (2.0L * Radius - 1.0L) / 1016.0L; }
long double Toption::ScanLineHalfLimit() const { return ((ScanLine / 2) - 1) / 1016.0L; }
long double Toption::ScanLineLimit() const { return (ScanLine - 1) / 1016.0L; }

void Toption::SetMargin(const TExtendedPoint &v)
{
    Margin = v;
    const long double xl = RadiusMarginLimit();
    if (Margin.x > xl)
        Margin.x = xl;
    if (Margin.x < -xl)
        Margin.x = -xl;
    const long double ylo = -ScanLineHalfLimit();
    const long double yhi = ScanLineLimit();
    if (Margin.y > yhi)
        Margin.y = yhi;
    if (Margin.y < ylo)
        Margin.y = ylo;
}

void Toption::SetMultiplier(long double v)
{
    Multiplier = v;
    if (!(Multiplier >= 0.01L)) // also catches NaN
        Multiplier = 1.0L;
    if (Multiplier > 100.0L)
        Multiplier = 100.0L;
}

void Toption::SetOnTime(long double v)
{
    OnTime = v;
    if (!(OnTime >= 0.3L))
        OnTime = 2.0L;
    if (OnTime > 10.0L)
        OnTime = 10.0L;
}

void Toption::SetPasses(int32_t v) { Passes = std::clamp<int32_t>(v, 0, 30); }

void Toption::SetPassOffset(int32_t v) { PassOffset = std::clamp<int32_t>(v, 0, 50); }

void Toption::SetScanLine(int32_t v) { ScanLine = std::clamp<int32_t>(v, 381, 4064); }

void Toption::SetTimes(int32_t v)
{
    Times = std::clamp<int32_t>(v, 0, std::max<int32_t>(Passes, 0));
    if (Times == 0 && Passes != 0)
        Times = 1;
}

void Toption::SetVertPer(long double v)
{
    VertPer = v;
    if (!(VertPer >= 0.1875L))
        VertPer = 0.1875L;
    if (VertPer > 4.0L)
        VertPer = 4.0L;
}

void Toption::SetRadius(int32_t v) { Radius = std::clamp<int32_t>(v, 381, 2032); }

// ------------------------------------------------------- load and save ---

namespace {

// Reads the stored values and remembers those that are there but cannot be
// read as their type (the settings file was damaged or edited by hand).
struct StoreReader {
    QSettings &s;
    std::vector<std::string> unreadable;

    bool Int(const char *name, int32_t &out)
    {
        const QVariant v = s.value(name);
        if (!v.isValid())
            return false;
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok);
        if (!ok || n < INT32_MIN || n > INT32_MAX || v.userType() == QMetaType::QStringList) {
            unreadable.push_back(name);
            return false;
        }
        out = static_cast<int32_t>(n);
        return true;
    }

    bool Bool(const char *name, bool &out)
    {
        int32_t n = 0;
        if (!Int(name, n))
            return false;
        out = n != 0;
        return true;
    }

    bool String(const char *name, std::string &out)
    {
        const QVariant v = s.value(name);
        if (!v.isValid())
            return false;
        // A list (an unquoted comma in a hand-edited file) is no one text.
        if (!v.canConvert<QString>() || (v.userType() == QMetaType::QStringList && v.toStringList().size() != 1)) {
            unreadable.push_back(name);
            return false;
        }
        out = v.toString().toStdString();
        return true;
    }
};

// "" when the file ends with a line end, as every file the store writes does.
std::string CutShortProblem(const QString &fileName)
{
    QFile f(fileName);
    if (f.size() <= 0 || !f.open(QIODevice::ReadOnly) || !f.seek(f.size() - 1))
        return {};
    char last = 0;
    if (!f.getChar(&last) || last == '\n')
        return {};
    return "the file ends in the middle of a line (it was cut short)";
}

struct SettingsProblem {
    std::mutex mutex;
    std::string message;   // for the operator, handed out once
    std::string badSource; // copied to "<file>.bad" before the first save
};

SettingsProblem &Problem()
{
    static SettingsProblem p;
    return p;
}

// The folder settings fall back to their defaults, with one log line, when
// they are not what they must be.
void CheckFolderSetting(const char *name, std::string &value, const std::string &fallback, bool fileOrMask)
{
    const std::string why = FolderSettingProblem(value, fileOrMask);
    if (why.empty())
        return;
    LogEntry(std::string("Setting \"") + name + "\" = \"" + MakePrintable(value) + "\" " + why + "; \"" + fallback +
             "\" is used instead");
    value = fallback;
}

} // namespace


void Toption::Load()
{
    SetInitialValues();
    {
        SettingsProblem &problem = Problem();
        std::lock_guard<std::mutex> lock(problem.mutex);
        problem.message.clear();
        problem.badSource.clear();
    }
    QSettings s(kOrganisation, kApplication);
    if (s.status() == QSettings::AccessError)
        return;
    StoreReader r{s, {}};

    if (!r.Int("Baud", Baud))
        Baud = 9600;
    if (!r.Int("Data Bits", DataBits))
        DataBits = 8;
    if (!r.Int("Font Size", FontSize))
        FontSize = 10;
    if (!r.Bool("Local Echo", LocalEcho))
        LocalEcho = false;
    if (!r.Bool("Log", Log))
        Log = false;
    int32_t n = 0;
    if (r.Int("Parity", n))
        Parity = static_cast<uint8_t>(n); // a byte, as the original stored it
    else
        Parity = 0;
    if (Parity > 2)
        Parity = 0;
    if (!r.String("Port", Port))
        Port = "com1";
    if (Port.empty())
        Port = "com1";
    if (r.Int("Stop Bits", n))
        StopBits = static_cast<uint8_t>(n);
    else
        StopBits = 0;
    if (StopBits > 2)
        StopBits = 0;
    DataBits = 8;
    if (!r.String("Directory", Directory) || Directory.empty())
        Directory = DefaultDirectory();
    CheckFolderSetting("Directory", Directory, DefaultDirectory(), false);
    if (Directory.back() != '/')
        Directory += '/';
    if (!r.Int("Height", Height))
        Height = 480;
    if (!r.String("Hpgl Directory", HpglDirectory) || HpglDirectory.empty())
        HpglDirectory = DefaultHpglDirectory();
    CheckFolderSetting("Hpgl Directory", HpglDirectory, DefaultHpglDirectory(), true);
    if (!r.Int("Left", Left))
        Left = -1;
    if (!r.Int("OneMS", OneMS))
        OneMS = 0;
    if (r.Int("Radius", n))
        SetRadius(n);
    else
        SetRadius(381);
    if (!r.Int("Top", Top))
        Top = 0;
    if (!r.Int("Width", Width))
        Width = 640;

    // A file that could not be read as written is kept for the operator: the
    // next save would otherwise replace it without a trace.
    std::vector<std::string> problems;
    if (s.status() == QSettings::FormatError)
        problems.push_back("it is not in the settings format (cut short or damaged)");
    if (std::string cut = CutShortProblem(s.fileName()); !cut.empty())
        problems.push_back(cut);
    if (!r.unreadable.empty()) {
        std::string names;
        for (const std::string &name : r.unreadable)
            names += (names.empty() ? "\"" : ", \"") + name + "\"";
        problems.push_back("these values are not of their type: " + names);
    }
    if (problems.empty())
        return;
    std::string reason;
    for (const std::string &p : problems)
        reason += (reason.empty() ? "" : "; ") + p;
    const std::string path = s.fileName().toStdString();
    LogEntry("Settings not read as written from \"" + path + "\": " + reason);
    SettingsProblem &problem = Problem();
    std::lock_guard<std::mutex> lock(problem.mutex);
    problem.message = "The settings could not be read as written from\r\n\"" + path + "\":\r\n" + reason +
                      ".\r\n\r\nWhat could not be read starts from its default.  Before the settings are saved " +
                      "again, the file is copied to\r\n\"" + path + ".bad\".";
    problem.badSource = path;
}

std::string TakeSettingsLoadProblem()
{
    SettingsProblem &problem = Problem();
    std::lock_guard<std::mutex> lock(problem.mutex);
    std::string message;
    message.swap(problem.message);
    return message;
}

void Toption::Save()
{
    CalibrateOneMS();
    {
        SettingsProblem &problem = Problem();
        std::lock_guard<std::mutex> lock(problem.mutex);
        if (!problem.badSource.empty()) {
            const QString source = QString::fromStdString(problem.badSource);
            QFile::remove(source + ".bad");
            if (!QFile::copy(source, source + ".bad"))
                LogEntry("Settings: no copy of \"" + problem.badSource + "\" could be made before saving");
            problem.badSource.clear();
        }
    }
    QSettings s(kOrganisation, kApplication);
    s.setValue("Baud", Baud);
    s.setValue("Data Bits", DataBits);
    s.setValue("Font Size", FontSize);
    s.setValue("Local Echo", LocalEcho ? 1 : 0);
    s.setValue("Log", Log ? 1 : 0);
    s.setValue("Port", QString::fromStdString(Port));
    s.setValue("Stop Bits", static_cast<int>(StopBits));
    s.setValue("Parity", static_cast<int>(Parity));
    s.setValue("Directory", QString::fromStdString(Directory));
    s.setValue("Height", Height);
    s.setValue("Hpgl Directory", QString::fromStdString(HpglDirectory));
    s.setValue("Left", Left);
    s.setValue("OneMS", OneMS);
    s.setValue("Radius", Radius);
    s.setValue("Top", Top);
    s.setValue("Width", Width);
    s.sync();
}

// ---------------------------------------------------------------- Delay ---

namespace {
void EmptyCall() {}
void (*volatile g_emptyCall)() = EmptyCall;
} // namespace

void Toption::Delay(int ms)
{
    CalibrateOneMS();
    const int64_t rounds = (static_cast<int64_t>(ms) + 1) * (static_cast<int64_t>(OneMS) + 1);
    for (int64_t i = 0; i < rounds; ++i)
        g_emptyCall();
}

void Toption::CalibrateOneMS()
{
    if (OneMS != 0)
        return;
    OneMS = 300000;
    Clock &clock = GetClock();
    const int64_t t1 = clock.NowMs();
    const int64_t rounds = 1001LL * 300001LL;
    for (int64_t i = 0; i < rounds; ++i)
        g_emptyCall();
    const int64_t elapsed = std::max<int64_t>(clock.NowMs() - t1, 1);
    OneMS = static_cast<int32_t>(std::min<int64_t>(300000LL * 1000 / elapsed, INT32_MAX));
}

// ------------------------------------------------------------ accessor ---

namespace {
std::mutex g_optionsMutex;
std::unique_ptr<Toption> g_options;
} // namespace

Toption &Options()
{
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    if (!g_options) {
        g_options = std::make_unique<Toption>();
        g_options->Load();
    }
    return *g_options;
}

void ResetOptions()
{
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    g_options.reset();
}

} // namespace grittor
