#include "operation/TerminalScreen.h"

#include <algorithm>

namespace grittor {

namespace {
// Escape arguments stop growing here: a noisy line must not overflow them.
constexpr int32_t kArgLimit = 100000;

void Accumulate(int32_t &arg, uint8_t digit)
{
    if (arg < kArgLimit)
        arg = arg * 10 + (digit - '0');
}
} // namespace

void TTerminalScreen::Feed(std::string_view bytes)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (char c : bytes)
        FeedByte(static_cast<uint8_t>(c));
}

void TTerminalScreen::FeedByte(uint8_t c)
{
    switch (escState_) {
    case 0:
        break;
    case 1:
        escState_ = c == '[' ? 2 : 0;
        return;
    case 2:
        if (c >= '0' && c <= '9') {
            Accumulate(escArg1_, c);
        } else if (c == ';') {
            escState_ = 3;
        } else if (c == 'J') {
            lines_.clear();
            column_ = 1;
            row_ = 0;
            changes_ = ScCleared;
            escState_ = 0;
        } else {
            escState_ = 0;
        }
        return;
    case 3:
        if (c >= '0' && c <= '9') {
            Accumulate(escArg2_, c);
        } else if (c == 'H') {
            column_ = std::clamp<int32_t>(escArg2_, 1, MaxColumns);
            row_ = std::clamp<int32_t>(escArg1_ - 1, 0, std::max<int32_t>(maxRows_, 1) - 1);
            escState_ = 0;
        } else {
            escState_ = 0;
        }
        return;
    default:
        escState_ = 0;
        return;
    }

    // State 0: plain text.
    if (c == 10) {
        int32_t row = row_ + 1;
        uint32_t changes = ScLineAdded;
        if (row >= std::max<int32_t>(maxRows_, 1)) {
            --row;
            if (!lines_.empty())
                lines_.erase(lines_.begin());
            changes |= ScTopDropped;
        }
        row_ = row;
        lines_.emplace_back();
        changes_ |= changes;
        return;
    }
    if (c == 13) {
        column_ = 1;
        return;
    }
    if (c == 8) {
        column_ = std::max<int32_t>(column_ - 1, 1);
        return;
    }
    if (c == 27) {
        escArg1_ = 0;
        escArg2_ = 0;
        escState_ = 1;
        return;
    }

    char glyphs[4];
    size_t n = 0;
    if (c >= 32 && c <= 126) {
        glyphs[n++] = static_cast<char>(c);
    } else {
        glyphs[n++] = '#';
        if (c > 100)
            glyphs[n++] = static_cast<char>('0' + c / 100);
        if (c > 10)
            glyphs[n++] = static_cast<char>('0' + (c / 10) % 10);
        glyphs[n++] = static_cast<char>('0' + c % 10);
    }
    const int32_t row = std::max<int32_t>(row_, 0);
    while (static_cast<int32_t>(lines_.size()) <= row)
        lines_.emplace_back();
    std::string &line = lines_[static_cast<size_t>(row)];
    const size_t column = static_cast<size_t>(std::clamp<int32_t>(column_, 1, MaxColumns));
    const size_t end = column - 1 + n;
    if (line.size() < end)
        line.resize(end, ' ');
    line.replace(column - 1, n, glyphs, n);
    column_ = static_cast<int32_t>(column + n);
    changes_ |= ScLineChanged;
}

void TTerminalScreen::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    lines_.clear();
    column_ = 1;
    row_ = 0;
    changes_ = ScCleared;
}

void TTerminalScreen::SetCursor(int32_t column, int32_t row)
{
    std::lock_guard<std::mutex> guard(lock_);
    column_ = std::max<int32_t>(column, 1);
    row_ = std::max<int32_t>(row, 0);
}

void TTerminalScreen::SetMaxRows(int32_t rows)
{
    std::lock_guard<std::mutex> guard(lock_);
    maxRows_ = rows;
}

bool TTerminalScreen::AddLine(const std::string &textIn, size_t keep, size_t width)
{
    std::string text = textIn;
    std::lock_guard<std::mutex> guard(lock_);
    const bool fragment = !text.empty() && (text[0] == '<' || text[0] == '>');
    if (lines_.empty() && fragment)
        lines_.emplace_back();
    const bool lastWasLong = !lines_.empty() && lines_.back().size() > width;
    while (lines_.size() > keep)
        lines_.erase(lines_.begin());
    if (fragment) {
        if (lines_.back().size() > width)
            lines_.emplace_back();
        lines_.back() += text;
    } else {
        if (text.size() > width)
            text = text.substr(0, width) + " ... truncate for display.";
        lines_.push_back(std::move(text));
    }
    column_ = 1;
    row_ = static_cast<int32_t>(lines_.size());
    changes_ |= ScLineAdded;
    return lastWasLong;
}

TTerminalScreen::Snapshot TTerminalScreen::Take()
{
    std::lock_guard<std::mutex> guard(lock_);
    Snapshot s;
    s.Lines = lines_;
    s.Column = column_;
    s.Row = row_;
    s.Changes = changes_;
    changes_ = 0;
    return s;
}

std::vector<std::string> TTerminalScreen::Lines() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
}

int32_t TTerminalScreen::Column() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return column_;
}

int32_t TTerminalScreen::Row() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return row_;
}

} // namespace grittor
