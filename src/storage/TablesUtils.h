// The vocabulary of field types and kinds. Files store both by their texts,
// so these names are part of the file format and must never change.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum TIDFieldType : std::uint8_t {
    idfUnknown = 0,
    idfAutoincrement,
    idfKey,
    idfBoolean,
    idfBit,
    idfByte,
    idfWord,
    idfDWord,
    idfSmallInt,
    idfInteger,
    idfLongint,
    idfInt64,
    idfCurrency,
    idfReal,
    idfBinary,
    idfHex,
    idfBCD,
    idfString,
    idfDateTime,
    idfDate,
    idfTime,
    idfShortDate,
    idfShortTime,
    idfTypeField,
    idfDataAccessMode,
    idfIArray,
    idfList,
    idfTable,
    idfBMP,
    idfMemo,
    idfRemoteData,
    idfIntrerface,
    idfEvent,
};
inline constexpr int kFieldTypeCount = 33;

enum TFieldKind : std::uint8_t {
    fkData = 0,
    fkCalculated,
    fkLookup,
    fkInternalCalc,
    fkAggregate,
};
inline constexpr int kFieldKindCount = 5;

using TFieldNames = std::vector<std::string>;
using TFieldTypes = std::vector<TIDFieldType>;

// The type text; a byte outside the vocabulary answers the text of idfUnknown.
const std::string& FieldTypeName(TIDFieldType type);
// First type whose text equals `text` exactly (case-sensitive); idfUnknown otherwise.
TIDFieldType FieldTypeFromName(std::string_view text);
// The kind text; a byte outside the vocabulary answers "Data".
const std::string& FieldKindName(std::uint8_t kind);
// Kind whose text equals `text` exactly; fkData otherwise.
std::uint8_t FieldKindFromName(std::string_view text);
