// The terminal's screen: the lines the main window shows, the cursor and
// what changed since the window last looked.  Two writers share it: the
// serial receive thread feeds the machine's text through Feed (a small
// emulator: cursor addressing ESC [ r ; c H, clearing ESC [ 2 J, control bytes
// shown as "#" and their code), and the window adds its own lines through
// AddLine.  Every access takes the screen's lock; the window reads it back
// with Snapshot on its timer.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace grittor {

// Change bits of a snapshot.
enum TScreenChange : uint32_t {
    ScLineAdded = 1,
    ScLineChanged = 2,
    ScTopDropped = 4,
    ScCleared = 8,
};

class TTerminalScreen {
public:
    // Longest line the emulator pads to (guards absurd cursor moves).
    static constexpr int32_t MaxColumns = 1000;

    explicit TTerminalScreen(int32_t maxRows = 50) : maxRows_(maxRows) {}

    // ---- the machine's text (receive thread)
    void Feed(std::string_view bytes);
    void Clear();
    void SetCursor(int32_t column, int32_t row);
    void SetMaxRows(int32_t rows);

    // ---- the window's own lines
    // Adds a line (already cleaned): at most `keep` lines are kept before
    // it goes in; a fragment ("<..." or ">...", the character log) joins the
    // last line, starting a new one when the last line is longer than
    // `width`; any other line is added as a line of its own.  The cursor
    // goes below the last line.  Returns whether the last line was longer
    // than `width` before the fragment joined it (the log ends its line then).
    bool AddLine(const std::string &text, size_t keep, size_t width);

    // ---- reading it back (window)
    struct Snapshot {
        std::vector<std::string> Lines;
        int32_t Column = 1; // 1-based
        int32_t Row = 0;    // 0-based
        uint32_t Changes = 0; // TScreenChange bits since the last Take
    };
    // The lines and cursor, and the changes since the last Take (cleared).
    Snapshot Take();
    std::vector<std::string> Lines() const;
    int32_t Column() const;
    int32_t Row() const;

private:
    void FeedByte(uint8_t c);

    mutable std::mutex lock_;
    std::vector<std::string> lines_;
    int32_t column_ = 1;
    int32_t row_ = 0;
    uint32_t changes_ = 0;
    int32_t maxRows_;
    uint8_t escState_ = 0;
    int32_t escArg1_ = 0;
    int32_t escArg2_ = 0;
};

} // namespace grittor
