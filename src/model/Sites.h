// The sites directory: the transmitter sites the operator can connect to,
// each with its name, telephone number, region, address and time zone, kept
// in one table file.
#pragma once

#include "Attribute.h"

#include <memory>
#include <string>
#include <vector>

class TLANObjectsList;

inline constexpr const char* kSitesFile = "Data/ObjctsList.sdb";

namespace detail {
// Holds the site's table so that it exists before the field tab over it and
// goes after it.
struct TSiteTable {
    std::unique_ptr<TSDBase> table;
};
} // namespace detail

// One site: a field tab over its own table with exactly one item.
class TLANDObject : private detail::TSiteTable, public TObjFieldTab {
public:
    TLANDObject(TLANObjectsList* directory, std::unique_ptr<TSDBase> table);

    // The item with its rows "NAME" "OBJECT", "PHONE" "0", "REGION" and
    // "ADDRESS" empty, "TIMEZONE" "0".
    void AddItem();

    std::string GetSiteName() { return ItemText("NAME"); }
    void SetSiteName(const std::string& text) { SetItemText("NAME", text); }
    std::string GetPhone() { return ItemText("PHONE"); }
    void SetPhone(const std::string& text) { SetItemText("PHONE", text); }
    std::string GetRegion() { return ItemText("REGION"); }
    void SetRegion(const std::string& text) { SetItemText("REGION", text); }
    std::string GetAddress() { return ItemText("ADDRESS"); }
    void SetAddress(const std::string& text) { SetItemText("ADDRESS", text); }
    std::int32_t GetTimeZone() { return IntOrZero(ItemText("TIMEZONE")); }
    void SetTimeZone(std::int64_t n) { SetItemText("TIMEZONE", IntText(n)); }

private:
    // Every site has its one item; the accessors work on it.
    std::string ItemText(const std::string& name);
    void SetItemText(const std::string& name, const std::string& text);
};

// What LoadSites found. A file that exists and cannot be used has been moved
// to `setAsidePath` and the directory started empty.
struct TSitesReport {
    bool setAside = false;
    std::string setAsidePath;
    std::string reason;
};

// The ordered directory of sites; it owns them.
class TLANObjectsList {
public:
    // Loads `path` (relative to the working directory); the first site is
    // current when there is one. Throws ESDBError when the file can be
    // neither read nor set aside, or the empty file cannot be written.
    explicit TLANObjectsList(void* main, std::string path = kSitesFile, TFileEnv* env = nullptr);
    ~TLANObjectsList();
    TLANObjectsList(const TLANObjectsList&) = delete;
    TLANObjectsList& operator=(const TLANObjectsList&) = delete;

    void* Main() const { return main_; }
    const std::string& Path() const { return path_; }

    int Count() const { return static_cast<int>(sites_.size()); }
    // A new site with the initial values, appended and made current.
    void AddSite();
    // Frees the site; nothing for an index out of range. The current index
    // stays where it was when still valid, else -1.
    void Delete(int index);
    void Clear();
    TLANDObject* GetSite(int index) const;
    int ItemIndex() const { return itemIndex_; }
    // The index when valid, else -1.
    void SetItemIndex(int index);
    TLANDObject* CurrentSite() const { return GetSite(itemIndex_); }

    // Replaces the directory by the file's sites. A file that exists but is
    // not a sites table, or holds a time zone that is not a number, is moved
    // aside (see Report) and the directory starts empty; a missing file gets
    // an empty one written.
    void LoadSites();
    // Writes every site, in order, as a fresh file; the last site ends current.
    void SaveSites();
    // What the last LoadSites did with the file.
    const TSitesReport& Report() const { return report_; }

private:
    void* main_;
    std::string path_;
    TFileEnv* env_;
    std::vector<std::unique_ptr<TLANDObject>> sites_;
    int itemIndex_ = -1;
    TSitesReport report_;
};

// The file's five fields and their types.
const TFieldNames& SiteFieldNames();
const TFieldTypes& SiteFieldTypes();
