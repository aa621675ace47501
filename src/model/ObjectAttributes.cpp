#include "ObjectAttributes.h"

int KindOfFieldType(TIDFieldType type) {
    switch (static_cast<TIDFieldType>(type & 0x7F)) {
    case idfWord:
        return 1;
    case idfDWord:
        return 2;
    case idfString:
        return 3;
    case idfDateTime:
        return 4;
    case idfLongint:
        return 5;
    case idfEvent:
        return 6;
    default:
        return 0;
    }
}

TIDFieldType FieldTypeOfKind(int kind) {
    switch (kind) {
    case 1:
    case 2:
        return idfDWord;
    case 3:
        return idfString;
    case 4:
        return idfDateTime;
    case 5:
        return idfLongint;
    case 6:
        return idfEvent;
    default:
        return idfByte;
    }
}

TObjectAttributes::TObjectAttributes(TLANObject* device, TSDBase* table)
    : TObjFieldTab(device, device, table) {}

void TObjectAttributes::AddItem() {
    Append();
    if (!ItemTable()) return;
    Attributes().Append();
    SetAttrID(GetCurrent());
}

std::string TObjectAttributes::FindValue(const std::string& name) {
    for (int i = 0; i < ItemCount(); ++i) {
        SetCurrent(i);
        if (GetName() == name) return GetValue();
    }
    return "0";
}

void TObjectAttributes::Renumber(int n) {
    SetCurrent(n);
    SetAttrID(n);
}

bool TObjectAttributes::ReadRowAt(TMemoryStream& s, std::size_t offset) {
    s.SetPosition(offset);
    if (s.Remaining() == 0) return false;
    const int index = ReadByteOrZero(s);
    if (!IsItem(index)) return false;
    SetCurrent(index);
    SetAttrID(index);
    SetKind(kindText);
    SetName(ReadShortString(s));
    SetValue(ReadShortString(s));
    SetOptions(ReadByteOrZero(s));
    return true;
}

bool TObjectAttributes::AddRow(TMemoryStream& s) {
    AddItem();
    return ReadRow(s);
}

bool TObjectAttributes::AddChildRow(TMemoryStream& s) {
    AddItem();
    return ReadChildRow(s);
}

bool TObjectAttributes::ReadTextAt(TMemoryStream& s, std::size_t offset) {
    s.SetPosition(offset);
    if (s.Remaining() == 0) return false;
    const int index = ReadByteOrZero(s);
    if (!IsItem(index)) return false;
    SetCurrent(index);
    SetAttrID(index);
    if (GetKind() == kindText) SetValue(ReadShortString(s));
    return true;
}

void TObjectAttributes::WriteRow(TMemoryStream& s) {
    WriteByteValue(s, static_cast<std::uint8_t>(GetCurrent()));
    WriteShortString(s, GetName());
    if (GetKind() == kindText) WriteShortString(s, GetValue());
    WriteByteValue(s, static_cast<std::uint8_t>(GetOptions()));
}
