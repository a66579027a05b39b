// Reading a block of the controller's memory: the request as the memory
// window takes it, and the receive loop that turns the arriving records into
// the dump file.
//
// The receive loop waits on the link's input queue (put wakes it) instead of
// polling it, so it costs no processor time between bytes.  It gives up when
// no byte has arrived for `silenceMs` (the link's reply timeout), counted
// from the start of receiving and from every byte received; the speed of the
// computer plays no part.
#pragma once

#include "foundation/AbortFlags.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace grittor {

class Progress;
class TCharQueue;

struct TDumpOutcome {
    bool TimedOut = false; // silence ended it ("timeout receiving characters")
    bool Aborted = false;  // Closing, Cancelled or the progress window's Cancel
    bool WriteFailed = false;
    int64_t WordsLeft = 0;  // words still expected when it ended (<= 0 when all came)
    int64_t Records = 0;    // records written
    int Resynchronised = 0; // records that needed the hunt for a line feed
};

class TMemoryDump {
public:
    // Hexadecimal, lower-cased first: every character multiplies the value
    // by 16 and adds its place in "0123456789abcdef"; a character not there
    // adds nothing.  Wraps at 32 bits.
    static uint32_t ParseAddress(const std::string &text);
    // Eight upper-case hexadecimal digits ("00001A2B").
    static std::string AddressText(uint32_t address);
    // The word count raised to the next multiple of 4; nothing when the text
    // is not a whole number from 0 up or the raised count passes 32 bits.
    static std::optional<int32_t> WordCount(const std::string &text);
    // "ESC.cdump_mem;" address in decimal ";" words ":"
    static std::string Command(uint32_t address, int32_t words);

    // Receives records from `in` until `words` is used up (at least one
    // record: the count is tested after each), writing each to `out`.
    // Progress moves whenever the words left are a multiple of 4096.  Window
    // messages keep running when called on the interface thread.
    static TDumpOutcome Receive(TCharQueue &in, int32_t words, std::FILE *out, Progress &progress,
                                const AbortFlags &flags, int64_t silenceMs);

    // How long one wait on the queue lasts before the window gets a turn.
    static constexpr int WaitSliceMs = 20;
};

} // namespace grittor
