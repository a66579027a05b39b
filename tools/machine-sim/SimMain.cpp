// grittor-sim: a simulated machine controller on a pseudo-terminal.
//
//   grittor-sim [--baud N] [--time-scale F] [--record FILE] [--log FILE]
//               [--link PATH] [--firmware FILE] [--seed N] [--eol cr|crlf|none]
//
// The first line on stdout is the device to open.  Control lines on stdin:
// load, move X Y, fault silent|slow MS|garbage P|drop P|nak|hangup|none,
// eol cr|crlf|none, set NAME VALUE, stats, quit.  The simulator ends on
// quit, when its stdin closes, and when its parent process dies.
#include "SimLine.h"
#include "SimMachine.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

using namespace grittor::sim;

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int)
{
    g_stop = 1;
}

double NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

struct Options {
    double baud = 38400;
    double timeScale = 1.0;
    std::string record, log, link, firmware, eol = "cr";
    unsigned seed = 1;
};

void Usage(std::FILE *out)
{
    std::fprintf(out, "usage: grittor-sim [--baud N] [--time-scale F] [--record FILE] [--log FILE]\n"
                      "                   [--link PATH] [--firmware FILE] [--seed N] [--eol cr|crlf|none]\n"
                      "  --baud N        line rate the machine reads and sends at (10 bits a byte;\n"
                      "                  default 38400; 0 = as fast as the pseudo-terminal goes)\n"
                      "  --time-scale F  multiplies the machine's own delays (blast time, loader NAKs)\n"
                      "  --record FILE   every byte received, as received\n"
                      "  --log FILE      readable transcript of both directions and events\n"
                      "  --link PATH     a symbolic link to the terminal that survives 'fault hangup'\n"
                      "  --firmware FILE where a received firmware is saved\n"
                      "control lines on stdin: load | move X Y | fault silent|slow MS|garbage P|drop P|\n"
                      "  nak|hangup|none | eol cr|crlf|none | set NAME VALUE | stats | quit\n");
}

bool ParseOptions(int argc, char **argv, Options &o)
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
            Usage(stdout);
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

std::string EolText(const std::string &name)
{
    return name == "crlf" ? "\r\n" : name == "none" ? "" : "\r";
}

// The pseudo-terminal.  The simulator keeps the slave side open itself, so
// the application closing and reopening its end (the idle timer) is no
// hang-up for the master.
struct Terminal {
    int master = -1;
    int slave = -1;
    std::string path;

    bool Open(std::string &error)
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            error = std::string("posix_openpt: ") + std::strerror(errno);
            return false;
        }
        char name[256];
        if (ptsname_r(master, name, sizeof name) != 0) {
            error = std::string("ptsname: ") + std::strerror(errno);
            return false;
        }
        path = name;
        slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (slave < 0) {
            error = std::string("open ") + path + ": " + std::strerror(errno);
            return false;
        }
        termios t{};
        if (tcgetattr(slave, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
        }
        return true;
    }
    void Close()
    {
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
        slave = master = -1;
    }
};

bool PointLink(const std::string &link, const std::string &target)
{
    const std::string tmp = link + ".new";
    ::unlink(tmp.c_str());
    if (::symlink(target.c_str(), tmp.c_str()) != 0)
        return false;
    return ::rename(tmp.c_str(), link.c_str()) == 0;
}

// Transcript: one line per direction change or line end.
class Transcript {
public:
    explicit Transcript(const std::string &path)
    {
        if (!path.empty())
            file_ = std::fopen(path.c_str(), "w");
    }
    ~Transcript()
    {
        Flush('<');
        Flush('>');
        if (file_)
            std::fclose(file_);
    }
    bool Ok() const { return file_ != nullptr; }
    void Bytes(char dir, const std::string &bytes, double t)
    {
        if (!file_)
            return;
        Flush(dir == '<' ? '>' : '<'); // the other direction's partial line first
        std::string &pending = dir == '<' ? rx_ : tx_;
        for (char c : bytes) {
            // CR LF stays on one line; a lone CR ends it once the next byte is not LF.
            if (!pending.empty() && pending.back() == '\r' && c != '\n')
                Line(dir, pending, t);
            pending += c;
            if (c == '\n' || pending.size() >= 200)
                Line(dir, pending, t);
        }
        lastT_ = t;
    }
    void Event(const std::string &text, double t)
    {
        if (!file_)
            return;
        Flush('<');
        Flush('>');
        Write("#", text, t);
    }
    void Flush(char dir)
    {
        std::string &pending = dir == '<' ? rx_ : tx_;
        if (!pending.empty())
            Line(dir, pending, lastT_);
    }

private:
    void Line(char dir, std::string &pending, double t)
    {
        Write(std::string(1, dir), Readable(pending), t);
        pending.clear();
    }
    void Write(const std::string &tag, const std::string &text, double t)
    {
        lastT_ = t;
        std::fprintf(file_, "%10.3f %s %s\n", t / 1000.0, tag.c_str(), text.c_str());
        std::fflush(file_);
    }
    std::FILE *file_ = nullptr;
    std::string rx_, tx_;
    double lastT_ = 0;
};

} // namespace

