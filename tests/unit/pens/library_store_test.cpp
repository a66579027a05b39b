#include "pens/LibraryStore.h"

#include "TestDoubles.h"
#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "pens/MaterialLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <chrono>

using namespace grittor;

namespace {

std::string ReadAll(const std::string &path)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().toStdString();
}

void WriteAll(const std::string &path, const std::string &text)
{
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.data(), static_cast<qint64>(text.size()));
}

bool SameRecord(const TPens &a, const TPens &b)
{
    return a.blowspeed == b.blowspeed && a.border == b.border && a.CenterOffset == b.CenterOffset &&
           a.Color == b.Color && a.extra == b.extra && a.fill == b.fill && a.margin == b.margin &&
           a.Material == b.Material && a.passes == b.passes && a.pen == b.pen && a.radius == b.radius &&
           a.ScanLine == b.ScanLine && a.Times == b.Times && a.vertper == b.vertper;
}

// A library with values that only survive a round trip if nothing is rounded.
void BuildLibrary(TMaterialLibrary &lib)
{
    lib.AddMaterial("Granite");
    lib.AddMaterial("marble");
    lib.AddMaterial("\xC3\x84sthetik \"grey\" \xE8\x8A\xB1"); // UTF-8 text and a quote
    auto pen = [&lib](int material, int number) -> TPens & {
        TPens &p = lib.FindOrAddPen(material, number);
        p.SetPen(number);
        p.SetBlowSpeed(10 + number);
        p.SetCenterOffset(0.4L);
        p.SetColor(number);
        p.SetExtra(0.125L);
        p.fill = 1;
        p.SetRadius(381 + number);
        p.SetVertPer(0.1875L);
        p.SetPasses(3);
        p.SetScanLine(1200);
        p.SetTimes(2);
        p.SetMargin({0.1L, -0.1L});
        return p;
    };
    pen(0, 1);
    TPens &odd = pen(2, 10);
    odd.SetRadius(1016);
    odd.SetVertPer(1.0L / 3);
    odd.SetMargin({-9, -9}); // -2031/1016 and -1/3: not exact as doubles
    odd.SetCenterOffset(0.1L + 1e-18L);
    odd.border = 1;
    pen(0, 0).fill = 0;
    pen(2, 4);
    lib.SetSelected(2);
}

class LibraryStoreTest : public ::testing::Test {
protected:
    std::string Path() { return MaterialLibraryPath(Options().SettingsFolder()); }
    // A fresh library loaded from the file, as a new run of the program has.
    void Reload()
    {
        store.reset();
        owned = std::make_unique<TMaterialLibrary>();
        owned->SetSelected(5); // whatever was selected before does not survive
        store = std::make_unique<TLibraryStore>(*owned, Path());
        store->Load();
    }
    TMaterialLibrary &Lib() { return *owned; }

    test::TempSettings settings;
    test::ScriptedDialogs dialogs;
    std::unique_ptr<TMaterialLibrary> owned = std::make_unique<TMaterialLibrary>();
    std::unique_ptr<TLibraryStore> store = std::make_unique<TLibraryStore>(*owned, Path());
};

} // namespace

TEST_F(LibraryStoreTest, SavedLibraryComesBackIdenticalInANewSettingsObject)
{
    EXPECT_TRUE(Lib().MaterialNames().empty());
    EXPECT_EQ(store->TakeLoadProblem(), "");
    BuildLibrary(Lib());
    const std::vector<std::string> names = Lib().MaterialNames();
    std::vector<TPens> records;
    for (const auto &p : Lib().PenTable())
        records.push_back(*p);

    std::string error;
    ASSERT_EQ(store->Save(error), LibrarySaveResult::Written) << error;
    EXPECT_EQ(QFileInfo(QString::fromStdString(Path())).absolutePath().toStdString(), Options().SettingsFolder());
    // Only the library and the settings file: no temporary file left behind.
    const QStringList left = QDir(QString::fromStdString(Options().SettingsFolder())).entryList(QDir::Files);
    EXPECT_TRUE(left.contains("Grittor Materials.json")) << left.join(",").toStdString();
    for (const QString &f : left)
        EXPECT_TRUE(f == "Grittor Materials.json" || f.endsWith(".conf")) << f.toStdString();
    const std::string text = ReadAll(Path());
    EXPECT_NE(text.find("\"name\": \"Granite\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"CenterOffset\": 0.4"), std::string::npos) << text;
    EXPECT_NE(text.find("\"radius\": 382"), std::string::npos) << text;

    Reload();
    EXPECT_EQ(store->TakeLoadProblem(), "");
    EXPECT_EQ(Lib().MaterialNames(), names);
    EXPECT_EQ(Lib().Selected(), 2);
    ASSERT_EQ(Lib().PenTable().size(), records.size());
    // Records keep their order within a material.
    for (int m = 0; m < 3; ++m) {
        std::vector<const TPens *> before;
        for (const TPens &r : records)
            if (r.Material == m)
                before.push_back(&r);
        const std::vector<TPens *> after = Lib().PensOfMaterial(m);
        ASSERT_EQ(after.size(), before.size()) << "material " << m;
        for (size_t i = 0; i < after.size(); ++i)
            EXPECT_TRUE(SameRecord(*after[i], *before[i])) << "material " << m << " record " << i;
    }
}

