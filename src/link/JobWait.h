// The two machine operations every job shares: telling the machine where
// the job's origin lies (WritePosition) and waiting until it reports the
// blaster idle (Wait).  The job send, the load-key sequence, the job queue
// and grittor-cli run all use them; the job queue window offers them under
// its own name, shown or not.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace grittor {

class TSerial;

// The link's reply timeout set for the length of one operation, and the
// one it had restored on every way out.
class TReplyTimeoutScope {
public:
    TReplyTimeoutScope(TSerial &link, int64_t ms);
    ~TReplyTimeoutScope();
    TReplyTimeoutScope(const TReplyTimeoutScope &) = delete;
    TReplyTimeoutScope &operator=(const TReplyTimeoutScope &) = delete;
    int64_t Kept() const { return kept_; }

private:
    TSerial &link_;
    int64_t kept_;
};

// What a wait tells its caller while it goes on.
struct TWaitEvents {
    // Every fifth silent round (about every 50 s): "N minutes.  Still
    // waiting for blaster idle."  The window shows it in the exception
    // report window; the log has it already.
    std::function<void(const std::string &text)> StillWaiting;
};

// Waits until the machine answers "wa;" (the blaster is idle): asks, then
// listens in rounds of the 10 s reply timeout, asking again after every
// fifth silent round.  Returns at once, exchanging nothing, while the
// job is cancelled or the program closes, and false as soon as the line is
// lost.  The link's reply timeout is restored on every way out.  True when
// the machine answered.
bool WaitForIdle(TSerial &link, const TWaitEvents &events = {});

// Tells the machine the job position (plotter units): waits, writes the
// machine variable "position" with a 59 s timeout, waits, sends "pg0;" and
// waits again.
void WritePosition(TSerial &link, int32_t x, int32_t y, const TWaitEvents &events = {});

// Stops the job on the machine: pause, "ESC.k:" (kill the job), ready
// again; `pause(ms)` waits between them.  The caller then sets Cancelled,
// which ends whatever exchange was running.
void SendCancelSequence(TSerial &link, const std::function<void(int ms)> &pause);

// The text of the n-th report of a long wait.
std::string StillWaitingText(int minutes);

} // namespace grittor
