// What the operator may act on: controls (a settable value between limits)
// and commands (a named action), one item each, with their stream forms.
#pragma once

#include "Attribute.h"

class TControls : public TObjFieldTab {
public:
    TControls(TLANObject* device, TSDBase* table);

    // A new control: "VALUE" 100, "MIN" 0, "MAX" 100, "NAME" "C1"; its "ID"
    // is its index.
    void AddItem();

    std::int32_t GetControlID() { return ItemInt("ID"); }
    void SetControlID(std::int64_t n) { SetItemInt("ID", n); }
    std::int32_t GetAssoc() { return ItemInt("ASSOC"); }
    void SetAssoc(std::int64_t n) { SetItemInt("ASSOC", n); }
    std::int32_t GetValue() { return ItemInt("VALUE"); }
    void SetValue(std::int64_t n) { SetItemInt("VALUE", n); }
    std::int32_t GetMin() { return ItemInt("MIN"); }
    void SetMin(std::int64_t n) { SetItemInt("MIN", n); }
    std::int32_t GetMax() { return ItemInt("MAX"); }
    void SetMax(std::int64_t n) { SetItemInt("MAX", n); }
    std::string GetName() override { return ItemValue("NAME"); }
    void SetName(const std::string& text) override { SetItemValue("NAME", text); }

    // The control row form: index, "ASSOC" (bytes), "VALUE", "MIN", "MAX"
    // (words), "NAME" (short text); missing bytes read as 0. Readers answer
    // whether they changed an item: not for an empty body or an index that
    // is not an item.
    bool ReadRow(TMemoryStream& s) { return ReadRowAt(s, 0); }
    bool ReadChildRow(TMemoryStream& s) { return ReadRowAt(s, 1); }
    // Only for bodies of more than 4 bytes: a new item, then the row.
    bool AddRow(TMemoryStream& s);
    bool AddChildRow(TMemoryStream& s);
    // The control value form: index byte, "VALUE" word. A body cut short
    // changes nothing: a missing value is not a value of 0.
    bool ReadValue(TMemoryStream& s) { return ReadValueAt(s, 0); }
    bool ReadChildValue(TMemoryStream& s) { return ReadValueAt(s, 1); }
    // The current control in 8 bytes: "ID", "ASSOC", "VALUE", "MIN", "MAX";
    // no name.
    void WriteRow(TMemoryStream& s);

private:
    bool ReadRowAt(TMemoryStream& s, std::size_t offset);
    bool ReadValueAt(TMemoryStream& s, std::size_t offset);
};

class TCommands : public TObjFieldTab {
public:
    TCommands(TLANObject* device, TSDBase* table);

    // A new command named "C1"; its "ID" is its index.
    void AddItem();

    std::int32_t GetCommandID() { return ItemInt("ID"); }
    void SetCommandID(std::int64_t n) { SetItemInt("ID", n); }
    std::string GetName() override { return ItemValue("NAME"); }
    void SetName(const std::string& text) override { SetItemValue("NAME", text); }

    // The command row form, only for bodies of more than 4 bytes in all:
    // index byte, "NAME" (short text). No writer: executing a command sends
    // only its number.
    bool ReadRow(TMemoryStream& s) { return ReadRowAt(s, 0); }
    bool ReadChildRow(TMemoryStream& s) { return ReadRowAt(s, 1); }
    bool AddRow(TMemoryStream& s);
    bool AddChildRow(TMemoryStream& s);

private:
    bool ReadRowAt(TMemoryStream& s, std::size_t offset);
};