TEST_F(LibraryStoreTest, UnparsableFileIsKeptCopiedReportedOnceAndNotOverwritten)
{
    const std::string broken = "{ \"materials\": [ { \"name\": \"Granite\", \"pens\": [ { \"pen\": 1, ";
    WriteAll(Path(), broken);
    Reload();
    EXPECT_TRUE(Lib().MaterialNames().empty());
    EXPECT_TRUE(Lib().PenTable().empty());
    EXPECT_EQ(Lib().Selected(), -1);
    const std::string problem = store->TakeLoadProblem();
    EXPECT_NE(problem.find(Path()), std::string::npos) << problem;
    EXPECT_NE(problem.find(Path() + ".bad"), std::string::npos) << problem;
    EXPECT_NE(problem.find("not valid JSON"), std::string::npos) << problem;
    EXPECT_EQ(store->TakeLoadProblem(), ""); // once only
    EXPECT_EQ(ReadAll(Path() + ".bad"), broken);
    EXPECT_EQ(ReadAll(Path()), broken);
    EXPECT_NE(ReadAll(LogOutput().FullPath()).find("Material library not loaded from \"" + Path() + "\""),
              std::string::npos);

    // Nothing to save: the file is left alone without a question.
    std::string error;
    EXPECT_EQ(store->Save(error), LibrarySaveResult::Kept);
    EXPECT_TRUE(dialogs.confirmations.empty());

    // A library built in this run replaces it only when the operator agrees.
    Lib().AddMaterial("Slate");
    EXPECT_EQ(store->Save(error), LibrarySaveResult::Kept); // the scripted answer is No
    ASSERT_EQ(dialogs.confirmations.size(), 1u);
    EXPECT_NE(dialogs.confirmations[0].find("current library of 1 material and 0 pens?"), std::string::npos)
        << dialogs.confirmations[0];
    EXPECT_EQ(ReadAll(Path()), broken);

    dialogs.answers.push_back(true);
    EXPECT_EQ(store->Save(error), LibrarySaveResult::Written);
    EXPECT_EQ(ReadAll(Path() + ".bad"), broken);
    TLibrarySnapshot back;
    ASSERT_TRUE(ReadLibraryFile(Path(), back, error)) << error;
    EXPECT_EQ(back.Materials, std::vector<std::string>{"Slate"});
    // From now on the file is the program's own again.
    EXPECT_EQ(store->Save(error), LibrarySaveResult::Written);
    EXPECT_EQ(dialogs.confirmations.size(), 2u);
}

TEST_F(LibraryStoreTest, UnreadableFileIsReportedAndProtected)
{
    // A folder where the file should be cannot be read, copied or replaced.
    QDir().mkpath(QString::fromStdString(Path()));
    Reload();
    EXPECT_TRUE(Lib().MaterialNames().empty());
    const std::string problem = store->TakeLoadProblem();
    EXPECT_NE(problem.find("cannot be read"), std::string::npos) << problem;
    EXPECT_NE(problem.find("no copy could be made"), std::string::npos) << problem;
    Lib().AddMaterial("Slate");
    dialogs.answers.push_back(true);
    std::string error;
    EXPECT_EQ(store->Save(error), LibrarySaveResult::Failed);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(QFileInfo(QString::fromStdString(Path())).isDir());
}

