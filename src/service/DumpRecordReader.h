// Records of the controller's memory dump as they arrive: 18 bytes each,
// four 32-bit words (least significant byte first), one byte nobody looks
// at, and a line feed.  A record whose 18th byte is not a line feed is
// followed by bytes that are dropped up to and including the next line feed.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace grittor {

using TDumpRecord = std::array<int32_t, 4>;

class TDumpRecordReader {
public:
    static constexpr int RecordBytes = 18;

    // One byte; true when it completed a record (Record() holds it).
    bool Feed(uint8_t c);
    const TDumpRecord &Record() const { return record_; }
    // Records that needed the hunt for a line feed.
    int Resynchronised() const { return resynchronised_; }

    // The record as the dump file holds it: word 0, tab, word 1, CR LF,
    // word 2, tab, word 3, CR LF; signed decimal.
    static std::string FileLines(const TDumpRecord &record);

private:
    void Decode();

    std::array<uint8_t, RecordBytes> bytes_{};
    int count_ = 0;
    bool hunting_ = false;
    int resynchronised_ = 0;
    TDumpRecord record_{};
};

} // namespace grittor
