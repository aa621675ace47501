// The table stream form, byte for byte, and how its reader meets damage.
#include "SDB.h"
#include "SdbFormat.h"
#include "StorageFixtures.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

Bytes Hex(const std::string& hex) {
    TMemoryStream s;
    HexToStream(hex, s);
    return s.Data();
}

Bytes Slice(const Bytes& b, std::size_t from, std::size_t n) {
    return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + n));
}

double DoubleAt(const Bytes& b, std::size_t at) {
    double d;
    std::memcpy(&d, b.data() + at, 8);
    return d;
}

Bytes Write(TSDBase& t) {
    TMemoryStream s;
    t.WriteToStream(s, TSavedStamp::Keep);
    return s.Data();
}

} // namespace

TEST(Format, EmptyTableIs45Bytes) {
    TSDBase t;
    t.Created = 46000.25;
    t.Saved = 46000.5;
    const Bytes b = Write(t);
    ASSERT_EQ(b.size(), 45u);
    EXPECT_EQ(Slice(b, 0, 9), Hex("05535344422E000000"));
    EXPECT_EQ(Slice(b, 9, 8), Hex("0000000009040000")) << "SaveCount 0, LocaleID 1033";
    EXPECT_EQ(DoubleAt(b, 17), 46000.25);
    EXPECT_EQ(DoubleAt(b, 25), 46000.5);
    EXPECT_EQ(Slice(b, 33, 12), Hex("000000000000000000000000"));
}

TEST(Format, OneFieldOneRecordBytes) {
    auto t = CreateTable({"NAME"}, {idfString});
    t->AppendRecord();
    t->SetText(0, 0, "X");
    const Bytes b = Write(*t);
    const Bytes tail = Hex("01000000"
                           "044E414D45"
                           "00"
                           "06537472696E67"
                           "0444617461"
                           "00000000"
                           "00"
                           "01000000"
                           "01000000"
                           "01000000"
                           "0158");
    ASSERT_EQ(b.size(), 33u + tail.size());
    EXPECT_EQ(Slice(b, 33, tail.size()), tail);
}

TEST(Format, WriteStampsSavedUnlessAskedToKeep) {
    TSDBase t;
    t.Saved = 1.0;
    TMemoryStream s;
    t.WriteToStream(s);
    EXPECT_GT(t.Saved, 40000.0) << "a write notes its own time";
    EXPECT_EQ(DoubleAt(s.Data(), 25), t.Saved);
}

TEST(Format, ListFieldsCarryTheirChoicesOthersDropThem) {
    auto t = CreateTable({"L", "E", "S"}, {idfList, idfList, idfString});
    t->GetField(0)->Items = {"a", "bb"};
    t->GetField(2)->Items = {"lost"};
    const Bytes b = Write(*t);
    TMemoryStream s(b);
    TSDBase back;
    ASSERT_TRUE(back.ReadFromStream(s));
    EXPECT_EQ(back.GetField(0)->Items, (std::vector<std::string>{"a", "bb"}));
    EXPECT_TRUE(back.GetField(1)->Items.empty());
    EXPECT_TRUE(back.GetField(2)->Items.empty()) << "only List fields store choices";

    // The empty list still writes its marker and a zero count.
    TMemoryStream f;
    t->GetField(1)->WriteToStream(f);
    EXPECT_EQ(StreamToHex(f), "014500044C697374045B464C5D00000000044461746100000000"
                              "00");
}

TEST(Format, RoundTripKeepsEverythingNestedIncluded) {
    auto t = fixtures::MakeSampleTable();
    TMemoryStream s;
    t->WriteToStream(s, TSavedStamp::Keep);
    s.SetPosition(0);
    TSDBase back;
    back.Modified = true;
    ASSERT_TRUE(back.ReadFromStream(s));
    EXPECT_FALSE(back.Modified);
    EXPECT_EQ(s.Remaining(), 0u);
    EXPECT_EQ(fixtures::Describe(back), fixtures::Describe(*t));
    EXPECT_EQ(back.Records().NextNumber, 3);
    EXPECT_EQ(back.Description, "devices");
    EXPECT_EQ(Write(back), s.Data()) << "what was read writes back byte for byte";
}

TEST(Format, LongTextsAreCutTo255Bytes) {
    auto t = CreateTable({"S"}, {idfString});
    t->AppendRecord();
    t->SetText(0, 0, std::string(300, 'z'));
    TMemoryStream s(Write(*t));
    TSDBase back;
    ASSERT_TRUE(back.ReadFromStream(s));
    EXPECT_EQ(back.GetText(0, 0), std::string(255, 'z'));
}

TEST(Format, TableValueWithoutNestedTableStillReadsBack) {
    // A field that became a table after its records existed leaves them
    // without nested tables; the file must still read back.
    auto t = CreateTable({"A"}, {idfString});
    t->AppendRecord();
    t->SetText(0, 0, "a");
    t->AddFields({"T", "B"}, {idfTable, idfString});
    t->SetText(0, 1, "Plain");
    t->SetText(0, 2, "b");
    TMemoryStream s(Write(*t));
    TSDBase back;
    ASSERT_TRUE(back.ReadFromStream(s));
    EXPECT_EQ(back.GetText(0, 2), "b");
    ASSERT_NE(back.GetValue(0, 1)->Table(), nullptr);
    EXPECT_EQ(back.GetText(0, 1), "Plain");
    EXPECT_EQ(back.GetValue(0, 1)->Table()->FieldCount(), 0);
}

