// The machine's answer to "ec32760;": a text line, then records of four
// 32-bit words (least significant byte first), each ended by CR LF.  A
// record that does not end so is dropped and the reader hunts for the next
// CR LF.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace grittor {

using TMotorRecord = std::array<int32_t, 4>;

struct TMotorPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const TMotorPoint &o) const { return x == o.x && y == o.y; }
};

class TMotorRecordParser {
public:
    // One byte; true when it completed a record (Record() holds it).
    bool Feed(uint8_t c);
    const TMotorRecord &Record() const { return record_; }

    // Every record of a whole answer.
    static std::vector<TMotorRecord> Records(std::string_view reply);

    // The chart's points of the records: (w0, w1) for "X motor" and
    // (w2, w3) for "Y Motor", only from records whose w0 and w1 are both
    // non-zero.
    struct Points {
        std::vector<TMotorPoint> X;
        std::vector<TMotorPoint> Y;
    };
    static Points PlotPoints(std::string_view reply);

private:
    enum class State { Hunt, ExpectLineFeed, Collect, ExpectEnd };
    State state_ = State::Hunt;
    std::array<uint8_t, 16> bytes_{};
    int count_ = 0;
    TMotorRecord record_{};
};

} // namespace grittor
