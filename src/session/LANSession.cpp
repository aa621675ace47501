#include "LANSession.h"

#include <iostream>
#include <utility>
#include <vector>

namespace {
constexpr int kHubType = 90;

// What the rebuild needs to know of a recorded device before placing it.
struct TSavedDevice {
    int record;
    bool hub;
    std::uint8_t owner;
    std::uint8_t address;
};

std::vector<TSavedDevice> ReadPlaces(TSDBase& saved) {
    std::vector<TSavedDevice> places;
    TObjectsList scratch;
    for (int i = 0; i < saved.RecCount(); ++i) {
        TLANObject& d = *scratch.AddDevice();
        if (LoadDevice(i, d, saved))
            places.push_back({i, (d.GetDevID() & 0xFF) == kHubType,
                              static_cast<std::uint8_t>(d.GetOwnerAddress()),
                              static_cast<std::uint8_t>(d.GetLanAddress())});
        scratch.Clear();
    }
    return places;
}
} // namespace

const TFieldNames& SessionFieldNames() {
    static const TFieldNames names{"DATE BEGIN", "DATE END", "NAME",     "PHONE",
                                   "REGION",     "ADDRESS",  "TIMEZONE", "DevTable"};
    return names;
}

const TFieldTypes& SessionFieldTypes() {
    static const TFieldTypes types{idfDateTime, idfDateTime, idfString, idfString,
                                   idfString,   idfString,   idfDWord,  idfTable};
    return types;
}

TLANSessionList::TLANSessionList(TObjectsList* devices, std::string path, TFileEnv* env)
    : devices_(devices),
      table_(OpenTable(path, SessionFieldNames(), SessionFieldTypes(), &report_, env)) {}

TLANSessionList::~TLANSessionList() {
    try {
        Save();
    } catch (const ESDBError& e) {
        std::cerr << "session history: could not save on close: " << e.what() << '\n';
    }
    // Saved above or deliberately not; the table must not try again.
    table_->Modified = false;
}

void TLANSessionList::Save() {
    if (table_->Modified) table_->WriteToFile();
}

void TLANSessionList::AddSession(const std::string& start, const std::string& end,
                                 TLANDObject* site) {
    table_->AppendRecord();
    ItemIndex = Count() - 1;
    SetDateBegin(start);
    SetDateEnd(end);
    if (site) {
        SetSiteName(site->GetSiteName());
        SetRegion(site->GetRegion());
        SetPhone(site->GetPhone());
        SetAddress(site->GetAddress());
        SetTimeZone(site->GetTimeZone());
    }
    TValue* v = table_->GetValue(ItemIndex, fDevTable);
    TSDBase* saved = v ? v->Table() : nullptr;
    if (saved && devices_) {
        saved->AddFields(DeviceFieldNames(), TFieldTypes(DeviceFieldNames().size(), idfTable));
        for (int i = 0; i < devices_->Count(); ++i) {
            devices_->SetItemIndex(i);
            SaveDevice(*devices_->CurrentDevice(), *saved);
        }
    }
    // The nested table changed, which the outer one does not notice itself.
    table_->Modified = true;
    Save();
}

void TLANSessionList::LoadDevices() {
    if (!devices_) return;
    devices_->Clear();
    if (ItemIndex < 0 || ItemIndex >= Count()) return;
    TValue* v = table_->GetValue(ItemIndex, fDevTable);
    TSDBase* saved = v ? v->Table() : nullptr;
    if (!saved || saved->RecCount() == 0) return;
    try {
        Rebuild(*saved);
    } catch (...) {
        devices_->Clear();
        throw;
    }
}

void TLANSessionList::Rebuild(TSDBase& saved) {
    const std::vector<TSavedDevice> places = ReadPlaces(saved);
    auto onBus = [&](const TSavedDevice& d) {
        if (d.owner == 0) return true;
        for (const TSavedDevice& p : places)
            if (p.owner == 0 && p.address == d.owner) return false;
        return true; // its hub was not recorded: keep it where it can be seen
    };

    for (bool hubs : {true, false})
        for (const TSavedDevice& d : places)
            if (onBus(d) && d.hub == hubs) LoadDevice(d.record, *devices_->AddDevice(), saved);

    const int top = devices_->Count();
    for (const TSavedDevice& d : places) {
        if (onBus(d)) continue;
        for (int i = 0; i < top; ++i) {
            TLANObject* parent = devices_->GetDevice(i);
            if (static_cast<std::uint8_t>(parent->GetLanAddress()) != d.owner) continue;
            TLANObject& child = *parent->Children().AddDevice();
            LoadDevice(d.record, child, saved);
            child.Order = static_cast<std::uint8_t>(parent->Children().Count() - 1);
            devices_->AppendReference(&child);
            break;
        }
    }
    devices_->SetItemIndex(0);
}

void TLANSessionList::ClearSessions() {
    table_->ClearRecords();
    ItemIndex = 0;
}

void TLANSessionList::DeleteSession(int index) {
    table_->DeleteRecord(index);
    ItemIndex = 0;
}
