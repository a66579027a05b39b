// grittor-sim: a simulated machine controller on a pseudo-terminal.
//
//   grittor-sim [--baud N] [--time-scale F] [--record FILE] [--log FILE]
//               [--link PATH] [--firmware FILE] [--seed N] [--eol cr|crlf|none]
//   grittor-sim --version | --help
//
// The first line on stdout is the device to open.  Control lines on stdin:
// load, move X Y, fault silent|slow MS|garbage P|drop P|nak|hangup|none,
// eol cr|crlf|none, set NAME VALUE, stats, quit.  The simulator ends on
// quit, when its stdin closes, and when its parent process dies.
#include "SimRunner.h"
#include "foundation/BuildInfo.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

using namespace grittor::sim;

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int)
{
    g_stop = 1;
}

bool ParseOptions(int argc, char **argv, SimOptions &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            PrintUsage(stdout);
            std::exit(0);
        } else if (a == "--version") {
            std::printf("grittor-sim %s\n", grittor::GrittorProjectVersion);
            std::exit(0);
        } else if (a == "--baud" && value(v)) {
            char *end = nullptr;
            o.baud = std::strtod(v.c_str(), &end);
            if (*end || o.baud < 0)
                return false;
        } else if (a == "--time-scale" && value(v)) {
            char *end = nullptr;
            o.timeScale = std::strtod(v.c_str(), &end);
            if (*end || !(o.timeScale > 0))
                return false;
        } else if (a == "--seed" && value(v)) {
            o.seed = static_cast<unsigned>(std::strtoul(v.c_str(), nullptr, 10));
        } else if (a == "--record" && value(v)) {
            o.record = v;
        } else if (a == "--log" && value(v)) {
            o.log = v;
        } else if (a == "--link" && value(v)) {
            o.link = v;
        } else if (a == "--firmware" && value(v)) {
            o.firmware = v;
        } else if (a == "--eol" && value(v) && (v == "cr" || v == "crlf" || v == "none")) {
            o.eol = v;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    SimOptions opt;
    if (!ParseOptions(argc, argv, opt)) {
        PrintUsage(stderr);
        return 2;
    }
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM); // no simulator outlives whoever started it
    if (getppid() != parent)
        return 0;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    SimRunner runner(opt, g_stop, parent);
    if (const int status = runner.Start(); status != 0)
        return status;
    return runner.Run();
}
