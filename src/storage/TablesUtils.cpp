#include "TablesUtils.h"

#include <array>

namespace {
const std::array<std::string, kFieldTypeCount> kTypeTexts = {
    "Unknow",      "Autoincrement", "Key",        "Boolean",    "Bit",
    "Byte",        "Word",          "DWord",      "SmallInt",   "Integer",
    "LongInt",     "LargeInt",      "Currency",   "Float",      "Binary",
    "HEX",         "BCD",           "String",     "DateTime",   "Date",
    "Time",        "Short Date",    "Short Time", "Field Type", "Data Access Mode",
    "Array",       "List",          "Table",      "BMP",        "Memo",
    "Remote Data", "Interface",     "Event",
};
const std::array<std::string, kFieldKindCount> kKindTexts = {
    "Data", "Calculated", "Lookup", "InternalCalc", "Aggregate",
};
} // namespace

const std::string& FieldTypeName(TIDFieldType type) {
    return type < kFieldTypeCount ? kTypeTexts[type] : kTypeTexts[idfUnknown];
}

TIDFieldType FieldTypeFromName(std::string_view text) {
    for (int i = 0; i < kFieldTypeCount; ++i)
        if (kTypeTexts[i] == text) return static_cast<TIDFieldType>(i);
    return idfUnknown;
}

const std::string& FieldKindName(std::uint8_t kind) {
    return kind < kFieldKindCount ? kKindTexts[kind] : kKindTexts[fkData];
}

std::uint8_t FieldKindFromName(std::string_view text) {
    for (int i = 0; i < kFieldKindCount; ++i)
        if (kKindTexts[i] == text) return static_cast<std::uint8_t>(i);
    return fkData;
}