int main(int argc, char **argv)
{
    Options opt;
    if (!ParseOptions(argc, argv, opt)) {
        Usage(stderr);
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

    std::FILE *record = nullptr;
    if (!opt.record.empty() && !(record = std::fopen(opt.record.c_str(), "wb"))) {
        std::fprintf(stderr, "grittor-sim: cannot write %s: %s\n", opt.record.c_str(), std::strerror(errno));
        return 1;
    }
    Transcript log(opt.log);
    if (!opt.log.empty() && !log.Ok()) {
        std::fprintf(stderr, "grittor-sim: cannot write %s\n", opt.log.c_str());
        return 1;
    }

    Terminal term;
    std::string error;
    if (!term.Open(error)) {
        std::fprintf(stderr, "grittor-sim: %s\n", error.c_str());
        return 1;
    }
    if (!opt.link.empty() && !PointLink(opt.link, term.path)) {
        std::fprintf(stderr, "grittor-sim: cannot make link %s: %s\n", opt.link.c_str(), std::strerror(errno));
        return 1;
    }
    const std::string shownPath = opt.link.empty() ? term.path : opt.link;
    std::printf("%s\n", shownPath.c_str());
    std::fflush(stdout);

    const double start = NowMs();
    auto now = [&] { return NowMs() - start; };

    SimConfig config;
    config.TimeScale = opt.timeScale;
    config.FirmwarePath = opt.firmware;
    SimMachine machine(config);
    machine.SetEol(EolText(opt.eol));
    machine.Event = [&](const std::string &text) { log.Event(text, now()); };

    FaultLine faults(opt.seed);
    const double rate = LineBytesPerSecond(opt.baud);
    TokenBucket inBucket(rate), outBucket(rate);
    std::string outQueue;  // bytes on their way to the application
    double nextSlowMs = 0; // "fault slow": when the next byte may go
    long long rxTotal = 0, txTotal = 0;
    double firstRxMs = -1, lastRxMs = -1;
    std::string stdinBuffer;
    bool stdinOpen = true;
    constexpr size_t kOutLimit = 8 << 20; // noise stops piling up here

    auto hangup = [&] {
        log.Event("hang-up: the line drops and comes back on a new terminal", now());
        term.Close();
        if (!term.Open(error)) {
            std::fprintf(stderr, "grittor-sim: %s\n", error.c_str());
            g_stop = 1;
            return;
        }
        if (!opt.link.empty())
            PointLink(opt.link, term.path);
        machine.LineReset();
        outQueue.clear();
        inBucket.Reset(now());
        outBucket.Reset(now());
        std::printf("hangup %s\n", opt.link.empty() ? term.path.c_str() : opt.link.c_str());
        std::fflush(stdout);
    };

    auto control = [&](const std::string &line) {
        const ControlCommand c = ParseControl(line);
        const double t = now();
        switch (c.kind) {
        case ControlCommand::Empty:
            return;
        case ControlCommand::Invalid:
            std::fprintf(stderr, "grittor-sim: %s\n", c.error.c_str());
            return;
        case ControlCommand::Quit:
            g_stop = 1;
            break;
        case ControlCommand::Load:
            machine.PressLoad(t);
            break;
        case ControlCommand::Move:
            machine.MoveTo(c.x, c.y);
            break;
        case ControlCommand::Eol:
            machine.SetEol(EolText(c.value));
            break;
        case ControlCommand::Set:
            if (!machine.Set(c.name, c.value))
                std::fprintf(stderr, "grittor-sim: no variable %s\n", c.name.c_str());
            break;
        case ControlCommand::Help:
            Usage(stderr);
            break;
        case ControlCommand::Stats:
            std::printf("stats rx=%lld tx=%lld first_rx_ms=%.3f last_rx_ms=%.3f mode=%s state=%s idle=%d "
                        "pos=%ld,%ld firmware=%zu uploads=%d pending_tx=%zu\n",
                        rxTotal, txTotal, firstRxMs, lastRxMs, machine.ModeName().c_str(),
                        machine.Variable("state").c_str(), machine.BlasterIdle() ? 1 : 0, machine.X(), machine.Y(),
                        machine.LastFirmware().size(), machine.FirmwareUploads(), outQueue.size());
            std::fflush(stdout);
            break;
        case ControlCommand::Fault:
            if (c.fault.kind == FaultState::Hangup) {
                hangup();
            } else {
                faults.state = c.fault;
                machine.SetNakAll(c.fault.kind == FaultState::Nak);
            }
            break;
        }
        log.Event("control: " + line, t);
    };

    while (!g_stop) {
        if (getppid() != parent)
            break; // the parent died before the death signal was armed
        double t = now();
        machine.Tick(t);
        if (machine.HasOutput()) {
            const std::string o = faults.Transform(machine.TakeOutput());
            outQueue += o;
        }

        // What may move now, and how long to sleep otherwise.
        double sleepMs = 50;
        const bool wantRead = inBucket.Available(t) >= 1;
        if (!wantRead) // a few bytes at a time, as a UART's FIFO would hand them over
            sleepMs = std::min(sleepMs, std::max(inBucket.MsUntilNext(t), 4.0));
        bool wantWrite = false;
        if (!outQueue.empty()) {
            const bool slow = faults.state.kind == FaultState::Slow;
            const double outWait = slow ? std::max(0.0, nextSlowMs - t) : outBucket.MsUntilNext(t);
            if (outWait <= 0)
                wantWrite = true;
            else
                sleepMs = std::min(sleepMs, outWait);
        }
        sleepMs = std::min(sleepMs, std::max(0.0, machine.NextDueMs(t) - t));

        pollfd fds[2] = {};
        fds[0].fd = stdinOpen ? 0 : -1;
        fds[0].events = POLLIN;
        fds[1].fd = term.master;
        fds[1].events = static_cast<short>((wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0));
        const int timeout = static_cast<int>(sleepMs + 0.999);
        const int r = poll(fds, 2, timeout);
        if (r < 0 && errno != EINTR)
            break;
        t = now();

        if (stdinOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buf[4096];
            const ssize_t n = ::read(0, buf, sizeof buf);
            if (n <= 0) {
                stdinOpen = false;
                break; // whoever controls the simulator is gone
            }
            stdinBuffer.append(buf, static_cast<size_t>(n));
            for (size_t nl; (nl = stdinBuffer.find('\n')) != std::string::npos;) {
                std::string line = stdinBuffer.substr(0, nl);
                stdinBuffer.erase(0, nl + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                control(line);
                if (g_stop)
                    break;
            }
            if (g_stop)
                break;
        }

        if (wantRead && (fds[1].revents & POLLIN)) {
            const size_t allowed = std::min<size_t>(inBucket.Available(t), 65536);
            char buf[65536];
            const ssize_t n = ::read(term.master, buf, allowed);
            if (n > 0) {
                const std::string bytes(buf, static_cast<size_t>(n));
                inBucket.Consume(static_cast<size_t>(n));
                if (static_cast<size_t>(n) < allowed)
                    inBucket.Idle(t);
                if (firstRxMs < 0)
                    firstRxMs = t;
                lastRxMs = t;
                rxTotal += n;
                if (record) {
                    std::fwrite(bytes.data(), 1, bytes.size(), record);
                    std::fflush(record);
                }
                log.Bytes('<', bytes, t);
                machine.Receive(bytes, t);
                if (outQueue.size() < kOutLimit)
                    outQueue += faults.Noise(bytes.size());
            } else {
                inBucket.Idle(t);
            }
        } else if (wantRead && !(fds[1].revents & POLLIN)) {
            inBucket.Idle(t); // nothing came: the line is quiet
        }

        if (wantWrite && (fds[1].revents & POLLOUT) && !outQueue.empty()) {
            size_t allowed =
                faults.state.kind == FaultState::Slow ? 1 : std::min<size_t>(outBucket.Available(t), 65536);
            allowed = std::min(allowed, outQueue.size());
            const ssize_t n = allowed ? ::write(term.master, outQueue.data(), allowed) : 0;
            if (n > 0) {
                log.Bytes('>', outQueue.substr(0, static_cast<size_t>(n)), t);
                outQueue.erase(0, static_cast<size_t>(n));
                txTotal += n;
                if (faults.state.kind == FaultState::Slow)
                    nextSlowMs = t + faults.state.slowMs;
                else
                    outBucket.Consume(static_cast<size_t>(n));
            }
        }
        if (outQueue.empty())
            outBucket.Idle(t);
        if (fds[1].revents & (POLLHUP | POLLERR)) {
            // Cannot happen while the simulator holds the slave itself; do
            // not spin if it does.
            struct timespec pause = {0, 10 * 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
    }

    log.Event("simulator ends", now());
    term.Close();
    if (!opt.link.empty())
        ::unlink(opt.link.c_str());
    if (record)
        std::fclose(record);
    return 0;
}
