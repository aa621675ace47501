// The session history: one record for every session that came up, with its
// start and end, the site's directory data and a copy of every device the
// session found, kept in one table file.
#pragma once

#include "ObjectsList.h"
#include "SDB.h"
#include "Sites.h"

#include <memory>
#include <string>

inline constexpr const char* kHistoryFile = "Data/HistorySession.sdb";

class TLANSessionList {
public:
    enum Field { fDateBegin, fDateEnd, fName, fPhone, fRegion, fAddress, fTimeZone, fDevTable };

    // Opens `path` (relative to the working directory); a missing file
    // starts an empty history, written at the first save. A file of another
    // shape is set aside (see Report). `devices` is the device tree that
    // sessions are recorded from and rebuilt into (not owned). Throws
    // ESDBError when the file can be neither read nor set aside.
    explicit TLANSessionList(TObjectsList* devices, std::string path = kHistoryFile,
                             TFileEnv* env = nullptr);
    // Writes what changed since the last save; a failure goes to stderr, so
    // callers that care call Save() first.
    ~TLANSessionList();
    TLANSessionList(const TLANSessionList&) = delete;
    TLANSessionList& operator=(const TLANSessionList&) = delete;

    TSDBase& Table() { return *table_; }
    TObjectsList* Devices() const { return devices_; }
    // What opening did with a file it could not use.
    const TOpenReport& Report() const { return report_; }

    int Count() const { return table_->RecCount(); }
    // Any value is taken: getters outside the records answer "" and setters
    // change nothing.
    int ItemIndex = 0;

    // Records the session that has just ended: its start and end texts, the
    // site it was opened for (may be null: no site data) and every device of
    // the tree, hub children included; then writes the file (ESDBError).
    void AddSession(const std::string& start, const std::string& end, TLANDObject* site);

    std::string GetDateBegin() const { return Text(fDateBegin); }
    std::string GetSiteName() const { return Text(fName); }
    std::string GetPhone() const { return Text(fPhone); }
    std::string GetRegion() const { return Text(fRegion); }
    void SetDateBegin(const std::string& text) { SetText(fDateBegin, text); }
    void SetDateEnd(const std::string& text) { SetText(fDateEnd, text); }
    void SetSiteName(const std::string& text) { SetText(fName, text); }
    void SetPhone(const std::string& text) { SetText(fPhone, text); }
    void SetRegion(const std::string& text) { SetText(fRegion, text); }
    void SetAddress(const std::string& text) { SetText(fAddress, text); }
    void SetTimeZone(std::int64_t n) { SetText(fTimeZone, IntText(n)); }

    // Rebuilds the device tree recorded in the session at ItemIndex: the
    // devices that were on the site's bus at the top, hubs first, each in
    // the order recorded; a device behind a hub (its OWNER is the hub's
    // LANADDRESS) in that hub's Children and referred to from the tree after
    // the top-level devices, as during the session. The first device ends
    // current. An empty tree for a session without devices or an index
    // that is not a session. Throws ESDBError when the recorded bytes are
    // damaged; the tree is then empty.
    void LoadDevices();
    void ClearSessions();
    void DeleteSession(int index);

    // Writes the file when something changed (ESDBError).
    void Save();

private:
    std::string Text(Field f) const { return table_->GetText(ItemIndex, f); }
    void SetText(Field f, const std::string& text) { table_->SetText(ItemIndex, f, text); }
    void Rebuild(TSDBase& saved);

    TObjectsList* devices_;
    TOpenReport report_;
    std::unique_ptr<TSDBase> table_;
};

// The history's eight fields and their types.
const TFieldNames& SessionFieldNames();
const TFieldTypes& SessionFieldTypes();
