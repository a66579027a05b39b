#include "link/TSerial.h"

#include "foundation/Clock.h"
#include "foundation/ExceptionReporting.h"
#include "foundation/LogOutput.h"
#include "foundation/Progress.h"
#include "foundation/StringUtils.h"
#include "foundation/UiHooks.h"
#include "link/LinkThreads.h"
#include "link/TCommThread.h"
#include "link/TStash.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace grittor {

// ------------------------------------------------------------ helpers ---

const char *ReplyStatusName(int status)
{
    switch (status) {
    case RsTimeout:
        return "Timeout";
    case RsTooManyChars:
        return "TooManyChars";
    case RsCRReceived:
        return "CRReceived";
    default:
        return "";
    }
}

const char *XmodemResultName(int result)
{
    switch (result) {
    case XmSuccess:
        return "Success";
    case XmNoNak:
        return "No Nak Received";
    case XmNoAck:
        return "No Ack";
    case XmNoAckAtEof:
        return "No Ack at EOF";
    default:
        return "";
    }
}

void TIdleTimer::Restart()
{
    StartedMs = GetClock().NowMs();
    Enabled = true;
}

void TIdleTimer::Touch()
{
    if (Enabled)
        StartedMs = GetClock().NowMs();
}

bool TIdleTimer::Expired() const
{
    return Enabled && GetClock().NowMs() - StartedMs.load() >= IntervalMs.load();
}

namespace {
constexpr int kIoChunk = 1000;

int32_t SupportedBaud(int32_t baud)
{
    return (baud == 4800 || baud == 9600 || baud == 19200 || baud == 38400) ? baud : 9600;
}

// A received byte as the character log shows it.
std::string PrintableByte(uint8_t c)
{
    if ((c >= 32 && c <= 126) || c == 13 || c == 10)
        return std::string(1, static_cast<char>(c));
    return "#" + std::to_string(c);
}
} // namespace

// ------------------------------------------------------- construction ---

TSerial::TSerial(const std::string &portName, int32_t bufferSize, uint8_t parity, int32_t dataBits, uint8_t stopBits,
                 int32_t baudRate, AbortFlags &flags, TSerialOptions options)
    : baudRate_(baudRate), bufferSize_(bufferSize), dataBits_(dataBits), parity_(parity), portName_(portName),
      stopBits_(stopBits), flags_(flags), none_(IsNonePort(portName))
{
    if (none_)
        return;
    SetStashMask(DefaultStashMask);
    inQueue_ = std::make_unique<TCharQueue>(bufferSize_, true, flags_);
    outQueue_ = std::make_unique<TCharQueue>(bufferSize_, false, flags_);
    // Only the port empties the output queue: waiting for room on a closed
    // one would last until the operator gives up.
    outQueue_->SetGiveUp([this] { return !port_open(); });
    device_ = options.Device ? std::move(options.Device) : CreateSerialDevice();
    readBuffer_.assign(kIoChunk, '\0');
    writeBuffer_.assign(kIoChunk, '\0');
    set_timeout(5000); // opens the port, so OpenedOk() answers the creator at once
    ackTimeout_ = 5000;
    thread_ = std::make_unique<TCommThread>(*this);
    if (options.StartThread)
        thread_->Start();
}

TSerial::~TSerial()
{
    idleTimer_.Disable();
    if (thread_) {
        thread_->Terminate();
        if (device_)
            device_->Wake();
        thread_->WaitFor();
        thread_.reset();
    }
    if (!none_)
        close_comm();
}

// --------------------------------------------------------------- port ---

bool TSerial::port_open() const
{
    return !none_ && device_ && device_->IsOpen();
}

std::string TSerial::DevicePath() const
{
    std::lock_guard<std::mutex> lock(portMutex_);
    return devicePath_;
}

std::string TSerial::OpenFailureReason() const
{
    std::lock_guard<std::mutex> lock(portMutex_);
    return openFailureReason_;
}

int TSerial::OpenFailureError() const
{
    std::lock_guard<std::mutex> lock(portMutex_);
    return openFailureError_;
}

void TSerial::check_open()
{
    if (none_)
        return;
    if (port_open())
        idleTimer_.Restart();
    else
        open_comm();
}

