// The lines a motion test of the engineering monitor sends back: whatever
// comes before a "begin" line, the begin line, x,y pairs (four series split
// by 0,0) and "eof".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace grittor {

struct TCapturePair {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const TCapturePair &o) const { return x == o.x && y == o.y; }
};

class TCaptureParser {
public:
    static constexpr int MaxPairs = 4499;

    enum class Result {
        Ignored, // a line before the begin line
        Begin,   // the data starts
        Pair,    // a pair was stored
        Skipped, // a data line that is not two whole numbers
        End,     // "eof", or the line that would have been pair 4,500
    };

    // One line as read from the machine (no line end).  Nothing changes
    // once the data has ended.
    Result Feed(const std::string &line);

    bool Started() const { return state_ != State::WaitBegin; }
    bool Finished() const { return state_ == State::Done; }
    const std::vector<TCapturePair> &Pairs() const { return pairs_; }
    int SkippedLines() const { return skipped_; }
    // What the window's `behind` field shows: "Ignoring " and the last line
    // before the begin line; after it the begin line from its seventh
    // character on, and the number of data lines skipped, if any.
    std::string Behind() const;

    // "begin" as characters 1-5 or 2-6 ("begin run 5", "xbegin", "begins").
    static bool IsBeginLine(const std::string &line);
    // "eof" as the whole line or after one leading character.
    static bool IsEofLine(const std::string &line);

private:
    enum class State { WaitBegin, Data, Done };
    State state_ = State::WaitBegin;
    std::string behind_;
    std::vector<TCapturePair> pairs_;
    int skipped_ = 0;
};

} // namespace grittor
