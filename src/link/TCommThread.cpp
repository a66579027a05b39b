#include "link/TCommThread.h"

#include "foundation/ExceptionReporting.h"
#include "link/LinkThreads.h"
#include "link/TSerial.h"
#include "link/TStash.h"

#include <chrono>

namespace grittor {

TCommThread::TCommThread(TSerial &link) : Link(link) {}

TCommThread::~TCommThread()
{
    Terminate();
    WaitFor();
}

void TCommThread::Start()
{
    if (thread_.joinable())
        return;
    terminated_ = false;
    thread_ = std::thread([this] { Execute(); });
}

void TCommThread::Terminate()
{
    terminated_ = true;
    {
        std::lock_guard<std::mutex> lock(napMutex_);
    }
    napWake_.notify_all();
}

void TCommThread::WaitFor()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void TCommThread::Nap(int ms)
{
    std::unique_lock<std::mutex> lock(napMutex_);
    napWake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return terminated_.load(); });
}

void TCommThread::Execute()
{
    MarkCommThread(true);
    priorityRaised_ = RaiseThreadPriority();
    while (!terminated_) {
        try {
            Round(RoundMs);
        } catch (const std::exception &e) {
            Report("TCommThread.execute", "Error reading from serial port", &e, 0);
            Nap(RoundMs); // a failing round must not spin
        } catch (...) {
            Report("TCommThread.execute", "Error reading from serial port", nullptr, 0);
            Nap(RoundMs);
        }
    }
    MarkCommThread(false);
}

void TCommThread::Round(int waitMs)
{
    TSerial &s = Link;
    if (s.IsNone())
        return;
    if (!s.port_open()) {
        if (waitMs > 0)
            Nap(waitMs);
        return;
    }
    // The wait is the round's sleep: it ends early when bytes arrive or the
    // driver takes more output, which keeps replies and streams moving.
    int wanted = 0;
    if (s.inQueue_->FreeSpace() > 0)
        wanted |= EvReceive; // a full InQueue leaves bytes in the driver
    if (!s.output_empty())
        wanted |= EvTransmit;
    const int events = s.device_->Wait(wanted, waitMs);
    if (terminated_)
        return;
    if (events & EvHangup) {
        while (s.read_comm() && !terminated_) {
        }
        if (s.port_open())
            s.device_lost("the line hung up");
        return;
    }
    if (events & EvReceive) {
        StashRecord(STReadEvent, events);
        while (!terminated_ && s.read_comm()) {
        }
    }
    bool wrote = false;
    if ((events & EvTransmit) && !s.output_empty()) {
        StashRecord(STWriteEvent, events);
        wrote = s.write_comm();
    }
    if (!s.output_empty())
        wrote |= s.write_comm();
    else if (s.inQueue_->is_empty())
        s.read_comm();
    // The driver takes output but none was written (the interface thread
    // holds the write): pause briefly instead of spinning on the event.
    if ((events & EvTransmit) && !wrote && !s.output_empty() && waitMs > 0)
        Nap(2);

    // Terminal: everything received goes to the screen while terminal mode
    // is on.  The mode is checked before each byte is taken, so a byte is
    // never taken and then dropped when a command switches it off.
    if (s.terminalMode_ && s.TerminalSink && !s.inQueue_->is_empty()) {
        s.check_open();
        std::string bytes;
        while (!terminated_ && s.terminalMode_ && bytes.size() < 4096) {
            const int c = s.inQueue_->get();
            if (c < 0)
                break;
            bytes += static_cast<char>(c);
        }
        if (!bytes.empty())
            s.TerminalSink(std::string_view(bytes));
    }
    s.check_idle();
}

} // namespace grittor
