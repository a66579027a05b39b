#include "service/StashFile.h"

#include "foundation/StringUtils.h"

#include <cstdio>

namespace grittor {

std::string TStashFile::TimeText(int64_t ticks, int64_t nowNs, const QDateTime &wallNow)
{
    // The time is cut to the millisecond, as a clock shows it: the age is
    // rounded up.
    const int64_t ageNs = nowNs - ticks;
    const int64_t ageMs = ageNs >= 0 ? (ageNs + 999999) / 1000000 : -(-ageNs / 1000000);
    return wallNow.addMSecs(-ageMs).toString("dd.hh:mm:ss.zzz").toStdString();
}

std::string TStashFile::Text(const std::vector<TStash> &entries, int64_t nowNs, const QDateTime &wallNow)
{
    std::string text;
    for (const TStash &e : entries) {
        text += TimeText(e.Ticks, nowNs, wallNow);
        text += '\t';
        text += StashCodeName(e.Code);
        text += '\t';
        text += std::to_string(e.Value);
        text += '\t';
        text += PrintableText(e.Text);
        text += "\r\n";
    }
    return text;
}

TStashFile::Result TStashFile::Dump(const std::string &path, int64_t nowNs, const QDateTime &wallNow)
{
    Result result = Result::Written;
    WithStash([&](std::vector<TStash> &entries) {
        std::remove(path.c_str());
        std::FILE *f = std::fopen(path.c_str(), "wb");
        if (!f) {
            result = Result::WriteFailed;
            return;
        }
        const std::string text = Text(entries, nowNs, wallNow);
        const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        if (std::fclose(f) != 0 || !written) {
            result = Result::WriteFailed;
            return; // the entries stay: the file does not hold them
        }
        entries.clear();
    });
    return result;
}

} // namespace grittor
