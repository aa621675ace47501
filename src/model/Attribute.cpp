#include "Attribute.h"

#include "ObjectsList.h"

#include <algorithm>

const TFieldNames& ItemFieldNames() {
    static const TFieldNames names{"ID", "ATTRIBUTES"};
    return names;
}
const TFieldTypes& ItemFieldTypes() {
    static const TFieldTypes types{idfDWord, idfTable};
    return types;
}
const TFieldNames& AttributeFieldNames() {
    static const TFieldNames names{"ID", "NAME", "TYPE", "VALUE", "OPTIONS"};
    return names;
}
const TFieldTypes& AttributeFieldTypes() {
    static const TFieldTypes types{idfDWord, idfString, idfTypeField, idfString, idfDWord};
    return types;
}

// ---- TTableObj

TTableObj::TTableObj(void* owner, TFieldNames names, TFieldTypes types, TSDBase* table)
    : owner_(owner), names_(std::move(names)), types_(std::move(types)) {
    TTableObj::Attach(table);
}

namespace {
int FieldIndex(const TSDBase& table, const std::string& name) {
    for (int i = 0; i < table.FieldCount(); ++i)
        if (table.GetField(i)->Name == name) return i;
    return -1;
}
} // namespace

void TTableObj::Attach(TSDBase* table) {
    recNo_ = 0;
    fieldNo_ = 0;
    base_ = table;
    columns_.assign(names_.size(), -1);
    if (!table) return;
    // Only the missing columns are added: appending the whole list again to a
    // table that has the needed columns among others would grow it at every
    // attach.
    if (!table->HasFields(names_)) {
        for (std::size_t i = 0; i < names_.size(); ++i) {
            if (FieldIndex(*table, names_[i]) >= 0) continue;
            TField* f = table->AddField();
            f->Name = names_[i];
            f->FieldType = i < types_.size() ? types_[i] : idfUnknown;
        }
    }
    for (std::size_t i = 0; i < names_.size(); ++i)
        columns_[i] = FieldIndex(*table, names_[i]);
}

void TTableObj::Append() {
    if (!base_) return;
    base_->AppendRecord();
    recNo_ = base_->RecCount() - 1;
}

void TTableObj::Delete(int index) {
    if (!base_ || index < 0 || index >= RecCount()) return;
    base_->DeleteRecord(index);
}

void TTableObj::SetRecNo(int index) {
    recNo_ = index >= 0 && index < RecCount() ? index : 0;
}

int TTableObj::Column(int i) const {
    return i >= 0 && static_cast<std::size_t>(i) < columns_.size()
               ? columns_[static_cast<std::size_t>(i)]
               : -1;
}

// ---- TDefTable

std::string TDefTable::GetAsString() const {
    if (!Base() || RecNo() < 0 || FieldNo() < 0) return {};
    return Base()->GetText(RecNo(), FieldNo());
}

void TDefTable::SetAsString(const std::string& text) {
    if (!Base() || RecNo() < 0 || RecNo() >= RecCount() || FieldNo() < 0) return;
    Base()->SetText(RecNo(), FieldNo(), text);
}

std::int32_t TDefTable::GetAsInteger() const {
    return IntOrZero(GetAsString());
}

void TDefTable::SetAsInteger(std::int64_t n) {
    SetAsString(IntText(n));
}

TIDFieldType TDefTable::GetAsFieldType() const {
    return FieldTypeFromName(GetAsString());
}

void TDefTable::SetAsFieldType(TIDFieldType type) {
    SetAsString(FieldTypeName(type));
}

// ---- TAttribute

TAttribute::TAttribute(void* owner, TSDBase* table)
    : TDefTable(owner, AttributeFieldNames(), AttributeFieldTypes(), table) {}

void TAttribute::Append() {
    if (!Base()) return;
    TTableObj::Append();
    const int count = RecCount();
    SetID(count);
    SetOptions(0);
    SetName("F " + IntText(count));
    SetValue("0");
    SetType(idfString);
}

std::string TAttribute::Text(Col col) const {
    if (!Base() || Column(col) < 0 || RecNo() < 0) return {};
    return Base()->GetText(RecNo(), Column(col));
}

void TAttribute::Set(Col col, const std::string& text) {
    if (!Base() || Column(col) < 0 || RecNo() < 0 || RecNo() >= RecCount()) return;
    SetFieldNo(Column(col));
    Base()->SetText(RecNo(), Column(col), text);
}

