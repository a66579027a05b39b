// grittor-cli plot and job, run as the operator would run them: a separate
// process with its settings, data and log in a temporary folder.
#include "GeometryTestSupport.h"
#include "TestDoubles.h"
#include "foundation/option.h"
#include "pens/LibraryStore.h"
#include "pens/TPens.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

using namespace grittor;
using namespace grittor::test;

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string CliPath()
{
    return GRITTOR_CLI_PATH;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::string Path(const std::string &name) const { return dir.path().toStdString() + "/" + name; }

    std::string Write(const std::string &name, const std::string &text) const
    {
        std::ofstream f(Path(name), std::ios::binary | std::ios::trunc);
        f << text;
        return Path(name);
    }

    Result Run(const std::vector<std::string> &args) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.insert("XDG_DATA_HOME", dir.path() + "/data");
        env.insert("GRITTOR_LOG_DIR", dir.path());
        p.setProcessEnvironment(env);
        QStringList list;
        for (const auto &a : args)
            list << QString::fromStdString(a);
        p.start(QString::fromStdString(CliPath()), list);
        EXPECT_TRUE(p.waitForFinished(60000));
        Result r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput().toStdString();
        r.err = p.readAllStandardError().toStdString();
        return r;
    }

    // A material library file with the given pen records in material 0.
    std::string Library(const std::string &material, const std::vector<PenSpec> &pens) const
    {
        TMaterialLibrary lib;
        lib.AddMaterial(material);
        for (const PenSpec &s : pens) {
            auto rec = std::make_unique<TPens>();
            rec->SetPen(s.pen);
            rec->SetBlowSpeed(s.blowspeed);
            rec->border = s.border ? 1 : 0;
            rec->SetCenterOffset(s.centerOffset);
            rec->SetExtra(s.extra);
            rec->fill = 1;
            rec->Material = 0;
            rec->SetRadius(s.radius);
            rec->SetVertPer(0.5L);
            rec->SetPasses(s.passes);
            rec->SetScanLine(1200);
            rec->SetTimes(s.times);
            rec->SetMargin({0, 0});
            lib.FindOrAddPen(0, s.pen).AssignValues(*rec);
        }
        lib.SetSelected(0);
        return Write("library.json", LibraryToJson(lib));
    }

    QTemporaryDir dir;
};

const char *const Square = "IN;SP1;PU1016,0;PD2032,0,2032,1016,1016,1016,1016,0;PU;";

} // namespace

