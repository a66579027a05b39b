// The settings read without the toolkit must be what the settings store
// reads, or nothing: each case is read both ways in the same environment.
#include "foundation/PlainSettings.h"

#include "TestDoubles.h"
#include "foundation/LogOutput.h"
#include "foundation/option.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

using namespace grittor;

namespace {

struct Env {
    std::map<std::string, std::string> vars;
    TEnvironment Lookup() const
    {
        return [this](const char *name) -> const char * {
            const auto it = vars.find(name);
            return it == vars.end() ? nullptr : it->second.c_str();
        };
    }
};

// The environment the store sees in this process (TempSettings points it
// at a temporary folder).
Env StoreEnvironment()
{
    Env env;
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CONFIG_DIRS"})
        if (const char *v = std::getenv(name))
            env.vars[name] = v;
    return env;
}

void WriteFile(const QString &path, const std::string &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::ofstream(path.toStdString(), std::ios::binary) << text;
    // The store keeps what it read of a file until its size or time
    // changes: two writes of one size within a millisecond must differ.
    static int writes = 0;
    std::error_code ec;
    std::filesystem::last_write_time(path.toStdString(),
                                     std::filesystem::file_time_type::clock::now() + std::chrono::seconds(++writes), ec);
}

std::string LogText()
{
    QFile f(QString::fromStdString(LogOutput().FullPath()));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

} // namespace

TEST(PlainSettings, WhatTheStoreWritesReadsTheSameWithoutIt)
{
    test::TempSettings tmp;
    const std::string logDir = tmp.Path().toStdString() + "/log/";
    QDir().mkpath(QString::fromStdString(logDir));
    LogOutput().SetDirectory(logDir);
    for (int radius : {0, 381, 500, 2032, 5000, -7}) {
        SCOPED_TRACE(radius);
        ResetOptions();
        {
            Toption &o = Options();
            o.Radius = radius; // stored as set; the load clamps it
            o.Port = "/dev/ttyUSB0";
            o.Save();
        }
        ResetOptions();
        const std::string logBefore = LogText();
        const Toption &stored = Options();
        const auto plain = ReadPlainSettings(StoreEnvironment().Lookup());
        ASSERT_TRUE(plain.has_value()) << "the store's own file is in the plain form";
        EXPECT_EQ(plain->Radius, stored.Radius);
        EXPECT_EQ(plain->Folder, stored.SettingsFolder());
        EXPECT_EQ(TakeSettingsLoadProblem(), "");
        EXPECT_EQ(LogText(), logBefore) << "the store had nothing to report either";
    }
    // No file at all: the defaults.
    QFile::remove(tmp.FileName());
    ResetOptions();
    const auto plain = ReadPlainSettings(StoreEnvironment().Lookup());
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->Radius, 381);
    EXPECT_EQ(plain->Radius, Options().Radius);
    // An empty file holds no settings either.
    WriteFile(tmp.FileName(), "");
    ASSERT_TRUE(ReadPlainSettings(StoreEnvironment().Lookup()).has_value());
}

