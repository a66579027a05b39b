// grittor-cli: headless tools.  Each command lives in its own file and
// registers itself with a static CliRegistration.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace grittor::cli {

// Exit status of a command: 0 success, 2 bad argument or unreadable input
// (with one clear line on stderr), anything else a failure of the command.
using CliMainFn = std::function<int(const std::vector<std::string> &args)>;

struct CliCommandInfo {
    std::string name;
    std::string usage; // one line: "info FILE [--json] [--multiplier M]"
    CliMainFn run;
};

void RegisterCommand(CliCommandInfo info);
const std::vector<CliCommandInfo> &Commands();

struct CliRegistration {
    CliRegistration(std::string name, std::string usage, CliMainFn run)
    {
        RegisterCommand({std::move(name), std::move(usage), std::move(run)});
    }
};

// Prints "grittor-cli: " + message on stderr and returns 2.
int UsageError(const std::string &message);

} // namespace grittor::cli
