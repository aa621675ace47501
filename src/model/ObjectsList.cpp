#include "ObjectsList.h"

#include <algorithm>

const TFieldNames& DeviceFieldNames() {
    static const TFieldNames names{"DEF", "ATTRIBUTES", "PARAMETERS", "CONTROLS", "COMMANDS"};
    return names;
}

namespace {
const TFieldTypes& DeviceFieldTypes() {
    static const TFieldTypes types(5, idfTable);
    return types;
}

TSDBase* SavedItemRows(TSDBase& items) {
    for (int i = 0; i < items.FieldCount(); ++i)
        if (items.GetField(i)->Name == ItemFieldNames()[1]) {
            TValue* v = items.GetValue(0, i);
            return v ? v->Table() : nullptr;
        }
    return nullptr;
}
} // namespace

// ---- TLANObject

TLANObject::TLANObject(TObjectsList* owner)
    : owner_(owner), base_(CreateTable(DeviceFieldNames(), DeviceFieldTypes())) {
    base_->SetOwner(this);
    base_->AppendRecord();
    for (int i = 0; i < 5; ++i)
        NestedTable(i)->AddFields(ItemFieldNames(), ItemFieldTypes());
    definition_ = std::make_unique<TObjectDef>(this, DefTable());
    definition_->AddItem();
    attributes_ = std::make_unique<TObjectAttributes>(this, AttributesTable());
    parameters_ = std::make_unique<TParameters>(this, ParametersTable());
    controls_ = std::make_unique<TControls>(this, ControlsTable());
    commands_ = std::make_unique<TCommands>(this, CommandsTable());
    children_ = std::make_unique<TObjectsList>(this);
}

TLANObject::~TLANObject() {
    // Children first, while this device's tables are still there for
    // anything they notify.
    children_.reset();
    for (TObjectsList* list : {owner_, referrer_})
        if (list && list->history_->Device == this) list->history_->Device = nullptr;
    if (referrer_) referrer_->ForgetReference(this);
}

TSDBase* TLANObject::NestedTable(int field) {
    TValue* v = base_->GetValue(0, field);
    return v ? v->Table() : nullptr;
}

std::uint8_t TLANObject::ChildCount() {
    return static_cast<std::uint8_t>(children_->Count());
}

std::string TLANObject::GetTitle() {
    std::string title = DeviceTypeName(GetDevID() & 0xFF);
    if (const std::int32_t mode = GetMode(); mode != 0) title += " " + IntText(mode);
    return title;
}

bool TLANObject::IsComplete() {
    if (!AttributesTable() || !ParametersTable() || !ControlsTable() || !CommandsTable())
        return false;
    const auto low = [](int n) { return n & 0xFF; };
    return GetAttrCount() == low(AttributeCount()) && GetParamCount() == low(ParameterCount()) &&
           GetControlsCount() == low(ControlCount()) && GetCommandCount() == low(CommandCount()) &&
           GetChildDevCount() == ChildCount();
}

void TLANObject::ReattachTables() {
    definition_->Attach(DefTable());
    attributes_->Attach(AttributesTable());
    parameters_->Attach(ParametersTable());
    controls_->Attach(ControlsTable());
    commands_->Attach(CommandsTable());
}

// ---- TObjectsList

TObjectsList::TObjectsList(TLANObject* owner)
    : owner_(owner), historyTable_(CreateTable(THISTORY::FieldNames(), THISTORY::FieldTypes())),
      history_(std::make_unique<THISTORY>(this, historyTable_.get())) {}

TObjectsList::~TObjectsList() {
    Clear();
}

TLANObject* TObjectsList::AddDevice() {
    auto device = std::make_unique<TLANObject>(this);
    TLANObject* raw = device.get();
    entries_.push_back({raw, std::move(device)});
    itemIndex_ = Count() - 1;
    return raw;
}

void TObjectsList::AppendReference(TLANObject* device) {
    if (!device) return;
    if (device->referrer_ && device->referrer_ != this) device->referrer_->ForgetReference(device);
    device->referrer_ = this;
    entries_.push_back({device, nullptr});
}

bool TObjectsList::Owns(int index) const {
    return index >= 0 && index < Count() && entries_[static_cast<std::size_t>(index)].owned;
}

