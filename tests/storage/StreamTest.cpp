#include "Stream.h"

#include <gtest/gtest.h>

TEST(StreamHelpers, ReadersNeverPassTheEnd) {
    TMemoryStream one{0x34};
    EXPECT_EQ(ReadWordOrZero(one), 0);
    EXPECT_EQ(one.Position(), 0u) << "a word with one byte left leaves that byte unread";
    EXPECT_EQ(ReadByteOrZero(one), 0x34);
    EXPECT_EQ(ReadByteOrZero(one), 0);

    TMemoryStream cut{10, 'a', 'b', 'c', 'd'};
    EXPECT_EQ(ReadShortString(cut), "abcd");
    EXPECT_EQ(cut.Remaining(), 0u);

    TMemoryStream word{0x34, 0x12};
    EXPECT_EQ(ReadWordOrZero(word), 0x1234);
}

TEST(StreamHelpers, WritersAndHex) {
    TMemoryStream s;
    WriteByteValue(s, 0xFE);
    WriteWordValue(s, 0x0100);
    WriteShortString(s, "AB");
    EXPECT_EQ(StreamToHex(s), "FE0001024142");

    WriteShortString(s, std::string(300, 'x'));
    EXPECT_EQ(s.Size(), 6u + 1 + 255) << "long texts are cut so the length byte stays true";

    TMemoryStream h;
    HexToStream("FE0001000103159bFF", h);
    EXPECT_EQ(StreamToHex(h), "FE0001000103159BFF");
    EXPECT_EQ(HexPairToInt("031800", 2), 0x18);
    EXPECT_THROW(HexToStream("0G", h), EConvertError);
    EXPECT_THROW(HexPairToInt("0", 0), EConvertError);
}

TEST(StreamHelpers, EmptyAndZeroLengthTextsAndHexLeftovers) {
    TMemoryStream empty;
    EXPECT_EQ(ReadShortString(empty), "");
    TMemoryStream zero{0, 'a'};
    EXPECT_EQ(ReadShortString(zero), "");
    EXPECT_EQ(zero.Remaining(), 1u) << "a zero length reads only the length byte";

    TMemoryStream h{1, 2, 3};
    HexToStream("FE0", h);
    EXPECT_EQ(StreamToHex(h), "FE") << "a trailing odd digit is ignored";
    EXPECT_THROW(HexToStream("FEZZ", h), EConvertError);
    EXPECT_EQ(h.Size(), 0u) << "left empty, not half converted";
}
