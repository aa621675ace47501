// Devices, device lists, ownership of hub children, saving and loading.
#include "ObjectsList.h"

#include <gtest/gtest.h>

TEST(DeviceTitle, TypeNameAndModeFromTheDefinition) {
    const struct {
        int devID;
        int mode;
        const char* title;
    } cases[] = {
        {10, 0, "Exciter"},   {10, 3, "Exciter 3"},        {99, 0, "?"},
        {256 + 90, 0, "HUB"}, {161, 1, "BootLoader485 1"}, {50, 0, "System Controler"},
        {0, 0, "?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        TObjectsList list;
        TLANObject& device = *list.AddDevice();
        device.Definition().SetDevID(c.devID);
        device.Definition().SetMode(c.mode);
        EXPECT_EQ(device.GetTitle(), c.title);
    }
}

TEST(DeviceTable, HasOneRecordOfFiveNestedItemTables) {
    TObjectsList list;
    TLANObject& device = *list.AddDevice();
    ASSERT_TRUE(device.Base().HasFields(DeviceFieldNames()));
    EXPECT_EQ(device.Base().RecCount(), 1);
    for (TSDBase* t : {device.DefTable(), device.AttributesTable(), device.ParametersTable(),
                       device.ControlsTable(), device.CommandsTable()}) {
        ASSERT_NE(t, nullptr);
        EXPECT_TRUE(t->HasFields(ItemFieldNames()));
    }
    EXPECT_EQ(device.DefTable()->RecCount(), 1);
    EXPECT_EQ(device.ParametersTable()->RecCount(), 0);
}

TEST(DeviceComplete, WhenEveryAnnouncedCountIsHeld) {
    TObjectsList list;
    TLANObject& device = *list.AddDevice();
    EXPECT_TRUE(device.IsComplete()) << "nothing announced, nothing held";
    device.Definition().SetAttrCount(2);
    device.Attributes().AddItem();
    EXPECT_FALSE(device.IsComplete());
    device.Attributes().AddItem();
    EXPECT_TRUE(device.IsComplete());
    device.Definition().SetChildDevCount(1);
    EXPECT_FALSE(device.IsComplete());
    device.Children().AddDevice();
    EXPECT_TRUE(device.IsComplete());
}

TEST(DeviceComplete, ACountOf256NeverCompletes) {
    TObjectsList list;
    TLANObject& device = *list.AddDevice();
    device.Definition().SetParamCount(256);
    for (int i = 0; i < 257; ++i) {
        EXPECT_FALSE(device.IsComplete()) << i;
        device.Parameters().AddItem();
    }
}

TEST(DeviceList, LookUpsAnswerNullOutsideTheList) {
    TObjectsList list;
    EXPECT_EQ(list.FindByAddress(0), nullptr);
    EXPECT_EQ(list.CurrentDevice(), nullptr);
    EXPECT_EQ(list.ItemIndex(), -1);
    TLANObject* a = list.AddDevice();
    TLANObject* b = list.AddDevice();
    TLANObject* c = list.AddDevice();
    a->SetLanAddress(0x12);
    b->SetLanAddress(0x34);
    c->SetLanAddress(0x34);
    EXPECT_EQ(list.ItemIndex(), 2);
    EXPECT_EQ(list.FindByAddress(0x34), b) << "the first of two";
    EXPECT_EQ(list.FindByAddress(0x35), nullptr);
    EXPECT_EQ(list.GetDevice(3), nullptr);
    EXPECT_EQ(list.GetDevice(-1), nullptr);
    list.SetItemIndex(7);
    EXPECT_EQ(list.ItemIndex(), -1);
    list.SetItemIndex(0);
    EXPECT_EQ(list.CurrentDevice(), a);
}

TEST(DeviceList, CurrentIndexFollowsItsDeviceAcrossDeletes) {
    TObjectsList list;
    TLANObject* a = list.AddDevice();
    TLANObject* b = list.AddDevice();
    list.AddDevice();
    list.SetItemIndex(1);
    list.Delete(0);
    EXPECT_EQ(list.CurrentDevice(), b);
    list.Delete(0);
    EXPECT_EQ(list.ItemIndex(), -1);
    list.Delete(5);
    EXPECT_EQ(list.Count(), 1);
    (void)a;
}

// A site list with a hub at 0x10 and two devices behind it at 0x11 and
// 0x12, held by the hub and referred to by the site list.
class HubSite : public ::testing::Test {
protected:
    void SetUp() override {
        hub = site.AddDevice();
        hub->SetLanAddress(0x10);
        for (std::uint8_t address : {0x11, 0x12}) {
            TLANObject* child = hub->Children().AddDevice();
            child->SetLanAddress(address);
            child->SetOwnerAddress(0x10);
            site.AppendReference(child);
        }
    }
    TObjectsList site;
    TLANObject* hub = nullptr;
};

TEST_F(HubSite, ChildrenBelongToTheHubAndTheSiteListOnlyRefersToThem) {
    EXPECT_TRUE(site.Owns(0));
    EXPECT_FALSE(site.Owns(1));
    TLANObject* child = site.GetDevice(1);
    site.Delete(1);
    EXPECT_EQ(site.Count(), 2);
    ASSERT_EQ(hub->Children().GetDevice(0), child);
    child->Definition().SetDevID(20);
    EXPECT_EQ(child->GetTitle(), "PLL") << "the child lives on in its hub";
    EXPECT_EQ(hub->Children().FindByAddress(0x11), child);
}

TEST_F(HubSite, FreeingTheHubTakesItsChildrenOutOfTheSiteList) {
    site.History().Device = site.GetDevice(2);
    site.Delete(0);
    EXPECT_EQ(site.Count(), 0);
    EXPECT_EQ(site.FindByAddress(0x12), nullptr);
    EXPECT_EQ(site.History().Device, nullptr);
}

TEST_F(HubSite, FreeingAChildInItsHubTakesItOutOfTheSiteList) {
    hub->Children().Delete(0);
    ASSERT_EQ(site.Count(), 2);
    EXPECT_EQ(site.GetDevice(1)->GetLanAddress(), 0x12);
    EXPECT_EQ(site.FindByAddress(0x11), nullptr);
}

TEST_F(HubSite, ClearingTheSiteListInAnyOrderFreesEveryDeviceOnce) {
    site.AddDevice()->SetLanAddress(0x20);
    TLANObject* other = site.AddDevice();
    TLANObject* behindOther = other->Children().AddDevice();
    site.AppendReference(behindOther);
    site.Clear();
    EXPECT_EQ(site.Count(), 0);
}

TEST(DeviceTypeNames, EveryCodeOfTheTableAndQuestionMarkOtherwise) {
    const std::pair<int, const char*> names[] = {
        {1, "Server"},
        {2, "Transmitter"},
        {10, "Exciter"},
        {11, "TV Exciter"},
        {12, "HOST"},
        {20, "PLL"},
        {30, "Amplifier"},
        {31, "TV Amplifier"},
        {32, "DC Amplifier"},
        {40, "Driver"},
        {41, "TV Driver"},
        {42, "Combined Bridge"},
        {43, "Combiner"},
        {50, "System Controler"},
        {60, "Modem Controler"},
        {70, "GSM Modem Controler"},
        {80, "RDS Encoder"},
        {90, "HUB"},
        {160, "BootLoader232"},
        {161, "BootLoader485"},
    };
    int named = 0;
    for (int code = -1; code <= 300; ++code) {
        const std::string name = DeviceTypeName(code);
        if (name != "?") ++named;
    }
    EXPECT_EQ(named, 20);
    for (const auto& [code, name] : names)
        EXPECT_EQ(DeviceTypeName(code), name);
}

namespace {
void Fill(TLANObject& d) {
    TMemoryStream def{0, 0x10, 10, 2, 0x81, 2, 2, 1, 1, 0, 8, 9, 4, 4, 0, 4, 'v', '1', '.', '2'};
    d.Definition().ReadDefinition(def);
    d.SetLanAddress(0x23);
    TObjectAttributes& a = d.Attributes();
    for (const char* name : {"Device Name", "Serial"}) {
        a.AddItem();
        a.SetName(name);
        a.SetValue(std::string("v-") + name);
    }
    TParameters& p = d.Parameters();
    for (int i = 0; i < 2; ++i) {
        p.AddItem();
        p.SetName("P" + std::to_string(i));
        p.SetFormat(0x31 + i);
        p.SetValue(100 * i + 7);
        p.SetCalc(i + 2);
    }
    d.Controls().AddItem();
    d.Controls().SetValue(42);
    d.Commands().AddItem();
    d.Commands().SetName("Reset");
    d.Children().AddDevice();
}

// Every row of every item of a field tab, as text.
std::string Dump(TObjFieldTab& tab) {
    std::string out;
    for (int i = 0; i < tab.ItemCount(); ++i) {
        tab.SetCurrent(i);
        TAttribute& rows = tab.GetAttributes();
        for (int r = 0; r < rows.RecCount(); ++r) {
            rows.SetRecNo(r);
            out += rows.GetName() + "=" + rows.GetValue() + "/" + FieldTypeName(rows.GetType()) +
                   "/" + std::to_string(rows.GetOptions()) + ";";
        }
        out += "|";
    }
    return out;
}
} // namespace

TEST(SaveAndLoadDevice, RoundTripThroughATableFileKeepsEveryRowAndNoChildren) {
    TObjectsList site;
    TLANObject& original = *site.AddDevice();
    Fill(original);

    auto saved = CreateTable({}, {});
    ASSERT_TRUE(SaveDevice(original, *saved));
    ASSERT_TRUE(SaveDevice(original, *saved));
    EXPECT_EQ(saved->RecCount(), 2);
    TMemoryStream file;
    saved->WriteToStream(file);
    file.SetPosition(0);
    TSDBase reread;
    ASSERT_TRUE(reread.ReadFromStream(file));

    TObjectsList offline;
    TLANObject& loaded = *offline.AddDevice();
    ASSERT_TRUE(LoadDevice(1, loaded, reread));
    EXPECT_EQ(Dump(loaded.Definition()), Dump(original.Definition()));
    EXPECT_EQ(Dump(loaded.Attributes()), Dump(original.Attributes()));
    EXPECT_EQ(Dump(loaded.Parameters()), Dump(original.Parameters()));
    EXPECT_EQ(Dump(loaded.Controls()), Dump(original.Controls()));
    EXPECT_EQ(Dump(loaded.Commands()), Dump(original.Commands()));
    EXPECT_EQ(loaded.ChildCount(), 0);
    EXPECT_EQ(loaded.GetTitle(), "Exciter 2");
    EXPECT_EQ(loaded.GetLanAddress(), 0x23);
    EXPECT_EQ(loaded.Parameters().GetDeviceName(), "v-Device Name");
    loaded.Parameters().SetCurrent(1);
    EXPECT_EQ(loaded.Parameters().GetCalc(), 3);
    EXPECT_EQ(loaded.Parameters().GetFormat(), 0x32);
    loaded.Parameters().AddItem();
    EXPECT_EQ(loaded.ParameterCount(), 3);
}

TEST(SaveAndLoadDevice, RefusesTablesOfAnotherShapeAndMissingRecords) {
    TObjectsList site;
    TLANObject& device = *site.AddDevice();
    Fill(device);
    auto other = CreateTable({"NAME"}, {idfString});
    EXPECT_FALSE(SaveDevice(device, *other));
    EXPECT_EQ(other->RecCount(), 0);

    auto saved = CreateTable({}, {});
    SaveDevice(device, *saved);
    TObjectsList offline;
    TLANObject& fresh = *offline.AddDevice();
    EXPECT_FALSE(LoadDevice(1, fresh, *saved));
    EXPECT_FALSE(LoadDevice(-1, fresh, *saved));
    EXPECT_FALSE(LoadDevice(0, fresh, *other));
    EXPECT_EQ(fresh.AttributeCount(), 0);
    EXPECT_EQ(fresh.ParameterCount(), 0) << "no invented parameter";
}
