#include "service/TuningTables.h"

#include "foundation/StringUtils.h"
#include "foundation/utils.h"

namespace grittor {

const std::array<TTuningTables::Field, TTuningTables::FieldCount> &TTuningTables::Fields()
{
    static const std::array<Field, FieldCount> fields = [] {
        std::array<Field, FieldCount> f;
        size_t i = 0;
        for (int k = 1; k <= 24; ++k, ++i)
            f[i] = {"v" + std::to_string(k), "v" + std::to_string(k)};
        for (int k = 1; k <= 24; ++k, ++i)
            f[i] = {"p" + std::to_string(k), "p" + std::to_string(k)};
        f[i++] = {"p", "p"};
        f[i++] = {"vfb", "vfb"};
        for (int j = 1; j <= PeriodCount; ++j, ++i)
            f[i] = {"r" + std::to_string(j), "p" + std::to_string(j)};
        return f;
    }();
    return fields;
}

std::string TTuningTables::ReadCommand(int axis)
{
    return "S 9 " + std::to_string(axis) + " ";
}

void TTuningTables::Fill(const std::string &reply)
{
    for (int k = 0; k < FieldCount; ++k)
        texts_[static_cast<size_t>(k)] = Trim(GetField(reply, ',', k + 1));
}

std::optional<int> TTuningTables::FirstInvalid(Table table) const
{
    for (int i = First(table); i < First(table) + Count(table); ++i) {
        int value = 0;
        if (!ParseInt(texts_[static_cast<size_t>(i)], value))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> TTuningTables::Invalid(Table table) const
{
    const std::optional<int> at = FirstInvalid(table);
    if (!at)
        return std::nullopt;
    return (table == Table::Gains ? "Gain " : "Period ") + std::to_string(*at - First(table)) + " value '" +
           texts_[static_cast<size_t>(*at)] + "' is invalid";
}

std::string TTuningTables::SendCommand(Table table, int axis) const
{
    std::string command = (table == Table::Gains ? "S 6 " : "S 7 ") + std::to_string(axis) + " ";
    for (int i = 0; i < Count(table); ++i)
        command += Trim(texts_[static_cast<size_t>(First(table) + i)]) + " ";
    return command;
}

} // namespace grittor
