// Starts grittor-sim, the simulated machine, as a child process: reads the
// pseudo-terminal path it prints, passes control lines to it and stops it.
// Used by grittor --simulate, the end-to-end tests and the benchmark.  The
// simulator ends on its own when this process dies or closes its stdin.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace grittor {

class TSimulatorProcess {
public:
    TSimulatorProcess() = default;
    ~TSimulatorProcess();
    TSimulatorProcess(const TSimulatorProcess &) = delete;
    TSimulatorProcess &operator=(const TSimulatorProcess &) = delete;

    // Starts the simulator with `args` and waits for its first line (the
    // device path).  `executable` empty: FindExecutable().
    bool Start(const std::vector<std::string> &args, std::string &error, int timeoutMs = 5000,
               const std::string &executable = std::string());
    // The path to open (the pseudo-terminal, or the --link path).
    const std::string &DevicePath() const { return path_; }
    // Sends one control line ("load", "move 10 20", "fault drop 0.1", ...).
    bool Command(const std::string &line);
    // Next line the simulator prints (without the line end); false on
    // timeout or when it has ended.
    bool ReadLine(std::string &line, int timeoutMs);
    // "quit", then closing its stdin; a simulator that does not end in
    // time is killed.
    void Stop(int timeoutMs = 2000);
    bool Running();
    pid_t Pid() const { return pid_; }

    // $GRITTOR_SIM, grittor-sim beside this executable or one folder up,
    // $GRITTOR_BINARY_DIR/grittor-sim, else "grittor-sim" from PATH.
    static std::string FindExecutable();

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string buffer_;
    std::string path_;
};

} // namespace grittor
