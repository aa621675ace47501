// The parameter history fetched from a device: entries naming a device behind
// it by address, one of that device's parameters by number, the time, the
// value and two state bytes.
#pragma once

#include "SDB.h"

#include <cstdint>
#include <string>

class TLANObject;
class TObjectsList;
class TParameters;

class THISTORY {
public:
    // The history table's fields: "DATE", "DEVADDRESS", "PARAMID", "VALUE",
    // "STATE", "DEVSTATE".
    static const TFieldNames& FieldNames();
    static const TFieldTypes& FieldTypes();

    // `table` has the history fields and belongs to the list.
    THISTORY(TObjectsList* owner, TSDBase* table);

    TObjectsList* Owner() const { return owner_; }
    TSDBase* Base() const { return base_; }

    // The device whose children the entries refer to (not owned).
    TLANObject* Device = nullptr;

    void Append();
    void Clear();
    int Count() const { return base_->RecCount(); }
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);

    // On the current entry; defaults when there is none.
    std::string GetDate() const;
    std::int32_t GetDevAddress() const;
    std::int32_t GetParamID() const;
    std::string GetValue() const;
    std::int32_t GetState() const;
    std::int32_t GetDevState() const;

    // On the current entry; nothing when there is none.
    void SetDate(const std::string& text);
    void SetDevAddress(std::uint8_t address);
    void SetParamID(std::int64_t id);
    void SetState(std::uint8_t state);
    void SetDevState(std::uint8_t state);
    // Stores the raw value as display text in the FORMAT of the entry's
    // parameter on the entry's device; as plain decimal text when the device
    // or the parameter cannot be found. Set the address and the parameter
    // number first.
    void SetValue(std::uint16_t raw);

    // The child device the current entry names, null when there is none.
    TLANObject* RowDevice() const;
    // Its parameters with the entry's parameter current, null when either the
    // device or the parameter is missing.
    TParameters* RowParameters() const;
    // Title, parameter name and unit of the current entry; empty when the
    // device or the parameter cannot be found.
    std::string GetRowTitle() const;
    std::string GetRowParamName() const;
    std::string GetRowParamDim() const;

private:
    bool HasEntry() const { return itemIndex_ >= 0 && itemIndex_ < Count(); }
    std::string Text(int field) const;
    void Set(int field, const std::string& text);

    TObjectsList* owner_;
    TSDBase* base_;
    int itemIndex_;
};
