// The simulator's side of the line: a pseudo-terminal pair.  The simulator
// keeps the slave side open itself, so the application closing and
// reopening its end (the idle timer) is no hang-up for the master.
#pragma once

#include <string>

namespace grittor::sim {

struct SimPty {
    int master = -1;
    int slave = -1;
    std::string path; // the slave's device, for the application to open

    bool Open(std::string &error);
    void Close();
};

// Points the symbolic link `link` at `target`, atomically.
bool PointLink(const std::string &link, const std::string &target);

} // namespace grittor::sim
