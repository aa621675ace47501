// The definition item and its stream form.
#include "ObjectsList.h"

#include <gtest/gtest.h>

namespace {
const char* const kRowNames[] = {
    "LINE",
    "OWNER",
    "DEVID",
    "MODE",
    "STATE",
    "AttrCount",
    "ParamCount",
    "ControlsCount",
    "CommandCount",
    "ChildDevCount",
    "maxAttrCount",
    "maxParamCount",
    "maxControlsCount",
    "maxCommandCount",
    "maxChildDevCount",
    "LANADDRESS",
    "Program Version",
};
} // namespace

TEST(Definition, NewDeviceHasTheSeventeenRowsInOrder) {
    TObjectsList list;
    TObjectDef& def = list.AddDevice()->Definition();
    ASSERT_EQ(def.ItemCount(), 1);
    TAttribute& rows = def.GetAttributes();
    ASSERT_EQ(rows.RecCount(), 17);
    const bool editable[17] = {false, true, true, true, true};
    for (int i = 0; i < 17; ++i) {
        SCOPED_TRACE(kRowNames[i]);
        rows.SetRecNo(i);
        EXPECT_EQ(rows.GetName(), kRowNames[i]);
        EXPECT_EQ(rows.GetType(), i == 16 ? idfString : idfDWord);
        EXPECT_EQ(rows.GetValue(), i == 16 ? "?" : "0");
        EXPECT_EQ(rows.GetReadOnly(), !editable[i]);
        EXPECT_TRUE(rows.GetPreset());
    }
}

TEST(Definition, FormStoresEachByteAsDecimalAndLeavesTheAddressAlone) {
    TObjectsList list;
    TLANObject& device = *list.AddDevice();
    device.SetLanAddress(0x23);
    TMemoryStream body{1, 0, 10, 2, 0x81, 3, 4, 5, 6, 7, 8, 9, 10, 11, 255};
    ASSERT_TRUE(device.Definition().ReadDefinition(body));
    TAttribute& rows = device.Definition().GetAttributes();
    const char* expected[] = {"1", "0", "10", "2", "129", "3",  "4",  "5",
                              "6", "7", "8",  "9", "10",  "11", "255"};
    for (int i = 0; i < 15; ++i) {
        rows.SetRecNo(i);
        EXPECT_EQ(rows.GetValue(), expected[i]) << kRowNames[i];
    }
    EXPECT_EQ(device.GetProgramVersion(), "") << "15 bytes carry no text";
    EXPECT_EQ(device.GetLanAddress(), 0x23);
    EXPECT_EQ(device.GetTitle(), "Exciter 2");
}

TEST(Definition, ChildFormSkipsTheAddressAndReadsTheVersionText) {
    TObjectsList list;
    TLANObject& device = *list.AddDevice();
    TMemoryStream body{0x15, 0, 0x10, 30, 0, 0, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 3, 'v', '1', '2'};
    ASSERT_TRUE(device.Definition().ReadChildDefinition(body));
    EXPECT_EQ(device.GetOwnerAddress(), 0x10);
    EXPECT_EQ(device.GetDevID(), 30);
    EXPECT_EQ(device.GetAttrCount(), 2);
    EXPECT_EQ(device.GetParamCount(), 1);
    EXPECT_EQ(device.GetProgramVersion(), "v12");
}

TEST(Definition, ShortBodyLeavesMissingFieldsAtZero) {
    TObjectsList list;
    TLANObject& device = *list.AddDevice();
    device.Definition().SetParamCount(9);
    TMemoryStream body{1, 0, 10};
    device.Definition().ReadDefinition(body);
    EXPECT_EQ(device.GetDevID(), 10);
    EXPECT_EQ(device.GetParamCount(), 0);
}
