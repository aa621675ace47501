#include "Parameters.h"

#include <cmath>

TParameters::TParameters(TLANObject* device, TSDBase* table)
    : TObjFieldTab(device, device, table) {}

void TParameters::AddItem() {
    Append();
    const auto row = [this](const char* name, TIDFieldType type, const char* text,
                            std::int64_t number, bool readOnly) {
        AddItemAttribute(*this, name, type, text, number, readOnly, TListRow::Number);
    };
    row("ID", idfDWord, "", 0, true);
    row("Group", idfList, "", 0, false);
    row("Class", idfList, "", 0, false);
    row("MODE", idfList, "", 0, false);
    row("STATE", idfDWord, "", 0, true);
    row("Assoc", idfList, "", 0, false);
    row("FORMAT", idfDWord, "", 48, false);
    row("SCALE", idfDWord, "", 100, false);
    row("VALUE", idfDWord, "", 50, true);
    row("MIN", idfDWord, "", 0, false);
    row("MAX", idfDWord, "", 100, false);
    row("Threshold", idfDWord, "", 20, false);
    row("CALC", idfList, "", 0, false);
    row("NAME", idfString, "P1", 0, false);
    row("DIM", idfString, "V", 0, false);
    SetParamID(GetCurrent());
}

bool TParameters::ReadRowAt(TMemoryStream& s, std::size_t offset) {
    s.SetPosition(offset);
    if (s.Remaining() == 0) return false;
    const int index = ReadByteOrZero(s);
    if (!IsItem(index)) return false;
    SetCurrent(index);
    SetParamID(index);
    SetGroup(ReadByteOrZero(s));
    SetClass(ReadByteOrZero(s));
    SetMode(ReadByteOrZero(s));
    SetState(ReadByteOrZero(s));
    SetAssoc(ReadByteOrZero(s));
    SetFormat(ReadByteOrZero(s));
    const std::uint16_t scale = ReadWordOrZero(s);
    SetScale(scale);
    SetValue(ReadWordOrZero(s));
    SetMin(ReadWordOrZero(s));
    SetMax(ReadWordOrZero(s));
    const std::uint16_t threshold = ReadWordOrZero(s);
    // A device that reports no scale has no threshold to speak of.
    SetThreshold(scale == 0 ? 0
                            : static_cast<std::int64_t>(RoundHalfEven(threshold * 100.0 / scale)));
    SetCalc(ReadByteOrZero(s));
    SetName(ReadShortString(s));
    SetDim(ReadShortString(s));
    return true;
}

bool TParameters::AddRow(TMemoryStream& s) {
    if (s.Size() <= 3) return false;
    AddItem();
    return ReadRow(s);
}

bool TParameters::AddChildRow(TMemoryStream& s) {
    if (s.Size() <= 3) return false;
    AddItem();
    return ReadChildRow(s);
}

void TParameters::WriteRow(TMemoryStream& s) {
    const auto byte = [&s](std::int64_t n) { WriteByteValue(s, static_cast<std::uint8_t>(n)); };
    const auto word = [&s](std::int64_t n) { WriteWordValue(s, static_cast<std::uint16_t>(n)); };
    byte(GetCurrent());
    byte(GetGroup());
    byte(GetClass());
    byte(GetMode());
    byte(GetState());
    byte(GetAssoc());
    byte(GetFormat());
    const std::int32_t scale = GetScale();
    word(scale);
    word(GetValue());
    word(GetMin());
    word(GetMax());
    word(static_cast<std::int64_t>(
        RoundHalfEven(scale * static_cast<double>(GetThreshold()) / 100.0)));
    byte(GetCalc());
    WriteShortString(s, GetName());
    WriteShortString(s, GetDim());
}

int TParameters::ReadValuesAt(TMemoryStream& s, std::size_t offset) {
    s.SetPosition(offset);
    const int count = ReadByteOrZero(s);
    int set = 0;
    for (int i = 0; i < count && s.Remaining() >= 3; ++i) {
        const int index = ReadByteOrZero(s);
        const std::uint16_t value = ReadWordOrZero(s);
        if (!IsItem(index)) continue;
        SetCurrent(index);
        SetValue(value);
        ++set;
    }
    return set;
}
