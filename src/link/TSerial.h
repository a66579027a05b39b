// The one link between the application and the machine: a serial port, two
// bounded byte queues, a receive thread that moves bytes between them and
// the port, an idle timer that releases the port, the command protocol
// (query and replies) and the firmware transfer.  In terminal mode the
// receive thread hands what arrives to the terminal sink (the main window's
// screen model, operation/TerminalScreen.h).
//
// The main window binds it like this:
//   Serial = std::make_unique<TSerial>(o.Port, 20000, o.Parity, o.DataBits, o.StopBits, o.Baud);
//   if (!Serial->OpenedOk()) ShowMessage("Unable to open " + o.Port);
//   Serial->TerminalSink = [this](std::string_view bytes) { screen_.Feed(bytes); };
//   Serial->OnText = [this](const std::string &t, bool stamp) { AddTerminalLine(t, stamp); };
//   Serial->PostDrain = [this] { QMetaObject::invokeMethod(this, [this] { DrainSerialLines(); },
//                                                          Qt::QueuedConnection); };
//   // DrainSerialLines: if (Serial) Serial->DrainLines([this](auto &l) { AddTerminalLine(l, false); });
//
// Threads: every operation runs on the interface thread except read_comm,
// the terminal sink and the idle check, which the receive thread runs;
// write_comm runs on both (the WriteBusy exchange lets one in).
#pragma once

#include "foundation/AbortFlags.h"
#include "link/LinkSupport.h"
#include "link/SerialDevice.h"
#include "link/TCharQueue.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace grittor {

class TCommThread;

// Reply status names (LastStatus).
enum TReplyStatus : uint8_t { RsTimeout = 0, RsTooManyChars = 1, RsCRReceived = 2 };
// "Timeout", "TooManyChars", "CRReceived"; "" for other values.
const char *ReplyStatusName(int status);

// Results of send_xmodem.
enum TXmodemResult : uint8_t { XmSuccess = 0, XmNoNak = 1, XmNoAck = 2, XmNoAckAtEof = 3 };
// "Success", "No Nak Received", "No Ack", "No Ack at EOF".
const char *XmodemResultName(int result);

// Driver queue sizes last read.
struct TCommStatus {
    std::atomic<int32_t> InQue{0};
    std::atomic<int32_t> OutQue{0};
};

// Closes the port after IntervalMs without activity.  Checked by the
// receive thread every round (there is no window timer in the core).
struct TIdleTimer {
    std::atomic<bool> Enabled{false};
    std::atomic<int64_t> IntervalMs{5000};
    std::atomic<int64_t> StartedMs{0};
    void Restart();
    void Disable() { Enabled = false; }
    // Activity (bytes moved) counts as use of the port.
    void Touch();
    bool Expired() const;
};

// Seams for tests: the device to use and whether the receive thread runs.
struct TSerialOptions {
    std::unique_ptr<SerialDevice> Device; // nullptr: CreateSerialDevice()
    bool StartThread = true;              // false: the test calls Thread->Round() itself
};

class TSerial {
public:
    // The longest a wait of the link sleeps between two runs of the window's
    // events: the window never stalls longer while a job is sent or waited for.
    static constexpr int kWaitNapMs = 20;

    using TextEvent = TSharedEvent<void(const std::string &text, bool addTimestamp)>;

    // Port "com1".."com8" (resolved by ResolvePortDevice) or "none"; the
    // main window passes the settings "Port", 20000, "Parity", "Data Bits",
    // "Stop Bits" and "Baud".  The port is opened at once: OpenedOk tells
    // whether that worked.  With "none" nothing is created and every
    // operation returns at once.
    TSerial(const std::string &portName, int32_t bufferSize, uint8_t parity, int32_t dataBits, uint8_t stopBits,
            int32_t baudRate, AbortFlags &flags = GetAbortFlags(), TSerialOptions options = {});
    ~TSerial();
    TSerial(const TSerial &) = delete;
    TSerial &operator=(const TSerial &) = delete;

