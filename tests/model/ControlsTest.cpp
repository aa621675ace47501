// Controls and commands and their stream forms.
#include "ObjectsList.h"

#include <gtest/gtest.h>

class DeviceControls : public ::testing::Test {
protected:
    TObjectsList list;
    TLANObject& device = *list.AddDevice();
    TControls& controls = device.Controls();
    TCommands& commands = device.Commands();
};

TEST_F(DeviceControls, NewItemsHaveTheirDefaultRows) {
    controls.AddItem();
    controls.AddItem();
    EXPECT_EQ(controls.GetControlID(), 1);
    EXPECT_EQ(controls.GetValue(), 100);
    EXPECT_EQ(controls.GetMin(), 0);
    EXPECT_EQ(controls.GetMax(), 100);
    EXPECT_EQ(controls.GetName(), "C1");
    TAttribute& rows = controls.GetAttributes();
    ASSERT_EQ(rows.RecCount(), 6);
    const bool readOnly[] = {true, true, true, false, false, false};
    for (int i = 0; i < 6; ++i) {
        rows.SetRecNo(i);
        EXPECT_EQ(rows.GetReadOnly(), readOnly[i]) << rows.GetName();
    }

    commands.AddItem();
    EXPECT_EQ(commands.GetName(), "C1");
    EXPECT_EQ(commands.GetCommandID(), 0);
    TAttribute& commandRows = commands.GetAttributes();
    ASSERT_EQ(commandRows.RecCount(), 2);
    commandRows.SetRecNo(0);
    EXPECT_FALSE(commandRows.GetReadOnly());
    EXPECT_TRUE(commandRows.GetPreset());
}

TEST_F(DeviceControls, ControlRowFillsAnExistingControlOrTheOneAddRowAdds) {
    controls.AddItem();
    TMemoryStream row{1, 7, 0x2C, 0x01, 0x0A, 0x00, 0xE8, 0x03, 3, 'P', 'w', 'r'};
    EXPECT_FALSE(controls.ReadRow(row));
    EXPECT_TRUE(controls.AddRow(row));
    ASSERT_EQ(controls.ItemCount(), 2);
    controls.SetCurrent(1);
    EXPECT_EQ(controls.GetControlID(), 1);
    EXPECT_EQ(controls.GetAssoc(), 7);
    EXPECT_EQ(controls.GetValue(), 300);
    EXPECT_EQ(controls.GetMin(), 10);
    EXPECT_EQ(controls.GetMax(), 1000);
    EXPECT_EQ(controls.GetName(), "Pwr");

    TMemoryStream child{0x12, 0, 1, 0x05, 0x00};
    EXPECT_TRUE(controls.ReadChildRow(child));
    controls.SetCurrent(0);
    EXPECT_EQ(controls.GetValue(), 5);
    EXPECT_EQ(controls.GetMax(), 0) << "missing words read as 0";
    EXPECT_EQ(controls.GetName(), "");
}

TEST_F(DeviceControls, AddRowNeedsMoreThanFourBytes) {
    const struct {
        Bytes body;
        bool child;
        int items;
    } cases[] = {
        {{0, 1, 2, 3}, false, 0},
        {{0, 1, 2, 3, 4}, false, 1},
        {{0x11, 0, 1, 2}, true, 0},
        {{0x11, 0, 1, 2, 3}, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.size());
        TObjectsList other;
        TControls& fresh = other.AddDevice()->Controls();
        TMemoryStream s(c.body);
        c.child ? fresh.AddChildRow(s) : fresh.AddRow(s);
        EXPECT_EQ(fresh.ItemCount(), c.items);
    }
}

TEST_F(DeviceControls, WriteRowTakesTheLowByteOrTheLowWord) {
    controls.AddItem();
    controls.SetControlID(0x102);
    controls.SetAssoc(300);
    controls.SetValue(300);
    controls.SetMin(0x10000);
    controls.SetMax(65535);
    TMemoryStream out;
    controls.WriteRow(out);
    EXPECT_EQ(StreamToHex(out), "022C2C010000FFFF");
}

TEST_F(DeviceControls, ValueFormSetsOneControlAndNeedsTheWholeWord) {
    controls.AddItem();
    controls.AddItem();
    TMemoryStream value{1, 0x34, 0x12};
    EXPECT_TRUE(controls.ReadValue(value));
    EXPECT_EQ(controls.GetCurrent(), 1);
    EXPECT_EQ(controls.GetValue(), 0x1234);
    const Bytes ignored[] = {{0, 0x34}, {2, 0, 0}, {}};
    for (const Bytes& body : ignored) {
        TMemoryStream s(body);
        EXPECT_FALSE(controls.ReadValue(s)) << body.size();
    }
    TMemoryStream child{0x12, 0, 9, 0};
    EXPECT_TRUE(controls.ReadChildValue(child));
    controls.SetCurrent(0);
    EXPECT_EQ(controls.GetValue(), 9);
}

TEST_F(DeviceControls, CommandRowsNeedMoreThanFourBytesInAll) {
    commands.AddItem();
    TMemoryStream twoLetters{0, 2, 'O', 'n'};
    EXPECT_FALSE(commands.ReadRow(twoLetters));
    EXPECT_FALSE(commands.AddRow(twoLetters));
    EXPECT_EQ(commands.ItemCount(), 1);
    TMemoryStream threeLetters{0, 3, 'O', 'f', 'f'};
    EXPECT_TRUE(commands.ReadRow(threeLetters));
    EXPECT_EQ(commands.GetName(), "Off");
    TMemoryStream childTwo{0x13, 0, 2, 'O', 'n'};
    EXPECT_TRUE(commands.ReadChildRow(childTwo)) << "the address byte counts";
    EXPECT_EQ(commands.GetName(), "On");

    TMemoryStream next{1, 5, 'R', 'e', 's', 'e', 't'};
    EXPECT_FALSE(commands.ReadRow(next));
    EXPECT_TRUE(commands.AddRow(next));
    ASSERT_EQ(commands.ItemCount(), 2);
    EXPECT_EQ(commands.GetCommandID(), 1);
    EXPECT_EQ(commands.GetName(), "Reset");
    TMemoryStream childNext{0x13, 2, 2, 'G', 'o'};
    EXPECT_TRUE(commands.AddChildRow(childNext));
    EXPECT_EQ(commands.ItemCount(), 3);
    EXPECT_EQ(commands.GetName(), "Go");
}
