// The site on a bus: the worked frames, the turn rules and the order in
// which a discovery's tables come back.
#include "SimHarness.h"

#include <gtest/gtest.h>
#include <map>
#include <tuple>

using namespace simtest;

namespace {

Bytes Hex(const std::string& h) {
    TMemoryStream s;
    HexToStream(h, s);
    return s.Data();
}

std::size_t WireSize(const sim::TFrame& f) {
    return sim::EscapeFrame(sim::BuildFrame(f.dest, f.src, f.seq, f.opcode, f.body)).size();
}

// Every table arrives in index order: for each source and opcode the index
// byte (after the child address in a child form) counts 0, 1, 2 ...
void ExpectIndexOrder(const std::vector<sim::TFrame>& frames) {
    static const std::map<int, int> kIndexAt = {{19, 0}, {25, 0}, {32, 0}, {38, 0},
                                                {20, 1}, {26, 1}, {33, 1}, {39, 1}};
    std::map<std::tuple<int, int, int>, int> next;
    for (const auto& f : frames) {
        const auto it = kIndexAt.find(f.opcode);
        if (it == kIndexAt.end()) continue;
        const int who = it->second ? f.body[0] : f.src;
        const int index = f.body[static_cast<std::size_t>(it->second)];
        int& expected = next[std::make_tuple(int(f.src), who, int(f.opcode))];
        EXPECT_EQ(index, expected) << "opcode " << int(f.opcode) << " from " << who;
        ++expected;
    }
}

} // namespace

TEST(SimCodec, BuildsTheWorkedFrames) {
    EXPECT_EQ(sim::FrameCrc(reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0xD64E);
    EXPECT_EQ(sim::BuildFrame(0, 1, 1, sim::opPoll, {}), Hex("FE0001010104C2DCFF"));
    EXPECT_EQ(sim::BuildFrame(0, 1, 0, sim::opEndOfTurn, {}), Hex("FE0001000103159BFF"));
    EXPECT_EQ(sim::BuildFrame(3, 1, 2, sim::opGetDefinition, {}), Hex("FE0301020106024BFF"));
    const Bytes values = sim::BuildFrame(0x23, 1, 3, sim::opGetParameterValues, {0xFF});
    EXPECT_EQ(values, Hex("FE230103021BFF9394FF"));
    EXPECT_EQ(sim::EscapeFrame(values), Hex("FE230103021BFD029394FF"));
    EXPECT_EQ(sim::UnescapeFrame(sim::EscapeFrame(values)), values);
}

TEST(SimBus, SpeaksOnlyAfterTheProgramsEndOfTurnAndReturnsTheTurn) {
    sim::TLineOptions opt;
    opt.latency = Millis(15);
    THarness h(THarness::Reference(), sim::TLineKind::Bus, opt);
    h.Write(Request(0, sim::opPoll));
    h.Run(2000);
    EXPECT_TRUE(h.Frames().empty()) << "a poll without the end of the turn is not answered";

    h.Write(EndOfTurn());
    h.Run(14);
    EXPECT_TRUE(h.Frames().empty()) << "the reply latency is kept";
    h.Run(1);
    const auto f = h.Frames();
    ASSERT_EQ(f.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(f[i].opcode, sim::opPresent);
        EXPECT_EQ(f[i].dest, 1);
        EXPECT_EQ(f[i].src, std::vector<int>({2, 3, 4, 5})[i]);
    }
    EXPECT_EQ(f[4].opcode, sim::opEndOfTurn);
    EXPECT_EQ(f[4].seq, 0);

    h.Write(EndOfTurn());
    h.Run(100);
    const auto again = h.Frames();
    ASSERT_EQ(again.size(), 1u) << "with nothing to say the site only returns the turn";
    EXPECT_EQ(again[0].opcode, sim::opEndOfTurn);
}

TEST(SimBus, DiscoveryBringsEachDeviceAndTheHubsChildrenInIndexOrder) {
    THarness h(THarness::Reference());
    for (std::uint8_t a : {2, 3, 4, 5})
        h.Write(Request(a, sim::opGetDefinition, {}, a));
    h.Write(EndOfTurn());
    h.Run(100);
    const auto f = h.Frames();
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f.back().opcode, sim::opEndOfTurn);
    ExpectIndexOrder(f);
    EXPECT_EQ(h.badFrames, 0);

    // The definition of the server announces what follows.
    ASSERT_EQ(f[0].opcode, sim::opDefinition);
    ASSERT_EQ(f[0].src, 2);
    const auto& def = f[0].body;
    ASSERT_GE(def.size(), 16u);
    EXPECT_EQ(def[2], 1) << "DEVID server";
    std::map<int, int> count;
    for (const auto& x : f)
        count[x.opcode * 256 + x.src]++;
    EXPECT_EQ(count[sim::opAttributeRow * 256 + 2], def[5]);
    EXPECT_EQ(count[sim::opParameterRow * 256 + 2], def[6]);
    EXPECT_EQ(count[sim::opControlRow * 256 + 2], def[7]);
    EXPECT_EQ(count[sim::opCommandRow * 256 + 2], def[8]);
    EXPECT_EQ(std::string(def.begin() + 16, def.end()), "SRV 3.12");

    // The hub: its own definition with the children of channel 1, their
    // definitions in the child form, and its state with channels 1..3.
    std::vector<int> childDefs;
    const sim::TFrame* hubDef = nullptr;
    const sim::TFrame* hubState = nullptr;
    for (const auto& x : f) {
        if (x.src == 5 && x.opcode == sim::opDefinition) hubDef = &x;
        if (x.src == 5 && x.opcode == sim::opChildDefinition) childDefs.push_back(x.body[0]);
        if (x.src == 5 && x.opcode == sim::opHubState) hubState = &x;
    }
    ASSERT_NE(hubDef, nullptr);
    EXPECT_EQ(hubDef->body[9], 3) << "ChildDevCount: the devices of the selected channel";
    EXPECT_EQ(childDefs, (std::vector<int>{0x13, 0x15, 0x14}));
    ASSERT_NE(hubState, nullptr);
    EXPECT_EQ(hubState->body[0] & 0xF0, 0x70);
    EXPECT_GT(count[sim::opChildParameterRow * 256 + 5], 40);
}

