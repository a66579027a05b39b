// What the operator is told the first time a serial port refuses them for
// want of permission.  Installing the program changes no groups: serial
// devices belong to a group (dialout on Debian) that the user must join.
#pragma once

#include <string>

namespace grittor {

// What the system says about the user and the device's group.
struct PortGroupFacts {
    std::string device;             // the path that refused
    std::string group;              // the device's group ("" when unknown)
    std::string user;               // the login name ("" when unknown)
    bool sessionHasGroup = false;   // this process already runs with the group
    bool userListedInGroup = false; // the group database names the user
};

// The hint for a refused device: how to join its group (dialout when the
// device belongs to no usable group), or to log in again when the user
// joined after this session started.
std::string PortPermissionHint(const PortGroupFacts &facts);

// Reads the facts for `device` from the file system and the user and group
// databases.
PortGroupFacts ReadPortGroupFacts(const std::string &device);

// Called by the device when opening `device` failed with EACCES or EPERM.
void NotePortPermissionDenied(const std::string &device);

// The hint for the first refusal noted in this run, once: empty before any
// refusal and after the hint was taken.
std::string TakePortPermissionHint();

// Forgets the refusal and that the hint was given (tests).
void ResetPortPermissionHint();

} // namespace grittor
