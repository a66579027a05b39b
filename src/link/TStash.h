// The event stash: a process-wide, thread-safe record of the link's
// low-level events with high-resolution time stamps, for diagnosing the line.
// Nothing is recorded while the switch ("Do Stash") is off.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace grittor {

// Event codes; their names are what a stash dump prints.
enum TStashCode : uint8_t {
    STReadStart = 0,
    STReadComplete = 1,
    STReadError = 2,
    STWriteStart = 3,
    STWriteComplete = 4,
    STWriteError = 5,
    STInputFull = 6,
    STOutputFull = 7,
    STGetByteInput = 8,
    STGetByteOutput = 9,
    STPutByteInput = 10,
    STPutByteOutput = 11,
    STGetAllInput = 12,
    STGetAllOutput = 13,
    STWriteEvent = 14,
    STReadEvent = 15,
    STSendRec = 16,
    STAck = 17,
    STOpenError = 18,
};
constexpr int StashCodeCount = 19;

// The mask a link sets when it is built: codes 8 to 12 are left out.
constexpr uint32_t DefaultStashMask = 0x7E0FF;

struct TStash {
    int64_t Ticks = 0; // high-resolution counter (ns of the installed clock)
    int32_t Value = 0;
    uint8_t Code = 0;
    std::string Text;
};

// "STReadStart" ... "STOpenError"; "" for codes outside 0..18.
const char *StashCodeName(int code);

// The process-wide switch and mask.
void SetDoStash(bool on);
bool DoStash();
void SetStashMask(uint32_t mask);
uint32_t StashMask();

// True when a record of `code` would be kept (lets callers skip building
// the text).
bool StashWanted(int code);

// Appends a record when the switch is on, code < 32 and the mask has the
// code's bit.
void StashRecord(int code, int32_t value, const std::string &text = std::string());

// True once the first record has been made (the list exists).
bool StashExists();
// Runs `fn` on the list while holding the stash lock (a dump writes and
// empties it this way).
void WithStash(const std::function<void(std::vector<TStash> &)> &fn);
// Copy of the records (tests, viewers).
std::vector<TStash> StashSnapshot();
// Back to nothing ever recorded (each test starts there).
void ClearStash();

} // namespace grittor
