// Device attributes: the kind codes and the attribute row and text forms.
#include "ObjectsList.h"

#include <gtest/gtest.h>

TEST(AttributeKind, CodesMapToFieldTypesAndBack) {
    const struct {
        int kind;
        TIDFieldType stored;
        int back;
    } cases[] = {
        {0, idfByte, 0},     {1, idfDWord, 2},   {2, idfDWord, 2}, {3, idfString, 3},
        {4, idfDateTime, 4}, {5, idfLongint, 5}, {6, idfEvent, 6}, {7, idfByte, 0},
        {255, idfByte, 0},   {-1, idfByte, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(FieldTypeOfKind(c.kind), c.stored);
        EXPECT_EQ(KindOfFieldType(FieldTypeOfKind(c.kind)), c.back);
    }
    EXPECT_EQ(KindOfFieldType(idfWord), 1);
    EXPECT_EQ(KindOfFieldType(static_cast<TIDFieldType>(idfString | 0x80)), 3)
        << "the top bit is cleared first";
}

class DeviceAttributes : public ::testing::Test {
protected:
    void Add(const std::string& name, const std::string& value) {
        attrs.AddItem();
        attrs.SetName(name);
        attrs.SetValue(value);
    }
    TObjectsList list;
    TObjectAttributes& attrs = list.AddDevice()->Attributes();
};

TEST_F(DeviceAttributes, NewItemHasOneRowWhoseIDIsTheItemIndex) {
    Add("a", "1");
    attrs.AddItem();
    TAttribute& row = attrs.GetAttributes();
    EXPECT_EQ(row.RecCount(), 1);
    EXPECT_EQ(row.GetID(), 1);
    EXPECT_EQ(row.GetName(), "F 1");
    EXPECT_EQ(attrs.GetKind(), 3);
}

TEST_F(DeviceAttributes, RowByIndexIsReadOnlyIntoAnExistingItemButAddedByAddRow) {
    Add("a", "1");
    Add("b", "2");
    TMemoryStream row{2, 3, 'P', 'w', 'r', 2, '1', '0', 0x40};
    EXPECT_FALSE(attrs.ReadRow(row));
    EXPECT_EQ(attrs.ItemCount(), 2);
    EXPECT_TRUE(attrs.AddRow(row));
    ASSERT_EQ(attrs.ItemCount(), 3);
    attrs.SetCurrent(2);
    EXPECT_EQ(attrs.GetName(), "Pwr");
    EXPECT_EQ(attrs.GetValue(), "10");
    EXPECT_EQ(attrs.GetOptions(), 0x40);
    EXPECT_EQ(attrs.GetAttributes().GetID(), 2);

    TMemoryStream update{0x12, 0, 1, 'X', 0, 1};
    EXPECT_TRUE(attrs.ReadChildRow(update));
    attrs.SetCurrent(0);
    EXPECT_EQ(attrs.GetName(), "X");
    EXPECT_EQ(attrs.GetValue(), "");
    EXPECT_EQ(attrs.GetOptions(), 1);
}

TEST_F(DeviceAttributes, AddRowWithAnotherIndexLeavesTheNewItemAtItsDefaults) {
    Add("a", "1");
    TMemoryStream row{0, 1, 'Z', 1, '9', 0};
    EXPECT_TRUE(attrs.AddRow(row));
    ASSERT_EQ(attrs.ItemCount(), 2);
    attrs.SetCurrent(1);
    EXPECT_EQ(attrs.GetName(), "F 1");
    attrs.SetCurrent(0);
    EXPECT_EQ(attrs.GetName(), "Z");
}

TEST_F(DeviceAttributes, ReadRowOfAnyKindStoresItAsText) {
    Add("a", "1");
    attrs.SetKind(2);
    TMemoryStream row{0, 1, 'a', 1, '5', 0};
    attrs.ReadRow(row);
    EXPECT_EQ(attrs.GetKind(), 3);
    EXPECT_EQ(attrs.GetValue(), "5");
}

TEST_F(DeviceAttributes, KindTwoRowIsWrittenWithoutValueAndIgnoresTheTextForm) {
    Add("Gain", "12");
    Add("Serial", "A7");
    attrs.SetCurrent(0);
    attrs.GetAttributes().SetType(idfDWord);
    attrs.SetOptions(5);
    TMemoryStream out;
    attrs.WriteRow(out);
    EXPECT_EQ(StreamToHex(out), "00044761696E05");
    TMemoryStream text{0, 2, '9', '9'};
    EXPECT_TRUE(attrs.ReadText(text));
    EXPECT_EQ(attrs.GetValue(), "12");

    attrs.SetCurrent(1);
    out.Clear();
    attrs.WriteRow(out);
    EXPECT_EQ(StreamToHex(out), "010653657269616C02413700");
    TMemoryStream childText{0x31, 1, 2, 'B', '8'};
    EXPECT_TRUE(attrs.ReadChildText(childText));
    EXPECT_EQ(attrs.GetValue(), "B8");
}

TEST_F(DeviceAttributes, BodiesWithoutAValidIndexChangeNothing) {
    Add("a", "1");
    const struct {
        const char* what;
        Bytes body;
        bool child;
    } cases[] = {
        {"empty row", {}, false},
        {"child row with only the address", {0x11}, true},
        {"index beyond the items", {1, 1, 'x', 0, 0}, false},
        {"index 255", {255, 1, 'x', 0, 0}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TMemoryStream s(c.body);
        EXPECT_FALSE(c.child ? attrs.ReadChildRow(s) : attrs.ReadRow(s));
        EXPECT_FALSE(c.child ? attrs.ReadChildText(s) : attrs.ReadText(s));
        attrs.SetCurrent(0);
        EXPECT_EQ(attrs.GetName(), "a");
        EXPECT_EQ(attrs.GetValue(), "1");
    }
}

TEST_F(DeviceAttributes, FindValueWalksTheItemsAndLeavesTheMatchCurrent) {
    Add("Serial", "A7");
    Add("Device Name", "TX North");
    Add("Place", "Hill");
    EXPECT_EQ(attrs.FindValue("Device Name"), "TX North");
    EXPECT_EQ(attrs.GetCurrent(), 1);
    EXPECT_EQ(attrs.FindValue("device name"), "0");
    EXPECT_EQ(attrs.GetCurrent(), 2);
}

TEST_F(DeviceAttributes, DeleteAndMovesRenumberTheRowIDs) {
    Add("a", "");
    Add("b", "");
    Add("c", "");
    attrs.Delete(0);
    for (int i = 0; i < 2; ++i) {
        attrs.SetCurrent(i);
        EXPECT_EQ(attrs.GetAttributes().GetID(), i);
        EXPECT_EQ(attrs.GetAttributes().GetValue(), "") << "the value is not the index";
    }
    attrs.SetCurrent(1);
    attrs.MoveUp();
    EXPECT_EQ(attrs.GetCurrent(), 0);
    EXPECT_EQ(attrs.GetName(), "c");
    EXPECT_EQ(attrs.GetAttributes().GetID(), 0);
    attrs.SetCurrent(1);
    EXPECT_EQ(attrs.GetName(), "b");
    EXPECT_EQ(attrs.GetAttributes().GetID(), 1);
}
