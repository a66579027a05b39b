// The command protocol: send one command, read one answer line.
#include "link/TSerial.h"

#include "foundation/Clock.h"
#include "foundation/LogOutput.h"
#include "foundation/UiHooks.h"

namespace grittor {

void TSerial::purge_input()
{
    if (none_ || !inQueue_)
        return;
    while (inQueue_->get() >= 0) {
    }
}

void TSerial::abort_output(const char *why)
{
    if (none_)
        return;
    discard_output(why);
    // A write under way is dropped too, once the thread that runs it lets go.
    while (writeBusy_.exchange(1) != 0)
        GetClock().SleepMs(1);
    if (pendingLen_ > 0) {
        LogOutput().Write("Serial " + portName_ + ": " + std::to_string(pendingLen_.load()) +
                              " bytes of an unfinished write not sent (" + why + ")",
                          true, true);
        pendingLen_ = 0;
    }
    writeBusy_ = 0;
    // And what the driver holds but has not put on the line yet.
    if (port_open())
        device_->Purge(false, true);
}

void TSerial::flush_output()
{
    if (none_)
        return;
    BusyScope busy(*this);
    const uint64_t generation = lossGeneration_.load();
    Clock &clock = GetClock();
    // As long as 50,000 rounds of 50 ms took, in shorter naps: the window's
    // events run between them, and no event waits longer than a nap.
    const int64_t deadline = clock.NowMs() + int64_t{50000} * 50;
    while (clock.NowMs() < deadline) {
        if (output_empty())
            return;
        if (lossGeneration_.load() != generation || !port_open()) {
            // Lost (or never opened): nothing will carry the rest, and it must
            // not reach whatever is opened next.
            drop_output("port closed while flushing");
            return;
        }
        write_comm();
        ProcessMessages();
        if (flags_.Any())
            return;
        clock.SleepMs(kWaitNapMs);
    }
}

void TSerial::read_reply(int limit, std::string &reply)
{
    uint8_t status = RsTimeout;
    reply.clear();
    if (none_ || flags_.Any())
        return;
    BusyScope busy(*this);
    Clock &clock = GetClock();
    int64_t start = clock.NowMs();
    check_open();
    // A line lost while we listen will not bring the answer: stop then.
    const uint64_t generation = lossGeneration_.load();
    const bool binary = binaryReplies_;
    const size_t max = limit > 0 ? static_cast<size_t>(limit) : 0;
    while (clock.NowMs() < start + replyTimeout_.load() && reply.size() < max) {
        if (flags_.Any())
            return;
        const int c = inQueue_->get();
        if (c >= 0) {
            start = clock.NowMs(); // the timeout runs from the last byte
            if (!binary) {
                if (c == 10)
                    continue;
                if (c == 13) {
                    status = RsCRReceived;
                    break;
                }
            }
            reply += static_cast<char>(c);
            if (reply.size() >= max) {
                status = RsTooManyChars;
                break;
            }
        } else {
            if (lossGeneration_.load() != generation)
                break;
            ProcessMessages();
            // A short nap, which the next byte ends at once.
            inQueue_->wait_data(kWaitNapMs);
            if (flags_.Any())
                return;
        }
    }
    lastStatus_ = status;
    const std::string text = binary ? std::to_string(reply.size()) + " binary bytes received" : reply;
    const std::string line = std::string(":") + ReplyStatusName(status) + "<" + text;
    trace(line);
}

void TSerial::query(const std::string &command, int limit, std::string &reply)
{
    if (flags_.Any())
        return;
    if (none_) {
        reply.clear();
        return;
    }
    BusyScope busy(*this);
    check_open();
    // Off while the exchange runs, so the receive thread leaves the answer
    // in inQueue_ for this caller.
    const bool terminal = terminalMode_.exchange(false);
    purge_input();
    send_string(command);
    if (flags_.Any())
        return;
    flush_output();
    read_reply(limit, reply);
    terminalMode_ = terminal;
    while (!flags_.Any() && inQueue_->get() >= 0) {
    }
}

std::string TSerial::query(const std::string &command, int limit)
{
    std::string reply;
    query(command, limit, reply);
    return reply;
}

} // namespace grittor
