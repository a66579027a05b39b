#include "operation/JobRun.h"

#include "foundation/Clock.h"
#include "foundation/LogOutput.h"
#include "link/MachineNumbers.h"
#include "link/MachineOps.h"
#include "link/TSerial.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace grittor {

namespace {

// Bytes as "1,234,567".
std::string Grouped(uint64_t n)
{
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<size_t>(i), ",");
    return digits;
}

bool EnsurePort(TSerial &link)
{
    if (!link.port_open())
        link.check_open();
    return link.port_open();
}

} // namespace

int32_t Floor32(long double v)
{
    const long double f = std::floor(v);
    if (!(f > INT32_MIN))
        return INT32_MIN;
    if (!(f < INT32_MAX))
        return INT32_MAX;
    return static_cast<int32_t>(f);
}

std::string JobNotCompletedText(uint64_t sent, uint64_t total)
{
    return "job not completed: " + Grouped(sent) + " of " + Grouped(total) + " bytes sent";
}

TJobSettings TJobSettings::From(const Toption &o)
{
    TJobSettings s;
    s.Blast = TBlastSettings::From(o);
    s.LaserOffset = o.LaserOffset;
    s.PatternFile = o.Directory + "blowpattern.xls";
    return s;
}

TJobRun::TJobRun(TSerial &link, TBlastJob &job, double lineBytesPerSecond)
    : link_(link), job_(job), lineRate_(lineBytesPerSecond > 0 ? lineBytesPerSecond : 960)
{
}

TJobResult TJobRun::Finish(bool queued, uint64_t before, uint64_t losses)
{
    TJobResult r;
    r.Total = total_;
    if (queued && !link_.Flags().Any())
        link_.flush_output(); // ends at once when the port is lost
    r.Sent = std::min<uint64_t>(link_.BytesWritten() - before, total_);
    if (link_.Flags().Any()) {
        r.Outcome = TJobOutcome::Cancelled;
        r.Message = "job cancelled: " + Grouped(r.Sent) + " of " + Grouped(r.Total) + " bytes sent";
    } else if (!queued || link_.LossCount() != losses || r.Sent < r.Total || !link_.output_empty()) {
        r.Outcome = TJobOutcome::NotCompleted;
        r.Message = JobNotCompletedText(r.Sent, r.Total);
    }
    return r;
}

TJobResult TJobRun::SendJob(const TMaterialPens &material, const TJobSettings &settings, const TPlacement &placement,
                            const TWaitEvents &events)
{
    TJobResult refused;
    refused.Outcome = TJobOutcome::Refused;
    // Nothing half-sent: a placement that cannot be fitted goes no further.
    const TFitReport fit = CheckFit(job_.Drawing(), placement, job_.DrawingMeasured());
    if (!fit.Usable) {
        refused.Message = fit.Problem;
        return refused;
    }
    if (!EnsurePort(link_)) {
        TJobResult r;
        r.Outcome = TJobOutcome::NoPort;
        r.Message = "unable to open serial port";
        return r;
    }
    const TAlignPoints &rec = placement.Record;
    WritePosition(link_, Floor32(static_cast<long double>(Floor32(rec.Origin.x)) - settings.LaserOffset.x),
                  Floor32(static_cast<long double>(Floor32(rec.Origin.y)) - settings.LaserOffset.y), events);
    int downSpeed = 0;
    ParseInt(Trim(ReadDrawSpeed(link_)), downSpeed);
    ReadMoveSpeed(link_); // read as the machine expects; not used further
    if (link_.Flags().Any()) {
        TJobResult r;
        r.Outcome = TJobOutcome::Cancelled;
        r.Message = "job cancelled before it was sent";
        return r;
    }

    // "blowpattern.xls" receives every emitted point; made afresh each time.
    std::ofstream pattern;
    if (!settings.PatternFile.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(settings.PatternFile).parent_path(), ec);
        std::filesystem::remove(settings.PatternFile, ec);
        pattern.open(settings.PatternFile, std::ios::binary | std::ios::trunc);
    }
    map_ = TJobMap{};
    const std::string text =
        job_.JobText(material, settings.Blast, downSpeed, placement, pattern.is_open() ? &pattern : nullptr, &map_) +
        ";";
    pattern.close();
    if (const std::string problem = CheckMachineText(text); !problem.empty()) {
        refused.Message = "The job cannot be sent: " + problem + ". Nothing of the job was sent.";
        return refused;
    }

    total_ = text.size() + 1; // with the CR the send adds
    startBytes_ = link_.BytesWritten();
    blastedMs_ = 0;
    // The machine starts blasting as the first bytes arrive.
    lastPollMs_ = GetClock().NowMs();
    waiting_ = false;
    finished_ = false;
    const uint64_t losses = link_.LossCount();
    const bool queued = link_.send_string(text, false);
    TJobResult r = Finish(queued, startBytes_, losses);
    if (!r.Ok())
        return r;
    waiting_ = true;
    if (!WaitForIdle(link_, events)) {
        if (link_.Flags().Any()) {
            r.Outcome = TJobOutcome::Cancelled;
            r.Message = "job cancelled while the machine was blasting";
        } else {
            r.Outcome = TJobOutcome::NotCompleted;
            r.Message = JobNotCompletedText(r.Sent, r.Total) + "; the line was lost before the machine reported the blast finished";
        }
    } else {
        finished_ = true;
    }
    waiting_ = false;
    return r;
}