TEST(PlainSettings, AnyOtherFormIsLeftToTheStore)
{
    test::TempSettings tmp;
    const std::string logDir = tmp.Path().toStdString() + "/log/";
    QDir().mkpath(QString::fromStdString(logDir));
    LogOutput().SetDirectory(logDir);
    const std::string plainFile = "[General]\nBaud=9600\nRadius=700\n";
    struct Case {
        const char *what;
        std::string content;
        bool storeReports; // the store reads this with a message or a log line
    } cases[] = {
        {"a value of the wrong type", "[General]\nBaud=fast\nRadius=700\n", true},
        {"a number out of range", "[General]\nRadius=99999999999\n", true},
        {"cut short", "[General]\nRadius=700", true},
        {"a relative plot folder", "[General]\nHpgl%20Directory=p10.plt\nRadius=700\n", true},
        {"a relative work folder", "[General]\nDirectory=work/\nRadius=700\n", true},
        {"a comment", "; edited by hand\n[General]\nRadius=700\n", false},
        {"a quoted value", "[General]\nRadius=\"700\"\n", false},
        {"blanks around the value", "[General]\nRadius = 700\n", false},
        {"Windows line ends", "[General]\r\nRadius=700\r\n", false},
        {"an unknown key", "[General]\nRadius=700\nColour=1\n", false},
        {"a key written twice", "[General]\nRadius=700\nRadius=800\n", false},
        {"another section", "[General]\nRadius=700\n[Other]\nRadius=800\n", false},
        {"a list", "[General]\nPort=a, b\nRadius=700\n", true},
        {"a key escaped otherwise", "[General]\nRadi%75s=700\n", false},
        {"text that is not ASCII", "[General]\nPort=K\xC3\xB6ln\nRadius=700\n", false},
    };
    WriteFile(tmp.FileName(), plainFile);
    ASSERT_TRUE(ReadPlainSettings(StoreEnvironment().Lookup()).has_value()) << "the baseline is plain";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(tmp.FileName(), c.content);
        EXPECT_FALSE(ReadPlainSettings(StoreEnvironment().Lookup()).has_value());
        // Where the store would report something, the plain reader must
        // not have answered: the report would be lost.
        ResetOptions();
        const std::string logBefore = LogText();
        Options();
        const bool reported = !TakeSettingsLoadProblem().empty() || LogText() != logBefore;
        EXPECT_EQ(reported, c.storeReports);
    }
}

TEST(PlainSettings, UnusualPlacesAndOtherFilesTheStoreReadsAreLeftToIt)
{
    test::TempSettings tmp;
    WriteFile(tmp.FileName(), "[General]\nRadius=700\n");
    const Env base = StoreEnvironment();
    ASSERT_TRUE(ReadPlainSettings(base.Lookup()).has_value());
    EXPECT_EQ(ReadPlainSettings(base.Lookup())->Radius, 700);

    // The organisation's file beside the program's, and files for all users.
    const QString orgFile = tmp.Path() + "/Korvane Systems.conf";
    WriteFile(orgFile, "[General]\nRadius=900\n");
    EXPECT_FALSE(ReadPlainSettings(base.Lookup()).has_value());
    QFile::remove(orgFile);
    QTemporaryDir system;
    Env withSystem = base;
    withSystem.vars["XDG_CONFIG_DIRS"] = system.path().toStdString();
    EXPECT_TRUE(ReadPlainSettings(withSystem.Lookup()).has_value());
    WriteFile(system.path() + "/Korvane Systems/Grittor.conf", "[General]\nRadius=900\n");
    EXPECT_FALSE(ReadPlainSettings(withSystem.Lookup()).has_value());

    // The settings file is a folder, or cannot be read as a file.
    QFile::remove(tmp.FileName());
    QDir().mkpath(tmp.FileName());
    EXPECT_FALSE(ReadPlainSettings(base.Lookup()).has_value());
    QDir(tmp.FileName()).removeRecursively();

    // Paths the toolkit would clean up or read relative to somewhere else.
    for (const char *home : {"", "relative/home", "/home//u", "/home/u/", "/home/./u", "/home/u/.."}) {
        Env odd = base;
        odd.vars["HOME"] = home;
        EXPECT_FALSE(ReadPlainSettings(odd.Lookup()).has_value()) << home;
    }
    Env noHome = base;
    noHome.vars.erase("HOME");
    EXPECT_FALSE(ReadPlainSettings(noHome.Lookup()).has_value());
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
        Env odd = base;
        odd.vars[name] = "relative/config";
        EXPECT_FALSE(ReadPlainSettings(odd.Lookup()).has_value()) << name;
    }
    // Without XDG_CONFIG_HOME the file is looked for under HOME.
    QTemporaryDir home;
    Env homeOnly;
    homeOnly.vars["HOME"] = home.path().toStdString();
    homeOnly.vars["XDG_DATA_HOME"] = base.vars.at("XDG_DATA_HOME");
    WriteFile(home.path() + "/.config/Korvane Systems/Grittor.conf", "[General]\nRadius=1200\n");
    const auto fromHome = ReadPlainSettings(homeOnly.Lookup());
    ASSERT_TRUE(fromHome.has_value());
    EXPECT_EQ(fromHome->Radius, 1200);
    EXPECT_EQ(fromHome->Folder, home.path().toStdString() + "/.config/Korvane Systems");
}
