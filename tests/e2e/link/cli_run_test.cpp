// grittor-cli run against grittor-sim: a job blasted without the window,
// byte for byte what `grittor-cli job` writes for the same points, placed by
// two or three points; refused points, Ctrl-C and a lost line.
#include "CliRunner.h"

#include "geometry/Placement.h"

#include <cmath>
#include <csignal>
#include <regex>

using namespace grittor;
using namespace grittor::test;

namespace {

// An L-shaped outline and a small square; no border pen.
const char *const Plot = "IN;SP1;PU1000,500;PD9000,500,9000,2500,3000,2500,3000,6500,1000,6500,1000,500;"
                         "SP2;PU5000,4000;PD6000,4000,6000,5000,5000,5000,5000,4000;PU;";

class CliRun : public SimFixture {
protected:
    void StartSim(std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {"--record", Path("record.bin"), "--time-scale", "0.001", "--eol", "crlf"};
        if (std::find(extra.begin(), extra.end(), "--baud") == extra.end())
            args.insert(args.end(), {"--baud", "0"});
        args.insert(args.end(), extra.begin(), extra.end());
        std::string error;
        ASSERT_TRUE(sim.Start(args, error)) << error;
        dev = QString::fromStdString(sim.DevicePath());
    }
    QString File(const std::string &name, const std::string &content)
    {
        std::ofstream f(Path(name), std::ios::binary | std::ios::trunc);
        f << content;
        return QString::fromStdString(Path(name));
    }
    QStringList Run(const QString &plot, const QString &ref, const QString &skew) const
    {
        return {"run", plot, "--port", dev, "--reference", ref, "--skew", skew};
    }
    QString dev;
};

std::vector<std::pair<long, long>> Points(const std::string &bytes)
{
    std::vector<std::pair<long, long>> out;
    static const std::regex move(R"(pap[ud](-?\d+),(-?\d+))");
    for (auto it = std::sregex_iterator(bytes.begin(), bytes.end(), move); it != std::sregex_iterator(); ++it)
        out.emplace_back(std::stol((*it)[1]), std::stol((*it)[2]));
    return out;
}

} // namespace

