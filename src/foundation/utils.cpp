#include "foundation/utils.h"

#include "foundation/Dialogs.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace grittor {

long double Distance(const TExtendedPoint &a, const TExtendedPoint &b)
{
    const long double dx = a.x - b.x;
    const long double dy = a.y - b.y;
    return std::sqrt(dx * dx + dy * dy);
}

// ------------------------------------------------------ TLinkedStringList ---

TLinkedStringList::TLinkedStringList() : slots_(new char[10 * SlotSize]), capacity_(10) {}

void TLinkedStringList::Add(std::string_view text)
{
    if (count_ >= capacity_) {
        const int grow = capacity_ <= 201 ? 100 : 1000;
        const int newCapacity = capacity_ + grow;
        std::unique_ptr<char[]> bigger(new char[static_cast<size_t>(newCapacity) * SlotSize]);
        std::memcpy(bigger.get(), slots_.get(), static_cast<size_t>(count_) * SlotSize);
        slots_ = std::move(bigger);
        capacity_ = newCapacity;
    }
    char *slot = slots_.get() + static_cast<size_t>(count_) * SlotSize;
    const size_t n = std::min<size_t>(text.size(), MaxText);
    std::memcpy(slot, text.data(), n);
    std::memset(slot + n, 0, SlotSize - n);
    ++count_;
}

std::string_view TLinkedStringList::View(int index) const
{
    if (index < 0 || index >= count_)
        return {};
    const char *slot = slots_.get() + static_cast<size_t>(index) * SlotSize;
    // The slot may hold an embedded NUL from the file; the stored length is
    // what was copied, so look for the padding from the end.
    size_t n = MaxText;
    while (n > 0 && slot[n - 1] == 0)
        --n;
    return {slot, n};
}

std::string TLinkedStringList::Get(int index) const { return std::string(View(index)); }

void TLinkedStringList::Clear() { count_ = 0; }

// ---------------------------------------------------------- TExtendedList ---

std::string ConversionMessage(std::string_view text)
{
    return "cannot convert " + std::string(text) + " to floating point";
}

TExtendedList::TExtendedList(const TLinkedStringList &strings, const ErrorSink &sink)
{
    values_.reserve(static_cast<size_t>(strings.Count()));
    for (int i = 0; i < strings.Count(); ++i) {
        long double v = 0;
        const std::string_view s = strings.View(i);
        if (!ParseExtended(s, v)) {
            v = 0;
            const std::string msg = ConversionMessage(s);
            if (sink)
                sink(msg);
            else
                ShowMessage(msg);
        }
        values_.push_back(v);
    }
}

// ------------------------------------------------------------ TIntegerList ---

static int DefaultCompare(const TIntegerObject &a, const TIntegerObject &b)
{
    return a.Value < b.Value ? -1 : (a.Value > b.Value ? 1 : 0);
}

void TIntegerList::Sort()
{
    const Compare cmp = compare_ ? compare_ : Compare(DefaultCompare);
    std::stable_sort(items_.begin(), items_.end(),
                     [&](const std::unique_ptr<TIntegerObject> &a, const std::unique_ptr<TIntegerObject> &b) {
                         return cmp(*a, *b) < 0;
                     });
}

int TIntegerList::IndexOf(int value) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->Value == value)
            return static_cast<int>(i);
    return -1;
}

int TIntegerList::Add(int value, void *data)
{
    if (duplicateFree_) {
        if (!sorted_)
            SetSorted(true);
        const int existing = IndexOf(value);
        if (existing >= 0)
            return existing;
    }
    items_.push_back(std::make_unique<TIntegerObject>(value, data));
    const int appendedAt = static_cast<int>(items_.size()) - 1;
    if (sorted_ && items_.size() >= 2)
        Sort();
    return appendedAt;
}

void TIntegerList::SetData(int index, void *data)
{
    items_[static_cast<size_t>(index)]->Data = data;
    if (compare_)
        Sort();
}

void TIntegerList::SetCompare(Compare compare)
{
    compare_ = std::move(compare);
    Sort();
}

void TIntegerList::SetSorted(bool sorted)
{
    if (sorted && !sorted_)
        Sort();
    sorted_ = sorted;
}

void TIntegerList::SetDuplicateFree(bool dupFree)
{
    if (dupFree) {
        Sort();
        for (size_t i = 1; i < items_.size();) {
            if (items_[i]->Value == items_[i - 1]->Value)
                items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
            else
                ++i;
        }
    }
    duplicateFree_ = dupFree;
}

void TIntegerList::Delete(int index) { items_.erase(items_.begin() + index); }

// ------------------------------------------------------------- formatters ---

static long double Clamp100(long double v)
{
    if (std::fabs(v) < 1e-10L)
        return 0;
    if (v > 1e100L)
        return 1e100L;
    if (v < -1e100L)
        return -1e100L;
    return v;
}

std::string FormatExtended(long double v)
{
    v = Clamp100(v);
    char buf[64];
    // The same digits by quicker ways where the value allows: a whole number
    // below 10^17 prints as itself, and a value a double holds exactly prints
    // as that double does (the 17 digits of one exact value, rounded once).
    // The long double conversion goes through the slow multi-precision path.
    std::to_chars_result r;
    if (v == std::trunc(v) && std::fabs(v) < 1e17L)
        r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(v));
    else if (const double d = static_cast<double>(v); static_cast<long double>(d) == v)
        r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 17);
    else
        r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
    return std::string(buf, r.ptr);
}

std::string FormatExtendedFixed(long double v, int decimals)
{
    v = Clamp100(v);
    char buf[192];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, std::clamp(decimals, 0, 40));
    if (r.ec != std::errc())
        return FormatExtended(v);
    std::string s(buf, r.ptr);
    // A negative value that rounds to zero is shown without its sign.
    if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1);
    return s;
}

