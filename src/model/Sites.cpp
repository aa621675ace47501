#include "Sites.h"

#include <utility>

namespace {
enum SiteField { sfName, sfPhone, sfRegion, sfAddress, sfTimeZone };

// Moves an unusable file out of the way under the table store's naming, so
// that the empty directory written next cannot replace it.
std::string SetAside(TFileEnv& env, const std::string& path) {
    for (int n = 1; n <= 1000; ++n) {
        std::string aside = path + (n == 1 ? std::string(".bad") : ".bad" + std::to_string(n));
        if (env.RenameNoReplace(path, aside)) return aside;
    }
    throw ESDBError(ESDBError::Kind::Io,
                    "cannot move the unusable file aside: too many earlier ones", -1, path);
}
} // namespace

const TFieldNames& SiteFieldNames() {
    static const TFieldNames names{"NAME", "PHONE", "REGION", "ADDRESS", "TIMEZONE"};
    return names;
}

const TFieldTypes& SiteFieldTypes() {
    static const TFieldTypes types{idfString, idfString, idfString, idfString, idfDWord};
    return types;
}

TLANDObject::TLANDObject(TLANObjectsList* directory, std::unique_ptr<TSDBase> table)
    : detail::TSiteTable{std::move(table)},
      TObjFieldTab(directory, nullptr, detail::TSiteTable::table.get()) {}

void TLANDObject::AddItem() {
    Append();
    AddItemAttribute(*this, "NAME", idfString, "OBJECT", 0, false);
    AddItemAttribute(*this, "PHONE", idfString, "0", 0, false);
    AddItemAttribute(*this, "REGION", idfString, {}, 0, false);
    AddItemAttribute(*this, "ADDRESS", idfString, {}, 0, false);
    AddItemAttribute(*this, "TIMEZONE", idfWord, {}, 0, false);
}

std::string TLANDObject::ItemText(const std::string& name) {
    SetCurrent(0);
    return ItemValue(name);
}

void TLANDObject::SetItemText(const std::string& name, const std::string& text) {
    SetCurrent(0);
    SetItemValue(name, text);
}

TLANObjectsList::TLANObjectsList(void* main, std::string path, TFileEnv* env)
    : main_(main), path_(std::move(path)), env_(env ? env : TFileEnv::Posix()) {
    LoadSites();
    if (Count() > 0) itemIndex_ = 0;
}

TLANObjectsList::~TLANObjectsList() {
    Clear();
}

void TLANObjectsList::AddSite() {
    auto site =
        std::make_unique<TLANDObject>(this, CreateTable(ItemFieldNames(), ItemFieldTypes()));
    site->AddItem();
    sites_.push_back(std::move(site));
    itemIndex_ = Count() - 1;
}

void TLANObjectsList::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    sites_.erase(sites_.begin() + index);
    if (itemIndex_ >= Count()) itemIndex_ = -1;
}

void TLANObjectsList::Clear() {
    while (Count() > 0)
        Delete(0);
    itemIndex_ = -1;
}

TLANDObject* TLANObjectsList::GetSite(int index) const {
    return index >= 0 && index < Count() ? sites_[static_cast<std::size_t>(index)].get() : nullptr;
}

void TLANObjectsList::SetItemIndex(int index) {
    itemIndex_ = index >= 0 && index < Count() ? index : -1;
}

void TLANObjectsList::LoadSites() {
    Clear();
    report_ = {};
    TOpenReport opened;
    auto table = OpenTable(path_, SiteFieldNames(), SiteFieldTypes(), &opened, env_);
    if (opened.setAside) report_ = {true, opened.setAsidePath, opened.reason};

    for (int i = 0; i < table->RecCount(); ++i) {
        const auto zone = TextToInt(table->GetText(i, sfTimeZone));
        if (!zone) {
            // Loading the others would let the next save drop this site's
            // time zone without anyone having seen it.
            Clear();
            table.reset();
            report_ = {true, SetAside(*env_, path_),
                       "the time zone of site " + std::to_string(i + 1) + " is not a number"};
            table = OpenTable(path_, SiteFieldNames(), SiteFieldTypes(), nullptr, env_);
            break;
        }
        AddSite();
        TLANDObject& site = *CurrentSite();
        site.SetSiteName(table->GetText(i, sfName));
        site.SetPhone(table->GetText(i, sfPhone));
        site.SetRegion(table->GetText(i, sfRegion));
        site.SetAddress(table->GetText(i, sfAddress));
        site.SetTimeZone(*zone);
    }
    // The first run without a directory file leaves an empty one behind. The
    // table is unbound first so that it is written once, here, where a
    // failure reaches the caller.
    table->FileName.clear();
    if (env_->FileSize(path_) <= 0) table->SaveCopyTo(path_);
}

void TLANObjectsList::SaveSites() {
    auto table = CreateTable(SiteFieldNames(), SiteFieldTypes());
    table->SetEnv(env_);
    for (int i = 0; i < Count(); ++i) {
        SetItemIndex(i);
        TLANDObject& site = *CurrentSite();
        const int record = table->RecCount();
        table->AppendRecord();
        table->SetText(record, sfName, site.GetSiteName());
        table->SetText(record, sfPhone, site.GetPhone());
        table->SetText(record, sfRegion, site.GetRegion());
        table->SetText(record, sfAddress, site.GetAddress());
        table->SetText(record, sfTimeZone, IntText(site.GetTimeZone()));
    }
    table->SaveCopyTo(path_);
}
