// Bodies with a structure of their own: the clock, the calibration byte and
// the parameter selection.
#include "Protocol.h"

#include <gtest/gtest.h>

TEST(Clock, DecodesIntoADateThatExists) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> body;
        TDeviceClock expected;
    } cases[] = {
        {"ordinary", {5, 30, 12, 11, 12, 0xEA, 0x07}, {5, 30, 12, 11, 12, 2026}},
        {"day 0 and year 0", {0, 0, 0, 0, 6, 0, 0}, {0, 0, 0, 1, 6, 2001}},
        {"fields beyond range", {60, 99, 24, 40, 13, 0xEA, 0x07}, {59, 59, 23, 31, 12, 2026}},
        {"31 April", {0, 0, 0, 31, 4, 0xEA, 0x07}, {0, 0, 0, 30, 4, 2026}},
        {"29 February, common year", {0, 0, 0, 29, 2, 0xEA, 0x07}, {0, 0, 0, 28, 2, 2026}},
        {"29 February, leap year", {0, 0, 0, 29, 2, 0xE8, 0x07}, {0, 0, 0, 29, 2, 2024}},
        {"29 February 2100", {0, 0, 0, 29, 2, 0x34, 0x08}, {0, 0, 0, 28, 2, 2100}},
        {"cut short", {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5, 2001}},
        {"empty", {}, {0, 0, 0, 1, 1, 2001}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecodeClock(c.body.data(), c.body.size()), c.expected);
    }
}

TEST(Clock, EncodesTheSevenByteForm) {
    EXPECT_EQ(EncodeClock({5, 30, 12, 11, 12, 2026}),
              (std::vector<std::uint8_t>{5, 30, 12, 11, 12, 0xEA, 0x07}));
}

TEST(Calibration, SignInBitFiveBothWays) {
    const struct {
        int value;
        std::uint8_t byte;
    } cases[] = {{-31, 0x3F}, {31, 0x1F}, {-5, 0x25}, {5, 0x05}, {0, 0x00}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(EncodeCalibration(c.value), c.byte);
        EXPECT_EQ(DecodeCalibration(c.byte), c.value);
    }
    EXPECT_EQ(EncodeCalibration(-40), 0x3F);
    EXPECT_EQ(EncodeCalibration(40), 0x1F);
    EXPECT_EQ(DecodeCalibration(0xC5), 5); // bits 6 and 7 carry nothing
}

TEST(ParameterSelection, AllAsFFSomeAsCountAndIndexesNoneAsNothing) {
    using Body = std::vector<std::uint8_t>;
    std::vector<std::uint8_t> all(12);
    for (std::uint8_t i = 0; i < 12; ++i)
        all[i] = i;
    EXPECT_EQ(ParameterSelection(all, 12), Body{0xFF});
    EXPECT_EQ(ParameterSelection({5, 0}, 12), (Body{0x02, 0x00, 0x05}));
    EXPECT_EQ(ParameterSelection({5, 5, 0}, 12), (Body{0x02, 0x00, 0x05}));
    EXPECT_EQ(ParameterSelection({3, 20}, 12), (Body{0x01, 0x03}));
    EXPECT_FALSE(ParameterSelection({}, 12).has_value());
    EXPECT_FALSE(ParameterSelection({0}, 0).has_value());
}