TEST_F(CliRun, TwoPointsSendWhatTheJobCommandWritesAndEndWithDoneOnceTheMachineIsIdle)
{
    StartSim();
    const QString plot = File("plot.plt", Plot);
    const CliResult job = RunCli({"job", plot, "--reference", "20000,3000", "--skew", "29000,8196"});
    ASSERT_EQ(job.exitCode, 0) << job.err;
    ASSERT_FALSE(job.out.empty());

    const CliResult r = RunCli(Run(plot, "20000,3000", "29000,8196"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "done\n");
    const std::string rec = Recorded();
    // The position less the laser pointer's offset, the two speed reads,
    // then the job text exactly as `job` writes it, then the wait.
    const size_t pos = rec.find("\x1b.wposition;16952;-48:");
    ASSERT_NE(pos, std::string::npos) << rec.substr(0, 200);
    const size_t text = rec.find(job.out, pos);
    ASSERT_NE(text, std::string::npos) << "the job on the line differs from grittor-cli job";
    EXPECT_NE(rec.find("\x1b.vdownspeed:\r\x1b.vupspeed:\r", pos), std::string::npos);
    EXPECT_EQ(rec.substr(text + job.out.size()), "\rwa;\r") << "the job's end, then the wait";
    EXPECT_NE(Stats().find("idle=1"), std::string::npos);
}

TEST_F(CliRun, AThirdPointFitsTurnAndScale)
{
    StartSim();
    const QString plot = File("plot.plt", Plot);
    // The plot turned by 90 degrees and 1.5 % larger.  The drawing's
    // reference is its lowest vertex (1000,500), the skew point the lowest
    // one furthest right (9000,500), the stretch point the last vertex
    // reached going up and right from them (9000,2500).
    const long double s = 1.015L;
    auto placed = [&](long double x, long double y) {
        // (dx, dy) turned by 90 degrees is (-dy, dx).
        return std::pair<long, long>{std::lround(20000 - s * (y - 500)), std::lround(3000 + s * (x - 1000))};
    };
    auto arg = [](std::pair<long, long> p) { return QString("%1,%2").arg(p.first).arg(p.second); };
    QStringList args = Run(plot, arg(placed(1000, 500)), arg(placed(9000, 500)));
    args << "--stretch" << arg(placed(9000, 2500));
    const CliResult r = RunCli(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "done\n");
    const std::string rec = Recorded();
    const size_t job = rec.find("papu0,0;\r\n");
    ASSERT_NE(job, std::string::npos);
    // Three points place the plot in machine coordinates: the job position
    // is the machine's origin less the laser pointer's offset.
    EXPECT_NE(rec.find("\x1b.wposition;-3048;-3048:"), std::string::npos);
    const auto got = Points(rec.substr(job));
    for (const auto &[x, y] : {std::pair{1000, 500}, {9000, 500}, {9000, 2500}, {3000, 2500}, {3000, 6500}, {1000, 6500},
                               {5000, 4000}, {6000, 5000}}) {
        const auto want = placed(x, y);
        bool found = false;
        for (const auto &p : got)
            found |= std::abs(p.first - want.first) <= 2 && std::abs(p.second - want.second) <= 2;
        EXPECT_TRUE(found) << "(" << x << "," << y << ") should land at " << want.first << "," << want.second << "\n"
                           << rec.substr(job, 400);
    }
}

TEST_F(CliRun, PointsThatCannotPlaceThePlotAreRefusedBeforeAnythingIsSent)
{
    StartSim();
    const QString plot = File("plot.plt", Plot);
    struct Case {
        QStringList extra;
        const char *says;
    } cases[] = {
        {{"--reference", "20000,3000", "--skew", "20050,3000"}, "0.05 inch apart"},
        {{"--reference", "20000,3000", "--skew", "29000,3000", "--stretch", "38000,3000"}, "scale"}, // on one line
        {{"--reference", "20000,3000", "--skew", "29000,3000", "--stretch", "20000,30000"}, "scale"},
    };
    for (const Case &c : cases) {
        QStringList args = {"run", plot, "--port", dev};
        args << c.extra;
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(Points(Recorded()).size(), 0u) << "nothing of a job reached the machine";
    EXPECT_EQ(Recorded().find("wposition"), std::string::npos);
}

TEST_F(CliRun, CtrlCStopsTheJobOnTheMachine)
{
    StartSim({"--baud", "38400"});
    // About 100 KB of job: half a minute at 38400 baud.
    std::string big = "IN;SP1;";
    for (int i = 0; i < 4000; ++i)
        big += "PU" + std::to_string(1000 + i * 2) + ",1000;PD" + std::to_string(1000 + i * 2) + ",9000;";
    const QString plot = File("big.plt", big);
    qint64 pid = 0;
    int64_t interruptedAt = 0;
    const CliResult r = RunCli(Run(plot, "20000,3000", "29000,3000"), 30000,
                               [&] {
                                   if (!interruptedAt && Recorded().find("papd") != std::string::npos &&
                                       Recorded().size() > 3000) {
                                       ::kill(static_cast<pid_t>(pid), SIGINT);
                                       interruptedAt = MonoMs();
                                   }
                               },
                               dir.path().toStdString(), &pid);
    ASSERT_NE(interruptedAt, 0) << r.err;
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cancelling the job on the machine"), std::string::npos) << r.err;
    EXPECT_LT(MonoMs() - interruptedAt, 5000) << ReadFile(Path("grittor-cli.log"));
    // The rest of the job was dropped, not sent before the pause.
    const CliResult whole = RunCli({"job", plot, "--reference", "20000,3000", "--skew", "29000,3000"});
    ASSERT_EQ(whole.exitCode, 0);
    EXPECT_LT(Points(Recorded()).size() * 2, Points(whole.out).size());
    const std::string rec = Recorded();
    const size_t pause = rec.rfind("\x1b.wstate;pause:\r");
    ASSERT_NE(pause, std::string::npos);
    EXPECT_EQ(rec.substr(pause), "\x1b.wstate;pause:\r\x1b.k:\r\x1b.wstate;ready:\r") << "nothing of the job after it";
}

TEST_F(CliRun, ALostLineEndsWithTheBytesSent)
{
    StartSim({"--baud", "9600"});
    std::string big = "IN;SP1;";
    for (int i = 0; i < 400; ++i)
        big += "PU" + std::to_string(1000 + i * 20) + ",1000;PD" + std::to_string(1000 + i * 20) + ",9000;";
    const QString plot = File("big.plt", big);
    int64_t hungUpAt = 0;
    const CliResult r = RunCli(Run(plot, "20000,3000", "29000,3000"), 30000, [&] {
        if (!hungUpAt && Recorded().size() > 3000) {
            sim.Command("fault hangup");
            hungUpAt = MonoMs();
        }
    });
    ASSERT_NE(hungUpAt, 0);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(std::regex_search(r.err, std::regex(R"(job not completed: [0-9,]+ of [0-9,]+ bytes sent)"))) << r.err;
    EXPECT_LT(MonoMs() - hungUpAt, 5000);
}
