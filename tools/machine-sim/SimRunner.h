// The simulator's process around the machine: the pseudo-terminal, the
// paced line in both directions, the faults, the control lines on stdin, the
// record and the transcript.  SimMachine decides what the machine does;
// this class only moves bytes and time to and from it.
#pragma once

#include "SimLine.h"
#include "SimMachine.h"
#include "SimPty.h"
#include "SimTranscript.h"

#include <csignal>
#include <cstdio>
#include <string>

namespace grittor::sim {

struct SimOptions {
    double baud = 38400;
    double timeScale = 1.0;
    std::string record, log, link, firmware, eol = "cr";
    unsigned seed = 1;
};

// The options and the control lines.
void PrintUsage(std::FILE *out);
// "cr" -> CR, "crlf" -> CR LF, "none" -> nothing.
std::string EolText(const std::string &name);

class SimRunner {
public:
    // `stop` ends the run when it becomes non-zero (a signal handler sets it);
    // `parent` is the process that started the simulator (the run ends when
    // it is gone).
    SimRunner(const SimOptions &options, volatile std::sig_atomic_t &stop, int parent);
    ~SimRunner();
    SimRunner(const SimRunner &) = delete;
    SimRunner &operator=(const SimRunner &) = delete;

    // Opens the files and the terminal and prints the device to open; the
    // exit status of the program: 0, or 1 with a line on stderr.
    int Start();
    // Serves the line until stopped; returns the exit status.
    int Run();

private:
    double Now() const;
    // One round: the machine's time, the next wake-up, the poll and what it
    // allows to move.
    void Round();
    void Control(const std::string &line);
    void Hangup();
    void PrintStats();
    void ReadControl();
    void ReadLine(double t);
    void WriteLine(double t);

    SimOptions opt_;
    volatile std::sig_atomic_t &stop_;
    int parent_;
    double start_ = 0;
    std::FILE *record_ = nullptr;
    SimTranscript log_;
    SimPty term_;
    SimMachine machine_;
    FaultLine faults_;
    TokenBucket inBucket_, outBucket_;
    std::string outQueue_;  // bytes on their way to the application
    double nextSlowMs_ = 0; // "fault slow": when the next byte may go
    long long rxTotal_ = 0, txTotal_ = 0;
    double firstRxMs_ = -1, lastRxMs_ = -1;
    std::string stdinBuffer_;
    bool stdinOpen_ = true;
    // What this round may move (decided before the poll).
    bool wantRead_ = false, wantWrite_ = false;
};

} // namespace grittor::sim
