// A device's attributes: named text properties, one item each, whose
// attribute table has exactly one row carrying the attribute itself.
#pragma once

#include "Attribute.h"

// On the link an attribute's type is a kind code.
// Kind of a field type (its top bit cleared): Word 1, DWord 2, String 3,
// DateTime 4, LongInt 5, Event 6, any other 0.
int KindOfFieldType(TIDFieldType type);
// Field type stored for a kind: 1 and 2 DWord, 3 String, 4 DateTime,
// 5 LongInt, 6 Event, any other Byte.
TIDFieldType FieldTypeOfKind(int kind);

// The kind of every attribute a device reports: a text.
inline constexpr int kindText = 3;

class TObjectAttributes : public TObjFieldTab {
public:
    TObjectAttributes(TLANObject* device, TSDBase* table);

    // A new item with its one default row, whose "ID" is the item's index.
    void AddItem();

    std::string GetName() override { return CurrentRows().GetName(); }
    void SetName(const std::string& text) override { CurrentRows().SetName(text); }
    std::string GetValue() { return CurrentRows().GetValue(); }
    void SetValue(const std::string& text) { CurrentRows().SetValue(text); }
    std::int32_t GetOptions() { return CurrentRows().GetOptions(); }
    void SetOptions(std::int64_t n) { CurrentRows().SetOptions(n); }
    int GetKind() { return KindOfFieldType(CurrentRows().GetType()); }
    void SetKind(int kind) { CurrentRows().SetType(FieldTypeOfKind(kind)); }
    void SetAttrID(std::int64_t n) { CurrentRows().SetID(n); }

    // "VALUE" of the first attribute named exactly `name`, "0" when none is.
    // Leaves the match current, or the last item when nothing matches.
    std::string FindValue(const std::string& name);

    // The attribute row form: index byte, "NAME", "VALUE" (kind 3 only),
    // "OPTIONS" byte. Readers answer whether they changed an item: not for an
    // empty body or an index that is not an item. The child forms start after
    // the hub's address byte.
    bool ReadRow(TMemoryStream& s) { return ReadRowAt(s, 0); }
    bool ReadChildRow(TMemoryStream& s) { return ReadRowAt(s, 1); }
    // A new item, then the row: filled only when the body's index is its index.
    bool AddRow(TMemoryStream& s);
    bool AddChildRow(TMemoryStream& s);
    // The attribute text form: index byte, then the new "VALUE" (kind 3 only).
    bool ReadText(TMemoryStream& s) { return ReadTextAt(s, 0); }
    bool ReadChildText(TMemoryStream& s) { return ReadTextAt(s, 1); }
    // The current item in the plain row form, at the stream's position.
    void WriteRow(TMemoryStream& s);

protected:
    // Attributes keep their index in their row's "ID".
    void Renumber(int n) override;

private:
    bool ReadRowAt(TMemoryStream& s, std::size_t offset);
    bool ReadTextAt(TMemoryStream& s, std::size_t offset);
};