std::string FormatPoint(const TExtendedPoint &p)
{
    return "(" + FormatExtended(p.x) + "," + FormatExtended(p.y) + ")";
}

std::string FormatPointFixed(const TExtendedPoint &p, int decimals)
{
    return "(" + FormatExtendedFixed(p.x, decimals) + "," + FormatExtendedFixed(p.y, decimals) + ")";
}

// ------------------------------------------------------- number parsing ---

namespace {

locale_t CLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

// Exact powers of ten: 10^0 .. 10^27 all fit a 64-bit mantissa.
const long double kPow10[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,
                              1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L,
                              1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};

inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

} // namespace

bool ParseExtended(std::string_view text, long double &out)
{
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    const char *p = text.data() + b;
    const char *end = text.data() + e;
    if (p == end)
        return false;

    // Validate the syntax and gather the mantissa digits on the fast path.
    const char *q = p;
    bool neg = false;
    if (*q == '+' || *q == '-') {
        neg = *q == '-';
        ++q;
    }
    uint64_t mant = 0;
    int digits = 0, sigDigits = 0, fracDigits = 0;
    bool overflowDigits = false;
    while (q < end && *q >= '0' && *q <= '9') {
        if (sigDigits < 19) {
            mant = mant * 10 + static_cast<uint64_t>(*q - '0');
            if (mant != 0)
                ++sigDigits;
        } else {
            overflowDigits = true;
        }
        ++digits;
        ++q;
    }
    if (q < end && *q == '.') {
        ++q;
        while (q < end && *q >= '0' && *q <= '9') {
            if (sigDigits < 19) {
                mant = mant * 10 + static_cast<uint64_t>(*q - '0');
                if (mant != 0)
                    ++sigDigits;
                ++fracDigits;
            } else {
                overflowDigits = true;
            }
            ++digits;
            ++q;
        }
    }
    if (digits == 0)
        return false;
    long expo = 0;
    bool hasExp = false;
    if (q < end && (*q == 'e' || *q == 'E')) {
        ++q;
        bool eneg = false;
        if (q < end && (*q == '+' || *q == '-')) {
            eneg = *q == '-';
            ++q;
        }
        if (q == end || *q < '0' || *q > '9')
            return false;
        while (q < end && *q >= '0' && *q <= '9') {
            if (expo < 100000)
                expo = expo * 10 + (*q - '0');
            ++q;
        }
        if (eneg)
            expo = -expo;
        hasExp = true;
    }
    if (q != end)
        return false;

    const long scale = expo - fracDigits;
    if (!overflowDigits && scale >= -27 && scale <= 27) {
        // One correctly rounded operation on exact operands.
        long double v = static_cast<long double>(mant);
        if (scale < 0)
            v /= kPow10[-scale];
        else if (scale > 0)
            v *= kPow10[scale];
        out = neg ? -v : v;
        return true;
    }
    (void)hasExp;
    // Long or extreme numbers: the C library's conversion is correctly
    // rounded; use it in the C locale so the decimal point is always '.'.
    std::string copy(p, end);
    errno = 0;
    char *stop = nullptr;
    long double v = strtold_l(copy.c_str(), &stop, CLocale());
    if (stop != copy.c_str() + copy.size())
        return false;
    if (errno == ERANGE && std::isinf(v))
        return false; // beyond the range of Extended
    out = v;
    return true;
}

long double StrToExtended(std::string_view text)
{
    long double v = 0;
    if (!ParseExtended(text, v))
        throw std::invalid_argument("'" + std::string(text) + "' is not a valid floating point value");
    return v;
}

bool ParseInt(std::string_view text, int &out)
{
    std::string t = Trim(text);
    if (t.empty())
        return false;
    const char *b = t.data();
    const char *e = b + t.size();
    if (*b == '+')
        ++b;
    int v = 0;
    auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e)
        return false;
    out = v;
    return true;
}

int StrToIntDef(std::string_view text, int def)
{
    int v;
    return ParseInt(text, v) ? v : def;
}

std::string Trim(std::string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string LowerCase(std::string_view s)
{
    std::string r(s);
    for (char &c : r)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return r;
}

std::string UpperCase(std::string_view s)
{
    std::string r(s);
    for (char &c : r)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return r;
}

long long RoundHalfAway(long double v)
{
    if (!std::isfinite(v))
        return 0;
    const long double r = std::round(v); // std::round: halves away from zero
    if (r >= static_cast<long double>(std::numeric_limits<long long>::max()))
        return std::numeric_limits<long long>::max();
    if (r <= static_cast<long double>(std::numeric_limits<long long>::min()))
        return std::numeric_limits<long long>::min();
    return static_cast<long long>(r);
}

TFileRead ReadRegularFile(const std::string &path, size_t maxBytes, std::string &bytes, int &error)
{
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = errno;
        return TFileRead::CannotRead;
    }
    struct stat st {};
    TFileRead result = TFileRead::Read;
    if (::fstat(fd, &st) != 0) {
        error = errno;
        result = TFileRead::CannotRead;
    } else if (!S_ISREG(st.st_mode)) {
        result = TFileRead::NotRegular;
    } else if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        result = TFileRead::TooLarge;
    } else {
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = errno;
                result = TFileRead::CannotRead;
                break;
            }
            if (n == 0) {
                bytes.resize(done); // it shrank meanwhile
                break;
            }
            done += static_cast<size_t>(n);
        }
    }
    ::close(fd);
    if (result != TFileRead::Read)
        bytes.clear();
    return result;
}

} // namespace grittor