TEST_F(CliTest, PlotSendsEveryPenGroupPlacedAtTheOrigin)
{
    // Pen 2 sits inside pen 1; both keep their places relative to each other.
    const std::string plot =
        Write("two.plt", "IN;SP2;PU1516,300;PD1716,300,1716,500,1516,300;SP1;PU1016,0;PD2032,0,2032,1016,1016,0;");
    const Result r = Run({"plot", plot, "--origin", "100,200"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "papu100,200\r\npapd1116,200\r\npapd1116,1216\r\npapd100,200\r\n;\r\n"
                     "papu600,500\r\npapd800,500\r\npapd800,700\r\npapd600,500\r\n;\r\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, JobWithALibraryMaterial)
{
    const std::string lib = Library(
        "Granite",
        {{.pen = 1, .passes = 2, .times = 2, .radius = 762, .blowspeed = 20, .centerOffset = 0.5L, .extra = 1}});
    const std::string plot = Write("square.plt", Square);
    const Result r = Run({"job", plot, "--reference", "5000,4000", "--skew", "6016,4000", "--library", lib,
                          "--material", "Granite", "--speed", "12"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Ref (0, 0): the job is written relative to the job position.
    EXPECT_EQ(r.out, "papu0,0;\r\nvs20;\r\nbp762,0.50,1.00,0\r\n"
                     "papu 0,0\r\npapd1016,0\r\npapd1016,1016\r\npapd0,1016\r\npapd0,0\r\n\r\n"
                     "papu135,135\r\npapd135,1151\r\npapd1151,1151\r\npapd1151,135\r\npapd135,135\r\n\r\n"
                     "pa0,0,0,0,0,0;\r\n;");
    EXPECT_EQ(r.err, "position 1952,952\n"); // minus the laser pointer offset (3048, 3048)
    EXPECT_EQ(ReadFile(Path("data/Korvane/Grittor/blowpattern.xls")).substr(0, 13), "0\t0\r\n1016\t0\r\n");

    // Without --material no record applies: the settings' defaults and the
    // machine speed.
    const Result d = Run({"job", plot, "--reference", "5000,4000", "--skew", "6016,4000", "--library", lib});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(Lines(d.out)[1], "vs10;");
    EXPECT_EQ(Lines(d.out)[2], "bp381,0.40,0.00,0");
}

TEST_F(CliTest, JobTurnsWithTheSkewPoint)
{
    const std::string plot = Write("square.plt", Square);
    // Skew straight above the reference: a quarter turn.
    const Result r = Run({"job", plot, "--reference", "0,0", "--skew", "0,5000"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    EXPECT_EQ(lines[3], "papu 0,0");
    EXPECT_EQ(lines[4], "papd0,1016");
    EXPECT_EQ(lines[5], "papd-1016,1016");
}

TEST_F(CliTest, BorderSendsTheBorderPenOnly)
{
    const std::string lib = Library("Granite", {{.pen = 4, .border = true}, {.pen = 1, .passes = 3, .times = 1}});
    const std::string plot =
        Write("framed.plt", "IN;SP4;PU0,0;PD3000,0,3000,2000,0,2000,0,0;SP1;PU500,500;PD900,500,900,900,500,500;");
    const Result b = Run({"job", plot, "--reference", "7000,8000", "--skew", "9000,8000", "--library", lib,
                          "--material", "Granite", "--border"});
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(b.out, "papu0,0;\r\npapu0,0\r\npapd3000,0\r\npapd3000,2000\r\npapd0,2000\r\npapd0,0\r\npapu0,0;\r\n");
    EXPECT_EQ(b.err, "position 7000,8000\n"); // no laser pointer offset for the border

    // The job leaves the border pen out.
    const Result j = Run(
        {"job", plot, "--reference", "7000,8000", "--skew", "9000,8000", "--library", lib, "--material", "Granite"});
    ASSERT_EQ(j.status, 0) << j.err;
    EXPECT_EQ(j.out.find("papd3000,0"), std::string::npos);
    EXPECT_NE(j.out.find("papu 500,500\r\n"), std::string::npos);
}

TEST_F(CliTest, RefusalsGiveOneLineAndStatusTwo)
{
    const std::string square = Write("square.plt", Square);
    const std::string lib = Library("Granite", {{.pen = 1, .passes = 1}});
    struct Case {
        std::vector<std::string> args;
        std::string needle;
    };
    const std::vector<Case> cases = {
        {{"job", square, "--reference", "0,0", "--skew", "1,0", "--library", lib, "--material", "Basalt"},
         "unknown material 'Basalt'"},
        {{"job", square, "--reference", "0,0", "--skew", "1,0", "--border"}, "There is no border pen in the plot file"},
        {{"plot", Write("empty.plt", "IN;PU100,100;PD100,100;"), "--origin", "0,0"}, "no pen groups"},
        {{"job", Write("blank.plt", "IN;"), "--reference", "0,0", "--skew", "1,0"}, "blank.plt: no drawing"},
        {{"plot", square, "--origin", "1.5,2"}, "--origin"},
        {{"job", square, "--reference", "0,0", "--skew", "1,0", "--speed", "-5"},
         "--speed -5: the speed must be at least 1"},
        {{"job", square, "--reference", "0,0", "--skew", "1,0", "--speed", "0"}, "--speed 0: the speed must be"},
        {{"job", square, "--reference", "0,0"}, "usage"},
        {{"job", square, "--reference", "0,0", "--skew", "1,0", "--library", Path("missing.json")}, "missing.json"},
        {{"plot", Path("nofile.plt"), "--origin", "0,0"}, "nofile.plt"},
    };
    for (const Case &c : cases) {
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, 2) << c.needle;
        EXPECT_EQ(r.out, "") << c.needle;
        EXPECT_NE(r.err.find(c.needle), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST_F(CliTest, AMaterialIsChosenByItsNameAsTyped)
{
    // "Glas-Ätzung" on a UTF-8 command line did not match the name read
    // through Latin-1.
    const std::string square = Write("square.plt", Square);
    const std::string lib = Library("Glas-\xC3\x84tzung", {{.pen = 1, .passes = 2}});
    const Result r = Run({"job", square, "--reference", "0,0", "--skew", "1000,0", "--library", lib, "--material",
                          "Glas-\xC3\x84tzung"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("papd"), std::string::npos);
    // The reason is named when the library itself cannot be read.
    const std::string broken = Write("broken.json", "{\"materials\": [");
    const Result bad = Run({"job", square, "--reference", "0,0", "--skew", "1000,0", "--library", broken,
                            "--material", "Glas-\xC3\x84tzung"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("unknown material 'Glas-\xC3\x84tzung': cannot read the material library " + broken +
                           ": not valid JSON at character "),
              std::string::npos)
        << bad.err;
}
