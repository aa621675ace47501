// Parameter history entries and their resolution through a hub's children.
#include "ObjectsList.h"

#include <gtest/gtest.h>

TEST(History, NewListHasNoCurrentEntryAndAnswersDefaults) {
    TObjectsList list;
    THISTORY& h = list.History();
    EXPECT_EQ(h.ItemIndex(), -1);
    EXPECT_EQ(h.Count(), 0);
    EXPECT_EQ(h.GetParamID(), -1);
    EXPECT_EQ(h.GetValue(), "0");
    EXPECT_EQ(h.GetDate(), "");
    EXPECT_EQ(h.GetDevAddress(), 0);
    EXPECT_EQ(h.GetState(), 0);
    EXPECT_EQ(h.GetDevState(), 0);
    EXPECT_EQ(h.GetRowTitle(), "");
    h.SetState(3);
    h.SetValue(5);
    EXPECT_EQ(h.Count(), 0);
    h.Clear();
    EXPECT_EQ(h.ItemIndex(), -1);
    EXPECT_TRUE(h.Base()->HasFields(THISTORY::FieldNames()));
}

// A hub whose child at address 5 has three parameters; parameter 2 has
// FORMAT hex 31, name "Power" and unit "W".
class HistoryOfAHub : public ::testing::Test {
protected:
    void SetUp() override {
        hub->SetLanAddress(0x10);
        TLANObject* child = hub->Children().AddDevice();
        child->SetLanAddress(5);
        child->Definition().SetDevID(30);
        for (int i = 0; i < 3; ++i)
            child->Parameters().AddItem();
        child->Parameters().SetFormat(0x31);
        child->Parameters().SetName("Power");
        child->Parameters().SetDim("W");
        site.History().Device = hub;
    }
    void AddEntry(std::uint8_t address, int param, std::uint16_t raw) {
        THISTORY& h = site.History();
        h.Append();
        h.SetDate("01.02.2026 03:04:05");
        h.SetDevAddress(address);
        h.SetParamID(param);
        h.SetValue(raw);
        h.SetState(1);
        h.SetDevState(0x81);
    }
    TObjectsList site;
    TLANObject* hub = site.AddDevice();
};

TEST_F(HistoryOfAHub, ValueIsFormattedWithTheChildsParameterFormat) {
    AddEntry(5, 2, 123);
    THISTORY& h = site.History();
    EXPECT_EQ(h.ItemIndex(), 0);
    EXPECT_EQ(h.GetValue(), "12.3");
    EXPECT_EQ(h.GetDate(), "01.02.2026 03:04:05");
    EXPECT_EQ(h.GetDevAddress(), 5);
    EXPECT_EQ(h.GetParamID(), 2);
    EXPECT_EQ(h.GetState(), 1);
    EXPECT_EQ(h.GetDevState(), 0x81);
    EXPECT_EQ(h.GetRowTitle(), "Amplifier");
    EXPECT_EQ(h.GetRowParamName(), "Power");
    EXPECT_EQ(h.GetRowParamDim(), "W");
}

TEST_F(HistoryOfAHub, UnresolvedEntriesKeepTheRawNumberAndAnswerEmptyTexts) {
    const struct {
        const char* what;
        std::uint8_t address;
        int param;
    } cases[] = {
        {"no child at that address", 6, 2},
        {"no such parameter", 5, 3},
        {"a negative parameter", 5, -1},
        {"the hub itself", 0x10, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AddEntry(c.address, c.param, 123);
        THISTORY& h = site.History();
        EXPECT_EQ(h.GetValue(), "123");
        EXPECT_EQ(h.GetRowTitle(), "");
        EXPECT_EQ(h.GetRowParamName(), "");
        EXPECT_EQ(h.GetRowParamDim(), "");
    }
    site.History().Device = nullptr;
    AddEntry(5, 2, 77);
    EXPECT_EQ(site.History().GetValue(), "77") << "no device set";
}

TEST_F(HistoryOfAHub, EntriesAreSelectedAndCleared) {
    AddEntry(5, 2, 10);
    AddEntry(5, 0, 20);
    THISTORY& h = site.History();
    EXPECT_EQ(h.Count(), 2);
    EXPECT_EQ(h.GetValue(), "20") << "parameter 0 keeps the default FORMAT 48";
    h.SetItemIndex(0);
    EXPECT_EQ(h.GetValue(), "1.0");
    h.SetItemIndex(2);
    EXPECT_EQ(h.ItemIndex(), -1);
    h.Clear();
    EXPECT_EQ(h.Count(), 0);
    EXPECT_EQ(h.ItemIndex(), -1);
}
