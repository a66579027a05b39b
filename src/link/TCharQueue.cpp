#include "link/TCharQueue.h"

#include "foundation/Clock.h"
#include "foundation/UiHooks.h"
#include "link/LinkThreads.h"
#include "link/TStash.h"

#include <algorithm>

namespace grittor {

namespace {
// A queue needs at least two slots to hold anything at all.
int32_t SaneCapacity(int32_t capacity)
{
    return std::max<int32_t>(capacity, 2);
}
} // namespace

TCharQueue::TCharQueue(int32_t capacity, bool isInput, AbortFlags &flags)
    : Capacity(SaneCapacity(capacity)), IsInput(isInput), Flags(flags),
      Buffer(static_cast<size_t>(SaneCapacity(capacity))), ReadPos(SaneCapacity(capacity) - 1)
{
}

bool TCharQueue::put(uint8_t c)
{
    if (StashWanted(IsInput ? STPutByteInput : STPutByteOutput))
        StashRecord(IsInput ? STPutByteInput : STPutByteOutput, Count(), std::string(1, static_cast<char>(c)));
    for (;;) {
        bool stored = false, wake = false;
        {
            std::lock_guard<std::mutex> lock(Lock);
            if (!FullLocked()) {
                Buffer[static_cast<size_t>(WritePos)] = c;
                WritePos = (WritePos + 1) % Capacity;
                ++Count_;
                if (Count_ > HighWater_)
                    HighWater_ = Count_;
                stored = true;
                wake = Waiters > 0;
            }
        }
        if (stored) {
            if (wake)
                DataArrived.notify_one();
            return true;
        }
        // Full: wait for the consumer without holding the lock.  The wait is
        // cut into short slices so that a cancel is seen at once.
        const bool ui = OnInterfaceThread();
        for (int waited = 0; waited < PutWaitMs; waited += PutNapMs) {
            if (ui)
                ProcessMessages();
            if (Hopeless())
                return false;
            GetClock().SleepMs(PutNapMs);
            if (Hopeless())
                return false;
        }
        StashRecord(IsInput ? STInputFull : STOutputFull, Count());
    }
}

int TCharQueue::get()
{
    int result;
    int32_t left;
    {
        std::lock_guard<std::mutex> lock(Lock);
        if (EmptyLocked()) {
            result = -1;
        } else {
            ReadPos = (ReadPos + 1) % Capacity;
            --Count_;
            result = Buffer[static_cast<size_t>(ReadPos)];
        }
        left = Count_;
    }
    const int code = IsInput ? STGetByteInput : STGetByteOutput;
    if (StashWanted(code))
        StashRecord(code, left, result < 0 ? std::string("empty") : std::string(1, static_cast<char>(result)));
    return result;
}

bool TCharQueue::wait_data(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(Lock);
    if (!EmptyLocked())
        return true;
    ++Waiters;
    const bool ready = GetClock().WaitFor(DataArrived, lock, timeoutMs, [this] { return !EmptyLocked(); });
    --Waiters;
    return ready;
}

int TCharQueue::get_wait(int timeoutMs)
{
    return wait_data(timeoutMs) ? get() : -1;
}

int TCharQueue::get_all(std::string &buffer)
{
    return get_all(buffer.data(), static_cast<int>(buffer.size()));
}

int TCharQueue::get_all(char *buffer, int size)
{
    int n = 0;
    {
        std::lock_guard<std::mutex> lock(Lock);
        // At most two contiguous runs: up to the end of the ring, then from 0.
        while (n < size && !EmptyLocked()) {
            const int32_t first = (ReadPos + 1) % Capacity;
            const int32_t runEnd = first < WritePos ? WritePos : Capacity;
            const int32_t run = std::min<int32_t>(runEnd - first, size - n);
            std::copy_n(Buffer.begin() + first, run, buffer + n);
            n += run;
            ReadPos = (first + run - 1) % Capacity;
            Count_ -= run;
        }
    }
    StashRecord(IsInput ? STGetAllInput : STGetAllOutput, n);
    return n;
}

bool TCharQueue::is_empty() const
{
    std::lock_guard<std::mutex> lock(Lock);
    return EmptyLocked();
}

int32_t TCharQueue::Count() const
{
    std::lock_guard<std::mutex> lock(Lock);
    return Count_;
}

int32_t TCharQueue::FreeSpace() const
{
    std::lock_guard<std::mutex> lock(Lock);
    return Capacity - 1 - Count_;
}

int32_t TCharQueue::HighWater() const
{
    std::lock_guard<std::mutex> lock(Lock);
    return HighWater_;
}

} // namespace grittor
