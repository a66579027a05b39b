#include "link/SerialDevice.h"

#include "link/TermiosDevice.h"

#include <QSettings>

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

namespace grittor {

namespace {
std::mutex g_factoryMutex;
SerialDeviceFactory g_factory;

std::mutex g_overrideMutex;
std::map<std::string, std::string> g_overrides;

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// 1..8 for "com1".."com8", else 0.
int ComNumber(const std::string &lowerName)
{
    if (lowerName.size() == 4 && lowerName.compare(0, 3, "com") == 0 && lowerName[3] >= '1' && lowerName[3] <= '8')
        return lowerName[3] - '0';
    return 0;
}
} // namespace

void SetSerialDeviceFactory(SerialDeviceFactory factory)
{
    std::lock_guard<std::mutex> lock(g_factoryMutex);
    g_factory = std::move(factory);
}

std::unique_ptr<SerialDevice> CreateSerialDevice()
{
    SerialDeviceFactory f;
    {
        std::lock_guard<std::mutex> lock(g_factoryMutex);
        f = g_factory;
    }
    if (f)
        return f();
    return std::make_unique<TermiosDevice>();
}

bool IsNonePort(const std::string &portName)
{
    return Lower(portName) == "none";
}

void SetPortOverride(const std::string &portName, const std::string &devicePath)
{
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    if (devicePath.empty())
        g_overrides.erase(Lower(portName));
    else
        g_overrides[Lower(portName)] = devicePath;
}

void ClearPortOverrides()
{
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    g_overrides.clear();
}

std::string PortOverride(const std::string &portName)
{
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    const auto it = g_overrides.find(Lower(portName));
    return it == g_overrides.end() ? std::string() : it->second;
}

bool PortUsesXonXoff()
{
    QSettings s("Korvane Systems", "Grittor");
    s.beginGroup("Com Devices");
    return s.value("XonXoff", 1).toInt() != 0;
}

std::string ResolvePortDevice(const std::string &portName)
{
    const std::string name = Lower(portName);
    if (name == "none")
        return {};
    {
        std::lock_guard<std::mutex> lock(g_overrideMutex);
        auto it = g_overrides.find(name);
        if (it != g_overrides.end())
            return it->second;
    }
    const int n = ComNumber(name);
    if (n == 0)
        return portName; // already a device path
    QSettings s("Korvane Systems", "Grittor");
    s.beginGroup("Com Devices");
    const QString key = QString::fromLatin1(name.c_str());
    if (s.contains(key)) {
        const QString path = s.value(key).toString().trimmed();
        if (!path.isEmpty())
            return path.toStdString();
    }
    return "/dev/ttyS" + std::to_string(n - 1);
}

} // namespace grittor
