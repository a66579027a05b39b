#include "link/MachineNumbers.h"

#include "foundation/utils.h"

#include <algorithm>
#include <cmath>

namespace grittor {

namespace {

const char *const kRangeRule = "outside the machine's integer range -2147483648..2147483647";
const char *const kSpeedRule = "the speed must be at least 1";

std::string Problem(const std::string &what, std::string_view value, const std::string &rule)
{
    return what + " " + std::string(value) + ": " + rule;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A decimal number as written: sign, the whole digits without leading zeros
// and whether a fraction digit other than 0 follows.  Judged from the text,
// so a job of millions of coordinates costs no conversions.
struct WrittenNumber {
    bool negative = false;
    std::string_view whole;
    bool fraction = false;
};

WrittenNumber Split(std::string_view token)
{
    WrittenNumber n;
    size_t i = 0;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
        n.negative = token[i++] == '-';
    while (i < token.size() && token[i] == '0')
        ++i;
    const size_t first = i;
    while (i < token.size() && IsDigit(token[i]))
        ++i;
    n.whole = token.substr(first, i - first);
    if (i < token.size() && token[i] == '.')
        for (++i; i < token.size(); ++i)
            n.fraction |= token[i] != '0';
    return n;
}

// At most `limit` (an unsigned magnitude of up to ten digits).
bool AtMost(const WrittenNumber &n, unsigned long long limit)
{
    if (n.whole.size() < 10)
        return true;
    if (n.whole.size() > 10)
        return false;
    unsigned long long v = 0;
    for (char c : n.whole)
        v = v * 10 + static_cast<unsigned>(c - '0');
    return v < limit || (v == limit && !n.fraction);
}

bool InRange(const WrittenNumber &n)
{
    return AtMost(n, n.negative ? 2147483648ULL : 2147483647ULL);
}

bool BelowOne(const WrittenNumber &n)
{
    return n.whole.empty() || n.negative;
}

// The numbers of an HPGL parameter list or an escape value: runs of sign,
// digits and point; everything else separates them.
template <class Fn> std::string EachNumber(std::string_view params, Fn &&check)
{
    size_t i = 0;
    while (i < params.size()) {
        const char c = params[i];
        if (!(IsDigit(c) || c == '+' || c == '-' || c == '.')) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < params.size() && (IsDigit(params[end]) || params[end] == '.'))
            ++end;
        const std::string_view token = params.substr(i, end - i);
        if (std::any_of(token.begin(), token.end(), IsDigit)) {
            std::string problem = check(token);
            if (!problem.empty())
                return problem;
        }
        i = end;
    }
    return {};
}

std::string CheckHpgl(const std::string &mnemonic, std::string_view params)
{
    bool first = true;
    return EachNumber(params, [&](std::string_view token) -> std::string {
        const WrittenNumber n = Split(token);
        if (!InRange(n))
            return Problem(mnemonic, token, kRangeRule);
        if (mnemonic == "vs" && first && BelowOne(n))
            return Problem(mnemonic, token, kSpeedRule);
        first = false;
        return {};
    });
}

// "ESC.w" name ";" value ... and "ESC.c" command ";" argument ...
std::string CheckEscape(char kind, std::string_view body)
{
    const size_t semicolon = body.find(';');
    if (semicolon == std::string_view::npos)
        return {};
    std::string name(body.substr(0, semicolon));
    std::transform(name.begin(), name.end(), name.begin(), Lower);
    const std::string what = std::string("ESC.") + kind + name;
    int index = 0;
    return EachNumber(body.substr(semicolon), [&](std::string_view token) -> std::string {
        const WrittenNumber n = Split(token);
        const int k = index++;
        if (kind == 'c' && name == "dump_mem") {
            if (k == 0)
                return !n.negative && AtMost(n, 4294967295ULL)
                           ? std::string()
                           : Problem(what + " start", token, "not a 32-bit address 0..4294967295");
            if (k == 1 && (BelowOne(n) || n.fraction))
                return Problem(what + " length", token, "the count must be a whole number of at least 1");
        }
        if (!InRange(n))
            return Problem(what, token, kRangeRule);
        if (kind == 'w' && (name == "upspeed" || name == "downspeed") && BelowOne(n))
            return Problem(what, token, kSpeedRule);
        return {};
    });
}

std::string AtLine(std::string_view text, size_t pos, const std::string &problem)
{
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(pos), '\n');
    return "line " + std::to_string(line) + ": " + problem;
}

} // namespace

std::string CheckMachineCoordinate(long double value, const std::string &what)
{
    if (std::isfinite(value) && value >= static_cast<long double>(MachineIntMin) &&
        value <= static_cast<long double>(MachineIntMax))
        return {};
    return Problem(what, FormatExtended(value), kRangeRule);
}

std::string CheckMachineSpeed(long double value, const std::string &what)
{
    if (!(value >= 1))
        return Problem(what, FormatExtended(value), kSpeedRule);
    return CheckMachineCoordinate(value, what);
}

std::string CheckCount(long long value, long long min, long long max, const std::string &what)
{
    if (value >= min && value <= max)
        return {};
    return Problem(what, std::to_string(value),
                   "the count must be " + std::to_string(min) + ".." + std::to_string(max));
}

std::string CheckMachineText(std::string_view text)
{
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (c == '\x1b' && i + 2 < n && text[i + 1] == '.') {
            const char kind = Lower(text[i + 2]);
            size_t end = i + 3;
            while (end < n && text[end] != ':' && text[end] != '\r' && text[end] != '\n' && text[end] != '\x1b')
                ++end;
            if (kind == 'w' || kind == 'c') {
                std::string problem = CheckEscape(kind, text.substr(i + 3, end - i - 3));
                if (!problem.empty())
                    return AtLine(text, i, problem);
            }
            i = end;
            continue;
        }
        if (!IsLetter(c) || i + 1 >= n || !IsLetter(text[i + 1])) {
            ++i;
            continue;
        }
        const std::string mnemonic{Lower(c), Lower(text[i + 1])};
        size_t end = i + 2;
        if (mnemonic == "lb") {
            while (end < n && text[end] != '\x03')
                ++end;
        } else if (mnemonic == "pe") {
            while (end < n && text[end] != ';')
                ++end;
        } else {
            while (end < n && (IsDigit(text[end]) || text[end] == '+' || text[end] == '-' || text[end] == '.' ||
                               text[end] == ',' || text[end] == ' ' || text[end] == '\t'))
                ++end;
            std::string problem = CheckHpgl(mnemonic, text.substr(i + 2, end - i - 2));
            if (!problem.empty())
                return AtLine(text, i, problem);
        }
        i = end;
    }
    return {};
}

} // namespace grittor
