// Parameter rows, their defaults and their stream forms.
#include "ObjectsList.h"

#include <gtest/gtest.h>

namespace {
// The worked row: parameter 0, Group 1, FORMAT hex 31, SCALE 1000, VALUE 500,
// MIN 100, MAX 900, threshold 200 raw, CALC 1, "P1", "V".
const Bytes kRow{0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x31, 0xE8, 0x03, 0xF4, 0x01, 0x64,
                 0x00, 0x84, 0x03, 0xC8, 0x00, 0x01, 0x02, 0x50, 0x31, 0x01, 0x56};
} // namespace

class DeviceParameters : public ::testing::Test {
protected:
    TObjectsList list;
    TParameters& params = list.AddDevice()->Parameters();
};

TEST_F(DeviceParameters, NewParameterHasTheFifteenDefaultRows) {
    params.AddItem();
    params.AddItem();
    const struct {
        const char* name;
        TIDFieldType type;
        const char* value;
        bool readOnly;
    } rows[] = {
        {"ID", idfDWord, "1", true},       {"Group", idfList, "0", false},
        {"Class", idfList, "0", false},    {"MODE", idfList, "0", false},
        {"STATE", idfDWord, "0", true},    {"Assoc", idfList, "0", false},
        {"FORMAT", idfDWord, "48", false}, {"SCALE", idfDWord, "100", false},
        {"VALUE", idfDWord, "50", true},   {"MIN", idfDWord, "0", false},
        {"MAX", idfDWord, "100", false},   {"Threshold", idfDWord, "20", false},
        {"CALC", idfList, "0", false},     {"NAME", idfString, "P1", false},
        {"DIM", idfString, "V", false},
    };
    TAttribute& a = params.GetAttributes();
    ASSERT_EQ(a.RecCount(), 15);
    for (int i = 0; i < 15; ++i) {
        SCOPED_TRACE(rows[i].name);
        a.SetRecNo(i);
        EXPECT_EQ(a.GetName(), rows[i].name);
        EXPECT_EQ(a.GetType(), rows[i].type);
        EXPECT_EQ(a.GetValue(), rows[i].value);
        EXPECT_EQ(a.GetReadOnly(), rows[i].readOnly);
        EXPECT_TRUE(a.GetPreset());
    }
    EXPECT_EQ(params.GetCalc(), 0);
}

TEST_F(DeviceParameters, WorkedRowIsReadAndWrittenBackByteForByte) {
    params.AddItem();
    TMemoryStream row(kRow);
    ASSERT_TRUE(params.ReadRow(row));
    EXPECT_EQ(params.GetGroup(), 1);
    EXPECT_EQ(params.GetFormat(), 0x31);
    EXPECT_EQ(params.GetScale(), 1000);
    EXPECT_EQ(params.GetValue(), 500);
    EXPECT_EQ(params.GetMin(), 100);
    EXPECT_EQ(params.GetMax(), 900);
    EXPECT_EQ(params.GetThreshold(), 20);
    EXPECT_EQ(params.GetAttributes().FindValue("CALC"), "Square-law");
    EXPECT_EQ(params.GetName(), "P1");
    EXPECT_EQ(params.GetDim(), "V");
    EXPECT_EQ(FormatValue(params.GetFormat(), static_cast<std::uint32_t>(params.GetValue())),
              "50.0");
    TMemoryStream out;
    params.WriteRow(out);
    EXPECT_EQ(out.Data(), kRow);
}

TEST_F(DeviceParameters, ChildRowSkipsTheAddress) {
    params.AddItem();
    Bytes child{0x21};
    child.insert(child.end(), kRow.begin(), kRow.end());
    TMemoryStream row(child);
    ASSERT_TRUE(params.ReadChildRow(row));
    EXPECT_EQ(params.GetScale(), 1000);
    EXPECT_EQ(params.GetDim(), "V");
}

