// Files the program reads at run time besides the plots it is given: the
// demo plots ("samples/stencil-stone.plt") and the calibration target
// picture ("caltarget.jpg").  An installed program finds them in
// <prefix>/share/grittor, reached from its own executable so that any prefix
// (and a DESTDIR copy) works; a program in its build tree finds them in the
// checkout, named by a marker file the build writes beside the executables.
#pragma once

#include <string>
#include <vector>

namespace grittor {

// Name of the build tree's marker file; it holds the checkout's path.
inline constexpr char SourceMarkerName[] = "grittor-source-dir";

// Where data files are looked for, in order, for an executable in `exeDir`
// whose build tree names `sourceDir` (empty when it is installed):
// <exeDir>/<fromBin> (the installed data folder, "../share/grittor"), then
// <sourceDir>/data and <sourceDir>.
std::vector<std::string> DataDirectories(const std::string &exeDir, const std::string &sourceDir,
                                         const std::string &fromBin);

// The first of `dirs` holding `relativeName` as a regular file, joined;
// empty when none does or the name leaves its folder ("..", absolute).
std::string FindDataFileIn(const std::string &relativeName, const std::vector<std::string> &dirs);

// The running program (empty when it cannot be read): the executable, or
// the one it was started through when that handed its work over (see
// SetExecutablePath).  Its name names the debug log, its folder is where
// data files and grittor-sim are looked for.
std::string ExecutablePath();
// Says the program was started through `path` (a front that handed its
// work to this executable); "" goes back to the executable itself.
void SetExecutablePath(const std::string &path);
// The folder of ExecutablePath() (empty when it cannot be read).
std::string ExecutableDirectory();

// The checkout named by the marker beside `exeDir` or one folder up (test
// programs sit in a sub-folder of the build tree); empty when installed.
std::string ReadSourceMarker(const std::string &exeDir);

// FindDataFileIn over the running program's DataDirectories; empty when
// the file is nowhere.
std::string FindDataFile(const std::string &relativeName);

} // namespace grittor
