// The serial line as the link sees it: open, configure, read, write, wait,
// purge, close.  The program uses the termios implementation; tests use an
// in-process fake or a pseudo-terminal served by grittor-sim.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace grittor {

struct SerialLineSettings {
    int32_t BaudRate = 9600; // 4800, 9600, 19200 or 38400
    int32_t DataBits = 8;    // 5..8
    uint8_t Parity = 0;      // 0 none, 1 odd, 2 even
    uint8_t StopBits = 0;    // 0 one, 1 one and a half, 2 two
    // XON/XOFF in both directions.  On by default; the settings value
    // "Com Devices/XonXoff" = 0 turns it off for a machine that paces with
    // CTS only (XON and XOFF bytes then pass as data, e.g. in dumps).
    bool XonXoff = true;
};

// Outcome of one read or write.
struct DeviceResult {
    long Count = 0;    // bytes moved
    int Error = 0;     // errno of a failure (0: none; "would block" is not a failure)
    bool Gone = false; // the device went away: unplugged, hung up
    bool Ok() const { return Error == 0 && !Gone; }
};

// Events of Wait.
enum SerialEvent : int {
    EvReceive = 1,  // bytes are waiting to be read
    EvTransmit = 2, // the driver takes more output
    EvHangup = 4,   // the line hung up or the device failed
};

// Line error bits reported by ClearErrors (the classic driver error mask).
enum SerialErrorBits : uint32_t {
    CeRxOver = 0x0001,
    CeOverrun = 0x0002,
    CeRxParity = 0x0004,
    CeFrame = 0x0008,
    CeBreak = 0x0010,
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens the device for exclusive, non-blocking use.  Returns 0 or the
    // errno of the failure, with a sentence for the debug log in `reason`.
    virtual int Open(const std::string &path, std::string &reason) = 0;
    virtual bool IsOpen() const = 0;
    // Applies the line settings (raw binary, XON/XOFF both ways, CTS
    // handshake, DTR and RTS on).  Parts a device does not support (a
    // pseudo-terminal has no modem lines and no speed) are skipped quietly;
    // false only when the settings could not be applied at all.
    virtual bool Configure(const SerialLineSettings &settings) = 0;
    // Never block.  A read of 0 bytes with Gone false means nothing waiting.
    virtual DeviceResult Read(char *buffer, size_t size) = 0;
    virtual DeviceResult Write(const char *data, size_t size) = 0;
    // Waits up to timeoutMs for any of `wanted` (SerialEvent bits) and
    // returns those seen; EvHangup is always reported.  Wake() ends a wait
    // early from another thread.
    virtual int Wait(int wanted, int timeoutMs) = 0;
    virtual void Wake() = 0;
    virtual void Purge(bool input, bool output) = 0;
    // Bytes waiting in the driver's input and output queues; false when
    // the device cannot tell.
    virtual bool QueueSizes(int &in, int &out) = 0;
    // Reads and clears the line error counters into a mask; false when the
    // query failed (a device without counters reports 0 and true).
    virtual bool ClearErrors(uint32_t &mask) = 0;
    virtual void Close() = 0;
};

// Creates the devices links use (the termios device unless a test installs
// another factory; nullptr restores the default).
using SerialDeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;
void SetSerialDeviceFactory(SerialDeviceFactory factory);
std::unique_ptr<SerialDevice> CreateSerialDevice();

// ---- port names ----

// "com1".."com8" → device path: a run-time override first (grittor --port,
// --simulate, grittor-cli --port), then the settings group "Com Devices"
// (value comN), then /dev/ttyS0../dev/ttyS7.  Any other name is taken as a
// device path itself; "none" resolves to "".
std::string ResolvePortDevice(const std::string &portName);
// Binds `portName` to `devicePath` for the rest of this run (empty path
// removes the binding).
void SetPortOverride(const std::string &portName, const std::string &devicePath);
void ClearPortOverrides();
// The device `portName` is bound to for this run only ("" when none).
std::string PortOverride(const std::string &portName);
bool IsNonePort(const std::string &portName);
// The "Com Devices/XonXoff" settings value (default on).
bool PortUsesXonXoff();

} // namespace grittor
