// The device tree of a site: a device with everything read from it, and the
// ordered lists of devices (the site's list and each hub's children).
#pragma once

#include "Controls.h"
#include "History.h"
#include "ObjectAttributes.h"
#include "ObjectDef.h"
#include "Parameters.h"

#include <memory>
#include <vector>

class TObjectsList;

// One device. It owns its table (one record of five nested tables: "DEF",
// "ATTRIBUTES", "PARAMETERS", "CONTROLS", "COMMANDS"), the field tabs over
// them and the devices behind it (`Children`).
class TLANObject {
public:
    explicit TLANObject(TObjectsList* owner);
    // Tells a list that still refers to this device to forget it.
    ~TLANObject();
    TLANObject(const TLANObject&) = delete;
    TLANObject& operator=(const TLANObject&) = delete;

    TObjectsList* Owner() const { return owner_; }
    std::uint8_t Order = 0;

    TSDBase& Base() { return *base_; }
    TObjectDef& Definition() { return *definition_; }
    TObjectAttributes& Attributes() { return *attributes_; }
    TParameters& Parameters() { return *parameters_; }
    TControls& Controls() { return *controls_; }
    TCommands& Commands() { return *commands_; }
    TObjectsList& Children() { return *children_; }

    TSDBase* DefTable() { return NestedTable(0); }
    TSDBase* AttributesTable() { return NestedTable(1); }
    TSDBase* ParametersTable() { return NestedTable(2); }
    TSDBase* ControlsTable() { return NestedTable(3); }
    TSDBase* CommandsTable() { return NestedTable(4); }

    int AttributeCount() { return attributes_->ItemCount(); }
    int ParameterCount() { return parameters_->ItemCount(); }
    int ControlCount() { return controls_->ItemCount(); }
    int CommandCount() { return commands_->ItemCount(); }
    // The number of children, low byte.
    std::uint8_t ChildCount();

    // The type name, and the mode after a space when it is not 0: "Exciter 2".
    std::string GetTitle();
    // The announced counts all equal the low bytes of the held counts.
    bool IsComplete();

    std::int32_t GetOwnerAddress() { return definition_->GetOwner(); }
    void SetOwnerAddress(std::int64_t address) { definition_->SetOwner(address); }
    std::int32_t GetDevID() { return definition_->GetDevID(); }
    std::int32_t GetMode() { return definition_->GetMode(); }
    std::int32_t GetAttrCount() { return definition_->GetAttrCount(); }
    std::int32_t GetParamCount() { return definition_->GetParamCount(); }
    std::int32_t GetControlsCount() { return definition_->GetControlsCount(); }
    std::int32_t GetCommandCount() { return definition_->GetCommandCount(); }
    std::int32_t GetChildDevCount() { return definition_->GetChildDevCount(); }
    std::int32_t GetLanAddress() { return definition_->GetLanAddress(); }
    void SetLanAddress(std::uint8_t address) { definition_->SetLanAddress(address); }
    std::string GetProgramVersion() { return definition_->GetProgramVersion(); }

    // Points the field tabs at the nested tables again, after their contents
    // were replaced wholesale (LoadDevice).
    void ReattachTables();

private:
    friend class TObjectsList;
    TSDBase* NestedTable(int field);

    TObjectsList* owner_;
    // The list that refers to this device without owning it, if any.
    TObjectsList* referrer_ = nullptr;
    std::unique_ptr<TSDBase> base_;
    std::unique_ptr<TObjectDef> definition_;
    std::unique_ptr<TObjectAttributes> attributes_;
    std::unique_ptr<TParameters> parameters_;
    std::unique_ptr<TControls> controls_;
    std::unique_ptr<TCommands> commands_;
    std::unique_ptr<TObjectsList> children_;
};

// An ordered list of devices. An entry either owns its device (AddDevice) or
// refers to a device owned elsewhere (AppendReference: a device behind a hub
// belongs to the hub's Children and the site list only refers to it). A
// referred device that is freed drops out of the list by itself.
class TObjectsList {
public:
    // `owner`: the device for a children list, null for a site list.
    explicit TObjectsList(TLANObject* owner = nullptr);
    ~TObjectsList();
    TObjectsList(const TObjectsList&) = delete;
    TObjectsList& operator=(const TObjectsList&) = delete;

    TLANObject* Owner() const { return owner_; }
    THISTORY& History() { return *history_; }

    int Count() const { return static_cast<int>(entries_.size()); }
    // A new device owned by this list, appended and made current.
    TLANObject* AddDevice();
    // Appends an entry for a device owned by another list.
    void AppendReference(TLANObject* device);
    bool Owns(int index) const;
    // Removes the entry, freeing the device when this list owns it. The
    // current index follows its device; it becomes -1 when that is removed.
    void Delete(int index);
    void Clear();

    // The first device whose "LANADDRESS" low byte is `address`, else null.
    TLANObject* FindByAddress(std::uint8_t address);
    // Null for an index out of range.
    TLANObject* GetDevice(int index) const;
    int ItemIndex() const { return itemIndex_; }
    // The index when valid, else -1.
    void SetItemIndex(int index);
    TLANObject* CurrentDevice() const { return GetDevice(itemIndex_); }

private:
    friend class TLANObject;
    struct TEntry {
        TLANObject* device;
        std::unique_ptr<TLANObject> owned;
    };
    void ForgetReference(TLANObject* device);
    void RemoveEntry(int index);

    TLANObject* owner_;
    std::vector<TEntry> entries_;
    int itemIndex_ = -1;
    std::unique_ptr<TSDBase> historyTable_;
    std::unique_ptr<THISTORY> history_;
};

// The name of a device type code, "?" for an unknown one.
std::string DeviceTypeName(int code);

// The five nested-table fields of a saved device list.
const TFieldNames& DeviceFieldNames();

// Appends a copy of the device's five tables as one record of `table`. A
// table with no fields gets the five; one with other fields is refused
// (false, nothing appended). Children are not saved.
bool SaveDevice(TLANObject& device, TSDBase& table);
// Fills a freshly created device from record `index` of `table`: the
// definition rows from item 0 of the saved "DEF", the other four tables as
// copies. False, the device unchanged, when the record or a saved table is
// missing. Throws ESDBError when a saved table's bytes are damaged.
bool LoadDevice(int index, TLANObject& device, TSDBase& table);
