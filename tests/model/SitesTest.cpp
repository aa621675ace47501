// The sites directory and its file.
#include "Sites.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace fs = std::filesystem;

namespace {
class SitesDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tvs-sites-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "Data");
        path_ = (dir_ / "Data" / "ObjctsList.sdb").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Bytes(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void WriteTable(TSDBase& table) const { table.SaveCopyTo(path_); }

    fs::path dir_;
    std::string path_;
};
} // namespace

TEST_F(SitesDir, NewSiteHasTheInitialValuesAsPresetWritableRows) {
    TLANObjectsList sites(nullptr, path_);
    sites.AddSite();
    TLANDObject& site = *sites.CurrentSite();
    EXPECT_EQ(site.GetSiteName(), "OBJECT");
    EXPECT_EQ(site.GetPhone(), "0");
    EXPECT_EQ(site.GetRegion(), "");
    EXPECT_EQ(site.GetAddress(), "");
    EXPECT_EQ(site.GetTimeZone(), 0);

    site.SetCurrent(0);
    TAttribute& rows = site.GetAttributes();
    const char* names[] = {"NAME", "PHONE", "REGION", "ADDRESS", "TIMEZONE"};
    ASSERT_EQ(rows.RecCount(), 5);
    for (int i = 0; i < 5; ++i) {
        rows.SetRecNo(i);
        EXPECT_EQ(rows.GetName(), names[i]);
        EXPECT_TRUE(rows.GetPreset());
        EXPECT_FALSE(rows.GetReadOnly());
    }
    rows.SetRecNo(4);
    EXPECT_EQ(rows.GetType(), idfWord);
}

TEST_F(SitesDir, SavedSitesLoadBackInOrderWithTheFirstCurrent) {
    {
        TLANObjectsList sites(nullptr, path_);
        sites.AddSite();
        sites.CurrentSite()->SetSiteName("Hill Top");
        sites.CurrentSite()->SetPhone("+44 1632 960123");
        sites.CurrentSite()->SetRegion("North");
        sites.CurrentSite()->SetAddress("Mast Road 1");
        sites.CurrentSite()->SetTimeZone(-3);
        sites.AddSite();
        sites.CurrentSite()->SetSiteName("Valley");
        sites.SetItemIndex(0);
        sites.SaveSites();
        EXPECT_EQ(sites.ItemIndex(), 1);
    }
    auto table = OpenTable(path_, SiteFieldNames(), SiteFieldTypes());
    ASSERT_EQ(table->RecCount(), 2);
    EXPECT_EQ(table->GetText(0, 4), "-3");
    EXPECT_EQ(table->SaveCount, 0);
    EXPECT_EQ(table->BackupName, "");

    TLANObjectsList loaded(nullptr, path_);
    EXPECT_FALSE(loaded.Report().setAside);
    ASSERT_EQ(loaded.Count(), 2);
    EXPECT_EQ(loaded.ItemIndex(), 0);
    TLANDObject& first = *loaded.GetSite(0);
    EXPECT_EQ(first.GetSiteName(), "Hill Top");
    EXPECT_EQ(first.GetPhone(), "+44 1632 960123");
    EXPECT_EQ(first.GetRegion(), "North");
    EXPECT_EQ(first.GetAddress(), "Mast Road 1");
    EXPECT_EQ(first.GetTimeZone(), -3);
    EXPECT_EQ(loaded.GetSite(1)->GetSiteName(), "Valley");
    EXPECT_EQ(loaded.GetSite(2), nullptr);
    EXPECT_FALSE(fs::exists(path_ + ".~sdb"));
}

TEST_F(SitesDir, MissingFileGivesAnEmptyDirectoryAndAnEmptyFile) {
    TLANObjectsList sites(nullptr, path_);
    EXPECT_EQ(sites.Count(), 0);
    EXPECT_EQ(sites.ItemIndex(), -1);
    EXPECT_FALSE(sites.Report().setAside);
    auto table = OpenTable(path_, SiteFieldNames(), SiteFieldTypes());
    ASSERT_TRUE(fs::exists(path_));
    EXPECT_EQ(table->RecCount(), 0);

    sites.SaveSites(); // an empty directory still writes its five fields
    TSDBase reread;
    ASSERT_TRUE(reread.LoadFromFile(path_));
    EXPECT_TRUE(reread.HasFields(SiteFieldNames()));
    EXPECT_EQ(reread.RecCount(), 0);
}

// A file the directory cannot use starts it empty and is kept, byte for
// byte, beside the new empty one; the caller hears why.
TEST_F(SitesDir, UnusableFileIsSetAsideAndReported) {
    const struct {
        const char* name;
        TFieldNames fields;
        TFieldTypes types;
        const char* zone;
    } cases[] = {
        {"extra sixth field",
         {"NAME", "PHONE", "REGION", "ADDRESS", "TIMEZONE", "NOTE"},
         {idfString, idfString, idfString, idfString, idfDWord, idfString},
         "1"},
        {"time zone not a number", SiteFieldNames(), SiteFieldTypes(), "GMT+1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir_ / "Data");
        fs::create_directories(dir_ / "Data");
        auto table = CreateTable(c.fields, c.types);
        table->AppendRecord();
        table->SetText(0, 0, "Kept");
        table->SetText(0, 4, c.zone);
        WriteTable(*table);
        const std::string before = Bytes(path_);

        TLANObjectsList sites(nullptr, path_);
        EXPECT_EQ(sites.Count(), 0);
        EXPECT_EQ(sites.ItemIndex(), -1);
        ASSERT_TRUE(sites.Report().setAside);
        EXPECT_FALSE(sites.Report().reason.empty());
        EXPECT_EQ(Bytes(sites.Report().setAsidePath), before);
        TSDBase fresh;
        ASSERT_TRUE(fresh.LoadFromFile(path_));
        EXPECT_TRUE(fresh.HasFields(SiteFieldNames()));
        EXPECT_EQ(fresh.RecCount(), 0);
    }
}

TEST_F(SitesDir, NotATableFileIsSetAsideToo) {
    { std::ofstream(path_, std::ios::binary) << "not a table"; }
    TLANObjectsList sites(nullptr, path_);
    EXPECT_EQ(sites.Count(), 0);
    ASSERT_TRUE(sites.Report().setAside);
    EXPECT_EQ(Bytes(sites.Report().setAsidePath), "not a table");
}

TEST_F(SitesDir, MissingDataFolderIsAnErrorForTheCaller) {
    fs::remove_all(dir_ / "Data");
    EXPECT_THROW(TLANObjectsList(nullptr, path_), ESDBError);
}

TEST(SitesList, IndexRules) {
    const std::string path =
        (fs::temp_directory_path() / "tvs-sites-index" / "ObjctsList.sdb").string();
    fs::create_directories(fs::path(path).parent_path());
    fs::remove(path);
    TLANObjectsList sites(nullptr, path);
    sites.AddSite();
    sites.AddSite();
    sites.AddSite();
    EXPECT_EQ(sites.ItemIndex(), 2);
    sites.SetItemIndex(3);
    EXPECT_EQ(sites.ItemIndex(), -1);
    EXPECT_EQ(sites.CurrentSite(), nullptr);
    sites.SetItemIndex(2);
    sites.Delete(2);
    EXPECT_EQ(sites.ItemIndex(), -1);
    sites.Delete(7);
    EXPECT_EQ(sites.Count(), 2);
    sites.Clear();
    EXPECT_EQ(sites.Count(), 0);
    fs::remove_all(fs::path(path).parent_path());
}
