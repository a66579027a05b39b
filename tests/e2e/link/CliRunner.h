// Runs grittor-cli as the operator would: a separate process with its own
// debug log folder, its exit status, stdout and stderr.
#pragma once

#include "SimFixture.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <cstdlib>
#include <functional>
#include <unistd.h>

namespace grittor::test {

// The build folder: from the environment, else one up from this test.
inline std::string BinaryDir()
{
    if (const char *b = std::getenv("GRITTOR_BINARY_DIR"); b && *b)
        return b;
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string self(buf, n > 0 ? static_cast<size_t>(n) : 0);
    for (int up = 0; up < 2 && !self.empty(); ++up)
        self = self.substr(0, self.rfind('/'));
    return self.empty() ? std::string(".") : self;
}

struct CliResult {
    int exitCode = -1;
    std::string out, err;
    int64_t ms = 0; // how long it ran
};

// `whileRunning` is called every few milliseconds until the command ends
// (a test uses it to pull the line away at the right moment).  `logDir`,
// when given, receives the command's debug log; `pid`, when given, the
// command's process id once it has started.
inline CliResult RunCli(const QStringList &args, int timeoutMs = 20000, const std::function<void()> &whileRunning = {},
                        const std::string &logDir = {}, qint64 *pid = nullptr)
{
    QProcess p;
    if (!logDir.empty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("GRITTOR_LOG_DIR", QString::fromStdString(logDir));
        p.setProcessEnvironment(env);
    }
    const int64_t t0 = MonoMs();
    p.start(QString::fromStdString(BinaryDir() + "/grittor-cli"), args);
    CliResult r;
    const bool started = p.waitForStarted(5000);
    if (pid)
        *pid = started ? p.processId() : 0;
    bool finished = false;
    while (started) {
        if (p.waitForFinished(whileRunning ? 10 : timeoutMs) || p.state() == QProcess::NotRunning) {
            finished = true;
            break;
        }
        if (MonoMs() - t0 > timeoutMs)
            break;
        if (whileRunning)
            whileRunning();
    }
    r.ms = MonoMs() - t0;
    if (!finished) {
        r.err = "did not finish: " + p.errorString().toStdString() + " / " + p.readAllStandardError().toStdString();
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

} // namespace grittor::test
