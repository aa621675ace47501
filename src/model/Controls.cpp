#include "Controls.h"

// ---- TControls

TControls::TControls(TLANObject* device, TSDBase* table) : TObjFieldTab(device, device, table) {}

void TControls::AddItem() {
    Append();
    AddItemAttribute(*this, "ID", idfDWord, {}, 0, true);
    AddItemAttribute(*this, "NAME", idfString, "C1", 0, true);
    AddItemAttribute(*this, "ASSOC", idfDWord, {}, 0, true);
    AddItemAttribute(*this, "VALUE", idfDWord, {}, 100, false);
    AddItemAttribute(*this, "MIN", idfDWord, {}, 0, false);
    AddItemAttribute(*this, "MAX", idfDWord, {}, 100, false);
    SetControlID(GetCurrent());
}

bool TControls::ReadRowAt(TMemoryStream& s, std::size_t offset) {
    s.SetPosition(offset);
    if (s.Remaining() == 0) return false;
    const int index = ReadByteOrZero(s);
    if (!IsItem(index)) return false;
    SetCurrent(index);
    SetControlID(index);
    SetAssoc(ReadByteOrZero(s));
    SetValue(ReadWordOrZero(s));
    SetMin(ReadWordOrZero(s));
    SetMax(ReadWordOrZero(s));
    SetName(ReadShortString(s));
    return true;
}

bool TControls::AddRow(TMemoryStream& s) {
    if (s.Size() <= 4) return false;
    AddItem();
    return ReadRow(s);
}

bool TControls::AddChildRow(TMemoryStream& s) {
    if (s.Size() <= 4) return false;
    AddItem();
    return ReadChildRow(s);
}

bool TControls::ReadValueAt(TMemoryStream& s, std::size_t offset) {
    s.SetPosition(offset);
    if (s.Remaining() < 3) return false;
    const int index = ReadByteOrZero(s);
    const std::uint16_t value = ReadWordOrZero(s);
    if (!IsItem(index)) return false;
    SetCurrent(index);
    SetValue(value);
    return true;
}

void TControls::WriteRow(TMemoryStream& s) {
    WriteByteValue(s, static_cast<std::uint8_t>(GetControlID()));
    WriteByteValue(s, static_cast<std::uint8_t>(GetAssoc()));
    WriteWordValue(s, static_cast<std::uint16_t>(GetValue()));
    WriteWordValue(s, static_cast<std::uint16_t>(GetMin()));
    WriteWordValue(s, static_cast<std::uint16_t>(GetMax()));
}

// ---- TCommands

TCommands::TCommands(TLANObject* device, TSDBase* table) : TObjFieldTab(device, device, table) {}

void TCommands::AddItem() {
    Append();
    AddItemAttribute(*this, "ID", idfDWord, {}, 0, false);
    AddItemAttribute(*this, "NAME", idfString, "C1", 0, false);
    SetCommandID(GetCurrent());
}

bool TCommands::ReadRowAt(TMemoryStream& s, std::size_t offset) {
    if (s.Size() <= 4) return false;
    s.SetPosition(offset);
    const int index = ReadByteOrZero(s);
    if (!IsItem(index)) return false;
    SetCurrent(index);
    SetCommandID(index);
    SetName(ReadShortString(s));
    return true;
}

bool TCommands::AddRow(TMemoryStream& s) {
    if (s.Size() <= 4) return false;
    AddItem();
    return ReadRow(s);
}

bool TCommands::AddChildRow(TMemoryStream& s) {
    if (s.Size() <= 4) return false;
    AddItem();
    return ReadChildRow(s);
}
