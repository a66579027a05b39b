// Small value types, containers and number formatters shared by the HPGL
// reader, the geometry and the machine link.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace grittor {

// ---------------------------------------------------------------- points ---

struct TExtendedPoint {
    long double x = 0;
    long double y = 0;
    bool operator==(const TExtendedPoint &o) const { return x == o.x && y == o.y; }
};

inline TExtendedPoint ExtendedPoint(long double x, long double y) { return {x, y}; }
long double Distance(const TExtendedPoint &a, const TExtendedPoint &b);

// A boxed point, for lists of points that hand out references.
class TExtendedPointClass {
public:
    TExtendedPointClass() = default;
    explicit TExtendedPointClass(const TExtendedPoint &p) : Point(p) {}
    TExtendedPoint Point;
};

// A boxed Extended value, 0 when created.
class TExtended {
public:
    long double Value = 0;
};

// ------------------------------------------------------ TLinkedStringList ---

// A compact list of short texts: fixed 13-byte slots, each holding at most 11
// characters and a terminating NUL.  Growth follows the original rule (100
// slots while small, 1000 beyond) so capacity is observable and predictable.
class TLinkedStringList {
public:
    static constexpr int SlotSize = 13;
    static constexpr int MaxText = 11;

    TLinkedStringList();
    void Add(std::string_view text);
    std::string Get(int index) const;
    std::string_view View(int index) const;
    int Count() const { return count_; }
    int Capacity() const { return capacity_; }
    void Clear();

private:
    std::unique_ptr<char[]> slots_;
    int count_ = 0;
    int capacity_ = 0;
};

// ---------------------------------------------------------- TExtendedList ---

using ErrorSink = std::function<void(const std::string &message)>;

// Converts every string of a TLinkedStringList into a number.  A text that is
// not a number becomes 0 and its message goes to the sink (or to the
// application's message box when there is no sink).
class TExtendedList {
public:
    TExtendedList() = default;
    TExtendedList(const TLinkedStringList &strings, const ErrorSink &sink);
    int Count() const { return static_cast<int>(values_.size()); }
    long double Get(int i) const { return values_[static_cast<size_t>(i)]; }
    void Set(int i, long double v) { values_[static_cast<size_t>(i)] = v; }
    void Add(long double v) { values_.push_back(v); }
    const std::vector<long double> &Values() const { return values_; }

private:
    std::vector<long double> values_;
};

std::string ConversionMessage(std::string_view text);

// ------------------------------------------------------------ TIntegerList ---

class TIntegerObject {
public:
    TIntegerObject(int value, void *data) : Value(value), Data(data) {}
    int Value;
    void *Data;
};

// An owning list of TIntegerObject that can be kept sorted and free of
// duplicate values.
class TIntegerList {
public:
    using Compare = std::function<int(const TIntegerObject &, const TIntegerObject &)>;

    int Add(int value, void *data = nullptr);
    int Count() const { return static_cast<int>(items_.size()); }
    int Value(int index) const { return items_[static_cast<size_t>(index)]->Value; }
    void *Data(int index) const { return items_[static_cast<size_t>(index)]->Data; }
    void SetData(int index, void *data);
    void SetCompare(Compare compare);
    void ClearCompare() { compare_ = nullptr; }
    bool HasCompare() const { return static_cast<bool>(compare_); }
    void SetSorted(bool sorted);
    void SetDuplicateFree(bool dupFree);
    bool Sorted() const { return sorted_; }
    bool DuplicateFree() const { return duplicateFree_; }
    void Delete(int index);
    void Clear() { items_.clear(); }
    int IndexOf(int value) const;

private:
    void Sort();
    std::vector<std::unique_ptr<TIntegerObject>> items_;
    Compare compare_;
    bool sorted_ = false;
    bool duplicateFree_ = false;
};

// ------------------------------------------------------------- formatters ---

// "%18.17g" with magnitudes below 1e-10 printed as 0 and values beyond 1e100
// clamped; the result is trimmed.
std::string FormatExtended(long double v);
// "%18.<d>f" with the same clamps, trimmed.
std::string FormatExtendedFixed(long double v, int decimals);
std::string FormatPoint(const TExtendedPoint &p);
std::string FormatPointFixed(const TExtendedPoint &p, int decimals);

// Locale-independent decimal conversion.  `ParseExtended` accepts what a
// Pascal-style StrToFloat accepts (optional blanks, sign, digits, one '.',
// exponent) and gives the correctly rounded long double.
bool ParseExtended(std::string_view text, long double &out);
// Raises std::invalid_argument on bad input.
long double StrToExtended(std::string_view text);
// Whole decimal integer (optional sign, digits only, fits in 32 bits).
bool ParseInt(std::string_view text, int &out);
int StrToIntDef(std::string_view text, int def);

std::string Trim(std::string_view s);
std::string LowerCase(std::string_view s);
std::string UpperCase(std::string_view s);

// Round half away from zero to a whole number.
long long RoundHalfAway(long double v);

// Reads a whole regular file of at most `maxBytes` into `bytes` (opened
// without blocking and without a controlling terminal, so a FIFO or a
// device named by mistake cannot hold the caller).  A file that shrinks
// meanwhile gives what was there.  On CannotRead, `error` is the errno.
enum class TFileRead { Read, CannotRead, NotRegular, TooLarge };
TFileRead ReadRegularFile(const std::string &path, size_t maxBytes, std::string &bytes, int &error);

} // namespace grittor
