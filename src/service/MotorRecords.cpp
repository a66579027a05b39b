#include "service/MotorRecords.h"

namespace grittor {

bool TMotorRecordParser::Feed(uint8_t c)
{
    switch (state_) {
    case State::Hunt:
        if (c == 13)
            state_ = State::ExpectLineFeed;
        return false;
    case State::ExpectLineFeed:
        if (c == 10) {
            state_ = State::Collect;
            count_ = 0;
        } else {
            state_ = State::Hunt;
        }
        return false;
    case State::Collect:
        bytes_[static_cast<size_t>(count_++)] = c;
        if (count_ == 16)
            state_ = State::ExpectEnd;
        return false;
    case State::ExpectEnd:
        if (c != 13) {
            state_ = State::Hunt;
            return false;
        }
        for (size_t w = 0; w < 4; ++w) {
            uint32_t v = 0;
            for (size_t b = 0; b < 4; ++b)
                v |= static_cast<uint32_t>(bytes_[4 * w + b]) << (8 * b);
            record_[w] = static_cast<int32_t>(v);
        }
        state_ = State::ExpectLineFeed;
        return true;
    }
    return false;
}

std::vector<TMotorRecord> TMotorRecordParser::Records(std::string_view reply)
{
    std::vector<TMotorRecord> records;
    TMotorRecordParser parser;
    for (char c : reply)
        if (parser.Feed(static_cast<uint8_t>(c)))
            records.push_back(parser.Record());
    return records;
}

TMotorRecordParser::Points TMotorRecordParser::PlotPoints(std::string_view reply)
{
    Points points;
    for (const TMotorRecord &r : Records(reply)) {
        if (r[0] == 0 || r[1] == 0)
            continue;
        points.X.push_back({r[0], r[1]});
        points.Y.push_back({r[2], r[3]});
    }
    return points;
}

} // namespace grittor
