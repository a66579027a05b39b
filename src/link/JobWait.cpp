#include "link/JobWait.h"

#include "foundation/LogOutput.h"
#include "link/TSerial.h"

namespace grittor {

namespace {

bool Stopped(const TSerial &link)
{
    return link.Flags().Any();
}

} // namespace

TReplyTimeoutScope::TReplyTimeoutScope(TSerial &link, int64_t ms) : link_(link), kept_(link.ReplyTimeout())
{
    link_.set_timeout(ms);
}

TReplyTimeoutScope::~TReplyTimeoutScope() { link_.set_timeout(kept_); }

std::string StillWaitingText(int minutes)
{
    return std::to_string(minutes) + " minutes.  Still waiting for blaster idle.";
}

bool WaitForIdle(TSerial &link, const TWaitEvents &events)
{
    LogEntry("Q.Wait");
    if (Stopped(link))
        return false;
    TReplyTimeoutScope timeout(link, 10000);
    // A line lost while the machine works: whatever answers next is not
    // the machine that had the job (it may have been reset), so the wait
    // has failed.
    const uint64_t losses = link.LossCount();
    auto lost = [&] { return link.LossCount() != losses; };
    std::string reply;
    link.query("wa;", 100, reply);
    if (Stopped(link) || lost())
        return false;
    int n = 0;
    while (link.LastStatus() == RsTimeout) {
        // Still the same "wa;": keep listening for its answer.
        link.read_reply(100, reply);
        if (Stopped(link) || lost())
            return false;
        ++n;
        if (n % 5 == 0) {
            const std::string text = StillWaitingText(n / 5);
            LogEntry(text);
            if (events.StillWaiting)
                events.StillWaiting(text);
            link.query("wa;", 100, reply);
            if (Stopped(link) || lost())
                return false;
        }
    }
    return !lost();
}

void SendCancelSequence(TSerial &link, const std::function<void(int ms)> &pause)
{
    // The rest of the job must not reach the machine, nor hold the pause
    // back behind it.
    link.abort_output("job cancelled");
    link.query("\x1b.wstate;pause:", 80);
    if (pause)
        pause(1000);
    link.send_string("\x1b.k:");
    if (pause)
        pause(1000);
    link.query("\x1b.wstate;ready:", 80);
}

void WritePosition(TSerial &link, int32_t x, int32_t y, const TWaitEvents &events)
{
    LogEntry("Q.Write Position");
    WaitForIdle(link, events);
    {
        TReplyTimeoutScope timeout(link, 59000);
        std::string reply;
        link.query("\x1b.wposition;" + std::to_string(x) + ";" + std::to_string(y) + ":", 100, reply);
    }
    WaitForIdle(link, events);
    link.send_string("pg0;");
    WaitForIdle(link, events);
}

} // namespace grittor
