// A fixed ring of bytes shared by the interface thread and the receive
// thread.  Every access takes the queue's own lock; the lock is never held
// while waiting for room.
#pragma once

#include "foundation/AbortFlags.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace grittor {

class TCharQueue {
public:
    // `capacity` slots hold at most capacity - 1 bytes.  `isInput` selects
    // the stash codes (input or output queue).
    TCharQueue(int32_t capacity, bool isInput, AbortFlags &flags = GetAbortFlags());
    TCharQueue(const TCharQueue &) = delete;
    TCharQueue &operator=(const TCharQueue &) = delete;

    // Stores one byte.  While the queue is full it waits in steps of
    // PutWaitMs (letting window messages run on the interface thread) and
    // gives up, dropping the byte and returning false, as soon as Closing or
    // Cancelled is set, or as soon as the give-up test says so.
    bool put(uint8_t c);
    // Asked while put waits for room: true when nobody will ever take bytes
    // out again (the port behind an output queue is gone).  Set it before
    // the queue is shared between threads.
    void SetGiveUp(std::function<bool()> giveUp) { giveUp_ = std::move(giveUp); }
    // The oldest byte, or -1 when the queue is empty.
    int get();
    // Waits until a byte is there (put wakes the wait) or timeoutMs pass on
    // the installed clock; true when one is there.  Takes nothing.
    bool wait_data(int timeoutMs);
    // wait_data, then get: the oldest byte, or -1 after timeoutMs without one.
    int get_wait(int timeoutMs);
    // Moves bytes into buffer[0], buffer[1], ... until the queue is empty or
    // the buffer's current length is reached; returns how many were moved.
    int get_all(std::string &buffer);
    int get_all(char *buffer, int size);
    bool is_empty() const;

    int32_t Count() const;
    int32_t FreeSpace() const; // bytes that fit without waiting
    int32_t HighWater() const;

    const int32_t Capacity;
    const bool IsInput;
    // How long one wait for room lasts before the queue looks again.
    static constexpr int PutWaitMs = 1000;
    // The slices of that wait: the window's events run between two.
    static constexpr int PutNapMs = 20;

private:
    bool EmptyLocked() const { return (ReadPos + 1) % Capacity == WritePos; }
    bool FullLocked() const { return WritePos == ReadPos; }

    bool Hopeless() const { return Flags.Any() || (giveUp_ && giveUp_()); }

    AbortFlags &Flags;
    std::function<bool()> giveUp_;
    mutable std::mutex Lock;
    std::condition_variable DataArrived; // put wakes a consumer in wait_data
    int Waiters = 0;
    std::vector<uint8_t> Buffer;
    int32_t WritePos = 0; // next slot to fill
    int32_t ReadPos;      // slot read last
    int32_t Count_ = 0;
    int32_t HighWater_ = 0;
};

} // namespace grittor
