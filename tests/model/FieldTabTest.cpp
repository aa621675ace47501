// The cursor over a table, the attribute table and the field tab.
#include "ObjectsList.h"

#include <gtest/gtest.h>

namespace {
std::vector<std::string> FieldNamesOf(const TSDBase& t) {
    std::vector<std::string> names;
    for (int i = 0; i < t.FieldCount(); ++i)
        names.push_back(t.GetField(i)->Name);
    return names;
}
} // namespace

TEST(TableObj, AttachAddsOnlyTheColumnsTheTableLacksAfterItsOwn) {
    const TFieldNames five = AttributeFieldNames();
    struct Case {
        const char* what;
        TFieldNames before;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {"exactly the needed fields", five, five},
        {"no fields", {}, five},
        {"other fields", {"X"}, {"X", "ID", "NAME", "TYPE", "VALUE", "OPTIONS"}},
        {"some needed among others",
         {"NAME", "X", "ID"},
         {"NAME", "X", "ID", "TYPE", "VALUE", "OPTIONS"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto table = CreateTable(c.before, TFieldTypes(c.before.size(), idfString));
        TAttribute attr(nullptr, table.get());
        EXPECT_EQ(FieldNamesOf(*table), c.after);
        attr.Attach(table.get());
        EXPECT_EQ(FieldNamesOf(*table), c.after) << "a second attach adds nothing";
    }
}

TEST(TableObj, ColumnsAreFoundByNameInATableWithFieldsOfItsOwn) {
    auto table = CreateTable({"X"}, {idfString});
    TAttribute attr(nullptr, table.get());
    attr.Append();
    attr.SetName("Power");
    attr.SetValue("12");
    EXPECT_EQ(table->GetText(0, 0), "");
    EXPECT_EQ(attr.FindValue("Power"), "12");
}

TEST(Attribute, FirstAppendedRowHasTheDefaults) {
    auto table = CreateTable({}, {});
    TAttribute attr(nullptr, table.get());
    attr.Append();
    EXPECT_EQ(attr.RecNo(), 0);
    EXPECT_EQ(attr.GetID(), 1);
    EXPECT_EQ(attr.GetName(), "F 1");
    EXPECT_EQ(attr.GetValue(), "0");
    EXPECT_EQ(table->GetText(0, TAttribute::colType), "String");
    EXPECT_EQ(attr.GetOptions(), 0);
    attr.Append();
    EXPECT_EQ(attr.RecNo(), 1);
    EXPECT_EQ(attr.GetName(), "F 2");
}

TEST(Attribute, OptionBitsAreSetAndClearedAlone) {
    auto table = CreateTable({}, {});
    TAttribute attr(nullptr, table.get());
    attr.Append();
    attr.SetOptions(0x10);
    attr.SetReadOnly(true);
    attr.SetPreset(true);
    EXPECT_EQ(attr.GetOptions(), 0x13);
    attr.SetReadOnly(false);
    EXPECT_EQ(attr.GetOptions(), 0x12);
    EXPECT_FALSE(attr.GetReadOnly());
}

TEST(Attribute, FindAndSetByNameMatchExactlyAndNeverAddRows) {
    auto table = CreateTable({}, {});
    TAttribute attr(nullptr, table.get());
    attr.Append();
    attr.SetName("MODE");
    attr.SetValue("3");
    attr.Append();
    attr.SetName("MODE");
    attr.SetValue("4");
    attr.SetRecNo(0);
    EXPECT_EQ(attr.FindValue("MODE"), "3") << "the first row of that name";
    EXPECT_EQ(attr.FindValue("mode"), "0");
    attr.SetValueByName("MODE", "7");
    attr.SetValueByName("Missing", "9");
    EXPECT_EQ(table->RecCount(), 2);
    EXPECT_EQ(attr.FindValue("MODE"), "7");
    EXPECT_EQ(table->GetText(1, TAttribute::colValue), "4");
    EXPECT_EQ(attr.RecNo(), 0);
}

TEST(DefTable, IntegerReadsOfTextThatIsNotANumberAnswerZero) {
    auto table = CreateTable({"N"}, {idfString});
    table->AppendRecord();
    TDefTable cursor(nullptr, {"N"}, {idfString}, table.get());
    const struct {
        const char* text;
        std::int32_t value;
    } cases[] = {
        {"42", 42},
        {"-7", -7},
        {" 12 ", 12},
        {"$1F", 31},
        {"0x30", 48},
        {"", 0},
        {"abc", 0},
        {"12a", 0},
        {"1.5", 0},
        {"-", 0},
        {"99999999999", 0},
        {"0x", 0},
        {"+5", 5},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        cursor.SetAsString(c.text);
        EXPECT_EQ(cursor.GetAsInteger(), c.value);
    }
}

TEST(DefTable, OutOfRangeCursorAnswersEmptyAndWritesNothing) {
    auto table = CreateTable({"N"}, {idfString});
    TDefTable cursor(nullptr, {"N"}, {idfString}, table.get());
    cursor.SetAsInteger(5);
    EXPECT_EQ(table->Records().Count(), 0);
    EXPECT_EQ(cursor.GetAsString(), "");
    TDefTable detached(nullptr, {"N"}, {idfString}, nullptr);
    detached.SetAsFieldType(idfWord);
    EXPECT_EQ(detached.GetAsFieldType(), idfUnknown);
}

// Three parameters "A", "B", "C" on one device.
class FieldTabOrder : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"A", "B", "C"}) {
            params.AddItem();
            params.SetName(name);
        }
    }
    std::string Names() {
        std::string names;
        for (int i = 0; i < params.ItemCount(); ++i) {
            params.SetCurrent(i);
            names += params.GetName();
        }
        return names;
    }
    std::vector<int> RowIDs() {
        std::vector<int> ids;
        for (int i = 0; i < params.ItemCount(); ++i) {
            params.SetCurrent(i);
            ids.push_back(params.GetParamID());
        }
        return ids;
    }
    std::vector<std::string> OuterIDs() {
        std::vector<std::string> ids;
        for (int i = 0; i < params.ItemCount(); ++i)
            ids.push_back(params.Base()->GetText(i, 0));
        return ids;
    }
    TObjectsList list;
    TLANObject& device = *list.AddDevice();
    TParameters& params = device.Parameters();
};

