#include "SdbJson.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TSDBase> Nested() {
    auto t = CreateTable({"ID", "NAME", "KIND", "DATA"},
                         {idfAutoincrement, idfString, idfList, idfTable});
    t->Created = 46000.25;
    t->Saved = 46000.5;
    t->GetField(2)->Items = {"a", "\xE9t\xE9"};
    t->GetField(1)->ReservedText3 = "r3";
    t->GetField(1)->ReservedByte = 200;
    std::string all;
    for (int c = 1; c < 256; ++c)
        all.push_back(static_cast<char>(c));
    for (int i = 0; i < 2; ++i) {
        t->AppendRecord();
        t->SetText(i, 1, i == 0 ? all.substr(0, 255) : std::string("\x01\x7F\x80\xFF", 4));
        TSDBase* inner = t->GetValue(i, 3)->Table();
        inner->Created = inner->Saved = 45000.125;
        inner->AddFields({"V"}, {idfDWord});
        inner->AppendRecord();
        inner->SetText(0, 0, std::to_string(i));
    }
    return t;
}

Bytes Bytes_(TSDBase& t) {
    TMemoryStream s;
    t.WriteToStream(s, TSavedStamp::Keep);
    return s.Data();
}

} // namespace

TEST(SdbJson, RoundTripIsExactForEveryByteAndNestedTables) {
    auto t = Nested();
    const std::string json = TableToJson(*t);
    auto back = TableFromJson(json);
    EXPECT_EQ(TableToJson(*back), json);
    EXPECT_EQ(Bytes_(*back), Bytes_(*t)) << "make writes exactly the bytes of the table";
    EXPECT_EQ(back->GetText(1, 1), std::string("\x01\x7F\x80\xFF", 4));
}

TEST(SdbJson, BadInputIsRefusedWithThePlace) {
    const std::string good = TableToJson(*Nested());
    struct Case {
        const char* what;
        std::string from, to, message;
    } cases[] = {
        {"not JSON", "{", "[", "not JSON"},
        {"number beyond a double", "46000.25", "1e999", "not JSON"},
        {"code point above a byte", "\"r3\"", "\"\\u0100\"", "fields[1].reserved[2]"},
        {"unknown type", "\"DWord\"", "\"Dword\"", "unknown type \"Dword\""},
        {"wrong signature", "\"SSDB.\"", "\"SSDB\"", "table.signature"},
        {"missing member", "\"localeId\"", "\"localeID\"", "\"localeId\" is missing"},
        {"number out of range", "\"saveCount\": 0", "\"saveCount\": 4294967296", "32 bits"},
        {"byte out of range", "\"reservedByte\": 200", "\"reservedByte\": 256", "0 to 255"},
    };
    for (const auto& c : cases) {
        std::string json = good;
        const auto at = json.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.what;
        json.replace(at, c.from.size(), c.to);
        try {
            TableFromJson(json);
            ADD_FAILURE() << c.what << " was accepted";
        } catch (const EJsonTable& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
                << c.what << ": " << e.what();
        }
    }
}

TEST(SdbJson, RecordShapeIsChecked) {
    const std::string base =
        R"({"signature":"SSDB.","backupName":"","tableName":"","description":"",
      "saveCount":0,"localeId":1033,"created":1,"saved":1,
      "fields":[{"name":"N","caption":"","type":"String","kind":"Data","reserved":["","",""],
                 "default":"d","reservedByte":0}],"nextNumber":0,"records":RECORDS})";
    auto with = [&](const std::string& records) {
        std::string j = base;
        j.replace(j.find("RECORDS"), 7, records);
        return j;
    };
    EXPECT_THROW(TableFromJson(with(R"([["a","b"]])")), EJsonTable);
    EXPECT_THROW(TableFromJson(with(R"([[1]])")), EJsonTable);
    EXPECT_THROW(TableFromJson(with("[[\"" + std::string(256, 'x') + "\"]]")), EJsonTable);
    auto t = TableFromJson(with("[[]]"));
    EXPECT_EQ(t->GetText(0, 0), "d") << "missing values take the field default";
}
