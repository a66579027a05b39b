// Pieces shared by the plot commands of grittor-cli.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace grittor {
class THpglFile;
}

namespace grittor::cli {

// Reads and prescans a plot as the application does; reader messages go to
// stderr with their position context.  Returns nullptr after printing one
// line when the file cannot be read.
std::unique_ptr<THpglFile> ReadPlotForCli(const std::string &path);

// "--multiplier M": sets the image multiplier of this run (0.01..100).
// False with a message for a bad value.
bool ApplyMultiplier(const std::string &text, std::string &error);

} // namespace grittor::cli
