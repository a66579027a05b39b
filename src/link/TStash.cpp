#include "link/TStash.h"

#include "foundation/Clock.h"

#include <memory>
#include <mutex>

namespace grittor {

namespace {
std::atomic<bool> g_doStash{false};
std::atomic<uint32_t> g_mask{DefaultStashMask};
std::mutex g_stashMutex;
std::unique_ptr<std::vector<TStash>> g_stash; // created on first record

const char *const kNames[StashCodeCount] = {
    "STReadStart",    "STReadComplete",  "STReadError",   "STWriteStart",   "STWriteComplete",
    "STWriteError",   "STInputFull",     "STOutputFull",  "STGetByteInput", "STGetByteOutput",
    "STPutByteInput", "STPutByteOutput", "STGetAllInput", "STGetAllOutput", "STWriteEvent",
    "STReadEvent",    "STSendRec",       "STAck",         "STOpenError",
};
} // namespace

const char *StashCodeName(int code)
{
    if (code < 0 || code >= StashCodeCount)
        return "";
    return kNames[code];
}

void SetDoStash(bool on)
{
    g_doStash.store(on);
}
bool DoStash()
{
    return g_doStash.load();
}
void SetStashMask(uint32_t mask)
{
    g_mask.store(mask);
}
uint32_t StashMask()
{
    return g_mask.load();
}

bool StashWanted(int code)
{
    return g_doStash.load(std::memory_order_relaxed) && code >= 0 && code < 32 &&
           (g_mask.load(std::memory_order_relaxed) & (1u << code)) != 0;
}

void StashRecord(int code, int32_t value, const std::string &text)
{
    if (!StashWanted(code))
        return;
    TStash rec;
    rec.Ticks = GetClock().NowNs();
    rec.Value = value;
    rec.Code = static_cast<uint8_t>(code);
    rec.Text = text;
    std::lock_guard<std::mutex> lock(g_stashMutex);
    if (!g_stash)
        g_stash = std::make_unique<std::vector<TStash>>();
    g_stash->push_back(std::move(rec));
}

bool StashExists()
{
    std::lock_guard<std::mutex> lock(g_stashMutex);
    return g_stash != nullptr;
}

void WithStash(const std::function<void(std::vector<TStash> &)> &fn)
{
    std::lock_guard<std::mutex> lock(g_stashMutex);
    if (!g_stash)
        g_stash = std::make_unique<std::vector<TStash>>();
    fn(*g_stash);
}

std::vector<TStash> StashSnapshot()
{
    std::lock_guard<std::mutex> lock(g_stashMutex);
    return g_stash ? *g_stash : std::vector<TStash>();
}

void ClearStash()
{
    std::lock_guard<std::mutex> lock(g_stashMutex);
    g_stash.reset();
}

} // namespace grittor
