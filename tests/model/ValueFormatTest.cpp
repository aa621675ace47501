// Raw numbers and their display text, and the parameter vocabularies.
#include "ValueFormat.h"

#include "Stream.h"

#include <gtest/gtest.h>

TEST(FormatValue, GivesFixedDecimalsRoundedToThePrecision) {
    const struct {
        int format;
        std::uint32_t raw;
        const char* text;
    } cases[] = {
        {48, 1234, "1234"},
        {0x30, 4294967295u, "4294967295"},
        {0x32, 1234, "12.30"},
        {0x31, 5, "0.5"},
        {0x31, 500, "50.0"},
        {0x32, 0, "0.00"},
        {0x33, 5, "0.005"},
        {0x22, 125, "1.30"}, // a half goes away from zero
        {0x22, 124, "1.20"},
        {0x42, 123456, "1235.00"},
        {0xF3, 1234, "1.234"},
        {0x3F, 1, "0.000000000000001"},
        {0x31, 4294967295u, "429496730.0"},
        // The precision never cuts into the integer part.
        {0x21, 996, "100.0"},
        {0x12, 1256, "13.00"},
        {0x11, 123, "12.0"},
        // Precision 0 is no limit.
        {0x02, 1234, "12.34"},
        {0x01, 5, "0.5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.format << " " << std::dec << c.raw);
        EXPECT_EQ(FormatValue(c.format, c.raw), c.text);
    }
}

TEST(ParseValue, ReadsDecimalTextExactlyWithHalvesToEven) {
    const struct {
        int format;
        const char* text;
        std::int64_t raw;
    } cases[] = {
        {0x30, "48", 48},
        {0x30, " -12 ", -12},
        {0x32, "12.34", 1234},
        {0x31, "0.25", 2},
        {0x31, "0.75", 8},
        {0x31, "0.35", 4},
        {0x31, "-0.25", -2},
        {0x31, "-0.35", -4},
        {0x31, "12.3", 123},
        {0x33, "0.0015", 2},
        {0x33, "0.00150001", 2},
        {0x33, "0.0005", 0},
        {0x31, "7", 70},
        {0x31, "+7.", 70},
        {0x31, ".5", 5},
        {0x32, "1e1", 1000},
        {0x32, "1.5E-1", 15},
        {0x32, "1e-9", 0},
        {0x31, "429496729.5", 4294967295},
        {0x31, "-214748364.8", -2147483648},
        {0x31, "0000000000000000012.5", 125},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.format << " " << c.text);
        EXPECT_EQ(ParseValue(c.format, c.text), c.raw);
    }
}

TEST(ParseValue, RefusesTextThatIsNotANumberOrOutOfRange) {
    const struct {
        int format;
        const char* text;
    } cases[] = {
        {0x30, ""},     {0x30, "abc"}, {0x30, "1.5"},         {0x30, "99999999999"},
        {0x31, ""},     {0x31, "1,5"}, {0x31, "1.2.3"},       {0x31, "nan"},
        {0x31, "inf"},  {0x31, "1e"},  {0x31, "1e+"},         {0x31, "."},
        {0x31, "-"},    {0x31, "5e9"}, {0x31, "429496729.6"}, {0x31, "1e999999"},
        {0x31, "12 V"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_THROW(ParseValue(c.format, c.text), EConvertError);
    }
}

TEST(ParseValue, ReadsBackWhatFormatValueShowsWhenThePrecisionHoldsAllDigits) {
    for (int d = 1; d <= 4; ++d)
        for (std::uint32_t raw : {0u, 7u, 1234u, 65535u, 999999u}) {
            const int format = 0xF0 | d;
            EXPECT_EQ(ParseValue(format, FormatValue(format, raw)), raw) << d << " " << raw;
        }
}

TEST(CalcKinds, NamesAndNumbers) {
    EXPECT_EQ(CalcFromName("Square-law Pik"), 4);
    EXPECT_EQ(CalcFromName("Temperature"), 2);
    EXPECT_EQ(CalcFromName(""), 0);
    EXPECT_EQ(CalcFromName("0"), 0);
    EXPECT_EQ(CalcFromName("linear pik"), 0);
    EXPECT_EQ(CalcName(3), "Linear Pik");
    EXPECT_EQ(CalcName(7), "Linear");
    EXPECT_EQ(CalcName(-1), "Linear");
    std::vector<std::string> list{"old"};
    FillCalcNames(&list);
    EXPECT_EQ(list, (std::vector<std::string>{"Linear", "Square-law", "Temperature", "Linear Pik",
                                              "Square-law Pik"}));
    FillCalcNames(nullptr);
}

TEST(HexText, ByteToHexAndHexToInt) {
    EXPECT_EQ(ByteToHex(0x3A), "3A");
    EXPECT_EQ(ByteToHex(0x1F5), "F5");
    EXPECT_EQ(ByteToHex(-1), "FF");
    EXPECT_EQ(HexToInt("30"), 48u);
    EXPECT_EQ(HexToInt("ffFFffFF"), 0xFFFFFFFFu);
    for (const char* bad : {"", "0x30", "3G", " 30", "100000000"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(HexToInt(bad), EConvertError);
    }
}
