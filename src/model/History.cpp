#include "History.h"

#include "ModelText.h"
#include "ObjectsList.h"

namespace {
enum { fDate, fDevAddress, fParamID, fValue, fState, fDevState };
} // namespace

const TFieldNames& THISTORY::FieldNames() {
    static const TFieldNames names{"DATE", "DEVADDRESS", "PARAMID", "VALUE", "STATE", "DEVSTATE"};
    return names;
}

const TFieldTypes& THISTORY::FieldTypes() {
    static const TFieldTypes types{idfDateTime, idfDWord, idfDWord, idfDWord, idfDWord, idfDWord};
    return types;
}

THISTORY::THISTORY(TObjectsList* owner, TSDBase* table)
    : owner_(owner), base_(table), itemIndex_(table->RecCount() > 0 ? 0 : -1) {}

void THISTORY::Append() {
    base_->AppendRecord();
    itemIndex_ = Count() - 1;
}

void THISTORY::Clear() {
    base_->ClearRecords();
    itemIndex_ = -1;
}

void THISTORY::SetItemIndex(int index) {
    itemIndex_ = index >= 0 && index < Count() ? index : -1;
}

std::string THISTORY::Text(int field) const {
    return base_->GetText(itemIndex_, field);
}

void THISTORY::Set(int field, const std::string& text) {
    if (HasEntry()) base_->SetText(itemIndex_, field, text);
}

std::string THISTORY::GetDate() const {
    return HasEntry() ? Text(fDate) : std::string();
}
std::int32_t THISTORY::GetDevAddress() const {
    return HasEntry() ? IntOrZero(Text(fDevAddress)) : 0;
}
std::int32_t THISTORY::GetParamID() const {
    return HasEntry() ? IntOrZero(Text(fParamID)) : -1;
}
std::string THISTORY::GetValue() const {
    return HasEntry() ? Text(fValue) : "0";
}
std::int32_t THISTORY::GetState() const {
    return HasEntry() ? IntOrZero(Text(fState)) : 0;
}
std::int32_t THISTORY::GetDevState() const {
    return HasEntry() ? IntOrZero(Text(fDevState)) : 0;
}

void THISTORY::SetDate(const std::string& text) {
    Set(fDate, text);
}
void THISTORY::SetDevAddress(std::uint8_t address) {
    Set(fDevAddress, IntText(address));
}
void THISTORY::SetParamID(std::int64_t id) {
    Set(fParamID, IntText(id));
}
void THISTORY::SetState(std::uint8_t state) {
    Set(fState, IntText(state));
}
void THISTORY::SetDevState(std::uint8_t state) {
    Set(fDevState, IntText(state));
}

TLANObject* THISTORY::RowDevice() const {
    if (!HasEntry() || !Device) return nullptr;
    const std::int32_t address = GetDevAddress();
    if (address < 0 || address > 0xFF) return nullptr;
    return Device->Children().FindByAddress(static_cast<std::uint8_t>(address));
}

TParameters* THISTORY::RowParameters() const {
    TLANObject* device = RowDevice();
    if (!device) return nullptr;
    TParameters& params = device->Parameters();
    const std::int32_t id = GetParamID();
    if (!params.IsItem(id)) return nullptr;
    params.SetCurrent(id);
    return &params;
}

void THISTORY::SetValue(std::uint16_t raw) {
    TParameters* params = RowParameters();
    Set(fValue, params ? FormatValue(params->GetFormat(), raw) : IntText(raw));
}

std::string THISTORY::GetRowTitle() const {
    TLANObject* device = RowDevice();
    return device && RowParameters() ? device->GetTitle() : std::string();
}

std::string THISTORY::GetRowParamName() const {
    TParameters* params = RowParameters();
    return params ? params->GetName() : std::string();
}

std::string THISTORY::GetRowParamDim() const {
    TParameters* params = RowParameters();
    return params ? params->GetDim() : std::string();
}
