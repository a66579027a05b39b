// grittor-cli on plots whose reading stops early, on paths that are no
// plot files, and on output names that are not valid UTF-8.  The command
// is started with its arguments as raw bytes (a QString would re-encode
// them).
#include "HpglTestUtil.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace grittor;
using namespace grittor::test;

namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

class ReaderCli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    std::string Path(const std::string &name) const { return dir_.path().toStdString() + "/" + name; }

    std::string Write(const std::string &name, const std::string &text) const
    {
        std::ofstream(Path(name), std::ios::binary) << text;
        return Path(name);
    }

    static std::string Slurp(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    CliRun Cli(const std::vector<std::string> &args) const
    {
        const std::string out = Path(".stdout"), err = Path(".stderr");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        // Settings, data and log in the temporary folder, never the user's.
        std::vector<std::string> env = {"HOME=" + dir_.path().toStdString(), "XDG_CONFIG_HOME=" + Path("config"),
                                        "XDG_DATA_HOME=" + Path("data"),     "XDG_STATE_HOME=" + Path("state"),
                                        "GRITTOR_LOG_DIR=" + Path("logs"),   "QT_QPA_PLATFORM=offscreen"};
        if (const char *p = std::getenv("PATH"))
            env.push_back(std::string("PATH=") + p);
        std::vector<char *> envp, argv;
        for (auto &e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string cli = GRITTOR_CLI_PATH;
        std::vector<std::string> copy = args;
        argv.push_back(cli.data());
        for (auto &a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        CliRun r;
        if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        r.out = Slurp(out);
        r.err = Slurp(err);
        return r;
    }

    // The names in the folder, dot files left out.
    std::vector<std::string> Listing() const
    {
        std::vector<std::string> names;
        if (DIR *d = ::opendir(dir_.path().toStdString().c_str())) {
            while (dirent *e = ::readdir(d))
                if (e->d_name[0] != '.')
                    names.emplace_back(e->d_name);
            ::closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    QTemporaryDir dir_;
};

// A square, then more than 100 unrecognised instructions, then a second
// square that the stopped reading never reaches.
std::string StoppingPlot()
{
    std::string text = "IN;SP1;PU0,0;PD1016,0,1016,1016,0,1016,0,0;PU;";
    for (int i = 0; i < 101; ++i)
        text += "QQ;";
    text += "SP2;PU2032,0;PD3048,0,3048,1016,2032,1016,2032,0;PU;";
    return text;
}

} // namespace

TEST_F(ReaderCli, AReadingThatStoppedEarlyIsRefusedUnlessPartialIsGiven)
{
    const std::string plot = Write("stops.plt", StoppingPlot());
    const std::string where = "reading " + plot +
                              " stopped at byte 348 of 401 (more than 100 errors): the rest of "
                              "the plot is missing";
    for (const std::vector<std::string> &args : {std::vector<std::string>{"info", plot},
                                                 {"render", plot, "-o", Path("out.png")},
                                                 {"job", plot, "--reference", "0,0", "--skew", "1000,0"},
                                                 {"plot", plot, "--origin", "0,0"}}) {
        SCOPED_TRACE(args[0]);
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("grittor-cli: " + where + "; --partial goes on with the part read\n"), std::string::npos)
            << r.err;
    }
    EXPECT_EQ(Listing(), std::vector<std::string>{"stops.plt"}); // no picture of half a plot

    // --partial anywhere among the arguments: the part read, and still said.
    const CliRun info = Cli({"info", "--partial", plot});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("pens: 1\n"), std::string::npos) << info.out;
    EXPECT_NE(info.err.find(where + "; going on with the part read (--partial)\n"), std::string::npos);
    const CliRun job = Cli({"job", plot, "--reference", "0,0", "--skew", "1000,0", "--partial"});
    EXPECT_EQ(job.status, 0) << job.err;

    // A whole plot says nothing of the kind.
    const CliRun whole = Cli({"info", Write("whole.plt", "PU0,0;PD10,0;ZZ;PU;")});
    EXPECT_EQ(whole.status, 0);
    EXPECT_EQ(whole.err.find("stopped"), std::string::npos);
}

TEST_F(ReaderCli, PathsThatAreNoPlotFilesAreRefusedAtOnce)
{
    const std::string fifo = Path("plot.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const CliRun f = Cli({"info", fifo});
    EXPECT_EQ(f.status, 2);
    EXPECT_EQ(f.err, "grittor-cli: cannot read " + fifo + ": it is a pipe, not a file\n");
    const CliRun z = Cli({"render", "/dev/zero", "-o", Path("z.png")});
    EXPECT_EQ(z.status, 2);
    EXPECT_EQ(z.err, "grittor-cli: cannot read /dev/zero: it is a device, not a file\n");
}

TEST_F(ReaderCli, RenderWritesExactlyTheNameGiven)
{
    const std::string plot = Write("p.plt", "PU0,0;PD2032,0,2032,1016,0,1016,0,0;");
    // Latin-1 bytes, invalid as UTF-8: the name used to come out with
    // replacement characters instead.
    const std::string name = "plan-\xE4\xF6\xFF.png";
    const CliRun r = Cli({"render", plot, "-o", Path(name), "--size", "100x70"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Listing(), (std::vector<std::string>{"p.plt", name}));
    EXPECT_EQ(Slurp(Path(name)).substr(0, 8), "\x89PNG\r\n\x1a\n");

    // A name that cannot be written: status 1, and nothing left behind.
    const CliRun bad = Cli({"render", plot, "-o", Path("no/such/folder/x.png")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err.rfind("grittor-cli: render: cannot write " + Path("no/such/folder/x.png") + ": ", 0), 0u);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"p.plt", name}));
    ::unlink(Path(name).c_str()); // a name the temporary folder's clean-up cannot spell
}

TEST_F(ReaderCli, TheSteelPlotsJobHasEveryPen)
{
    const std::string dir = PlotsDir();
    if (dir.empty())
        GTEST_SKIP() << "no real-world plots beside the checkout";
    // It stopped at byte 279,144 on its PC instructions: pen 8 was missing
    // from the job, and the job exited 0.
    const CliRun info = Cli({"info", dir + "/ezdxf__GB01_Stahlbau.plt"});
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("unrecognised: 0\n"), std::string::npos);
    EXPECT_NE(info.out.find("pens: 0 1 2 3 4 5 6 7 8\n"), std::string::npos) << info.out;
    EXPECT_EQ(info.err, "");
    const CliRun job = Cli({"job", dir + "/ezdxf__GB01_Stahlbau.plt", "--reference", "0,0", "--skew", "1000,0"});
    EXPECT_EQ(job.status, 0) << job.err.substr(0, 500);
}

