// The terminal-screen emulator of the link: received text goes into the
// main window's screen lines, with cursor addressing (ESC [ r ; c H), screen
// clearing (ESC [ 2 J) and control bytes shown as "#" and their code.
#include "link/TSerial.h"

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

void TSerial::render_byte(uint8_t c)
{
    std::vector<std::string> *lines = ScreenLines.load();
    std::mutex *lock = ScreenLock.load();
    if (!lines || !lock)
        return;
    switch (EscState) {
    case 0:
        break;
    case 1:
        EscState = c == '[' ? 2 : 0;
        return;
    case 2:
        if (c >= '0' && c <= '9') {
            Accumulate(escArg1_, c);
        } else if (c == ';') {
            EscState = 3;
        } else if (c == 'J') {
            clear_screen();
            EscState = 0;
        } else {
            EscState = 0;
        }
        return;
    case 3:
        if (c >= '0' && c <= '9') {
            Accumulate(escArg2_, c);
        } else if (c == 'H') {
            std::lock_guard<std::mutex> guard(*lock);
            CursorColumn = std::clamp<int32_t>(escArg2_, 1, MaxScreenColumns);
            CursorRow = std::clamp<int32_t>(escArg1_ - 1, 0, std::max<int32_t>(MaxRows.load(), 1) - 1);
            EscState = 0;
        } else {
            EscState = 0;
        }
        return;
    default:
        EscState = 0;
        return;
    }

    // State 0: plain text.
    if (c == 10) {
        std::lock_guard<std::mutex> guard(*lock);
        int32_t row = CursorRow + 1;
        uint32_t changes = 1;
        if (row >= std::max<int32_t>(MaxRows.load(), 1)) {
            --row;
            if (!lines->empty())
                lines->erase(lines->begin());
            changes |= 4;
        }
        CursorRow = row;
        lines->emplace_back();
        ScreenChanges |= changes;
        return;
    }
    if (c == 13) {
        CursorColumn = 1;
        return;
    }
    if (c == 8) {
        CursorColumn = std::max<int32_t>(CursorColumn - 1, 1);
        return;
    }
    if (c == 27) {
        escArg1_ = 0;
        escArg2_ = 0;
        EscState = 1;
        return;
    }

    std::string glyphs;
    if (c >= 32 && c <= 126) {
        glyphs.assign(1, static_cast<char>(c));
    } else {
        glyphs = "#";
        if (c > 100)
            glyphs += static_cast<char>('0' + c / 100);
        if (c > 10)
            glyphs += static_cast<char>('0' + (c / 10) % 10);
        glyphs += static_cast<char>('0' + c % 10);
    }
    std::lock_guard<std::mutex> guard(*lock);
    const int32_t row = std::max<int32_t>(CursorRow.load(), 0);
    while (static_cast<int32_t>(lines->size()) <= row)
        lines->emplace_back();
    std::string &line = (*lines)[static_cast<size_t>(row)];
    const size_t column = static_cast<size_t>(std::clamp<int32_t>(CursorColumn.load(), 1, MaxScreenColumns));
    const size_t end = column - 1 + glyphs.size();
    if (line.size() < end)
        line.resize(end, ' ');
    line.replace(column - 1, glyphs.size(), glyphs);
    CursorColumn = static_cast<int32_t>(column + glyphs.size());
    ScreenChanges |= 2;
}

void TSerial::clear_screen()
{
    std::vector<std::string> *lines = ScreenLines.load();
    std::mutex *lock = ScreenLock.load();
    if (!lines || !lock)
        return;
    std::lock_guard<std::mutex> guard(*lock);
    lines->clear();
    CursorColumn = 1;
    CursorRow = 0;
    ScreenChanges = 8;
}

void TSerial::set_cursor(int32_t column, int32_t row)
{
    std::mutex *lock = ScreenLock.load();
    if (lock) {
        std::lock_guard<std::mutex> guard(*lock);
        CursorColumn = std::max<int32_t>(column, 1);
        CursorRow = std::max<int32_t>(row, 0);
    } else {
        CursorColumn = std::max<int32_t>(column, 1);
        CursorRow = std::max<int32_t>(row, 0);
    }
}

} // namespace grittor