bool TSerial::open_comm()
{
    if (none_)
        return false;
    std::lock_guard<std::mutex> lock(portMutex_);
    if (device_->IsOpen())
        return true;
    const std::string path = ResolvePortDevice(portName_);
    devicePath_ = path;
    // Said once per distinct cause: check_open retries on every use.
    auto refuse = [&](int error, const std::string &reason) {
        openedOk_ = false;
        openFailureError_ = error;
        openFailureReason_ = reason;
        const std::string line = "Unable to open " + portName_ + " (" + path + "): " + reason;
        if (line != lastOpenFailure_) {
            LogOutput().Write(line, true, true);
            lastOpenFailure_ = line;
        }
        return false;
    };
    std::string reason;
    const int error = device_->Open(path, reason);
    if (error != 0)
        return refuse(error, reason);
    // A pseudo-terminal has no speed and no modem lines; the device skips
    // those quietly and the port works without them.
    baudRate_ = SupportedBaud(baudRate_);
    SerialLineSettings settings;
    settings.BaudRate = baudRate_;
    settings.DataBits = (dataBits_ >= 5 && dataBits_ <= 8) ? dataBits_ : 8;
    settings.Parity = parity_ <= 2 ? parity_ : 0;
    settings.StopBits = stopBits_ <= 2 ? stopBits_ : 0;
    settings.XonXoff = PortUsesXonXoff();
    device_->Purge(true, true);
    uint32_t errors = 0;
    if (!device_->ClearErrors(errors))
        StashRecord(STOpenError, 0, "driver status");
    commErrors_ = errors;
    // A line whose settings cannot be applied is no line to the machine:
    // whatever was written to it would go nobody knows where.
    if (!device_->Configure(settings)) {
        device_->Close();
        return refuse(ENOTTY, "the line settings could not be applied to " + path + " (not a serial port?)");
    }
    openedOk_ = true;
    lastOpenFailure_.clear();
    openFailureReason_.clear();
    openFailureError_ = 0;
    portSettings_ = settings;
    lastWriteProgressMs_ = GetClock().NowMs();
    stallReported_ = false;
    idleTimer_.Restart();
    return true;
}

void TSerial::close_comm()
{
    if (none_)
        return;
    std::lock_guard<std::mutex> lock(portMutex_);
    idleTimer_.Disable();
    device_->Close();
}

void TSerial::set_timeout(int64_t ms)
{
    if (ms < 0)
        ms = 0;
    replyTimeout_ = ms;
    idleTimer_.IntervalMs = ms;
    if (none_)
        return;
    check_open();
    // The driver needs no timeouts here: reads and writes never block.
}

int64_t TSerial::Duration(int64_t hours, int64_t minutes, int64_t seconds, int64_t ms)
{
    return ms + 1000 * seconds + 60000 * minutes + 3600000 * hours;
}

bool TSerial::output_empty() const
{
    if (none_ || !outQueue_)
        return true;
    return pendingLen_.load() == 0 && outQueue_->is_empty();
}

bool TSerial::input_empty() const
{
    return none_ || !inQueue_ || inQueue_->is_empty();
}

bool TSerial::check_idle()
{
    if (none_ || !idleTimer_.Expired() || busy_.load() > 0 || !output_empty() || !port_open())
        return false;
    int in = 0, out = 0;
    if (device_->QueueSizes(in, out) && out > 0)
        return false; // the driver is still sending
    close_comm();
    return true;
}

void TSerial::discard_output(const char *why)
{
    char scratch[kIoChunk];
    int discarded = 0;
    for (int n; (n = outQueue_->get_all(scratch, kIoChunk)) > 0;)
        discarded += n;
    if (discarded > 0)
        LogOutput().Write("Serial " + portName_ + ": " + std::to_string(discarded) + " queued bytes not sent (" + why +
                              ")",
                          true, true);
}

void TSerial::drop_output(const char *why)
{
    discard_output(why);
    write_comm(); // drops a write begun before the loss
}

void TSerial::device_lost(const std::string &why)
{
    {
        std::lock_guard<std::mutex> lock(portMutex_);
        if (!device_->IsOpen())
            return;
        ++lossGeneration_;
        idleTimer_.Disable();
        device_->Close();
        LogOutput().Write("Serial " + portName_ + " (" + devicePath_ + ") lost: " + why +
                              "; port closed, it is opened again on the next command",
                          true, true);
    }
    // What was queued can no longer reach the machine it was meant for.
    discard_output("device lost");
}

void TSerial::post_drain()
{
    PostDrain();
}

void TSerial::record_io_error(uint8_t code, int error)
{
    uint32_t mask = 0;
    device_->ClearErrors(mask);
    commErrors_ = mask;
    int in = 0, out = 0;
    device_->QueueSizes(in, out);
    commStatus_.InQue = in;
    commStatus_.OutQue = out;
    if (!StashWanted(code))
        return;
    StashRecord(code, error, std::strerror(error));
    StashRecord(code, static_cast<int32_t>(mask), "errors");
    StashRecord(code, in, "commstat.inque");
    StashRecord(code, out, "commstat.outque");
}

