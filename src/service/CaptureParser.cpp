#include "service/CaptureParser.h"

#include "foundation/StringUtils.h"
#include "foundation/utils.h"

namespace grittor {

bool TCaptureParser::IsBeginLine(const std::string &line)
{
    return line.compare(0, 5, "begin") == 0 || (line.size() >= 6 && line.compare(1, 5, "begin") == 0);
}

bool TCaptureParser::IsEofLine(const std::string &line)
{
    return line == "eof" || (line.size() == 4 && line.compare(1, 3, "eof") == 0);
}

TCaptureParser::Result TCaptureParser::Feed(const std::string &line)
{
    switch (state_) {
    case State::WaitBegin:
        if (!IsBeginLine(line)) {
            behind_ = "Ignoring " + line;
            return Result::Ignored;
        }
        behind_ = line.size() > 6 ? line.substr(6) : std::string();
        state_ = State::Data;
        pairs_.reserve(MaxPairs);
        return Result::Begin;
    case State::Data: {
        if (IsEofLine(line) || static_cast<int>(pairs_.size()) >= MaxPairs) {
            state_ = State::Done;
            return Result::End;
        }
        // A line that is not two whole numbers is left out and counted: a
        // made-up value would draw a point the machine never measured.
        int x = 0, y = 0;
        if (!ParseInt(GetField(line, ',', 1), x) || !ParseInt(GetField(line, ',', 2), y)) {
            ++skipped_;
            return Result::Skipped;
        }
        pairs_.push_back({x, y});
        return Result::Pair;
    }
    case State::Done:
        break;
    }
    return Result::End;
}

std::string TCaptureParser::Behind() const
{
    if (skipped_ == 0)
        return behind_;
    return behind_ + "  (" + std::to_string(skipped_) + (skipped_ == 1 ? " line" : " lines") + " skipped: not x,y)";
}

} // namespace grittor
