// "stashdata.xls": the link's recorded events, oldest first.
#pragma once

#include "link/TStash.h"

#include <QDateTime>

#include <cstdint>
#include <string>
#include <vector>

namespace grittor {

class TStashFile {
public:
    // An entry's time: its counter value (ns of the clock) taken back from
    // the moment `nowNs` of that clock, which was wall time `wallNow`, as
    // "dd.hh:mm:ss.zzz" (day of the month first).
    static std::string TimeText(int64_t ticks, int64_t nowNs, const QDateTime &wallNow);
    // One line per entry: time, tab, kind name, tab, value, tab, the text
    // with every character outside 32..126 as "#" and its code, CR LF.
    static std::string Text(const std::vector<TStash> &entries, int64_t nowNs, const QDateTime &wallNow);

    enum class Result { Written, WriteFailed };
    // Writes the stash to `path` (replacing the file) while holding the
    // stash's lock, and empties the stash only when the file was written.
    static Result Dump(const std::string &path, int64_t nowNs, const QDateTime &wallNow);
};

} // namespace grittor
