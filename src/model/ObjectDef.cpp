#include "ObjectDef.h"

#include <array>

namespace {
struct TDefRow {
    const char* name;
    bool readOnly;
};
// In item order; the first fifteen are also the bytes of the definition form.
constexpr std::array<TDefRow, 15> kByteRows{{
    {"LINE", true},
    {"OWNER", false},
    {"DEVID", false},
    {"MODE", false},
    {"STATE", false},
    {"AttrCount", true},
    {"ParamCount", true},
    {"ControlsCount", true},
    {"CommandCount", true},
    {"ChildDevCount", true},
    {"maxAttrCount", true},
    {"maxParamCount", true},
    {"maxControlsCount", true},
    {"maxCommandCount", true},
    {"maxChildDevCount", true},
}};
} // namespace

TObjectDef::TObjectDef(TLANObject* device, TSDBase* table) : TObjFieldTab(device, device, table) {}

void TObjectDef::AddItem() {
    Append();
    for (const TDefRow& row : kByteRows)
        AddItemAttribute(*this, row.name, idfDWord, {}, 0, row.readOnly);
    AddItemAttribute(*this, "LANADDRESS", idfDWord, {}, 0, true);
    AddItemAttribute(*this, "Program Version", idfString, "?", 0, true);
}

bool TObjectDef::ReadAt(TMemoryStream& s, std::size_t offset) {
    if (!IsItem(0)) return false;
    SetCurrent(0);
    s.SetPosition(offset);
    for (const TDefRow& row : kByteRows)
        SetItemInt(row.name, ReadByteOrZero(s));
    SetProgramVersion(ReadShortString(s));
    return true;
}