TEST_F(LibraryStoreTest, ValuesFromTheFileGoThroughTheSetters)
{
    WriteAll(Path(), R"({
  "materials": [
    { "name": "Edited", "pens": [
      { "pen": 12, "blowspeed": 99, "border": true, "CenterOffset": 0.05, "Color": 30, "extra": 7,
        "fill": 0, "radius": 100, "vertper": 0.01, "passes": 40, "ScanLine": 99999, "Times": 50,
        "margin": { "x": -9, "y": -9 } },
      { "pen": "3", "blowspeed": -5, "border": 0, "CenterOffset": "1e5", "Color": 2, "extra": "-1",
        "fill": true, "radius": 1e12, "vertper": 9, "passes": 3, "ScanLine": 0, "Times": 0,
        "margin": { "x": "5", "y": 5 } }
    ] },
    { "name": "Empty" }
  ],
  "selectedMaterial": 7
})");
    Reload();
    ASSERT_EQ(store->TakeLoadProblem(), "");
    ASSERT_EQ(Lib().MaterialNames(), (std::vector<std::string>{"Edited", "Empty"}));
    EXPECT_EQ(Lib().Selected(), 0); // out of range: the first material
    const TPens *a = Lib().FindPen(0, 10);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->blowspeed, 25);
    EXPECT_EQ(a->border, 1);
    EXPECT_EQ(a->CenterOffset, 0.4L);
    EXPECT_EQ(a->Color, 17);
    EXPECT_EQ(a->extra, 4.0L);
    EXPECT_EQ(a->fill, 0);
    EXPECT_EQ(a->radius, 381);
    EXPECT_EQ(a->vertper, 0.1875L);
    EXPECT_EQ(a->passes, 30);
    EXPECT_EQ(a->ScanLine, 4064);
    EXPECT_EQ(a->Times, 30);
    EXPECT_EQ(a->margin.x, -761.0L / 1016);
    EXPECT_EQ(a->margin.y, -0.1875L);
    const TPens *b = Lib().FindPen(0, 3);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->blowspeed, 1);
    EXPECT_EQ(b->border, 0);
    EXPECT_EQ(b->CenterOffset, 1.0L);
    EXPECT_EQ(b->extra, 0);
    EXPECT_EQ(b->radius, 2032);
    EXPECT_EQ(b->vertper, 4.0L);
    EXPECT_EQ(b->ScanLine, 381);
    EXPECT_EQ(b->Times, 1);
    EXPECT_EQ(b->margin.x, 4063.0L / 1016);
    EXPECT_EQ(b->margin.y, 4063.0L / 1016);
    EXPECT_EQ(Lib().CountPensOfMaterial(1), 0);
}

TEST_F(LibraryStoreTest, PenNumbersClampedOntoEachOtherMakeOneRecord)
{
    WriteAll(Path(), R"({"materials": [ { "name": "M", "pens": [
      { "pen": 10, "blowspeed": 5, "border": false, "CenterOffset": 0.4, "Color": 1, "extra": 0, "fill": true,
        "radius": 381, "vertper": 0.2, "passes": 1, "ScanLine": 1200, "Times": 1, "margin": {"x": 0, "y": 0} },
      { "pen": 14, "blowspeed": 7, "border": false, "CenterOffset": 0.4, "Color": 1, "extra": 0, "fill": true,
        "radius": 381, "vertper": 0.2, "passes": 1, "ScanLine": 1200, "Times": 1, "margin": {"x": 0, "y": 0} }
    ] } ] })");
    Reload();
    ASSERT_EQ(store->TakeLoadProblem(), "");
    EXPECT_EQ(Lib().PenTable().size(), 1u);
    EXPECT_EQ(Lib().FindPen(0, 10)->blowspeed, 7);
}

