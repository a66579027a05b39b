// The engineering monitor's two tables of one servo axis: 50 gains and 19
// periods, as the window's 69 fields hold them, read with "S 9", written
// with "S 6" (gains) and "S 7" (periods).
#pragma once

#include <array>
#include <optional>
#include <string>

namespace grittor {

class TTuningTables {
public:
    static constexpr int GainCount = 50;
    static constexpr int PeriodCount = 19;
    static constexpr int FieldCount = GainCount + PeriodCount;
    enum class Table { Gains, Periods };

    struct Field {
        std::string Name;  // v1..v24, p1..p24, p, vfb, then r1..r19
        std::string Label; // the caption beside it (the periods show p1..p19)
    };
    // The 69 fields in table order: the gains, then the periods.
    static const std::array<Field, FieldCount> &Fields();

    // "S 9 " axis " ": asks for both tables of axis 6 (x) or 7 (y).
    static std::string ReadCommand(int axis);
    // The answer of "S 9": comma-separated, field k (from 1, blanks
    // trimmed) goes to gain k for k = 1..50 and field 51 + j to period j.
    // Fields the answer lacks become empty texts.
    void Fill(const std::string &reply);

    const std::string &Text(int index) const { return texts_[static_cast<size_t>(index)]; }
    void SetText(int index, const std::string &text) { texts_[static_cast<size_t>(index)] = text; }
    const std::array<std::string, FieldCount> &Texts() const { return texts_; }

    // The first field of `table` that is not a whole number, as the operator
    // is told it: "Gain 3 value '1.5' is invalid" (zero-based index within
    // the table); nothing when every field is one.
    std::optional<std::string> Invalid(Table table) const;
    // Where that field is among the 69 (nothing when every field is valid).
    std::optional<int> FirstInvalid(Table table) const;
    // "S 6 " axis " " and the 50 gains (periods: "S 7 " and the 19 periods),
    // each followed by a blank.  Only for a table without Invalid.
    std::string SendCommand(Table table, int axis) const;

    static int First(Table table) { return table == Table::Gains ? 0 : GainCount; }
    static int Count(Table table) { return table == Table::Gains ? GainCount : PeriodCount; }

private:
    std::array<std::string, FieldCount> texts_;
};

} // namespace grittor