// ------------------------------------------------------- write / read ---

bool TSerial::write_comm()
{
    if (none_)
        return true;
    if (writeBusy_.exchange(1) != 0)
        return false; // another write is running
    bool wrote = false;
    bool letWindowRun = false;
    try {
        // A write left over from before the device was lost goes nowhere.
        if (pendingLen_ > 0 && pendingGeneration_ != lossGeneration_.load()) {
            LogOutput().Write("Serial " + portName_ + ": " + std::to_string(pendingLen_.load()) +
                                  " bytes of an unfinished write not sent (device lost)",
                              true, true);
            pendingLen_ = 0;
        }
        if (port_open() && (pendingLen_ > 0 || !outQueue_->is_empty())) {
            if (pendingLen_ == 0) {
                const int n = outQueue_->get_all(writeBuffer_);
                pendingOff_ = 0;
                pendingTotal_ = n;
                pendingGeneration_ = lossGeneration_.load();
                pendingLen_ = n;
                lastWriteProgressMs_ = GetClock().NowMs();
                if (StashWanted(STWriteStart))
                    StashRecord(STWriteStart, n, writeBuffer_.substr(0, static_cast<size_t>(n)));
            }
            const DeviceResult r =
                device_->Write(writeBuffer_.data() + pendingOff_, static_cast<size_t>(pendingLen_.load()));
            if (r.Gone) {
                record_io_error(STWriteError, r.Error);
                pendingLen_ = 0;
                writeBusy_ = 0;
                device_lost(std::string("write failed: ") + std::strerror(r.Error ? r.Error : EIO));
                return false;
            }
            if (!r.Ok()) {
                // Kept for the next try: the driver's error state is cleared.
                record_io_error(STWriteError, r.Error);
            } else if (r.Count > 0) {
                wrote = true;
                bytesWritten_ += static_cast<uint64_t>(r.Count);
                pendingOff_ += static_cast<int>(r.Count);
                pendingLen_ -= static_cast<int>(r.Count);
                lastWriteProgressMs_ = GetClock().NowMs();
                stallReported_ = false;
                idleTimer_.Touch();
                if (pendingLen_ == 0) {
                    StashRecord(STWriteComplete, pendingTotal_);
                    if (charLog_ && OnText && txLines_.add("> " + std::to_string(pendingTotal_) + " sent"))
                        post_drain();
                }
                letWindowRun = r.Count > 100 && OnInterfaceThread();
            } else if (!stallReported_ &&
                       GetClock().NowMs() - lastWriteProgressMs_ >
                           2 * pendingLen_.load() + std::max<int64_t>(2000, idleTimer_.IntervalMs.load())) {
                // Flow control (XOFF or CTS) has held the line longer than a
                // write may take.  Nothing is dropped; it is only noted.
                stallReported_ = true;
                StashRecord(STWriteError, pendingLen_.load(), "write stalled");
                LogOutput().Write("Serial " + portName_ + ": output held by flow control for " +
                                      std::to_string(GetClock().NowMs() - lastWriteProgressMs_) + " ms",
                                  true, true);
            }
        }
    } catch (const std::exception &e) {
        Report("TSerial.write_comm", "Error writing to serial port", &e, 0);
    } catch (...) {
        Report("TSerial.write_comm", "Error writing to serial port", nullptr, 0);
    }
    writeBusy_ = 0;
    // Window messages run only after the guard is released: a handler that
    // takes long (a message box) must not keep the receive thread from writing.
    if (letWindowRun)
        ProcessMessages();
    return wrote;
}

