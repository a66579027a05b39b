// Firmware transfer: XMODEM with 128-byte blocks and the 8-bit additive
// checksum, over the link's queues.
#include "link/TSerial.h"

#include "foundation/Clock.h"
#include "foundation/Progress.h"
#include "foundation/UiHooks.h"
#include "link/LinkThreads.h"
#include "link/TStash.h"

#include <algorithm>
#include <cstdio>

namespace grittor {

namespace {
constexpr uint8_t SOH = 0x01;
constexpr uint8_t EOT = 0x04;
constexpr uint8_t ACK = 0x06;
constexpr uint8_t NAK = 0x15;
constexpr uint8_t CAN = 0x18;
constexpr int kCancelCount = 133;
// Answers are looked for in short steps: a block's answer usually comes
// within a few milliseconds, and each step costs a whole block's worth of
// line time at 38400 baud when it is long.
constexpr int kAnswerStepMs = 5;

// "ss.zzz"
std::string SecondsText(int64_t ms)
{
    if (ms < 0)
        ms = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld.%03lld", static_cast<long long>((ms / 1000) % 100),
                  static_cast<long long>(ms % 1000));
    return buf;
}
} // namespace

uint8_t TSerial::send_xmodem(const std::string &data, const std::string &caption)
{
    uint8_t result = XmNoAckAtEof;
    unexpectedAnswer_ = -1;
    if (none_ || data.empty())
        return result;
    BusyScope busy(*this);
    Clock &clock = GetClock();

    struct Restore {
        TSerial &s;
        bool terminal;
        ~Restore()
        {
            GetProgress().Hide();
            RestoreThreadPriority();
            s.terminalMode_ = terminal;
        }
    } restore{*this, terminalMode_.exchange(false)}; // control bytes must stay in the input queue
    RaiseThreadPriority();
    Progress &progress = GetProgress();
    progress.Show(caption);
    progress.SetProgress(0);
    check_open();

    // A port that goes away ends the transfer at once: no answer can come
    // and nothing queued can leave.  A retry opens it again.
    const uint64_t generation = lossGeneration_.load();
    auto lost = [&] { return lossGeneration_.load() != generation || !port_open(); };
    auto giveUp = [&](uint8_t why) {
        drop_output("firmware transfer, port lost");
        return result = why;
    };
    if (lost())
        return giveUp(XmNoNak);

    // Whatever is still queued goes out first.
    while (!output_empty()) {
        write_comm();
        if (flags_.Any())
            return result;
        if (lost())
            return giveUp(XmNoNak);
        clock.SleepMs(50);
    }

    // The receiver asks for the first block with NAK.
    int64_t t = clock.NowMs();
    for (;;) {
        const int c = inQueue_->get();
        if (c == NAK)
            break;
        if (clock.NowMs() > t + replyTimeout_.load())
            return result = XmNoNak;
        if (c >= 0)
            continue; // line noise before the receiver is ready
        if (lost())
            return giveUp(XmNoNak);
        ProcessMessages();
        if (flags_.Any())
            return result;
        clock.SleepMs(kAnswerStepMs);
    }

    check_open();
    purge_input();
    blockNumber_ = 0;
    size_t position = 1;
    bool last = false;
    const int64_t start = clock.NowMs();
    nakCount_ = 0;
    const size_t length = data.size();

    auto cancelTransfer = [this, &lost] {
        if (lost())
            return; // nobody to tell
        for (int i = 0; i < kCancelCount; ++i)
            outQueue_->put(CAN);
        write_comm();
    };

    while (!last) {
        ++blockNumber_;
        xmodemPacket_[0] = SOH;
        xmodemPacket_[1] = static_cast<uint8_t>(blockNumber_ % 256);
        xmodemPacket_[2] = static_cast<uint8_t>(255 - blockNumber_ % 256);
        unsigned sum = 0;
        for (int i = 0; i < 128; ++i) {
            if (flags_.Any())
                return result;
            uint8_t b;
            if (position <= length) {
                b = static_cast<uint8_t>(data[position - 1]);
            } else {
                last = true;
                b = 0xFF;
            }
            ++position;
            sum += b;
            xmodemPacket_[static_cast<size_t>(3 + i)] = b;
        }
        xmodemPacket_[131] = static_cast<uint8_t>(sum % 256);
        progress.SetProgress(std::min(1.0, static_cast<double>(position) / static_cast<double>(length)));

        t = clock.NowMs(); // every try of this block shares ackTimeout_ from here
        if (lost())
            return giveUp(XmNoAck);
        check_open();
        int answer;
        for (;;) {
            for (uint8_t b : xmodemPacket_)
                if (!outQueue_->put(b))
                    return lost() ? giveUp(XmNoAck) : result;
            StashRecord(STSendRec, blockNumber_);
            const int64_t sent = clock.NowMs();
            for (int round = 1; !output_empty(); ++round) {
                write_comm();
                if (round % 100 == 0)
                    ProcessMessages();
                if (flags_.Any())
                    return result;
                if (lost())
                    return giveUp(XmNoAck);
                if (!output_empty())
                    clock.SleepMs(1); // the driver is full: give the line a moment
            }

            for (;;) {
                answer = inQueue_->get();
                if (answer >= 0)
                    break;
                if (clock.NowMs() > t + ackTimeout_) {
                    cancelTransfer();
                    return result = XmNoAck;
                }
                if (lost())
                    return giveUp(XmNoAck);
                ProcessMessages();
                if (flags_.Any())
                    return result;
                clock.SleepMs(kAnswerStepMs);
            }
            if (debugEcho_ && OnText)
                OnText(">" + SecondsText(clock.NowMs() - sent), false);
            if (answer != NAK)
                break;
            if (debugEcho_ && OnText)
                OnText("<", false);
            ProcessMessages();
            if (flags_.Any())
                return result;
            ++nakCount_;
        }
        if (answer != ACK) {
            unexpectedAnswer_ = answer;
            cancelTransfer();
            return result = XmNoAckAtEof;
        }
        StashRecord(STAck, blockNumber_);
    }

    outQueue_->put(EOT);
    outQueue_->put(EOT);
    write_comm();
    transferTime_ = clock.NowMs() - start;
    return result = XmSuccess;
}

} // namespace grittor