TEST_F(LibraryStoreTest, MalformedLibrariesAreRefusedWithTheReason)
{
    const std::string pen = R"({ "pen": 1, "blowspeed": 5, "border": false, "CenterOffset": 0.4, "Color": 1,
        "extra": 0, "fill": true, "radius": 381, "vertper": 0.2, "passes": 1, "ScanLine": 1200, "Times": 1,
        "margin": {"x": 0, "y": 0} })";
    struct Case {
        std::string json, reason;
    } cases[] = {
        {"", "not valid JSON"},
        {"[1, 2]", "does not hold a JSON object"},
        {"{}", "\"materials\" is missing"},
        {R"({"format": "something else", "materials": []})", "\"format\""},
        {R"({"version": 2, "materials": []})", "newer version"},
        {R"({"materials": [ {"name": "A"}, {"name": "A"} ]})", "\"A\" appears twice"},
        {R"({"materials": [ {"name": ""} ]})", "material 1: \"name\" is missing or empty"},
        {R"({"materials": [ {"pens": []} ]})", "material 1: \"name\""},
        {R"({"materials": [ {"name": "A", "pens": {}} ]})", "\"pens\" is not a list"},
        {R"({"materials": [ {"name": "A", "pens": [ 5 ]} ]})", "pen record 1 is not an object"},
        {R"({"materials": [ {"name": "A", "pens": [ )" + pen + ", { \"pen\": 2 } ]} ]}",
         "material \"A\", pen record 2: \"blowspeed\" is missing"},
        {R"({"materials": [ {"name": "A", "pens": [ { "pen": 1.5 } ]} ]})", "\"pen\" is missing or not a whole number"},
        {R"({"materials": [ {"name": "A", "pens": [ { "pen": 1, "blowspeed": 2, "border": "yes" } ]} ]})",
         "\"border\" is missing or not true or false"},
        {R"({"materials": [ {"name": "A", "pens": [ )" + pen.substr(0, pen.find("\"margin\"")) + "\"margin\": 3 }]}]}",
         "\"margin\" is missing"},
    };
    for (const Case &c : cases) {
        TLibrarySnapshot snap;
        std::string error;
        EXPECT_FALSE(LibraryFromJson(c.json, snap, error)) << c.json;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.json << "\n -> " << error;
        EXPECT_TRUE(snap.Materials.empty());
        EXPECT_TRUE(snap.PenTable.empty());
    }
    TLibrarySnapshot ok;
    std::string error;
    EXPECT_TRUE(LibraryFromJson(R"({"materials": [ {"name": "A", "pens": [ )" + pen + " ]} ]}", ok, error)) << error;
    EXPECT_EQ(ok.PenCount(), 1);
    EXPECT_EQ(ok.Selected, 0);
}

