// Typed objects over the table store: a cursor bound to a fixed list of
// columns, the attribute table of named rows, and the field tab, a table of
// items each of which holds its own attribute table.
#pragma once

#include "ModelText.h"
#include "SDB.h"

#include <memory>
#include <string>

class TLANObject;

// A cursor (record, field) over a table it does not own, bound to the columns
// it needs. Columns are found by name, so a table that carries further fields
// of its own keeps working.
class TTableObj {
public:
    TTableObj(void* owner, TFieldNames names, TFieldTypes types, TSDBase* table);
    virtual ~TTableObj() = default;
    TTableObj(const TTableObj&) = delete;
    TTableObj& operator=(const TTableObj&) = delete;

    void* Owner() const { return owner_; }
    TSDBase* Base() const { return base_; }
    const TFieldNames& FieldNames() const { return names_; }

    // Points the cursor at `table` (which may be null) at record 0, field 0,
    // and adds the needed columns the table lacks, after the ones it has.
    virtual void Attach(TSDBase* table);
    // A new record at the end, which becomes current.
    virtual void Append();
    // Removes record `index` (nothing for an index out of range); the
    // cursor stays where it was.
    virtual void Delete(int index);

    int RecCount() const { return base_ ? base_->RecCount() : 0; }
    int RecNo() const { return recNo_; }
    // The index, or 0 when it is not below the record count.
    void SetRecNo(int index);
    int FieldNo() const { return fieldNo_; }
    void SetFieldNo(int index) { fieldNo_ = index; }
    // The table's index of needed column `i`, -1 when it has none.
    int Column(int i) const;

protected:
    int recNo_ = 0;

private:
    void* owner_;
    TFieldNames names_;
    TFieldTypes types_;
    TSDBase* base_ = nullptr;
    std::vector<int> columns_;
    int fieldNo_ = 0;
};

// Typed reading and writing at the cursor. Out of range answers "" or 0 and
// writes nothing.
class TDefTable : public TTableObj {
public:
    using TTableObj::TTableObj;

    std::string GetAsString() const;
    void SetAsString(const std::string& text);
    // 0 for text that is not a number (see IntOrZero).
    std::int32_t GetAsInteger() const;
    void SetAsInteger(std::int64_t n);
    TIDFieldType GetAsFieldType() const;
    void SetAsFieldType(TIDFieldType type);
};

// An attribute table: one row per named property ("ID", "NAME", "TYPE",
// "VALUE", "OPTIONS").
class TAttribute : public TDefTable {
public:
    enum Col { colID, colName, colType, colValue, colOptions };
    static constexpr std::uint32_t optReadOnly = 1;
    static constexpr std::uint32_t optPreset = 2;

    TAttribute(void* owner, TSDBase* table);

    // A row "ID" = row count, "NAME" = "F <count>", "VALUE" "0", "TYPE"
    // String, "OPTIONS" 0; it becomes current.
    void Append() override;

    std::int32_t GetID() const { return Get(colID); }
    void SetID(std::int64_t n) { Set(colID, IntText(n)); }
    std::int32_t GetOptions() const { return Get(colOptions); }
    void SetOptions(std::int64_t n) { Set(colOptions, IntText(n)); }
    std::string GetName() const { return Text(colName); }
    void SetName(const std::string& text) { Set(colName, text); }
    std::string GetValue() const { return Text(colValue); }
    void SetValue(const std::string& text) { Set(colValue, text); }
    TIDFieldType GetType() const { return FieldTypeFromName(Text(colType)); }
    void SetType(TIDFieldType type) { Set(colType, FieldTypeName(type)); }
    bool GetReadOnly() const { return (GetOptions() & optReadOnly) != 0; }
    void SetReadOnly(bool on) { SetOption(optReadOnly, on); }
    bool GetPreset() const { return (GetOptions() & optPreset) != 0; }
    void SetPreset(bool on) { SetOption(optPreset, on); }

