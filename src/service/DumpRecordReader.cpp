#include "service/DumpRecordReader.h"

#include <charconv>

namespace grittor {

void TDumpRecordReader::Decode()
{
    for (size_t w = 0; w < 4; ++w) {
        uint32_t v = 0;
        for (size_t b = 0; b < 4; ++b)
            v |= static_cast<uint32_t>(bytes_[4 * w + b]) << (8 * b);
        record_[w] = static_cast<int32_t>(v);
    }
}

bool TDumpRecordReader::Feed(uint8_t c)
{
    if (hunting_) {
        if (c != 10)
            return false;
        hunting_ = false;
        return true; // the record read before the hunt
    }
    bytes_[static_cast<size_t>(count_++)] = c;
    if (count_ < RecordBytes)
        return false;
    count_ = 0;
    Decode();
    if (c == 10)
        return true;
    hunting_ = true;
    ++resynchronised_;
    return false;
}

std::string TDumpRecordReader::FileLines(const TDumpRecord &r)
{
    std::string lines;
    lines.reserve(52);
    auto put = [&lines](int32_t v, const char *tail) {
        char digits[16];
        lines.append(digits, std::to_chars(digits, digits + sizeof digits, v).ptr);
        lines += tail;
    };
    put(r[0], "\t");
    put(r[1], "\r\n");
    put(r[2], "\t");
    put(r[3], "\r\n");
    return lines;
}

} // namespace grittor
