#include "service/MemoryDump.h"

#include "foundation/Clock.h"
#include "foundation/Progress.h"
#include "foundation/UiHooks.h"
#include "foundation/utils.h"
#include "link/TCharQueue.h"
#include "service/DumpRecordReader.h"

#include <algorithm>
#include <cstring>

namespace grittor {

uint32_t TMemoryDump::ParseAddress(const std::string &text)
{
    static const char digits[] = "0123456789abcdef";
    uint32_t value = 0;
    for (char ch : text) {
        const char c = (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
        value *= 16;
        if (const char *at = c ? std::strchr(digits, c) : nullptr)
            value += static_cast<uint32_t>(at - digits);
    }
    return value;
}

std::string TMemoryDump::AddressText(uint32_t address)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", address);
    return buf;
}

std::optional<int32_t> TMemoryDump::WordCount(const std::string &text)
{
    int n = 0;
    if (!ParseInt(text, n) || n < 0)
        return std::nullopt;
    const int64_t raised = (static_cast<int64_t>(n) + 3) / 4 * 4;
    if (raised > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(raised);
}

std::string TMemoryDump::Command(uint32_t address, int32_t words)
{
    return "\x1b.cdump_mem;" + std::to_string(address) + ";" + std::to_string(words) + ":";
}

TDumpOutcome TMemoryDump::Receive(TCharQueue &in, int32_t words, std::FILE *out, Progress &progress,
                                  const AbortFlags &flags, int64_t silenceMs)
{
    Clock &clock = GetClock();
    TDumpOutcome outcome;
    TDumpRecordReader reader;
    TBreather breather;
    int64_t left = words;
    int64_t quietSince = -1; // when the queue was first found empty since the last byte
    auto stopped = [&] { return flags.Any() || flags.OperationCancelled.load(); };
    for (;;) {
        const int c = in.get();
        if (c < 0) {
            if (stopped()) {
                outcome.Aborted = true;
                break;
            }
            const int64_t now = clock.NowMs();
            if (quietSince < 0)
                quietSince = now;
            if (now - quietSince >= silenceMs) {
                outcome.TimedOut = true;
                break;
            }
            ProcessMessages();
            in.wait_data(static_cast<int>(std::min<int64_t>(WaitSliceMs, silenceMs - (now - quietSince))));
            continue;
        }
        quietSince = -1;
        if (!reader.Feed(static_cast<uint8_t>(c)))
            continue;
        const std::string lines = TDumpRecordReader::FileLines(reader.Record());
        if (std::fwrite(lines.data(), 1, lines.size(), out) != lines.size())
            outcome.WriteFailed = true;
        ++outcome.Records;
        left -= 4;
        if (left % 4096 == 0 && words > 0)
            progress.SetProgress(static_cast<double>(words - left) / static_cast<double>(words));
        if (left <= 0)
            break;
        if (breather.Breathe() && stopped()) {
            outcome.Aborted = true;
            break;
        }
    }
    outcome.WordsLeft = left;
    outcome.Resynchronised = reader.Resynchronised();
    return outcome;
}

} // namespace grittor