TEST_F(FieldTabOrder, DeleteRenumbersTheIDRowsButNotTheOuterIDs) {
    params.Delete(0);
    EXPECT_EQ(Names(), "BC");
    EXPECT_EQ(RowIDs(), (std::vector<int>{0, 1}));
    EXPECT_EQ(OuterIDs(), (std::vector<std::string>{"1", "2"}));
}

TEST_F(FieldTabOrder, DeletingTheLastItemLeavesNothingToReadFrom) {
    params.Delete(5);
    EXPECT_EQ(params.ItemCount(), 3);
    params.Delete(2);
    params.Delete(1);
    params.Delete(0);
    EXPECT_EQ(params.ItemCount(), 0);
    EXPECT_EQ(params.GetName(), "0");
    EXPECT_EQ(params.ItemTable(), nullptr);
}

TEST(FieldTab, MovesSwapNeighboursRenumberThemAndKeepTheMovedItemCurrent) {
    const struct {
        const char* what;
        int start;
        bool up;
        const char* names;
        int current;
    } cases[] = {
        {"up from the first", 0, true, "ABC", 0},
        {"down from the last", 2, false, "ABC", 2},
        {"down from the first", 0, false, "BAC", 1},
        {"up from the last", 2, true, "ACB", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TObjectsList other;
        TParameters& p = other.AddDevice()->Parameters();
        for (const char* name : {"A", "B", "C"}) {
            p.AddItem();
            p.SetName(name);
        }
        p.SetCurrent(c.start);
        c.up ? p.MoveUp() : p.MoveDown();
        EXPECT_EQ(p.GetCurrent(), c.current);
        std::string names;
        for (int i = 0; i < 3; ++i) {
            p.SetCurrent(i);
            names += p.GetName();
            EXPECT_EQ(p.GetParamID(), i);
        }
        EXPECT_EQ(names, c.names);
    }
}

TEST(FieldTab, SetCurrentOnANonItemAnswersDefaults) {
    TObjectsList list;
    TParameters& params = list.AddDevice()->Parameters();
    params.AddItem();
    params.SetCurrent(4);
    EXPECT_EQ(params.ItemTable(), nullptr);
    EXPECT_EQ(params.GetFormat(), 0);
    params.SetFormat(1);
    params.SetCurrent(0);
    EXPECT_EQ(params.GetFormat(), 48);
}

TEST(FieldTab, DeviceNameComesFromTheDevicesAttributes) {
    TObjectsList list;
    TLANObject& device = *list.AddDevice();
    EXPECT_EQ(device.Parameters().GetDeviceName(), "0");
    for (const char* name : {"Serial", "Device Name"}) {
        device.Attributes().AddItem();
        device.Attributes().SetName(name);
        device.Attributes().SetValue(std::string("is ") + name);
    }
    EXPECT_EQ(device.Controls().GetDeviceName(), "is Device Name");
    auto table = CreateTable({}, {});
    EXPECT_EQ(TObjFieldTab(nullptr, nullptr, table.get()).GetDeviceName(), "0");
}

TEST(AddItemAttribute, IntegerTypesTakeTheNumberOthersTheText) {
    auto table = CreateTable({}, {});
    TObjFieldTab tab(nullptr, nullptr, table.get());
    tab.Append();
    const struct {
        TIDFieldType type;
        TListRow list;
        const char* value;
    } cases[] = {
        {idfByte, TListRow::Text, "7"},       {idfWord, TListRow::Text, "7"},
        {idfDWord, TListRow::Text, "7"},      {idfList, TListRow::Text, "text"},
        {idfList, TListRow::Number, "7"},     {idfString, TListRow::Number, "text"},
        {idfLongint, TListRow::Text, "text"},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(FieldTypeName(c.type));
        AddItemAttribute(tab, "R", c.type, "text", 7, row % 2 == 0, c.list);
        TAttribute& a = tab.Attributes();
        EXPECT_EQ(a.RecNo(), row);
        EXPECT_EQ(a.GetValue(), c.value);
        EXPECT_EQ(a.GetType(), c.type);
        EXPECT_EQ(a.GetID(), row + 1);
        EXPECT_EQ(a.GetOptions(),
                  TAttribute::optPreset | (row % 2 == 0 ? TAttribute::optReadOnly : 0u));
        ++row;
    }
}

TEST(FieldTab, TypedAccessorsKeepTheRowCursorOfTheCurrentItem) {
    TObjectsList list;
    TParameters& params = list.AddDevice()->Parameters();
    params.AddItem();
    params.AddItem();
    TAttribute& rows = params.GetAttributes();
    rows.SetRecNo(6);
    params.SetScale(250);
    EXPECT_EQ(params.GetScale(), 250);
    EXPECT_EQ(rows.GetName(), "FORMAT");
    params.SetCurrent(0);
    EXPECT_EQ(rows.RecNo(), 0) << "a new current item starts at its first row";
    EXPECT_EQ(rows.GetValue(), "0");
}
