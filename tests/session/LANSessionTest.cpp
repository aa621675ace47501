// The session history: recording sessions, rebuilding a recorded tree, the
// record index, and a long history that is opened without being unpacked.
#include "LANSession.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
struct TDev {
    int devID;
    std::uint8_t address;
    std::uint8_t owner;
    const char* parameter;
};

TLANObject& Fill(TLANObject& d, const TDev& want) {
    d.Definition().SetDevID(want.devID);
    d.SetLanAddress(want.address);
    d.SetOwnerAddress(want.owner);
    d.Parameters().AddItem();
    d.Parameters().SetName(want.parameter);
    return d;
}

// Builds a tree the way a session does: devices on the bus owned by the
// list, devices behind a hub owned by the hub's Children and referred to
// from the list.
void BuildTree(TObjectsList& devices, const std::vector<TDev>& devs) {
    for (const TDev& s : devs) {
        TLANObject* hub = s.owner ? devices.FindByAddress(s.owner) : nullptr;
        if (hub) {
            TLANObject& child = Fill(*hub->Children().AddDevice(), s);
            devices.AppendReference(&child);
            hub->Definition().SetChildDevCount(hub->Children().Count());
        } else {
            Fill(*devices.AddDevice(), s);
        }
    }
}

std::string ParamName(TLANObject* d) {
    d->Parameters().SetCurrent(0);
    return d->Parameters().GetName();
}

class History : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tvs-history-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "Data");
        path_ = (dir_ / "Data" / "HistorySession.sdb").string();
        sites_ = std::make_unique<TLANObjectsList>(nullptr, (dir_ / "Data" / "Sites.sdb").string());
        sites_->AddSite();
        site_ = sites_->CurrentSite();
        site_->SetSiteName("Hill Top");
        site_->SetPhone("0123");
        site_->SetRegion("North");
        site_->SetAddress("Mast Road 1");
        site_->SetTimeZone(2);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Bytes() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void Record(const std::vector<TDev>& devs, const char* start = "11.12.2026 10:00:00") {
        TObjectsList live;
        BuildTree(live, devs);
        TLANSessionList history(&live, path_);
        history.AddSession(start, "11.12.2026 11:00:00", site_);
    }

    fs::path dir_;
    std::string path_;
    std::unique_ptr<TLANObjectsList> sites_;
    TLANDObject* site_ = nullptr;
};

const std::vector<TDev> kHubSite = {
    {10, 2, 0, "Exciter power"},  {90, 5, 0, "Hub supply"},  {20, 0x15, 5, "Amp 1 power"},
    {20, 0x25, 5, "Amp 2 power"}, {30, 0x35, 5, "PLL lock"},
};
} // namespace

TEST_F(History, SessionRecordsSiteDataAndEveryDeviceWithoutChildren) {
    Record(kHubSite);
    TLANSessionList history(nullptr, path_);
    ASSERT_EQ(history.Count(), 1);
    EXPECT_FALSE(history.Report().setAside);
    EXPECT_EQ(history.GetDateBegin(), "11.12.2026 10:00:00");
    EXPECT_EQ(history.Table().GetText(0, TLANSessionList::fDateEnd), "11.12.2026 11:00:00");
    EXPECT_EQ(history.GetSiteName(), "Hill Top");
    EXPECT_EQ(history.GetPhone(), "0123");
    EXPECT_EQ(history.GetRegion(), "North");
    EXPECT_EQ(history.Table().GetText(0, TLANSessionList::fAddress), "Mast Road 1");
    EXPECT_EQ(history.Table().GetText(0, TLANSessionList::fTimeZone), "2");

    TSDBase* saved = history.Table().GetValue(0, TLANSessionList::fDevTable)->Table();
    ASSERT_NE(saved, nullptr);
    EXPECT_TRUE(saved->HasFields(DeviceFieldNames()));
    // The hub with its three children: five devices, five records, in the
    // tree's order; a record holds no children.
    ASSERT_EQ(saved->RecCount(), 5);
    TObjectsList check;
    for (int i = 0; i < 5; ++i) {
        TLANObject& d = *check.AddDevice();
        ASSERT_TRUE(LoadDevice(i, d, *saved));
        EXPECT_EQ(d.GetLanAddress(), kHubSite[static_cast<std::size_t>(i)].address);
        EXPECT_EQ(d.Children().Count(), 0);
    }
}

