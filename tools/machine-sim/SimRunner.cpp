#include "SimRunner.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace grittor::sim {

namespace {

double MonotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

SimConfig ConfigOf(const SimOptions &o)
{
    SimConfig c;
    c.TimeScale = o.timeScale;
    c.FirmwarePath = o.firmware;
    return c;
}

constexpr size_t kOutLimit = 8 << 20; // noise stops piling up here

} // namespace

void PrintUsage(std::FILE *out)
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
                      "  --seed N        seed of the fault modes' random choices (default 1)\n"
                      "  --eol MODE      how answers end: cr (default), crlf or none\n"
                      "  --version       print the version and exit\n"
                      "control lines on stdin: load | move X Y | fault silent|slow MS|garbage P|drop P|\n"
                      "  nak|hangup|none | eol cr|crlf|none | set NAME VALUE | stats | quit\n");
}

std::string EolText(const std::string &name)
{
    return name == "crlf" ? "\r\n" : name == "none" ? "" : "\r";
}

SimRunner::SimRunner(const SimOptions &options, volatile std::sig_atomic_t &stop, int parent)
    : opt_(options), stop_(stop), parent_(parent), start_(MonotonicMs()), log_(options.log),
      machine_(ConfigOf(options)), faults_(options.seed), inBucket_(LineBytesPerSecond(options.baud)),
      outBucket_(LineBytesPerSecond(options.baud))
{
    machine_.SetEol(EolText(opt_.eol));
    machine_.Event = [this](const std::string &text) { log_.Event(text, Now()); };
}

SimRunner::~SimRunner()
{
    term_.Close();
    if (record_)
        std::fclose(record_);
}

double SimRunner::Now() const
{
    return MonotonicMs() - start_;
}

