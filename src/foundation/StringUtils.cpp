#include "foundation/StringUtils.h"

namespace grittor {

int FindChar(char c, std::string_view s, int start)
{
    if (start < 1)
        start = 1;
    for (size_t i = static_cast<size_t>(start) - 1; i < s.size(); ++i)
        if (s[i] == c)
            return static_cast<int>(i) + 1;
    return 0;
}

std::string GetField(std::string_view s, char separator, int n)
{
    if (n < 1)
        return {};
    int field = 1;
    size_t begin = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == separator) {
            if (field == n)
                return std::string(s.substr(begin, i - begin));
            ++field;
            begin = i + 1;
        }
    }
    return {};
}

std::string CompressRuns(std::string_view s)
{
    if (s.size() < 2)
        return std::string(s);
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        size_t j = i + 1;
        while (j < s.size() && s[j] == s[i])
            ++j;
        const size_t run = j - i;
        if (run > 3) {
            out += ' ';
            out += std::to_string(run);
            out += '*';
            out += s[i];
        } else {
            out.append(s.substr(i, run));
        }
        i = j;
    }
    return out;
}

std::string MakePrintable(std::string_view s)
{
    const std::string compressed = CompressRuns(s);
    std::string out;
    out.reserve(compressed.size() + 8);
    for (char ch : compressed) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 32 || c > 126) {
            out += " #";
            out += std::to_string(c);
            out += ' ';
        } else {
            out += ch;
        }
    }
    return out;
}

std::string MakePrintableHead(std::string_view s, size_t most, bool &cut)
{
    // Every run of equal characters gives at least one character, so the
    // first most + 1 runs hold the head and tell whether there is more.
    size_t end = 0;
    for (size_t runs = 0; end < s.size() && runs <= most; ++runs) {
        const char c = s[end];
        while (end < s.size() && s[end] == c)
            ++end;
    }
    std::string out = MakePrintable(s.substr(0, end));
    cut = out.size() > most;
    if (cut)
        out.resize(most);
    return out;
}

std::string PrintableText(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 32 || c > 126) {
            out += '#';
            out += std::to_string(c);
        } else {
            out += ch;
        }
    }
    return out;
}

} // namespace grittor
