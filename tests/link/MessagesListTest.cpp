// Expected frames were computed with an independent bitwise CRC-16/GENIBUS.
#include "MessagesList.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

TMemoryStream Hex(const std::string& text) {
    TMemoryStream s;
    HexToStream(text, s);
    return s;
}

struct TWorkedFrame {
    std::uint8_t dest, opcode;
    Bytes body;
    const char* memory;
    const char* wire;
};

TEST(Frames, WorkedFramesInOrderOnOneQueue) {
    const TWorkedFrame frames[] = {
        {0x00, 4, {}, "FE0001010104C2DCFF", "FE0001010104C2DCFF"}, // poll, first frame
        {0x03, 6, {}, "FE0301020106024BFF", "FE0301020106024BFF"}, // get definition, second
        {0x23, 27, {0xFF}, "FE230103021BFF9394FF", "FE230103021BFD029394FF"}, // all values, third
    };
    TMessagesList q;
    int index = 0;
    for (const auto& f : frames) {
        TMemoryStream body(f.body);
        ASSERT_TRUE(
            q.AddFrame(f.dest, kProgramAddress, f.body.empty() ? nullptr : &body, f.opcode));
        q.SetCurrent(index++);
        TMemoryStream m;
        q.CopyCurrent(m);
        EXPECT_EQ(StreamToHex(m), f.memory);
        EscapeFrame(m);
        EXPECT_EQ(StreamToHex(m), f.wire);
        UnescapeFrame(m);
        EXPECT_EQ(StreamToHex(m), f.memory);
    }
    TMemoryStream eot;
    BuildTurnFrame(eot, opEndOfTurn);
    EXPECT_EQ(StreamToHex(eot), "FE0001000103159BFF");
}

TEST(Frames, SequenceRunsOneTo255AndSkipsZero) {
    TMessagesList q;
    for (int i = 1; i <= 256; ++i) {
        ASSERT_TRUE(q.AddFrame(0, 1, nullptr, 4));
        q.SetCurrent(i - 1);
        const int expected = i <= 255 ? i : 1;
        ASSERT_EQ(q.GetSequence(), expected) << "frame " << i;
    }
}

TEST(Frames, CrcCheckValueAndChecks) {
    const std::string digits = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()), 0xD64E);

    EXPECT_TRUE(CheckFrameLength(Hex("FE0001000103159BFF")));
    EXPECT_FALSE(CheckFrameLength(Hex("FE0001000103159B"))) << "8 bytes";
    EXPECT_FALSE(CheckFrameLength(Hex("FE0001000203159BFF")))
        << "Length says a body that is not there";
    EXPECT_TRUE(CheckFrameCRC(Hex("FE0001000103159BFF")));
    EXPECT_FALSE(CheckFrameCRC(Hex("FE00010001039B15FF"))) << "CRC bytes swapped";
    EXPECT_FALSE(CheckFrameCRC(Hex("FEFF"))) << "too short to hold a CRC";

    TMemoryStream f = Hex("FE0001000103000000");
    SetFrameCRC(f);
    EXPECT_EQ(StreamToHex(f), "FE0001000103159BFF");
    TMemoryStream tiny = Hex("FE00");
    SetFrameCRC(tiny);
    EXPECT_EQ(StreamToHex(tiny), "FE00") << "no room for a CRC";
}

TEST(Frames, StuffingRoundTripsForBodiesAndCrcs) {
    const std::pair<std::uint8_t, Bytes> cases[] = {
        {41, {0xFD}}, {41, {0xFE}}, {41, {0xFF}}, {41, {0xFD, 0xFE, 0xFF, 0xFD, 0x00, 0x02}},
        {4, {}},  // CRC 95 FF
        {15, {}}, // CRC FE 4E
        {21, {}}, // CRC 85 FD
    };
    for (const auto& [opcode, bytes] : cases) {
        TMessagesList q;
        TMemoryStream body(bytes);
        ASSERT_TRUE(q.AddFrame(5, 1, &body, opcode));
        q.SetCurrent(0);
        TMemoryStream frame;
        q.CopyCurrent(frame);
        TMemoryStream wire = frame;
        EscapeFrame(wire);
        for (std::size_t i = 1; i + 1 < wire.Size(); ++i)
            ASSERT_LT(wire.Data()[i], kFrameStart)
                << "FE/FF only as start and end: " << StreamToHex(wire);
        UnescapeFrame(wire);
        EXPECT_EQ(wire, frame) << StreamToHex(frame);
        EXPECT_TRUE(CheckFrameLength(wire) && CheckFrameCRC(wire));
    }
}