void TObjectsList::RemoveEntry(int index) {
    // Taken out of the list before it is freed: freeing a hub frees its
    // children, which then ask this same list to forget them.
    TEntry entry = std::move(entries_[static_cast<std::size_t>(index)]);
    entries_.erase(entries_.begin() + index);
    if (itemIndex_ == index)
        itemIndex_ = -1;
    else if (itemIndex_ > index)
        --itemIndex_;
    if (!entry.owned) {
        if (entry.device->referrer_ == this) entry.device->referrer_ = nullptr;
        if (history_->Device == entry.device) history_->Device = nullptr;
    }
}

void TObjectsList::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    RemoveEntry(index);
}

void TObjectsList::ForgetReference(TLANObject* device) {
    for (int i = Count() - 1; i >= 0; --i) {
        const TEntry& e = entries_[static_cast<std::size_t>(i)];
        if (e.device == device && !e.owned) RemoveEntry(i);
    }
}

void TObjectsList::Clear() {
    while (!entries_.empty())
        RemoveEntry(0);
}

TLANObject* TObjectsList::FindByAddress(std::uint8_t address) {
    for (const TEntry& e : entries_)
        if ((e.device->GetLanAddress() & 0xFF) == address) return e.device;
    return nullptr;
}

TLANObject* TObjectsList::GetDevice(int index) const {
    return index >= 0 && index < Count() ? entries_[static_cast<std::size_t>(index)].device
                                         : nullptr;
}

void TObjectsList::SetItemIndex(int index) {
    itemIndex_ = index >= 0 && index < Count() ? index : -1;
}

// ---- free functions

std::string DeviceTypeName(int code) {
    switch (code) {
    case 1:
        return "Server";
    case 2:
        return "Transmitter";
    case 10:
        return "Exciter";
    case 11:
        return "TV Exciter";
    case 12:
        return "HOST";
    case 20:
        return "PLL";
    case 30:
        return "Amplifier";
    case 31:
        return "TV Amplifier";
    case 32:
        return "DC Amplifier";
    case 40:
        return "Driver";
    case 41:
        return "TV Driver";
    case 42:
        return "Combined Bridge";
    case 43:
        return "Combiner";
    case 50:
        return "System Controler";
    case 60:
        return "Modem Controler";
    case 70:
        return "GSM Modem Controler";
    case 80:
        return "RDS Encoder";
    case 90:
        return "HUB";
    case 160:
        return "BootLoader232";
    case 161:
        return "BootLoader485";
    default:
        return "?";
    }
}

bool SaveDevice(TLANObject& device, TSDBase& table) {
    if (table.FieldCount() == 0) table.AddFields(DeviceFieldNames(), DeviceFieldTypes());
    if (!table.HasFields(DeviceFieldNames())) return false;
    const int record = table.RecCount();
    table.AppendRecord();
    TSDBase* sources[] = {device.DefTable(), device.AttributesTable(), device.ParametersTable(),
                          device.ControlsTable(), device.CommandsTable()};
    for (int i = 0; i < 5; ++i) {
        TValue* v = table.GetValue(record, i);
        TSDBase* copy = v ? v->Table() : nullptr;
        if (!copy || !sources[i]) continue;
        copy->Assign(*sources[i]);
        copy->SetOwner(&table);
    }
    return true;
}

bool LoadDevice(int index, TLANObject& device, TSDBase& table) {
    if (!table.HasFields(DeviceFieldNames()) || index < 0 || index >= table.RecCount())
        return false;
    TSDBase* saved[5];
    for (int i = 0; i < 5; ++i) {
        TValue* v = table.GetValue(index, i);
        saved[i] = v ? v->Table() : nullptr;
        if (!saved[i]) return false;
    }
    // Item 0's rows only: the device keeps its own definition item. Read
    // without a field tab, which would add missing columns to the saved table.
    if (TSDBase* rows = SavedItemRows(*saved[0])) {
        device.Definition().SetCurrent(0);
        if (TSDBase* def = device.Definition().ItemTable()) def->Assign(*rows);
    }
    TSDBase* mine[] = {device.AttributesTable(), device.ParametersTable(), device.ControlsTable(),
                       device.CommandsTable()};
    for (int i = 0; i < 4; ++i)
        if (mine[i]) mine[i]->Assign(*saved[i + 1]);
    device.ReattachTables();
    return true;
}