TEST_F(ReaderCli, APlotFarOutIsPlacedByItsOwnCornersAndAnEmptyOneHasNoSize)
{
    // A one-inch square at 20,000,000 units: its extent started at 1e7,
    // so info said 9,843 inches.
    const std::string far =
        Write("far.plt", "SP1;PU20000000,20000000;PD20001016,20000000,20001016,20001016,20000000,20001016,20000000,"
                         "20000000;");
    const CliRun info = Cli({"info", far});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("min: (20000000,20000000)\nmax: (20001016,20001016)\nsize: 1.00 x 1.00 inches\n"),
              std::string::npos)
        << info.out;
    // Placed at the origin read back, the square starts there.
    const CliRun plot = Cli({"plot", far, "--origin", "1016,2032"});
    EXPECT_EQ(plot.status, 0) << plot.err;
    EXPECT_EQ(plot.out.rfind("papu1016,2032\r\npapd2032,2032\r\npapd2032,3048\r\n", 0), 0u) << plot.out;

    // No point at all: no size, and nothing to place.
    for (const std::string &text : {std::string(), std::string("IN;SP1;")}) {
        const std::string empty = Write("empty.plt", text);
        const CliRun none = Cli({"info", empty});
        EXPECT_EQ(none.status, 0);
        EXPECT_NE(none.out.find("size: no drawing\n"), std::string::npos) << none.out;
        EXPECT_EQ(none.out.find("min:"), std::string::npos) << none.out;
        const CliRun json = Cli({"info", "--json", empty});
        EXPECT_NE(json.out.find("\"min\":null,\"max\":null,\"size_inches\":null"), std::string::npos) << json.out;
        for (const char *command : {"job", "plot"}) {
            const CliRun r = std::string(command) == "job"
                                 ? Cli({"job", empty, "--reference", "0,0", "--skew", "1000,0"})
                                 : Cli({"plot", empty, "--origin", "0,0"});
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, "grittor-cli: " + std::string(command) + ": " + empty + ": no drawing\n");
        }
    }
}

TEST_F(ReaderCli, ACoordinateTheMachineCannotTakeRefusesTheJobButNotTheShowing)
{
    // 99999999999 went into the job text with exit 0.
    const std::string head = "IN;SP1;PU0,0;PD1016,0,1016,1016,0,1016,0,0;PU;SP2;PU2000,0;";
    const std::string plot = Write("huge.plt", head + "PD99999999999,0,2000,1016,2000,0;PU;");
    const std::string at = std::to_string(head.size() + 1);
    const std::string rule = ": outside the machine's integer range -2147483648..2147483647; nothing written\n";
    const CliRun job = Cli({"job", plot, "--reference", "0,0", "--skew", "1000,0"});
    EXPECT_EQ(job.status, 2);
    EXPECT_EQ(job.out, "");
    EXPECT_NE(job.err.find("grittor-cli: job: the PD instruction at byte " + at +
                           " reaches (99999999999, 0), which the placement makes x 99999999999" + rule),
              std::string::npos)
        << job.err;
    const CliRun placed = Cli({"plot", plot, "--origin", "1016,0"});
    EXPECT_EQ(placed.status, 2);
    EXPECT_EQ(placed.out, "");
    EXPECT_NE(placed.err.find("grittor-cli: plot: the PD instruction at byte " + at + " reaches (99999999999, 0)"),
              std::string::npos)
        << placed.err;
    // A placement can carry a plot that fits into a number that does not:
    // 2,000,000,000 units is a fine coordinate, moved by another
    // 200,000,000 it is not.  A name split by a blank ("P D") is found
    // at its first letter.
    const std::string edge = Write("edge.plt", "SP1;PU0,0;P D2000000000,0,0,1016,0,0;");
    const CliRun fits = Cli({"plot", edge, "--origin", "0,0"});
    EXPECT_EQ(fits.status, 0) << fits.err;
    const CliRun moved = Cli({"plot", edge, "--origin", "200000000,0"});
    EXPECT_EQ(moved.status, 2);
    EXPECT_NE(moved.err.find("the PD instruction at byte 11 reaches (2000000000, 0), which the placement makes x "
                             "2200000000"),
              std::string::npos)
        << moved.err;

    // Showing it stays allowed.
    const CliRun info = Cli({"info", plot});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("max: (99999999999,1016)\n"), std::string::npos) << info.out;
    const CliRun render = Cli({"render", plot, "-o", Path("huge.png"), "--size", "100x70"});
    EXPECT_EQ(render.status, 0) << render.err;
}
