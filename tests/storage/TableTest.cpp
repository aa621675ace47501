// In-memory behaviour of fields, values, records and tables.
#include "SDB.h"
#include "Utils.h"

#include <gtest/gtest.h>

TEST(FieldVocabulary, TypeAndKindTextsRoundTripAndUnknownTextsReadAsZero) {
    for (int i = 0; i < kFieldTypeCount; ++i) {
        const auto type = static_cast<TIDFieldType>(i);
        EXPECT_EQ(FieldTypeFromName(FieldTypeName(type)), type) << i;
    }
    EXPECT_EQ(FieldTypeName(idfInt64), "LargeInt");
    EXPECT_EQ(FieldTypeName(idfReal), "Float");
    EXPECT_EQ(FieldTypeFromName("Unknow"), idfUnknown);
    EXPECT_EQ(FieldTypeFromName("Unknown"), idfUnknown);
    EXPECT_EQ(FieldTypeFromName("string"), idfUnknown) << "type texts are case-sensitive";
    EXPECT_EQ(FieldKindFromName("Aggregate"), fkAggregate);
    EXPECT_EQ(FieldKindFromName("aggregate"), fkData);
}

TEST(Field, AssignCopiesEverythingAndGivesTheNameAsCaption) {
    TSDBase t;
    TField* src = t.AddField();
    src->Name = "KIND";
    src->FieldType = idfList;
    src->Items = {"A", "B"};
    src->ReservedText2 = "r2";
    src->ReservedByte = 9;
    TField* dst = t.AddField();
    dst->Assign(src);
    EXPECT_EQ(dst->Caption, "KIND");
    EXPECT_EQ(dst->Items, src->Items);
    EXPECT_EQ(dst->ReservedText2, "r2");
    EXPECT_EQ(dst->ReservedByte, 9);
    dst->Assign(nullptr);
    EXPECT_EQ(dst->Name, "KIND");
}

TEST(Value, InitialTextFollowsDefaultAndChoices) {
    auto t = CreateTable({"T", "L", "M", "S"}, {idfTable, idfList, idfList, idfString});
    t->GetField(1)->Items = {"Low", "High"};
    t->GetField(1)->DefaultValue = "high";
    t->GetField(2)->Items = {"Low"};
    t->GetField(2)->DefaultValue = "none";
    t->GetField(3)->DefaultValue = "x";
    t->AppendRecord();
    TValue* table = t->GetValue(0, 0);
    ASSERT_TRUE(table->Table());
    EXPECT_EQ(table->Table()->TableName, "Table");
    EXPECT_EQ(table->GetText(), "Table") << "a table value answers its nested table's name";
    EXPECT_EQ(t->GetText(0, 1), "High") << "the choice matching the default, ignoring case";
    EXPECT_EQ(t->GetText(0, 2), "") << "no matching choice leaves the text as it was";
    EXPECT_EQ(t->GetText(0, 3), "x");

    table->SetText("Renamed");
    EXPECT_EQ(table->Table()->TableName, "Renamed");
}

TEST(Value, AssignBetweenDifferentTypesChangesNothingAndCopiesNestedTables) {
    auto t = CreateTable({"S", "N", "T"}, {idfString, idfDWord, idfTable});
    t->AppendRecord();
    t->AppendRecord();
    t->SetText(0, 0, "text");
    t->GetValue(1, 1)->Assign(t->GetValue(0, 0));
    EXPECT_EQ(t->GetText(1, 1), "");

    TSDBase* src = t->GetValue(0, 2)->Table();
    src->AddFields({"A"}, {idfString});
    src->AppendRecord();
    src->SetText(0, 0, "inner");
    src->TableName = "Inner";
    t->GetValue(1, 2)->Assign(t->GetValue(0, 2));
    TSDBase* copy = t->GetValue(1, 2)->Table();
    EXPECT_EQ(copy->GetText(0, 0), "inner");
    EXPECT_EQ(t->GetText(1, 2), "Inner");
    EXPECT_NE(copy, src);
}

TEST(Table, RecordsOfATableWithoutFieldsAreNotThere) {
    TSDBase t;
    t.Records().Append();
    EXPECT_EQ(t.Records().Count(), 1);
    EXPECT_EQ(t.RecCount(), 0);
    EXPECT_EQ(t.GetRecord(0), nullptr);
    EXPECT_EQ(t.GetText(0, 0), "");
}

TEST(Table, AutoincrementNumbering) {
    auto t = CreateTable({"ID", "NAME"}, {idfAutoincrement, idfString});
    for (int i = 0; i < 3; ++i)
        t->AppendRecord();
    EXPECT_EQ(t->GetText(2, 0), "2");
    t->DeleteRecord(0);
    t->AppendRecord();
    EXPECT_EQ(t->GetText(2, 0), "3") << "numbering continues after deleting some";
    while (t->RecCount() > 0)
        t->DeleteRecord(0);
    t->AppendRecord();
    EXPECT_EQ(t->GetText(0, 0), "0") << "numbering restarts once every record is gone";

    auto plain = CreateTable({"NAME"}, {idfString});
    plain->AppendRecord();
    EXPECT_EQ(plain->Records().NextNumber, 1) << "counts even without an autoincrement field";
}