TJobResult TJobRun::SendBorder(const TPlacement &placement, const TWaitEvents &events)
{
    TJobResult r;
    if (job_.BorderGroupIndex() < 0) {
        r.Outcome = TJobOutcome::Refused;
        r.Message = "There is no border pen in the plot file";
        return r;
    }
    const TFitReport fit = CheckFit(job_.Drawing(), placement, job_.DrawingMeasured());
    if (!fit.Usable) {
        r.Outcome = TJobOutcome::Refused;
        r.Message = fit.Problem;
        return r;
    }
    if (!EnsurePort(link_)) {
        r.Outcome = TJobOutcome::NoPort;
        r.Message = "unable to open serial port";
        return r;
    }
    WritePosition(link_, Floor32(placement.Record.Origin.x), Floor32(placement.Record.Origin.y), events);
    const std::string text = job_.BorderText(placement);
    LogEntry("Send Border file");
    LogOutput().Write(text, false, false);
    if (const std::string problem = CheckMachineText(text); !problem.empty()) {
        r.Outcome = TJobOutcome::Refused;
        r.Message = "The border cannot be sent: " + problem + ".";
        return r;
    }
    total_ = text.size() + 1;
    startBytes_ = link_.BytesWritten();
    const uint64_t losses = link_.LossCount();
    const bool queued = link_.send_string(text);
    return Finish(queued, startBytes_, losses);
}

TJobProgress TJobRun::Progress(int64_t nowMs)
{
    TJobProgress p;
    p.Total = total_;
    p.Sent = std::min<uint64_t>(link_.BytesWritten() - startBytes_, total_);
    p.Waiting = waiting_;
    const int index = map_.PassAt(static_cast<size_t>(p.Sent));
    long double receivedMs = 0;
    for (size_t i = 0; i < map_.Passes.size(); ++i) {
        const TJobPass &pass = map_.Passes[i];
        const size_t end = i + 1 < map_.Passes.size() ? map_.Passes[i + 1].Offset : map_.Length;
        if (p.Sent >= end)
            receivedMs += pass.BlastMs();
        else if (p.Sent > pass.Offset)
            receivedMs += pass.BlastMs() * static_cast<long double>(p.Sent - pass.Offset) /
                          static_cast<long double>(std::max<size_t>(end - pass.Offset, 1));
    }
    if (index >= 0) {
        const TJobPass &pass = map_.Passes[static_cast<size_t>(index)];
        p.Pass = pass.Pass;
        p.Passes = pass.PenPasses;
        p.Pen = pass.Pen;
    }
    // The machine blasts what it has received, at its own pace: its blast
    // clock runs while work is waiting for it.
    if (lastPollMs_ >= 0) {
        const long double dt = static_cast<long double>(nowMs - lastPollMs_);
        blastedMs_ = std::min(receivedMs, blastedMs_ + std::max<long double>(dt, 0));
    }
    lastPollMs_ = nowMs;
    const long double blastLeft = map_.TotalBlastMs() - blastedMs_;
    const long double lineLeft = static_cast<long double>(total_ - p.Sent) / lineRate_ * 1000.0L;
    p.RemainingMs = finished_ ? 0 : std::max<long double>({blastLeft, lineLeft, 0});
    return p;
}

} // namespace grittor
