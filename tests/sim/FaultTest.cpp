// Each fault kind does what it says.
#include "SimError.h"
#include "SimHarness.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

const Bytes kFrame =
    sim::EscapeFrame(sim::BuildFrame(1, 2, 7, sim::opState, {0x80, 0x11, 0x22, 0x33}));

sim::TLineFaults Only(double sim::TLineFaults::*field, double p) {
    sim::TLineFaults f;
    f.*field = p;
    return f;
}

std::vector<int> Presents(THarness& h) {
    h.Write(Request(0, sim::opPoll, {}, static_cast<std::uint8_t>(h.now.count() / 100 + 1)));
    h.Write(EndOfTurn());
    h.Run(100);
    std::vector<int> src;
    for (const auto& f : h.Frames())
        if (f.opcode == sim::opPresent) src.push_back(f.src);
    return src;
}

} // namespace

TEST(SimFaults, TheSpecificationIsReadOrRefusedByItem) {
    const auto s =
        sim::ParseFaultSpec("ber=1e-4,lost=0.01,insert=0.5,gap=0.1:120,garbage=1,silent=0x23@30,"
                            "answers=3:9,dropcarrier=60,seed=42");
    EXPECT_DOUBLE_EQ(s.line.bitErrorRate, 1e-4);
    EXPECT_DOUBLE_EQ(s.line.lostByteRate, 0.01);
    EXPECT_DOUBLE_EQ(s.line.insertedByteRate, 0.5);
    EXPECT_DOUBLE_EQ(s.line.gapRate, 0.1);
    EXPECT_EQ(s.line.gapMs, 120);
    EXPECT_DOUBLE_EQ(s.line.garbageRate, 1);
    EXPECT_EQ(s.devices.silentFrom.at(0x23), Millis(30000));
    EXPECT_EQ(s.devices.answersAs.at(3), 9);
    EXPECT_EQ(s.line.dropCarrierAfterS, 60);
    EXPECT_EQ(s.line.seed, 42u);
    EXPECT_TRUE(sim::ParseFaultSpec("").devices.silentFrom.empty());

    const std::pair<const char*, const char*> bad[] = {
        {"ber", "faults: item 1 \"ber\": expected KEY=VALUE"},
        {"lost=2", "faults: item 1 \"lost=2\": not a probability between 0 and 1"},
        {"ber=0,gap=0.5:0", "faults: item 2 \"gap=0.5:0\": gap length must be 1..60000 ms"},
        {"silent=300", "faults: item 1 \"silent=300\": \"300\" is not a bus address 0..255"},
        {"answers=3", "faults: item 1 \"answers=3\": expected ADDRESS:AS"},
        {"noise=1", "faults: item 1 \"noise=1\": unknown fault \"noise\""},
        {"ber=nan", "faults: item 1 \"ber=nan\": not a probability between 0 and 1"},
    };
    for (const auto& [text, message] : bad) {
        try {
            sim::ParseFaultSpec(text);
            ADD_FAILURE() << text;
        } catch (const sim::ESimError& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
}

TEST(SimFaults, ByteFaultsChangeTheBytesAsTheySay) {
    {
        sim::TFaultInjector f(Only(&sim::TLineFaults::bitErrorRate, 1));
        const auto out = f.Apply(kFrame);
        ASSERT_EQ(out.size(), 1u);
        ASSERT_EQ(out[0].bytes.size(), kFrame.size());
        for (std::size_t i = 0; i < kFrame.size(); ++i)
            EXPECT_EQ(out[0].bytes[i], kFrame[i] ^ 0xFF);
    }
    {
        sim::TFaultInjector f(Only(&sim::TLineFaults::lostByteRate, 1));
        EXPECT_TRUE(f.Apply(kFrame)[0].bytes.empty());
    }
    {
        sim::TFaultInjector f(Only(&sim::TLineFaults::insertedByteRate, 1));
        const auto out = f.Apply(kFrame)[0].bytes;
        ASSERT_EQ(out.size(), 2 * kFrame.size());
        for (std::size_t i = 0; i < kFrame.size(); ++i)
            EXPECT_EQ(out[2 * i], kFrame[i]);
    }
    {
        sim::TFaultInjector f(Only(&sim::TLineFaults::garbageRate, 1));
        const auto out = f.Apply(kFrame);
        ASSERT_EQ(out.size(), 2u);
        EXPECT_GE(out[0].bytes.size(), 1u);
        EXPECT_LE(out[0].bytes.size(), 8u);
        for (auto b : out[0].bytes)
            EXPECT_LT(b, 0xFE) << "noise never looks like a frame boundary";
        EXPECT_EQ(out[1].bytes, kFrame);
    }
    {
        sim::TLineFaults g = Only(&sim::TLineFaults::gapRate, 1);
        g.gapMs = 80;
        sim::TFaultInjector f(g);
        const auto out = f.Apply(kFrame);
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(out[1].delay, Millis(80));
        Bytes joined = out[0].bytes;
        joined.insert(joined.end(), out[1].bytes.begin(), out[1].bytes.end());
        EXPECT_EQ(joined, kFrame);
    }
}

TEST(SimFaults, ALateByteHoldsBackTheRestOfTheLine) {
    sim::TFaultSpec spec;
    spec.line.gapRate = 1;
    spec.line.gapMs = 80;
    THarness h(THarness::Reference(), sim::TLineKind::Bus, {}, spec);
    h.Write(Request(2, sim::opGetState));
    h.Write(EndOfTurn());
    h.Run(11);
    const auto first = h.line.written;
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first.back(), 0xFF) << "the state frame is cut inside";
    h.Run(75);
    EXPECT_EQ(h.line.written.size(), first.size()) << "nothing until the gap has passed";
    h.Run(10);
    const auto f = h.Frames();
    ASSERT_EQ(f.size(), 2u) << "state and end of turn, whole once joined";
    EXPECT_EQ(f[0].opcode, sim::opState);
}

TEST(SimFaults, BitErrorsOnTheLineBreakFramesTheProgramMustRefuse) {
    sim::TFaultSpec spec;
    spec.line.bitErrorRate = 0.002;
    spec.line.seed = 5;
    THarness h(THarness::Reference(), sim::TLineKind::Bus, {}, spec);
    std::size_t good = 0;
    for (int i = 0; i < 50; ++i)
        good += Presents(h).size();
    EXPECT_GT(h.badFrames, 0);
    EXPECT_GT(good, 100u);
}

TEST(SimFaults, ASilentDeviceStopsAnsweringFromItsTime) {
    auto spec = sim::ParseFaultSpec("silent=3@5");
    THarness h(THarness::Reference(), sim::TLineKind::Bus, {}, spec);
    EXPECT_EQ(Presents(h), (std::vector<int>{2, 3, 4, 5}));
    h.Run(5000);
    EXPECT_EQ(Presents(h), (std::vector<int>{2, 4, 5}));
    h.Write(Request(3, sim::opGetState));
    h.Write(EndOfTurn());
    h.Run(100);
    EXPECT_EQ(h.Frames().size(), 1u) << "only the site's end of turn";
}

TEST(SimFaults, ADeviceCanAnswerForAnotherAddress) {
    THarness h(THarness::Reference(), sim::TLineKind::Bus, {}, sim::ParseFaultSpec("answers=3:9"));
    EXPECT_EQ(Presents(h), (std::vector<int>{2, 9, 4, 5}));
}

TEST(SimFaults, TheFarModemDropsTheCarrierWhenTold) {
    auto s = THarness::Reference();
    s.modem.connectDelayMs = 100;
    THarness h(std::move(s), sim::TLineKind::Hayes, {}, sim::ParseFaultSpec("dropcarrier=2"));
    h.Write(std::string("ATDT1\r"));
    h.Run(200);
    EXPECT_NE(h.line.lines & sim::kLineDcd, 0);
    h.Text();
    h.Run(2000);
    EXPECT_EQ(h.Text(), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(h.line.lines & sim::kLineDcd, 0);
}