TEST(Table, ClearRecordsOnEmptyTableKeepsNumberAndFlag) {
    auto t = CreateTable({"ID"}, {idfAutoincrement});
    t->Records().NextNumber = 5;
    t->Modified = false;
    t->ClearRecords();
    EXPECT_EQ(t->Records().NextNumber, 5);
    EXPECT_FALSE(t->Modified);
    t->AppendRecord();
    t->ClearRecords();
    EXPECT_EQ(t->Records().NextNumber, 0);
    EXPECT_TRUE(t->Modified);
}

TEST(Table, MoveRecord) {
    struct Case {
        int from, to;
        const char* order;
        bool modified;
    } cases[] = {
        {0, 99, "BCA", true}, {5, 0, "ABC", false},  {2, 0, "CAB", true},
        {0, 1, "BAC", true},  {-1, 0, "ABC", false}, {1, 1, "ABC", false},
    };
    for (const auto& c : cases) {
        auto t = CreateTable({"N"}, {idfString});
        for (const char* n : {"A", "B", "C"}) {
            t->AppendRecord();
            t->SetText(t->RecCount() - 1, 0, n);
        }
        t->Modified = false;
        t->MoveRecord(c.from, c.to);
        std::string order;
        for (int i = 0; i < t->RecCount(); ++i)
            order += t->GetText(i, 0);
        EXPECT_EQ(order, c.order) << c.from << "->" << c.to;
        EXPECT_EQ(t->Modified, c.modified) << c.from << "->" << c.to;
    }
}

TEST(Table, SetTextRangeRules) {
    auto t = CreateTable({"A"}, {idfString});
    t->AppendRecord();
    t->Modified = false;
    t->SetText(1, 0, "x");
    EXPECT_FALSE(t->Modified);
    t->SetText(-1, 0, "x");
    EXPECT_TRUE(t->Modified) << "a negative index changes nothing but still marks the table";
    EXPECT_EQ(t->GetText(0, 0), "");
}

TEST(Table, AssignDoesNotCopyNumbersOrKeys) {
    auto src = CreateTable({"ID", "KEY", "NAME"}, {idfAutoincrement, idfKey, idfString});
    src->GetField(1)->DefaultValue = "k0";
    src->AppendRecord();
    src->AppendRecord();
    src->SetText(1, 1, "key");
    src->SetText(1, 2, "two");
    TSDBase copy;
    copy.FileName = "keep.sdb";
    copy.Assign(*src);
    ASSERT_EQ(copy.RecCount(), 2);
    EXPECT_EQ(copy.GetText(1, 0), "");
    EXPECT_EQ(copy.GetText(1, 1), "k0");
    EXPECT_EQ(copy.GetText(1, 2), "two");
    EXPECT_EQ(copy.GetField(2)->Caption, "NAME");
    EXPECT_EQ(copy.FileName, "keep.sdb");
    copy.FileName.clear();
}

TEST(Table, HasFieldsIsExactAndOrdered) {
    auto t = CreateTable({"A", "B"}, {idfString, idfString});
    EXPECT_TRUE(t->HasFields({"A", "B"}));
    EXPECT_FALSE(t->HasFields({"B", "A"}));
    EXPECT_FALSE(t->HasFields({"A", "b"}));
    EXPECT_FALSE(t->HasFields({"A"}));
    TSDBase empty;
    EXPECT_FALSE(empty.HasFields({}));
}

TEST(Table, FieldAddedToExistingRecordsGivesEmptyValuesWithoutNestedTables) {
    auto t = CreateTable({"A"}, {idfString});
    t->AppendRecord();
    t->AddFields({"T"}, {idfTable});
    EXPECT_EQ(t->GetRecord(0)->Count(), 2);
    EXPECT_EQ(t->GetValue(0, 1)->Table(), nullptr);
    t->AppendRecord();
    EXPECT_NE(t->GetValue(1, 1)->Table(), nullptr);
}

TEST(Utils, CycleColorSteps) {
    const std::pair<int, std::uint32_t> cases[] = {
        {0, 0xFFFFFF},  {1, 0x00FF00},  {2, 0x00FFFF},  {3, 0x0000FF},  {4, 0xFFFF00},
        {5, 0xFF00FF},  {6, 0x800000},  {7, 0x808080},  {8, 0x808000},  {9, 0x800080},
        {10, 0xFF0000}, {11, 0x008080}, {12, 0xC0C0C0}, {13, 0x008000}, {14, 0x808080},
        {15, 0x000080}, {16, 0xC0C0C0}, {17, 0xFFFFFF}, {-3, 0xFFFFFF},
    };
    for (auto [n, rgb] : cases)
        EXPECT_EQ(CycleColor(n), rgb) << n;

    TMemoryStream s;
    WriteShortText("", s);
    WriteShortText("ab", s);
    EXPECT_EQ(StreamToHex(s), "00026162");
}
