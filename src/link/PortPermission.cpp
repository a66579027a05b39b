#include "link/PortPermission.h"

#include <grp.h>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace grittor {

std::string PortPermissionHint(const PortGroupFacts &f)
{
    // A device of the root group (or of none) is no group to join: Debian
    // gives serial ports to dialout.
    const bool ownGroup = !f.group.empty() && f.group != "root";
    const std::string group = ownGroup ? f.group : "dialout";
    if (ownGroup && f.sessionHasGroup)
        return f.device + " refuses you although you are in its group " + group +
               "; look at its permissions with: ls -l " + f.device;
    if (ownGroup && f.userListedInGroup)
        return "You joined the group " + group + " after this session started: log out and in again to use " +
               f.device + ".";
    const std::string user = f.user.empty() ? "$USER" : f.user;
    return "You may not use " + f.device + ": serial ports belong to the group " + group +
           ", and installing Grittor adds nobody to it. Join it with\n    sudo usermod -aG " + group + " " + user +
           "\nthen log out and in again.";
}

PortGroupFacts ReadPortGroupFacts(const std::string &device)
{
    PortGroupFacts f;
    f.device = device;
    struct stat st {};
    const bool known = ::stat(device.c_str(), &st) == 0;
    std::vector<char> buf(16384);
    if (passwd pw{}, *pwp = nullptr; ::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &pwp) == 0 && pwp)
        f.user = pwp->pw_name;
    if (!known)
        return f;
    group gr{}, *grp = nullptr;
    if (::getgrgid_r(st.st_gid, &gr, buf.data(), buf.size(), &grp) != 0 || !grp)
        return f;
    f.group = grp->gr_name;
    for (char **m = grp->gr_mem; *m; ++m)
        if (f.user == *m)
            f.userListedInGroup = true;
    if (::getegid() == st.st_gid) {
        f.sessionHasGroup = true;
    } else {
        const int n = ::getgroups(0, nullptr);
        std::vector<gid_t> groups(n > 0 ? static_cast<size_t>(n) : 0);
        if (n > 0 && ::getgroups(n, groups.data()) == n)
            for (gid_t g : groups)
                if (g == st.st_gid)
                    f.sessionHasGroup = true;
    }
    return f;
}

namespace {
std::mutex g_mutex;
std::string g_deniedDevice; // the first refusal of this run
bool g_hintGiven = false;
} // namespace

void NotePortPermissionDenied(const std::string &device)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_hintGiven && g_deniedDevice.empty())
        g_deniedDevice = device;
}

std::string TakePortPermissionHint()
{
    std::string device;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_hintGiven || g_deniedDevice.empty())
            return {};
        g_hintGiven = true;
        device = g_deniedDevice;
    }
    return PortPermissionHint(ReadPortGroupFacts(device));
}

void ResetPortPermissionHint()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_deniedDevice.clear();
    g_hintGiven = false;
}

} // namespace grittor
