#include "link/SerialDeviceList.h"

#include <QSettings>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace grittor {

namespace {

std::vector<std::string> Names(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *d = ::opendir(folder.c_str());
    if (!d)
        return names;
    while (const dirent *e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    ::closedir(d);
    return names;
}

// The number after `prefix` when the whole rest is digits, else -1.
long NumberAfter(const std::string &name, const std::string &prefix)
{
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return -1;
    const std::string rest = name.substr(prefix.size());
    if (rest.size() > 6 || !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::strtol(rest.c_str(), nullptr, 10);
}

// Where a symbolic link points, made absolute against its folder.
std::string LinkTarget(const std::string &folder, const std::string &name)
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink((folder + "/" + name).c_str(), buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    std::string target(buf, static_cast<size_t>(n));
    if (target.empty() || target[0] != '/')
        target = folder + "/" + target;
    // "../../ttyUSB0" from /dev/serial/by-id reads better as /dev/ttyUSB0.
    if (char *real = ::realpath(target.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    return target;
}

// The kernel's type of a ttyS port: "0" means no serial port behind it.
bool NoUartBehind(const std::string &sysRoot, const std::string &name)
{
    std::ifstream f(sysRoot + "/class/tty/" + name + "/type");
    std::string type;
    return f && (f >> type) && type == "0";
}

} // namespace

TSerialDeviceList::TSerialDeviceList(std::string devRoot, std::string sysRoot)
    : devRoot_(std::move(devRoot)), sysRoot_(std::move(sysRoot))
{
}

bool TSerialDeviceList::Present(const std::string &path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0; // follows the by-id link
}

std::vector<TSerialDeviceEntry> TSerialDeviceList::Devices() const
{
    std::vector<TSerialDeviceEntry> out;
    const std::string byId = devRoot_ + "/serial/by-id";
    std::vector<std::string> ids = Names(byId);
    std::sort(ids.begin(), ids.end());
    for (const std::string &n : ids) {
        TSerialDeviceEntry e;
        e.Path = byId + "/" + n;
        e.Target = LinkTarget(byId, n);
        e.ById = true;
        out.push_back(std::move(e));
    }
    const std::vector<std::string> names = Names(devRoot_);
    for (const char *prefix : {"ttyS", "ttyUSB", "ttyACM"}) {
        std::vector<std::pair<long, std::string>> kind;
        for (const std::string &n : names) {
            const long number = NumberAfter(n, prefix);
            if (number < 0)
                continue;
            if (std::string(prefix) == "ttyS" && NoUartBehind(sysRoot_, n))
                continue;
            kind.emplace_back(number, n);
        }
        std::sort(kind.begin(), kind.end());
        for (const auto &k : kind)
            out.push_back({devRoot_ + "/" + k.second, {}, false});
    }
    return out;
}

TComBindings ReadComBindings()
{
    TComBindings b;
    QSettings s("Korvane Systems", "Grittor");
    s.beginGroup("Com Devices");
    for (int i = 0; i < ComPortCount; ++i)
        b[static_cast<size_t>(i)] = s.value(QString("com%1").arg(i + 1)).toString().trimmed().toStdString();
    return b;
}

void WriteComBindings(const TComBindings &bindings)
{
    QSettings s("Korvane Systems", "Grittor");
    s.beginGroup("Com Devices");
    for (int i = 0; i < ComPortCount; ++i) {
        const QString key = QString("com%1").arg(i + 1);
        const std::string &path = bindings[static_cast<size_t>(i)];
        if (path.empty())
            s.remove(key);
        else
            s.setValue(key, QString::fromStdString(path));
    }
    s.sync();
}

std::string DefaultComDevice(int n)
{
    return "/dev/ttyS" + std::to_string(n - 1);
}

} // namespace grittor