    // ---- what the link tells ----
    // Whether the last opening worked.
    bool OpenedOk() const { return openedOk_.load(); }
    const std::string &PortName() const { return portName_; }
    int32_t BaudRate() const { return baudRate_.load(); } // corrected to 9600 at opening when unsupported
    int32_t BufferSize() const { return bufferSize_; }
    uint8_t Parity() const { return parity_; }
    int32_t DataBits() const { return dataBits_; }
    uint8_t StopBits() const { return stopBits_; }
    // The line settings as last applied at opening (interface thread).
    const SerialLineSettings &PortSettings() const { return portSettings_; }
    // Status of the last answer read (TReplyStatus).
    uint8_t LastStatus() const { return lastStatus_.load(); }
    int64_t ReplyTimeout() const { return replyTimeout_.load(); } // ms: reply silence limit and idle time
    int64_t AckTimeout() const { return ackTimeout_; } // ms one firmware block may wait for its answer
    void SetAckTimeout(int64_t ms) { ackTimeout_ = ms; }
    int64_t TransferTime() const { return transferTime_; } // ms, last completed firmware transfer
    int32_t NakCount() const { return nakCount_; }
    int32_t BlockNumber() const { return blockNumber_; }
    int32_t ProgressTotal() const { return progressTotal_; }
    uint32_t CommErrors() const { return commErrors_.load(); }
    // Bytes the driver has taken since the link was made (a job's progress).
    uint64_t BytesWritten() const { return bytesWritten_.load(); }
    const TCommStatus &CommStatus() const { return commStatus_; }
    const AbortFlags &Flags() const { return flags_; }

    // ---- switches ----
    // Replies keep CR and LF as data (binary answers such as memory dumps).
    void SetBinaryReplies(bool on) { binaryReplies_ = on; }
    bool BinaryReplies() const { return binaryReplies_.load(); }
    // Received bytes go to TerminalSink instead of waiting for an exchange.
    void SetTerminalMode(bool on) { terminalMode_ = on; }
    bool TerminalMode() const { return terminalMode_.load(); }
    void SetLocalEcho(bool on) { localEcho_ = on; }
    bool LocalEcho() const { return localEcho_.load(); }
    void SetDebugEcho(bool on) { debugEcho_ = on; }
    bool DebugEcho() const { return debugEcho_.load(); }
    void SetCharLog(bool on) { charLog_ = on; }
    bool CharLog() const { return charLog_.load(); }

    // ---- the link's pieces, for the receive thread and tests ----
    TCharQueue &InQueue() { return *inQueue_; }
    TCharQueue &OutQueue() { return *outQueue_; }
    // The receive thread (tests without a running thread call its Round).
    TCommThread *Thread() { return thread_.get(); }
    TIdleTimer &IdleTimer() { return idleTimer_; }

    // ---- events (bound by the main window; called from either thread) ----
    // Takes the bytes received while in terminal mode (receive thread).
    TSharedEvent<void(std::string_view bytes)> TerminalSink;
    TextEvent OnText; // the main window binds AddTerminalLine
    // Asks the main window to drain the character-log lines on its own
    // thread (it binds a queued call).
    TSharedEvent<void()> PostDrain;

    // ---- port ----
    // Restarts the idle timer when the port is open, else opens it.
    void check_open();
    // Opens and configures the port (no-op when open or "none").  False when
    // the device could not be opened (OpenedOk false, reason in the debug log).
    bool open_comm();
    void close_comm();
    // Reply timeout and idle interval in milliseconds; then check_open.
    void set_timeout(int64_t ms);
    // ms + 1000 s + 60000 min + 3600000 h.
    static int64_t Duration(int64_t hours, int64_t minutes, int64_t seconds, int64_t ms);

    // ---- output and input ----
    // Queues text + CR and starts writing; returns when all is queued (the
    // receive thread finishes the writing) or at once on Cancelled/Closing,
    // a lost device or a port that cannot be opened.
    // True when the whole text and its CR were queued.  A long text shows
    // the "Send Message Progress" window unless the caller shows its own.
    bool send_string(const std::string &text, bool showProgress = true);
    // A typed character: clears Cancelled, 30 s reply timeout, local echo.
    void send_char(uint8_t c);
    // Queues text + CR and writes it whatever the abort flags say, waiting at
    // most `waitMs` for the driver to take it; no answer is read.  For the
    // few commands that must reach the machine even while the program closes
    // or a job is cancelled (the stop of a running slew).  True when the
    // driver has put it all on the line.
    bool send_now(const std::string &text, int waitMs = 200);
    // Moves up to 1000 bytes from OutQueue to the port; true when bytes
    // were written or the port is "none".
    bool write_comm();
    // Reads what the driver holds (up to 1000 bytes, never more than
    // InQueue has room for) into InQueue; true when a byte arrived.
    bool read_comm();

    // ---- terminal lines ----
    // Takes RxLines then TxLines line by line (the main window's drain).
    void DrainLines(const std::function<void(const std::string &)> &add);

    // ---- protocol ----
    void query(const std::string &command, int limit, std::string &reply);
    std::string query(const std::string &command, int limit);
    void read_reply(int limit, std::string &reply);
    void flush_output();
    // Drops everything not on the line yet: the queue, a write under way
    // and the driver's output buffer (a cancelled job's rest).
    void abort_output(const char *why);
    void purge_input();