TEST(Frames, UnescapeOfBadPairs) {
    TMemoryStream unknown = Hex("FE0105000429FD07B732FF");
    UnescapeFrame(unknown);
    EXPECT_EQ(StreamToHex(unknown), "FE0105000429FDB732FF") << "FD x decodes to FD and x is lost";
    TMemoryStream trailing = Hex("FE0105000429B732FDFF");
    UnescapeFrame(trailing);
    EXPECT_EQ(StreamToHex(trailing), "FE0105000429B732FDFF")
        << "an FD before the end has nothing to pair with";
    TMemoryStream shortOne = Hex("FEFD01FD02FF");
    UnescapeFrame(shortOne);
    EXPECT_EQ(StreamToHex(shortOne), "FEFD01FD02FF") << "under 9 bytes: untouched";
}

TEST(MessagesList, BodyAndAccessors) {
    TMessagesList q;
    TMemoryStream body;
    EXPECT_EQ(q.GetOpcode(), 0) << "nothing chosen";
    body.Assign({1, 2, 3, 4});
    ASSERT_TRUE(q.AddFrame(0x13, 1, &body, 28));
    ASSERT_TRUE(q.AddFrame(0, 1, nullptr, 4));
    TMemoryStream got{9, 9};
    q.GetBody(got);
    EXPECT_EQ(got.Size(), 0u) << "Current is -1 after creation";
    q.SetCurrent(0);
    EXPECT_EQ(q.GetDest(), 0x13);
    EXPECT_EQ(q.GetSource(), 1);
    EXPECT_EQ(q.GetSequence(), 1);
    EXPECT_EQ(q.GetLength(), 5);
    EXPECT_EQ(q.GetOpcode(), 28);
    q.GetBody(got);
    EXPECT_EQ(got.Data(), (Bytes{1, 2, 3, 4}));
    q.SetCurrent(1);
    got.Assign({9});
    q.GetBody(got);
    EXPECT_EQ(got.Size(), 0u) << "Length 1: no body";
    q.SetCurrent(7);
    EXPECT_EQ(q.GetOpcode(), 0) << "out of range";

    // A copied frame whose Length promises more than it holds.
    ASSERT_TRUE(q.AddCopy(Hex("FE00010020")));
    q.SetCurrent(2);
    q.GetBody(got);
    EXPECT_EQ(got.Size(), 0u);

    q.DeleteMessage(42);
    EXPECT_EQ(q.Count(), 3u);
    EXPECT_EQ(q.Current(), -1);
    q.DeleteMessage(0);
    q.SetCurrent(0);
    EXPECT_EQ(q.GetOpcode(), 4) << "the rest moved up";
    q.FreeAll();
    EXPECT_EQ(q.Count(), 0u);
}

TEST(MessagesList, BodyLimitIsWhatLengthCanSay) {
    TMessagesList q;
    TMemoryStream body(Bytes(254, 0x11));
    ASSERT_TRUE(q.AddFrame(5, 1, &body, 25));
    q.SetCurrent(0);
    EXPECT_EQ(q.GetLength(), 255);
    TMemoryStream frame;
    q.CopyCurrent(frame);
    EXPECT_EQ(frame.Size(), kMaxFrameSize);
    body.Assign(Bytes(255, 0x11));
    EXPECT_FALSE(q.AddFrame(5, 1, &body, 25)) << "a Length byte of 0 would describe another frame";
    EXPECT_EQ(q.Count(), 1u);
    EXPECT_EQ(q.Sequence(), 1) << "a refused frame uses no number";
}

TEST(MessagesList, BusyIsHeldByOneThreadAtATime) {
    TMessagesList q;
    ASSERT_TRUE(q.TryTakeBusy());
    EXPECT_FALSE(q.TryTakeBusy());
    q.ReleaseBusy();

    // Two threads appending under Busy: no append is lost.
    constexpr int kEach = 5000;
    const auto worker = [&] {
        for (int i = 0; i < kEach; ++i) {
            TBusyHold hold(q, [] {
                std::this_thread::yield();
                return true;
            });
            q.AddFrame(0, 1, nullptr, 4);
        }
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    EXPECT_EQ(q.Count(), 2u * kEach);
    int giveUps = 0;
    ASSERT_TRUE(q.TryTakeBusy());
    TBusyHold refused(q, [&] { return ++giveUps < 3; });
    EXPECT_FALSE(refused.Held());
    EXPECT_EQ(giveUps, 3);
    EXPECT_TRUE(q.Busy()) << "a hold that was refused does not release";
    q.ReleaseBusy();
}

} // namespace
