// Putting a prepared job on the machine: the blast job (every pen group but
// the border's) or the border outline, placed as digitized.  The window's
// send commands, the job queue and grittor-cli run all go through here; the
// texts come from the one pipeline (geometry/BlastJob.h).
//
// Nothing here touches a window: the caller shows progress by polling
// Progress() while the exchange runs (the link lets the window messages run
// as it waits), and shows the result.
#pragma once

#include "foundation/option.h"
#include "geometry/BlastJob.h"
#include "link/JobWait.h"

#include <cstdint>
#include <memory>
#include <string>

namespace grittor {

class TSerial;

// The settings values a send reads.
struct TJobSettings {
    TBlastSettings Blast;
    TIntPoint LaserOffset;   // the laser pointer's offset from the nozzle, plotter units
    std::string PatternFile; // "blowpattern.xls" (empty: none written)
    static TJobSettings From(const Toption &options);
};

enum class TJobOutcome {
    Done,         // sent whole, and (for a job) the machine reported idle
    Cancelled,    // the operator cancelled (or the program closed)
    NoPort,       // "unable to open serial port"
    Refused,      // nothing sent: the placement or a number cannot be used
    NotCompleted, // the line was lost part way
};

struct TJobResult {
    TJobOutcome Outcome = TJobOutcome::Done;
    uint64_t Sent = 0;  // bytes of the text the driver took
    uint64_t Total = 0; // bytes of the text, with its ";" and CR
    std::string Message;
    bool Ok() const { return Outcome == TJobOutcome::Done; }
};

// How far a running job is.
struct TJobProgress {
    int Pass = 0;      // 1-based among the pen's passes (0 before the first)
    int Passes = 0;
    int Pen = 0;
    uint64_t Sent = 0;
    uint64_t Total = 0;
    long double RemainingMs = 0; // blasting still to do, estimated
    bool Waiting = false;        // sent; waiting for the machine to finish
};

class TJobRun {
public:
    // `lineBytesPerSecond`: the line's rate (baud / 10), for the estimate.
    TJobRun(TSerial &link, TBlastJob &job, double lineBytesPerSecond);

    // SendFileMenuClick's work: job position (with the laser offset), the
    // two speeds, the job text + ";", the wait for idle.
    TJobResult SendJob(const TMaterialPens &material, const TJobSettings &settings, const TPlacement &placement,
                       const TWaitEvents &events = {});
    // SendBorderClick's work: job position (no laser offset), the border
    // text; no wait.
    TJobResult SendBorder(const TPlacement &placement, const TWaitEvents &events = {});

    // While SendJob runs (and after): where the job is.  `nowMs` is
    // GetClock().NowMs() at the poll.
    TJobProgress Progress(int64_t nowMs);
    const TJobMap &Map() const { return map_; }

private:
    TJobResult Finish(bool queued, uint64_t before, uint64_t losses);

    TSerial &link_;
    TBlastJob &job_;
    double lineRate_;
    TJobMap map_;
    uint64_t startBytes_ = 0;
    uint64_t total_ = 0;
    bool waiting_ = false;
    bool finished_ = false; // the machine reported the job blasted
    // The machine's blast clock as the estimate sees it.
    long double blastedMs_ = 0;
    int64_t lastPollMs_ = -1;
};

// A position in whole plotter units, as the machine is told it: the floor,
// held to the 32-bit range (NaN gives the lowest).
int32_t Floor32(long double v);

// "job not completed: 1,234 of 5,678 bytes sent" and the rest of the texts.
std::string JobNotCompletedText(uint64_t sent, uint64_t total);

} // namespace grittor