    // ---- firmware ----
    // A port lost during the transfer ends it at once: "No Nak Received"
    // before the first block, "No Ack" after, and no CAN is queued.
    uint8_t send_xmodem(const std::string &data, const std::string &caption);
    // The answer byte that ended the last transfer with "No Ack at EOF"
    // (BlockNumber is the block it answered), or -1.
    int UnexpectedAnswer() const { return unexpectedAnswer_; }

    // ---- state ----
    bool IsNone() const { return none_; }
    bool port_open() const;
    // True when nothing waits to be written (queue and unfinished write).
    bool output_empty() const;
    bool input_empty() const;
    // The device path of the last opening attempt.
    std::string DevicePath() const;
    // Why the last opening attempt failed, and its errno (ENOTTY for a path
    // that is no terminal); "" and 0 after one that worked.
    std::string OpenFailureReason() const;
    int OpenFailureError() const;
    // An operation of the interface thread (query, send, flush, reply) is
    // running: a window handler that finds it set runs inside that
    // operation's wait and must not start an exchange of its own.
    bool Exchanging() const { return busy_.load() > 0; }
    // Times the device went away while open.
    uint64_t LossCount() const { return lossGeneration_.load(); }
    // Closes the port when the idle timer has run out and nothing is going
    // on; true when it closed it.  The receive thread runs it every round.
    bool check_idle();

private:
    friend class TCommThread;
    friend struct TSerialTestAccess; // tests/unit/link/LinkTestSupport.h
    // While an exchange runs the port is in use, whatever the idle timer says.
    struct BusyScope {
        explicit BusyScope(TSerial &s) : link(s) { ++link.busy_; }
        ~BusyScope()
        {
            link.idleTimer_.Touch();
            --link.busy_;
        }
        TSerial &link;
    };

    void device_lost(const std::string &why);
    void discard_output(const char *why);
    // After a loss: the queue and an unfinished write are dropped.
    void drop_output(const char *why);
    void post_drain();
    void record_io_error(uint8_t code, int error);
    bool output_pending_write() const { return pendingLen_.load() > 0; }
    void trace(const std::string &line);

    // ---- data ----
    std::atomic<int32_t> baudRate_;
    std::atomic<bool> binaryReplies_{false};
    const int32_t bufferSize_;
    TCommStatus commStatus_;
    std::atomic<bool> charLog_{false};
    SerialLineSettings portSettings_;
    std::unique_ptr<TCharQueue> inQueue_;
    std::unique_ptr<TCharQueue> outQueue_;
    std::unique_ptr<TCommThread> thread_;
    const int32_t dataBits_;
    std::atomic<bool> localEcho_{false};
    int64_t transferTime_ = 0;
    std::atomic<uint32_t> commErrors_{0};
    std::atomic<uint8_t> lastStatus_{RsTimeout};
    TIdleTimer idleTimer_;
    std::atomic<bool> debugEcho_{false};
    TLineList rxLines_; // character-log lines of the receive side
    std::atomic<bool> openedOk_{true};
    const uint8_t parity_;
    const std::string portName_;
    int32_t progressTotal_ = 0;
    std::atomic<int64_t> replyTimeout_{5000};
    std::array<uint8_t, 132> xmodemPacket_{};
    int64_t ackTimeout_ = 5000;
    int32_t nakCount_ = 0;
    std::string readBuffer_; // one port read (1000)
    int32_t blockNumber_ = 0;
    const uint8_t stopBits_;
    std::atomic<bool> terminalMode_{false};
    std::string writeBuffer_; // one port write (1000)
    TLineList txLines_;       // character-log lines of the write side
    std::atomic<int> writeBusy_{0};
    std::atomic<uint64_t> bytesWritten_{0};
    AbortFlags &flags_;

    const bool none_;
    std::unique_ptr<SerialDevice> device_;
    mutable std::mutex portMutex_; // opening and closing
    std::string devicePath_;
    std::string lastOpenFailure_;
    std::string openFailureReason_;
    int openFailureError_ = 0;
    std::atomic<uint64_t> lossGeneration_{0};
    std::atomic<int> busy_{0}; // exchanges in progress: the idle timer waits
    // The part of WriteBuffer not yet taken by the driver (write_comm only).
    std::atomic<int> pendingLen_{0};
    int pendingOff_ = 0;
    int pendingTotal_ = 0;
    uint64_t pendingGeneration_ = 0;
    int64_t lastWriteProgressMs_ = 0;
    bool stallReported_ = false;
    int unexpectedAnswer_ = -1;
};

} // namespace grittor