    // "VALUE" of the first row whose "NAME" is exactly `name`, else "0".
    std::string FindValue(const std::string& name) const;
    // Sets "VALUE" of the first row named `name`; adds nothing when none is.
    void SetValueByName(const std::string& name, const std::string& text);

private:
    std::string Text(Col col) const;
    std::int32_t Get(Col col) const { return IntOrZero(Text(col)); }
    void Set(Col col, const std::string& text);
    void SetOption(std::uint32_t bit, bool on);
    int RowNamed(const std::string& name) const;
};

// A table of items ("ID", "ATTRIBUTES"), each item a record whose
// "ATTRIBUTES" value holds the item's own attribute table. `Attributes`
// follows the current item; every accessor of an item table points it at
// the current item first, so it can never be left on a deleted item, and
// keeps its row cursor while it stays on the same item.
class TObjFieldTab : public TTableObj {
public:
    // `device` is the device the tab describes (null for tabs of no device).
    TObjFieldTab(void* owner, TLANObject* device, TSDBase* table);

    TLANObject* Device() const { return device_; }

    // Also takes `Attributes` off the old table's items.
    void Attach(TSDBase* table) override;
    // A new item with an empty attribute table; its outer "ID" is the low byte
    // of its index and `Attributes` is on it. The item has no rows yet.
    void Append() override;
    // Removes the item and renumbers the rest (see Renumber); the last
    // remaining item ends current.
    void Delete(int index) override;
    int GetCurrent() const { return recNo_; }
    // Any index is taken; one that is not an item leaves `Attributes` on no
    // table, so that every accessor answers its default.
    virtual void SetCurrent(int index);
    virtual std::string GetName() { return {}; }
    virtual void SetName(const std::string&) {}
    // Swap the current item with its neighbour and renumber both; the moved
    // item ends current. Nothing at the edges.
    virtual void MoveUp();
    virtual void MoveDown();

    int ItemCount() const { return RecCount(); }
    bool IsItem(int index) const { return index >= 0 && index < ItemCount(); }
    // The current item's attribute table; null when there is no current item.
    TSDBase* ItemTable() const;
    // `Attributes` pointed at the current item's table, on its first row.
    TAttribute& GetAttributes();
    // `Attributes` as it stands (right after Append, on the new item).
    TAttribute& Attributes() { return *attributes_; }
    // The outer "ID" of the current item: the low byte of n.
    void SetItemID(std::int64_t n);
    // The "Device Name" attribute of the device, "0" when it has none.
    std::string GetDeviceName() const;

protected:
    // Makes item n current and records its new index in it: here in the
    // "VALUE" of row 0 (the "ID" row of parameters, controls and commands).
    virtual void Renumber(int n);

    // `Attributes` on the current item's table, its row kept when it was
    // there already.
    TAttribute& CurrentRows();
    std::string ItemValue(const std::string& name) { return CurrentRows().FindValue(name); }
    std::int32_t ItemInt(const std::string& name) { return IntOrZero(ItemValue(name)); }
    void SetItemValue(const std::string& name, const std::string& text) {
        CurrentRows().SetValueByName(name, text);
    }
    void SetItemInt(const std::string& name, std::int64_t n) { SetItemValue(name, IntText(n)); }

private:
    void Swap(int to);

    TLANObject* device_;
    std::unique_ptr<TAttribute> attributes_;
};

// Whether an idfList row takes its number (the parameter rows) or its text.
enum class TListRow { Text, Number };

// Appends one preset row to the current item of `tab`: the number's decimal
// text for integer types (and lists, with TListRow::Number), else the text.
void AddItemAttribute(TObjFieldTab& tab, const std::string& name, TIDFieldType type,
                      const std::string& defaultText, std::int64_t number, bool readOnly,
                      TListRow list = TListRow::Text);

// The item-table columns and the attribute-table columns with their types.
const TFieldNames& ItemFieldNames();
const TFieldTypes& ItemFieldTypes();
const TFieldNames& AttributeFieldNames();
const TFieldTypes& AttributeFieldTypes();
