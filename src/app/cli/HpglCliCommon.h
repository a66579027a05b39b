// Pieces shared by the plot commands of grittor-cli.
#pragma once

#include "pens/MaterialLibrary.h"

#include <memory>
#include <string>
#include <vector>

namespace grittor {
class THpglFile;
}

namespace grittor::cli {

// Reads and prescans a plot as the application does, coordinates scaled by
// `multiplier`; reader messages go to stderr with their position context.
// Returns nullptr after printing one line when the file cannot be read, or
// when its reading stopped early (the rest of the plot would be missing)
// and partial plots are not accepted.
std::unique_ptr<THpglFile> ReadPlotForCli(const std::string &path, long double multiplier);

// "--partial", taken out of every command's arguments: go on with a plot
// whose reading stopped early.
void SetAcceptPartialPlots(bool accept);

// "--multiplier M": the image multiplier of this run (0.01..100).  False
// with a message for a bad value.
bool ParseMultiplier(const std::string &text, long double &multiplier, std::string &error);

// Reader and drawing messages: one line each on stderr.
void MessageToStderr(const std::string &message, bool flag);

// Reads a material library for a command: `path`, or the user's library
// when it is empty (an absent user's library is an empty one).  Read only:
// nothing is written beside the file.  False with the reason when the file
// exists but cannot be read.
bool ReadLibraryForCli(const std::string &path, TMaterialLibrary &library, std::string &error);

} // namespace grittor::cli