TEST_F(History, LoadDevicesRebuildsTheTreeAsItWas) {
    Record(kHubSite);
    TObjectsList devices;
    TLANSessionList history(&devices, path_);
    history.LoadDevices();

    // Hub first, then the bus device, then the references to the children.
    ASSERT_EQ(devices.Count(), 5);
    EXPECT_EQ(devices.GetDevice(0)->GetLanAddress(), 5);
    EXPECT_EQ(devices.GetDevice(1)->GetLanAddress(), 2);
    EXPECT_EQ(ParamName(devices.GetDevice(1)), "Exciter power");
    EXPECT_EQ(devices.ItemIndex(), 0);
    TObjectsList& children = devices.GetDevice(0)->Children();
    ASSERT_EQ(children.Count(), 3);
    const std::uint8_t channels[] = {0x15, 0x25, 0x35};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(children.GetDevice(i)->GetLanAddress(), channels[i]);
        EXPECT_EQ(children.GetDevice(i)->Order, i);
        EXPECT_EQ(devices.GetDevice(2 + i), children.GetDevice(i));
        EXPECT_FALSE(devices.Owns(2 + i));
    }
    EXPECT_EQ(ParamName(children.GetDevice(2)), "PLL lock");
    EXPECT_EQ(devices.GetDevice(1)->Children().Count(), 0);
}

TEST_F(History, LoadDevicesKeepsASiteWithoutHubAndDevicesWhoseHubIsMissing) {
    Record({{10, 2, 0, "Exciter power"}, {20, 3, 0, "Amp power"}, {30, 0x17, 7, "Orphan"}});
    TObjectsList devices;
    TLANSessionList history(&devices, path_);
    history.LoadDevices();
    ASSERT_EQ(devices.Count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(devices.Owns(i));
    EXPECT_EQ(ParamName(devices.GetDevice(2)), "Orphan");
}

TEST_F(History, LoadDevicesLeavesAnEmptyTreeWithoutDevicesOrRecord) {
    Record({});
    TObjectsList devices;
    BuildTree(devices, {{10, 2, 0, "stale"}});
    TLANSessionList history(&devices, path_);
    for (int index : {0, 1, -1}) {
        SCOPED_TRACE(index);
        BuildTree(devices, {{10, 2, 0, "stale"}});
        history.ItemIndex = index;
        history.LoadDevices();
        EXPECT_EQ(devices.Count(), 0);
    }
}

TEST_F(History, DeleteClearAndTheIndexOutsideTheRecords) {
    Record({}, "first");
    Record({}, "second");
    {
        TLANSessionList history(nullptr, path_);
        ASSERT_EQ(history.Count(), 2);
        history.ItemIndex = 5;
        EXPECT_EQ(history.GetDateBegin(), "");
        history.SetSiteName("lost");
        history.ItemIndex = 1;
        history.DeleteSession(0);
        EXPECT_EQ(history.ItemIndex, 0);
        EXPECT_EQ(history.GetDateBegin(), "second");
        history.ItemIndex = 0;
        history.DeleteSession(0);
        EXPECT_EQ(history.Count(), 0);
        EXPECT_EQ(history.ItemIndex, 0);
        EXPECT_EQ(history.GetSiteName(), "");
    }
    // Reaches the file when the list goes.
    EXPECT_EQ(TLANSessionList(nullptr, path_).Count(), 0);

    Record({}, "a");
    Record({}, "b");
    {
        TLANSessionList history(nullptr, path_);
        history.ItemIndex = 1;
        history.ClearSessions();
        EXPECT_EQ(history.ItemIndex, 0);
    }
    EXPECT_EQ(TLANSessionList(nullptr, path_).Count(), 0);
}

// Recorded devices stay the bytes they were stored as until a session is
// rebuilt: adding a session writes the earlier ones back untouched (a table
// that had been unpacked would carry a new save stamp).
TEST_F(History, EarlierSessionsAreNotUnpackedWhenTheHistoryGrows) {
    Record(kHubSite, "first");
    const std::string before = Bytes();
    const std::size_t nested = before.find("\x05SSDB.", 1);
    ASSERT_NE(nested, std::string::npos);
    const std::string firstDevices = before.substr(nested);

    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Record(kHubSite, "second");
    EXPECT_NE(Bytes().find(firstDevices), std::string::npos);

    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    {
        TObjectsList devices;
        TLANSessionList history(&devices, path_);
        history.LoadDevices(); // record 0 is unpacked now and written anew
        history.AddSession("third", "end", site_);
    }
    EXPECT_EQ(Bytes().find(firstDevices), std::string::npos);
}

TEST_F(History, FileOfAnotherShapeIsSetAsideAndReported) {
    {
        auto other = CreateTable({"DATE BEGIN", "NAME"}, {idfDateTime, idfString});
        other->AppendRecord();
        other->SaveCopyTo(path_);
    }
    const std::string before = Bytes();
    TLANSessionList history(nullptr, path_);
    EXPECT_EQ(history.Count(), 0);
    ASSERT_TRUE(history.Report().setAside);
    std::ifstream aside(history.Report().setAsidePath, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), {}), before);
}
