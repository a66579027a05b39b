#include "link/SimulatorProcess.h"

#include "foundation/DataFiles.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace grittor {

namespace {
bool IsExecutable(const std::string &path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Writes without letting a closed pipe kill the process with SIGPIPE.
bool WriteAll(int fd, const std::string &text)
{
    sigset_t pipeSet, old;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    bool ok = true;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (!ok && errno == EPIPE) {
        timespec zero{0, 0};
        sigtimedwait(&pipeSet, nullptr, &zero); // drop the pending SIGPIPE
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}
} // namespace

std::string TSimulatorProcess::FindExecutable()
{
    if (const char *env = std::getenv("GRITTOR_SIM"); env && IsExecutable(env))
        return env;
    const std::string self = ExecutableDirectory(); // installed: <prefix>/bin beside grittor
    if (!self.empty()) {
        if (IsExecutable(self + "/grittor-sim"))
            return self + "/grittor-sim";
        const size_t slash = self.rfind('/');
        if (slash != std::string::npos && IsExecutable(self.substr(0, slash) + "/grittor-sim"))
            return self.substr(0, slash) + "/grittor-sim";
    }
    if (const char *bin = std::getenv("GRITTOR_BINARY_DIR"); bin && IsExecutable(std::string(bin) + "/grittor-sim"))
        return std::string(bin) + "/grittor-sim";
    return "grittor-sim";
}

TSimulatorProcess::~TSimulatorProcess()
{
    Stop();
}

bool TSimulatorProcess::Start(const std::vector<std::string> &args, std::string &error, int timeoutMs,
                              const std::string &executable)
{
    Stop();
    const std::string exe = executable.empty() ? FindExecutable() : executable;
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        ::close(toChild[0]);
        ::close(toChild[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    std::vector<std::string> argStore;
    argStore.push_back(exe);
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = exe.find('/') == std::string::npos
                       ? ::posix_spawnp(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ)
                       : ::posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    if (rc != 0) {
        ::close(toChild[1]);
        ::close(fromChild[0]);
        error = "cannot start " + exe + ": " + std::strerror(rc);
        return false;
    }
    pid_ = pid;
    in_ = toChild[1];
    out_ = fromChild[0];
    std::string first;
    if (!ReadLine(first, timeoutMs) || first.empty()) {
        error = exe + " printed no device path";
        Stop(500);
        return false;
    }
    path_ = first;
    return true;
}

bool TSimulatorProcess::Command(const std::string &line)
{
    if (in_ < 0)
        return false;
    return WriteAll(in_, line + "\n");
}

bool TSimulatorProcess::ReadLine(std::string &line, int timeoutMs)
{
    if (out_ < 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            line = buffer_.substr(0, nl);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            buffer_.erase(0, nl + 1);
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{out_, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        char buf[4096];
        const ssize_t n = ::read(out_, buf, sizeof buf);
        if (n <= 0)
            return false;
        buffer_.append(buf, static_cast<size_t>(n));
    }
}

bool TSimulatorProcess::Running()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

void TSimulatorProcess::Stop(int timeoutMs)
{
    if (in_ >= 0) {
        Command("quit");
        ::close(in_);
        in_ = -1;
    }
    if (pid_ > 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        bool reaped = false;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!reaped) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    if (out_ >= 0) {
        ::close(out_);
        out_ = -1;
    }
    buffer_.clear();
    path_.clear();
}

} // namespace grittor