TEST(SimBus, ATurnBudgetSpreadsTheTablesOverTurnsWithoutLosingAny) {
    THarness whole(THarness::Reference());
    whole.Write(Request(3, sim::opGetDefinition));
    whole.Write(EndOfTurn());
    whole.Run(100);
    auto expected = whole.Frames();
    expected.pop_back(); // its end-of-turn

    sim::TLineOptions opt;
    opt.turnBytes = 120;
    THarness h(THarness::Reference(), sim::TLineKind::Bus, opt);
    h.Write(Request(3, sim::opGetDefinition));
    std::vector<sim::TFrame> got;
    for (int turn = 0; turn < 100 && got.size() < expected.size(); ++turn) {
        h.Write(EndOfTurn());
        h.Run(50);
        auto f = h.Frames();
        ASSERT_FALSE(f.empty());
        ASSERT_EQ(f.back().opcode, sim::opEndOfTurn) << "every turn is returned";
        f.pop_back();
        std::size_t bytes = 0;
        for (const auto& x : f)
            bytes += WireSize(x);
        EXPECT_LE(bytes, 120u);
        got.insert(got.end(), f.begin(), f.end());
        h.Run(1000);
        EXPECT_TRUE(h.Frames().empty()) << "nothing is sent out of turn";
    }
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].opcode, expected[i].opcode);
        EXPECT_EQ(got[i].body, expected[i].body);
    }
}

TEST(SimBus, APollDuringTheTablesIsAnsweredOnlyByDevicesWithNothingPending) {
    sim::TLineOptions opt;
    opt.turnBytes = 60;
    THarness h(THarness::Reference(), sim::TLineKind::Bus, opt);
    h.Write(Request(2, sim::opGetDefinition));
    h.Write(EndOfTurn());
    h.Run(50);
    h.Frames();
    h.Write(Request(0, sim::opPoll, {}, 2));
    h.Write(EndOfTurn());
    h.Run(50);
    for (int turn = 0; turn < 50; ++turn) {
        for (const auto& f : h.Frames())
            if (f.opcode == sim::opPresent) {
                EXPECT_NE(f.src, 2) << "device 2 is still reporting its tables";
            }
        h.Write(EndOfTurn());
        h.Run(50);
    }
}

TEST(SimBus, ASelectedHubChannelIsReportedAtTheNextPoll) {
    THarness h(THarness::Reference());
    h.Write(Request(5, sim::opSelectHub, {2}));
    h.Write(EndOfTurn());
    h.Run(100);
    auto f = h.Frames();
    ASSERT_EQ(f.size(), 1u) << "the switch itself is not answered";

    h.Write(Request(0, sim::opPoll, {}, 2));
    h.Write(EndOfTurn());
    h.Run(100);
    f = h.Frames();
    std::vector<int> children;
    int childDevCount = -1;
    for (const auto& x : f) {
        if (x.src == 5 && x.opcode == sim::opDefinition) childDevCount = x.body[9];
        if (x.opcode == sim::opChildDefinition) children.push_back(x.body[0]);
    }
    EXPECT_EQ(childDevCount, 3);
    EXPECT_EQ(children, (std::vector<int>{0x23, 0x24, 0x25}));
    // Channel 1 is no longer reachable, channel 2 is.
    h.Write(Request(0x13, sim::opGetState));
    h.Write(Request(0x24, sim::opGetState, {}, 2));
    h.Write(EndOfTurn());
    h.Run(100);
    f = h.Frames();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].opcode, sim::opChildState);
    EXPECT_EQ(f[0].body[0], 0x24);
}
