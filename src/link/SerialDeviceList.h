// The serial devices present on this computer and the com ports bound to
// them.  Device names of USB adapters change between boots; the stable
// names under /dev/serial/by-id do not, so a binding to one of those
// survives re-plugging.  The folders are arguments: tests point the lister
// at folders of fake device links.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace grittor {

struct TSerialDeviceEntry {
    std::string Path;   // the name a port is bound to
    std::string Target; // the device a by-id name points to ("" for the others)
    bool ById = false;
};

class TSerialDeviceList {
public:
    // `devRoot` stands for /dev, `sysRoot` for /sys, where the kernel tells
    // which ttyS have a serial port behind them.
    explicit TSerialDeviceList(std::string devRoot = "/dev", std::string sysRoot = "/sys");

    // The by-id names first (sorted), then the ttyS, ttyUSB and ttyACM
    // devices that exist, each kind in number order.  A ttyS the kernel
    // knows to have no serial port behind it is left out.
    std::vector<TSerialDeviceEntry> Devices() const;
    const std::string &DevRoot() const { return devRoot_; }

    // Whether `path` names something that is there now (a by-id name whose
    // adapter was unplugged is gone, or points nowhere).
    static bool Present(const std::string &path);

private:
    std::string devRoot_;
    std::string sysRoot_;
};

constexpr int ComPortCount = 8;
using TComBindings = std::array<std::string, ComPortCount>; // com1..com8; "" when not bound

// The settings group "Com Devices": what com1..com8 are bound to.
TComBindings ReadComBindings();
// Stores the bindings; an empty one removes its value (the port then uses
// its default device).  Paths are stored as given.
void WriteComBindings(const TComBindings &bindings);
// The device of com N (1..8) when nothing is bound: /dev/ttyS(N-1).
std::string DefaultComDevice(int n);

} // namespace grittor