TEST_F(DeviceParameters, ThresholdIsPercentOfTheScaleReadWithIt) {
    const struct {
        std::uint16_t scale;
        std::uint16_t raw;
        int percent;
        std::uint16_t written;
    } cases[] = {
        {200, 50, 25, 50},
        {1000, 200, 20, 200},
        {400, 2, 0, 0}, // 0.5 % goes to the even 0
        {400, 6, 2, 8}, // 1.5 % goes to 2
        {0, 50, 0, 0},  // no scale: no threshold, no failure
        {65535, 65535, 100, 65535},
    };
    params.AddItem();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scale << " " << c.raw);
        Bytes body(kRow);
        body[7] = static_cast<std::uint8_t>(c.scale);
        body[8] = static_cast<std::uint8_t>(c.scale >> 8);
        body[15] = static_cast<std::uint8_t>(c.raw);
        body[16] = static_cast<std::uint8_t>(c.raw >> 8);
        TMemoryStream row(body);
        ASSERT_TRUE(params.ReadRow(row));
        EXPECT_EQ(params.GetThreshold(), c.percent);
        TMemoryStream out;
        params.WriteRow(out);
        EXPECT_EQ(out.Data()[15] | (out.Data()[16] << 8), c.written);
    }
}

TEST_F(DeviceParameters, WriteRowTakesLowBytesAndLowWords) {
    params.AddItem();
    params.SetGroup(0x1FF);
    params.SetScale(0x12345);
    params.SetValue(-1);
    params.SetThreshold(0);
    params.SetCalc(4);
    TMemoryStream out;
    params.WriteRow(out);
    const Bytes& b = out.Data();
    ASSERT_GE(b.size(), 18u);
    EXPECT_EQ(b[1], 0xFF);
    EXPECT_EQ(b[7] | (b[8] << 8), 0x2345);
    EXPECT_EQ(b[9] | (b[10] << 8), 0xFFFF);
    EXPECT_EQ(b[17], 4);
}

TEST_F(DeviceParameters, RowsByIndexAndAddRowSizeLimit) {
    params.AddItem();
    TMemoryStream three{1, 2, 3};
    EXPECT_FALSE(params.AddRow(three));
    EXPECT_EQ(params.ItemCount(), 1) << "3 bytes add nothing";

    Bytes forOne(kRow);
    forOne[0] = 1;
    TMemoryStream row(forOne);
    EXPECT_FALSE(params.ReadRow(row)) << "index 1 is not yet a parameter";
    EXPECT_TRUE(params.AddRow(row));
    ASSERT_EQ(params.ItemCount(), 2);
    params.SetCurrent(1);
    EXPECT_EQ(params.GetScale(), 1000);
    EXPECT_EQ(params.GetParamID(), 1);

    TMemoryStream empty;
    EXPECT_FALSE(params.ReadRow(empty));
    params.SetCurrent(0);
    EXPECT_EQ(params.GetScale(), 100) << "an empty body is not a row of zeros";
}

TEST_F(DeviceParameters, ValuesFormSkipsPairsOutOfRangeWhole) {
    for (int i = 0; i < 3; ++i)
        params.AddItem();
    TMemoryStream values{2, 9, 0xE8, 0x03, 0, 0xF4, 0x01};
    EXPECT_EQ(params.ReadValues(values), 1);
    const char* expected[] = {"500", "50", "50"};
    for (int i = 0; i < 3; ++i) {
        params.SetCurrent(i);
        EXPECT_EQ(params.GetAttributes().FindValue("VALUE"), expected[i]) << i;
    }
}

TEST_F(DeviceParameters, ValuesFormStopsAtAPairCutShort) {
    for (int i = 0; i < 3; ++i)
        params.AddItem();
    TMemoryStream values{0x41, 3, 2, 0x10, 0x00, 1, 0x20};
    EXPECT_EQ(params.ReadChildValues(values), 1);
    params.SetCurrent(2);
    EXPECT_EQ(params.GetValue(), 16);
    params.SetCurrent(1);
    EXPECT_EQ(params.GetValue(), 50) << "half a pair is no value";
    params.SetCurrent(0);
    EXPECT_EQ(params.GetValue(), 50) << "missing pairs are not pairs of zeros";
}