bool TSerial::read_comm()
{
    if (none_ || !port_open())
        return false;
    const int room = std::min<int>(inQueue_->FreeSpace(), static_cast<int>(readBuffer_.size()));
    if (room <= 0)
        return false; // left in the driver until inQueue_ has room
    StashRecord(STReadStart, static_cast<int32_t>(readBuffer_.size()));
    const DeviceResult r = device_->Read(readBuffer_.data(), static_cast<size_t>(room));
    if (r.Gone) {
        record_io_error(STReadError, r.Error ? r.Error : EIO);
        device_lost(r.Error ? std::string("read failed: ") + std::strerror(r.Error) : "the line hung up");
        return false;
    }
    if (!r.Ok()) {
        record_io_error(STReadError, r.Error);
        return false;
    }
    const int n = static_cast<int>(r.Count);
    if (n <= 0)
        return false;
    if (StashWanted(STReadComplete))
        StashRecord(STReadComplete, n, readBuffer_.substr(0, static_cast<size_t>(n)));
    idleTimer_.Touch();
    const bool charLog = charLog_ && static_cast<bool>(OnText);
    const bool rawLog = !charLog && terminalMode_;
    bool announce = false;
    std::string raw;
    for (int i = 0; i < n; ++i) {
        const uint8_t c = static_cast<uint8_t>(readBuffer_[static_cast<size_t>(i)]);
        inQueue_->put(c);
        if (charLog)
            announce |= rxLines_.add("<" + PrintableByte(c) + "!");
        else if (rawLog)
            raw += PrintableByte(c);
    }
    if (!raw.empty())
        LogOutput().Write(raw, false, false);
    if (announce)
        post_drain();
    return true;
}

void TSerial::DrainLines(const std::function<void(const std::string &)> &add)
{
    std::string line;
    while (rxLines_.take_first(line))
        add(line);
    while (txLines_.take_first(line))
        add(line);
}

// ------------------------------------------------------- send_string ---

void TSerial::trace(const std::string &line)
{
    if (debugEcho_ && OnText)
        OnText(line, true);
    else
        LogOutput().Write(line, true, true);
}

bool TSerial::send_string(const std::string &text, bool showProgress)
{
    if (none_)
        return false;
    BusyScope busy(*this);
    const uint64_t generation = lossGeneration_.load();
    check_open();
    if (!port_open())
        return false; // nothing would carry it; a stale command must not go out later
    std::unique_ptr<Progress> progress;
    const size_t length = text.size();
    const bool longText = length > 5000 && showProgress;
    if (longText) {
        progressTotal_ = static_cast<int32_t>(std::min<size_t>(length, INT32_MAX));
        progress.reset(CreateSecondaryProgress("Send Message Progress"));
        if (progress) {
            progress->Show("Send Message Progress");
            progress->SetProgress(0);
        }
    }
    struct HideProgress {
        std::unique_ptr<Progress> &p;
        ~HideProgress()
        {
            if (p)
                p->Hide();
        }
    } hide{progress};

    for (size_t i = 0; i < length; ++i) {
        if (flags_.Any())
            return false;
        if (lossGeneration_.load() != generation || !port_open()) {
            // The device went away under the send: what this send queued
            // since must not reach whatever is plugged in next.
            discard_output("send stopped, port closed");
            return false;
        }
        if (!outQueue_->put(static_cast<uint8_t>(text[i])))
            return false;
        if (length > 5000 && (i + 1) % 200 == 0) {
            if (progress)
                progress->SetProgress(static_cast<double>(i + 1) / static_cast<double>(length));
            if (lossGeneration_.load() == generation)
                check_open(); // keeps the port from idling out; never reopens a lost one mid-send
        }
    }

    std::string shown;
    if (debugEcho_ && OnText) {
        OnText(">" + text, true);
    } else {
        bool cut = false;
        shown = MakePrintableHead(text, 200, cut);
        if (cut)
            shown += "...";
        LogOutput().Write(">" + shown, true, true);
    }
    if (!outQueue_->put(13))
        return false;
    write_comm();
    check_open();
    return true;
}

bool TSerial::send_now(const std::string &text, int waitMs)
{
    if (none_)
        return false;
    BusyScope busy(*this);
    check_open();
    if (!port_open())
        return false;
    for (const char c : text + '\r')
        if (!outQueue_->put(static_cast<uint8_t>(c)))
            return false;
    LogOutput().Write(">" + MakePrintable(text), true, true);
    // No window messages meanwhile: the caller may be on its way out.
    Clock &clock = GetClock();
    const int64_t end = clock.NowMs() + waitMs;
    for (;;) {
        write_comm();
        // Taken by the driver is not yet on the line: a port closed right
        // after may drop what the driver still holds.
        int in = 0, out = 0;
        if (output_empty() && (!device_->QueueSizes(in, out) || out == 0))
            return true;
        if (clock.NowMs() >= end || !port_open())
            return false;
        clock.SleepMs(1);
    }
}

void TSerial::send_char(uint8_t c)
{
    if (none_)
        return;
    flags_.Cancelled = false;
    set_timeout(30000);
    if (!port_open())
        return;
    if (!outQueue_->put(c))
        return;
    write_comm();
    if (localEcho_)
        inQueue_->put(c);
}

} // namespace grittor