TEST_F(LibraryStoreTest, ExportThenImportGivesTheSameLibrary)
{
    BuildLibrary(Lib());
    const std::string before = LibraryToJson(Lib());
    const std::string file = settings.Path().toStdString() + "/out/exported.json";
    std::string error;
    ASSERT_TRUE(store->Export(file, error)) << error;

    Lib().Clear();
    TLibrarySnapshot snap;
    ASSERT_TRUE(ReadLibraryFile(file, snap, error)) << error;
    EXPECT_EQ(snap.Materials.size(), 3u);
    EXPECT_EQ(snap.PenCount(), 4);
    InstallLibrary(Lib(), std::move(snap));
    EXPECT_EQ(LibraryToJson(Lib()), before);
    EXPECT_EQ(Lib().Selected(), 2);

    EXPECT_FALSE(ReadLibraryFile(file + ".missing", snap, error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos) << error;
    EXPECT_EQ(DescribeLibrarySize(1, 1), "1 material and 1 pen");
    EXPECT_EQ(DescribeLibrarySize(0, 2), "0 materials and 2 pens");
}

TEST_F(LibraryStoreTest, NamesAreUtf8FromTheFileAndOldFilesReadTheSame)
{
    // Two Chinese names both became "??" through Latin-1, and the library
    // was then refused for a duplicate name.
    const std::string granite = "\xE8\x8A\xB1\xE5\xB2\x97\xE5\xB2\xA9", marble = "\xE5\xA4\xA7\xE7\x90\x86\xE7\x9F\xB3";
    const std::string etching = "Glas-\xC3\x84tzung";
    for (const std::string &name : {granite, marble, etching})
        ASSERT_GE(Lib().AddMaterial(name), 0);
    std::string error;
    ASSERT_EQ(store->Save(error), LibrarySaveResult::Written) << error;
    EXPECT_NE(ReadAll(Path()).find("\"" + granite + "\""), std::string::npos); // the characters, readable
    Reload();
    ASSERT_EQ(store->TakeLoadProblem(), "");
    EXPECT_EQ(Lib().MaterialNames(), (std::vector<std::string>{granite, marble, etching}));

    // A file written before held the characters themselves (Latin-1 ones
    // only) or escapes of them: the same names come back, as UTF-8.
    WriteAll(Path(), "{\"format\": \"Grittor material library\", \"version\": 1, \"materials\": ["
                     "{\"name\": \"Glas-\xC3\x84tzung\"}, {\"name\": \"Gr\\u00fcn \\u82b1 \\ud83d\\ude00\"}]}");
    Reload();
    ASSERT_EQ(store->TakeLoadProblem(), "");
    EXPECT_EQ(Lib().MaterialNames(),
              (std::vector<std::string>{etching, "Gr\xC3\xBCn \xE8\x8A\xB1 \xF0\x9F\x98\x80"}));
    EXPECT_EQ(Lib().FindMaterial(etching), 0); // as typed on a UTF-8 command line
}

TEST_F(LibraryStoreTest, LoadingTakesTimeInProportionToTheFile)
{
    // 10,000 materials of 11 pens took 7 to 12 s (every name and every pen
    // record was compared with all before it), 20,000 took 39 s.
    auto library = [](int materials) {
        std::string json = "{\"format\": \"Grittor material library\", \"version\": 1, \"materials\": [";
        for (int m = 0; m < materials; ++m) {
            json += (m ? ",{\"name\": \"M" : "{\"name\": \"M") + std::to_string(m) + "\", \"pens\": [";
            for (int p = 0; p <= 10; ++p)
                json += (p ? "," : "") + std::string("{\"pen\": ") + std::to_string(p) +
                        ", \"blowspeed\": 12, \"border\": false, \"fill\": true, \"Color\": 3, \"radius\": 381, "
                        "\"ScanLine\": 1200, \"vertper\": 0.25, \"CenterOffset\": 0.4, \"extra\": 0.5, "
                        "\"passes\": 3, \"Times\": 1, \"margin\": {\"x\": 0, \"y\": 0}}";
            json += "]}";
        }
        return json + "]}";
    };
    const std::string big = library(20000);
    const auto t0 = std::chrono::steady_clock::now();
    TLibrarySnapshot snap;
    std::string error;
    ASSERT_TRUE(LibraryFromJson(big, snap, error)) << error;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(snap.Materials.size(), 20000u);
    EXPECT_EQ(snap.PenCount(), 220000);
    EXPECT_EQ(snap.PenTable.back()->Material, 19999);
    EXPECT_LT(seconds, 5.0) << big.size() << " bytes";
    // The checks that needed those comparisons still hold.
    const std::string twice = "{\"materials\": [{\"name\": \"M1\"}, {\"name\": \"M2\"}, {\"name\": \"M1\"}]}";
    EXPECT_FALSE(LibraryFromJson(twice, snap, error));
    EXPECT_NE(error.find("\"M1\" appears twice"), std::string::npos) << error;
}

TEST_F(LibraryStoreTest, TheReaderTakesStrictJsonOnly)
{
    struct Case {
        std::string json, reason;
    } cases[] = {
        {"{\"materials\": []", "'}' is missing"},
        {"{\"materials\": [],}", "a member name is missing"},
        {"{\"materials\": [01]}", "',' or ']' expected"},
        {"{\"materials\": [\"a\tb\"]}", "control character"},
        {"{\"materials\": [\"\\x\"]}", "unknown escape"},
        {"{\"materials\": [tru]}", "unknown word"},
        {"{\"materials\": []} x", "garbage at the end"},
        {std::string(300, '[') + std::string(300, ']'), "nested too deeply"},
    };
    for (const Case &c : cases) {
        TLibrarySnapshot snap;
        std::string error;
        EXPECT_FALSE(LibraryFromJson(c.json, snap, error)) << c.json;
        EXPECT_EQ(error.rfind("not valid JSON at character ", 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.json << " -> " << error;
    }
    // Blanks anywhere between tokens, numbers in every form, the last of a
    // repeated name.
    TLibrarySnapshot snap;
    std::string error;
    ASSERT_TRUE(LibraryFromJson(" \r\n{ \"selectedMaterial\" : 0 , \"materials\" :[{\"name\":\"A\"},{\"name\":\"B\"}],"
                                "\"selectedMaterial\": 1.0e0 }\t",
                                snap, error))
        << error;
    EXPECT_EQ(snap.Selected, 1);
}