void TAttribute::SetOption(std::uint32_t bit, bool on) {
    const auto options = static_cast<std::uint32_t>(GetOptions());
    SetOptions(on ? (options | bit) : (options & ~bit));
}

int TAttribute::RowNamed(const std::string& name) const {
    if (!Base() || Column(colName) < 0) return -1;
    for (int i = 0; i < RecCount(); ++i)
        if (Base()->GetText(i, Column(colName)) == name) return i;
    return -1;
}

std::string TAttribute::FindValue(const std::string& name) const {
    const int row = RowNamed(name);
    if (row < 0 || Column(colValue) < 0) return "0";
    return Base()->GetText(row, Column(colValue));
}

void TAttribute::SetValueByName(const std::string& name, const std::string& text) {
    const int row = RowNamed(name);
    if (row >= 0 && Column(colValue) >= 0) Base()->SetText(row, Column(colValue), text);
}

// ---- TObjFieldTab

TObjFieldTab::TObjFieldTab(void* owner, TLANObject* device, TSDBase* table)
    : TTableObj(owner, ItemFieldNames(), ItemFieldTypes(), table), device_(device),
      attributes_(std::make_unique<TAttribute>(this, nullptr)) {}

void TObjFieldTab::Attach(TSDBase* table) {
    TTableObj::Attach(table);
    if (attributes_) attributes_->Attach(nullptr);
}

TSDBase* TObjFieldTab::ItemTable() const {
    if (!IsItem(recNo_) || Column(1) < 0) return nullptr;
    TValue* v = Base()->GetValue(recNo_, Column(1));
    return v ? v->Table() : nullptr;
}

TAttribute& TObjFieldTab::GetAttributes() {
    attributes_->Attach(ItemTable());
    return *attributes_;
}

TAttribute& TObjFieldTab::CurrentRows() {
    TSDBase* table = ItemTable();
    const int row = attributes_->Base() == table ? attributes_->RecNo() : 0;
    // Attached anew even on the same table: its columns may have changed.
    attributes_->Attach(table);
    attributes_->SetRecNo(row);
    return *attributes_;
}

void TObjFieldTab::Append() {
    if (!Base()) return;
    TTableObj::Append();
    SetItemID(recNo_);
    if (TSDBase* items = ItemTable(); items && items->FieldCount() == 0)
        items->AddFields(AttributeFieldNames(), AttributeFieldTypes());
    GetAttributes();
}

void TObjFieldTab::SetItemID(std::int64_t n) {
    if (IsItem(recNo_) && Column(0) >= 0) Base()->SetText(recNo_, Column(0), IntText(n & 0xFF));
}

void TObjFieldTab::Delete(int index) {
    if (!IsItem(index)) return;
    TTableObj::Delete(index);
    for (int n = 0; n < ItemCount(); ++n)
        Renumber(n);
    if (ItemCount() == 0) attributes_->Attach(nullptr);
}

void TObjFieldTab::SetCurrent(int index) {
    recNo_ = index;
    GetAttributes();
}

void TObjFieldTab::Renumber(int n) {
    SetCurrent(n);
    attributes_->SetRecNo(0);
    attributes_->SetValue(IntText(n));
}

void TObjFieldTab::Swap(int to) {
    const int from = recNo_;
    Base()->MoveRecord(from, to);
    Renumber(from);
    Renumber(to);
}

void TObjFieldTab::MoveUp() {
    if (!IsItem(recNo_) || recNo_ == 0) return;
    Swap(recNo_ - 1);
}

void TObjFieldTab::MoveDown() {
    if (!IsItem(recNo_) || recNo_ + 1 >= ItemCount()) return;
    Swap(recNo_ + 1);
}

std::string TObjFieldTab::GetDeviceName() const {
    return device_ ? device_->Attributes().FindValue("Device Name") : "0";
}

// ---- AddItemAttribute

void AddItemAttribute(TObjFieldTab& tab, const std::string& name, TIDFieldType type,
                      const std::string& defaultText, std::int64_t number, bool readOnly,
                      TListRow list) {
    TAttribute& a = tab.Attributes();
    if (!a.Base()) return;
    a.Append();
    a.SetName(name);
    a.SetType(type);
    const bool numeric = type == idfByte || type == idfWord || type == idfDWord ||
                         (type == idfList && list == TListRow::Number);
    a.SetValue(numeric ? IntText(number) : defaultText);
    a.SetReadOnly(readOnly);
    a.SetPreset(true);
}
