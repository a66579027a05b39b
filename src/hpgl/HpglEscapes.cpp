// The escapes embedded in a plot: the device-control sequences (ESC, ".",
// a letter, parameters, ":") and the PCL escapes that wrap HP-GL/2 in files
// for printers and large-format plotters.
#include "hpgl/hpgl.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>

namespace grittor {

bool THpglFile::ParsePclEscape(size_t e)
{
    // PCL escapes around HP-GL/2 in files for printers and large-format
    // plotters: ESC E (reset), and ESC, a group character, values with their
    // parameter letters and an upper-case final letter, such as ESC%-1B
    // (enter HP-GL/2), ESC%0A or ESC%-12345X (the universal exit, after
    // which come lines of job language, "@PJL ...").  Skipped, they make no
    // instruction.  False when the bytes are not such an escape.
    const size_t n = Text.size();
    const auto at = [&](size_t i) { return i < n ? static_cast<unsigned char>(Text[i]) : 0u; };
    if (at(e + 1) == 'E') {
        ReadPos = static_cast<int>(e + 2);
        return true;
    }
    const unsigned group = at(e + 1);
    if (group != '%' && group != '&' && group != '*' && group != '(' && group != ')')
        return false;
    size_t i = e + 2;
    if (at(i) >= 0x60 && at(i) <= 0x7E && group != '%')
        ++i; // the group letter
    bool uel = false;
    for (;;) {
        // One value: sign, digits, decimals.
        const size_t valueStart = i;
        if (at(i) == '+' || at(i) == '-')
            ++i;
        while (at(i) >= '0' && at(i) <= '9')
            ++i;
        if (at(i) == '.') {
            ++i;
            while (at(i) >= '0' && at(i) <= '9')
                ++i;
        }
        const std::string_view value(Text.data() + valueStart, i - valueStart);
        const unsigned c = at(i);
        if (c >= 0x60 && c <= 0x7E) { // a parameter letter: another value follows
            ++i;
            continue;
        }
        if (c < 0x40 || c > 0x5E)
            return false;
        uel = group == '%' && value == "-12345" && c == 'X';
        // Data-carrying forms (ESC*b#W, ESC(s#W, ...) are followed by that
        // many bytes of data.
        if (c == 'W') {
            long count = 0;
            for (char d : value)
                if (d >= '0' && d <= '9' && count < INT_MAX / 10)
                    count = count * 10 + (d - '0');
            i += static_cast<size_t>(count);
            if (i > n)
                i = n;
        }
        break;
    }
    ReadPos = static_cast<int>(std::min(i + 1, n)); // on the final letter (or the data's last byte)
    if (uel) {
        // Job language lines up to the next escape or the first line that is
        // not one.
        size_t p = static_cast<size_t>(ReadPos);
        for (;;) {
            while (p < n && (Text[p] == '\r' || Text[p] == '\n'))
                ++p;
            if (n - p < 4 || std::memcmp(Text.data() + p, "@PJL", 4) != 0)
                break;
            while (p < n && Text[p] != '\n' && Text[p] != 27)
                ++p;
        }
        ReadPos = static_cast<int>(p);
    }
    return true;
}

void THpglFile::ParseEscape()
{
    const size_t e = static_cast<size_t>(ReadPos - 1); // 0-based index of ESC
    const size_t n = Text.size();
    if (e + 1 >= n || Text[e + 1] != '.') {
        if (ParsePclEscape(e))
            return;
        ReportError("2nd character of escape command not period");
        return; // reading goes on with the character after ESC
    }
    const unsigned char letter = e + 2 < n ? static_cast<unsigned char>(Text[e + 2]) : 0;
    if (letter <= ' ' || letter > '~') {
        ReportError("escape command not terminated with ':'");
        ReadPos = static_cast<int>(e + 2); // on the "."
        return;
    }
    Rec rec{};
    rec.kind = TCommandKind::Escape;
    rec.name = letter;
    rec.pos = static_cast<uint32_t>(e + 3);
    rec.numOff = static_cast<uint32_t>(nums_.size());
    if (std::strchr("()YZABEJKLORa", static_cast<char>(letter))) {
        // Plotter on and off, the status and identification requests, the
        // aborts and the handshake reset (and the machine's version request
        // "ESC.a") take no parameters: they end after their letter, with a
        // ";" or ":" that follows at once.
        size_t last = e + 2;
        if (last + 1 < n && (Text[last + 1] == ';' || Text[last + 1] == ':'))
            ++last;
        rec.len = 0;
        AppendRecord(rec, CurrentPen);
        ReadPos = static_cast<int>(last + 1);
        return;
    }
    // The parameters run to ":".  A line end, another ESC or a byte outside
    // the printable range cannot be one of them: the escape is cut there and
    // reading resumes after its letter, so it never takes instructions with
    // it.
    size_t colon = e + 3;
    while (colon < n) {
        const unsigned char c = static_cast<unsigned char>(Text[colon]);
        if (c == ':' || c < ' ' || c > '~')
            break;
        ++colon;
    }
    if (colon >= n || Text[colon] != ':') {
        ReportError("escape command not terminated with ':'");
        ReadPos = static_cast<int>(e + 3); // on the letter
        return;
    }
    rec.len = static_cast<uint32_t>(colon - (e + 3));
    AppendRecord(rec, CurrentPen);
    ReadPos = static_cast<int>(colon + 1);
}

} // namespace grittor