TEST(Format, SignatureMustBeExact) {
    for (const std::string sig : {"SSDB", "ssdb.", "SSDB.x", ""}) {
        Bytes b = Write(*CreateTable({"A"}, {idfString}));
        b.erase(b.begin(), b.begin() + 6);
        Bytes head{static_cast<std::uint8_t>(sig.size())};
        head.insert(head.end(), sig.begin(), sig.end());
        b.insert(b.begin(), head.begin(), head.end());
        TMemoryStream s(b);
        auto t = CreateTable({"OLD"}, {idfString});
        t->TableName = "kept";
        t->Modified = false;
        EXPECT_FALSE(t->ReadFromStream(s)) << sig;
        EXPECT_EQ(t->FieldCount(), 0) << "the table is cleared";
        EXPECT_EQ(t->TableName, "kept") << "its header is not";
    }
}

TEST(Format, ValueCountsAndCounts) {
    // V below the field count leaves defaults; V above it is damage; counts
    // of zero or below read as none.
    auto t = CreateTable({"A", "B"}, {idfString, idfString});
    t->GetField(1)->DefaultValue = "dflt";
    t->AppendRecord();
    t->SetText(0, 0, "a");
    t->SetText(0, 1, "");
    Bytes b = Write(*t);
    // The record's value count sits right before "01 61" ("a"), then "00" for B.
    const std::size_t countAt = b.size() - 2 - 1 - 4;
    b[countAt] = 1;
    b.pop_back();
    {
        TMemoryStream s(b);
        TSDBase back;
        ASSERT_TRUE(back.ReadFromStream(s));
        EXPECT_EQ(back.GetText(0, 0), "a");
        EXPECT_EQ(back.GetText(0, 1), "dflt");
    }
    b[countAt] = 3;
    {
        TMemoryStream s(b);
        TSDBase back;
        try {
            back.ReadFromStream(s);
            FAIL() << "three values for two fields must not read";
        } catch (const ESDBError& e) {
            EXPECT_EQ(e.kind(), ESDBError::Kind::Corrupt);
            EXPECT_EQ(e.offset(), static_cast<std::int64_t>(countAt));
        }
        EXPECT_EQ(back.FieldCount(), 0) << "nothing half-read is left behind";
    }
    // Record count -5: no records.
    Bytes c = Write(*t);
    const std::size_t recordCountAt = c.size() - 1 - 2 - 4 - 4;
    std::int32_t minus5 = -5;
    std::memcpy(c.data() + recordCountAt, &minus5, 4);
    c.resize(recordCountAt + 4);
    TMemoryStream s(c);
    TSDBase back;
    ASSERT_TRUE(back.ReadFromStream(s));
    EXPECT_EQ(back.RecCount(), 0);
}

TEST(Format, DamagedNestedSignatureStopsTheRead) {
    Bytes b = fixtures::SampleBytes();
    // The first nested table follows its value text "Table"... find its signature.
    const std::string sig = "\x05SSDB.";
    auto first = std::search(b.begin() + 1, b.end(), sig.begin(), sig.end());
    ASSERT_NE(first, b.end());
    const auto at = static_cast<std::size_t>(first - b.begin());
    b[at + 1] = 's';
    TMemoryStream s(b);
    TSDBase back;
    try {
        back.ReadFromStream(s);
        FAIL() << "a damaged nested table must stop the read";
    } catch (const ESDBError& e) {
        EXPECT_EQ(e.kind(), ESDBError::Kind::Corrupt);
        EXPECT_EQ(e.offset(), static_cast<std::int64_t>(at));
    }
}

TEST(Format, TruncationIsToldApartFromCorruption) {
    const Bytes b = fixtures::SampleBytes();
    TMemoryStream s(Bytes(b.begin(), b.end() - 3));
    TSDBase back;
    try {
        back.ReadFromStream(s);
        FAIL();
    } catch (const ESDBError& e) {
        EXPECT_EQ(e.kind(), ESDBError::Kind::Truncated);
        EXPECT_GT(e.offset(), 0);
        EXPECT_LE(e.offset(), static_cast<std::int64_t>(b.size()));
    }
}

TEST(Format, NestingDeeperThanTheLimitIsRefusedNotRecursedInto) {
    // A crafted chain of tables, each holding the next in its one value.
    const int depth = sdbformat::kMaxDepth + 5;
    std::vector<std::unique_ptr<TSDBase>> chain;
    auto top = CreateTable({"T"}, {idfTable});
    TSDBase* cur = top.get();
    for (int i = 0; i < depth; ++i) {
        cur->AppendRecord();
        cur = cur->GetValue(0, 0)->Table();
        cur->AddFields({"T"}, {idfTable});
    }
    TMemoryStream s(Write(*top));
    TSDBase back;
    EXPECT_THROW(back.ReadFromStream(s), ESDBError);
    EXPECT_THROW(sdbformat::CheckTableBytes(s.Data().data(), s.Size()), ESDBError);
}

TEST(Format, CheckFindsTrailingBytesAndBadSignature) {
    Bytes b = fixtures::SampleBytes();
    EXPECT_NO_THROW(sdbformat::CheckTableBytes(b.data(), b.size()));
    b.push_back(0);
    try {
        sdbformat::CheckTableBytes(b.data(), b.size());
        FAIL();
    } catch (const ESDBError& e) {
        EXPECT_EQ(e.offset(), static_cast<std::int64_t>(b.size() - 1));
    }
    b[1] = 'X';
    try {
        sdbformat::CheckTableBytes(b.data(), b.size());
        FAIL();
    } catch (const ESDBError& e) {
        EXPECT_EQ(e.offset(), 0);
    }
}