int SimRunner::Start()
{
    if (!opt_.record.empty() && !(record_ = std::fopen(opt_.record.c_str(), "wb"))) {
        std::fprintf(stderr, "grittor-sim: cannot write %s: %s\n", opt_.record.c_str(), std::strerror(errno));
        return 1;
    }
    if (!opt_.log.empty() && !log_.Ok()) {
        std::fprintf(stderr, "grittor-sim: cannot write %s\n", opt_.log.c_str());
        return 1;
    }
    std::string error;
    if (!term_.Open(error)) {
        std::fprintf(stderr, "grittor-sim: %s\n", error.c_str());
        return 1;
    }
    if (!opt_.link.empty() && !PointLink(opt_.link, term_.path)) {
        std::fprintf(stderr, "grittor-sim: cannot make link %s: %s\n", opt_.link.c_str(), std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", (opt_.link.empty() ? term_.path : opt_.link).c_str());
    std::fflush(stdout);
    return 0;
}

int SimRunner::Run()
{
    while (!stop_) {
        if (getppid() != parent_)
            break; // the parent died before the death signal was armed
        Round();
    }
    log_.Event("simulator ends", Now());
    term_.Close();
    if (!opt_.link.empty())
        ::unlink(opt_.link.c_str());
    return 0;
}

void SimRunner::Round()
{
    double t = Now();
    machine_.Tick(t);
    if (machine_.HasOutput())
        outQueue_ += faults_.Transform(machine_.TakeOutput());

    // What may move now, and how long to sleep otherwise.
    double sleepMs = 50;
    wantRead_ = inBucket_.Available(t) >= 1;
    if (!wantRead_) // a few bytes at a time, as a UART's FIFO would hand them over
        sleepMs = std::min(sleepMs, std::max(inBucket_.MsUntilNext(t), 4.0));
    wantWrite_ = false;
    if (!outQueue_.empty()) {
        const bool slow = faults_.state.kind == FaultState::Slow;
        const double outWait = slow ? std::max(0.0, nextSlowMs_ - t) : outBucket_.MsUntilNext(t);
        if (outWait <= 0)
            wantWrite_ = true;
        else
            sleepMs = std::min(sleepMs, outWait);
    }
    sleepMs = std::min(sleepMs, std::max(0.0, machine_.NextDueMs(t) - t));

    pollfd fds[2] = {};
    fds[0].fd = stdinOpen_ ? 0 : -1;
    fds[0].events = POLLIN;
    fds[1].fd = term_.master;
    fds[1].events = static_cast<short>((wantRead_ ? POLLIN : 0) | (wantWrite_ ? POLLOUT : 0));
    const int r = poll(fds, 2, static_cast<int>(sleepMs + 0.999));
    if (r < 0 && errno != EINTR) {
        stop_ = 1;
        return;
    }
    t = Now();

    if (stdinOpen_ && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
        ReadControl();
        if (stop_)
            return;
    }
    if (wantRead_ && (fds[1].revents & POLLIN))
        ReadLine(t);
    else if (wantRead_)
        inBucket_.Idle(t); // nothing came: the line is quiet
    if (wantWrite_ && (fds[1].revents & POLLOUT) && !outQueue_.empty())
        WriteLine(t);
    if (outQueue_.empty())
        outBucket_.Idle(t);
    if (fds[1].revents & (POLLHUP | POLLERR)) {
        // Cannot happen while the simulator holds the slave itself; do not
        // spin if it does.
        struct timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

void SimRunner::ReadControl()
{
    char buf[4096];
    const ssize_t n = ::read(0, buf, sizeof buf);
    if (n <= 0) {
        stdinOpen_ = false;
        stop_ = 1; // whoever controls the simulator is gone
        return;
    }
    stdinBuffer_.append(buf, static_cast<size_t>(n));
    for (size_t nl; !stop_ && (nl = stdinBuffer_.find('\n')) != std::string::npos;) {
        std::string line = stdinBuffer_.substr(0, nl);
        stdinBuffer_.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        Control(line);
    }
}

void SimRunner::ReadLine(double t)
{
    const size_t allowed = std::min<size_t>(inBucket_.Available(t), 65536);
    char buf[65536];
    const ssize_t n = ::read(term_.master, buf, allowed);
    if (n <= 0) {
        inBucket_.Idle(t);
        return;
    }
    const std::string bytes(buf, static_cast<size_t>(n));
    inBucket_.Consume(static_cast<size_t>(n));
    if (static_cast<size_t>(n) < allowed)
        inBucket_.Idle(t);
    if (firstRxMs_ < 0)
        firstRxMs_ = t;
    lastRxMs_ = t;
    rxTotal_ += n;
    if (record_) {
        std::fwrite(bytes.data(), 1, bytes.size(), record_);
        std::fflush(record_);
    }
    log_.Bytes('<', bytes, t);
    machine_.Receive(bytes, t);
    if (outQueue_.size() < kOutLimit)
        outQueue_ += faults_.Noise(bytes.size());
}

void SimRunner::WriteLine(double t)
{
    const bool slow = faults_.state.kind == FaultState::Slow;
    size_t allowed = slow ? 1 : std::min<size_t>(outBucket_.Available(t), 65536);
    allowed = std::min(allowed, outQueue_.size());
    const ssize_t n = allowed ? ::write(term_.master, outQueue_.data(), allowed) : 0;
    if (n <= 0)
        return;
    log_.Bytes('>', outQueue_.substr(0, static_cast<size_t>(n)), t);
    outQueue_.erase(0, static_cast<size_t>(n));
    txTotal_ += n;
    if (slow)
        nextSlowMs_ = t + faults_.state.slowMs;
    else
        outBucket_.Consume(static_cast<size_t>(n));
}

void SimRunner::Hangup()
{
    log_.Event("hang-up: the line drops and comes back on a new terminal", Now());
    term_.Close();
    std::string error;
    if (!term_.Open(error)) {
        std::fprintf(stderr, "grittor-sim: %s\n", error.c_str());
        stop_ = 1;
        return;
    }
    if (!opt_.link.empty())
        PointLink(opt_.link, term_.path);
    machine_.LineReset();
    outQueue_.clear();
    inBucket_.Reset(Now());
    outBucket_.Reset(Now());
    std::printf("hangup %s\n", opt_.link.empty() ? term_.path.c_str() : opt_.link.c_str());
    std::fflush(stdout);
}

void SimRunner::PrintStats()
{
    std::printf("stats rx=%lld tx=%lld first_rx_ms=%.3f last_rx_ms=%.3f mode=%s state=%s idle=%d "
                "pos=%ld,%ld firmware=%zu uploads=%d pending_tx=%zu blast_ms=%.0f\n",
                rxTotal_, txTotal_, firstRxMs_, lastRxMs_, machine_.ModeName().c_str(),
                machine_.Variable("state").c_str(), machine_.BlasterIdle() ? 1 : 0, machine_.X(), machine_.Y(),
                machine_.LastFirmware().size(), machine_.FirmwareUploads(), outQueue_.size(), machine_.BlastTotalMs());
    std::fflush(stdout);
}

void SimRunner::Control(const std::string &line)
{
    const ControlCommand c = ParseControl(line);
    const double t = Now();
    switch (c.kind) {
    case ControlCommand::Empty:
        return;
    case ControlCommand::Invalid:
        std::fprintf(stderr, "grittor-sim: %s\n", c.error.c_str());
        return;
    case ControlCommand::Quit:
        stop_ = 1;
        break;
    case ControlCommand::Load:
        machine_.PressLoad(t);
        break;
    case ControlCommand::Move:
        machine_.MoveTo(c.x, c.y);
        break;
    case ControlCommand::Eol:
        machine_.SetEol(EolText(c.value));
        break;
    case ControlCommand::Set:
        if (!machine_.Set(c.name, c.value))
            std::fprintf(stderr, "grittor-sim: no variable %s\n", c.name.c_str());
        break;
    case ControlCommand::Help:
        PrintUsage(stderr);
        break;
    case ControlCommand::Stats:
        PrintStats();
        break;
    case ControlCommand::Fault:
        if (c.fault.kind == FaultState::Hangup) {
            Hangup();
        } else {
            faults_.state = c.fault;
            machine_.SetNakAll(c.fault.kind == FaultState::Nak);
        }
        break;
    }
    log_.Event("control: " + line, t);
}

} // namespace grittor::sim
