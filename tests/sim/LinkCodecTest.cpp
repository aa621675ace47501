// The two codecs of one wire: what the site sends is what the program's
// receiver accepts, and what the program builds is what the site reads.
#include "FrameReceiver.h"
#include "MessagesList.h"
#include "SimHarness.h"

#include <gtest/gtest.h>

using namespace simtest;

TEST(SimAndLinkCodecs, TheProgramsReceiverAcceptsEveryFrameOfADiscovery) {
    THarness h(THarness::Reference());
    for (std::uint8_t a : {2, 3, 4, 5})
        h.Write(Request(a, sim::opGetDefinition, {}, a));
    h.Write(EndOfTurn());
    h.Run(100);
    const Bytes wire = h.line.written;
    const auto frames = h.Frames();
    ASSERT_GT(frames.size(), 150u);

    TFrameReceiver receiver;
    std::size_t n = 0;
    for (std::uint8_t b : wire) {
        auto r = receiver.Feed(b);
        if (!r) continue;
        ASSERT_TRUE(r->good) << "frame " << n;
        ASSERT_LT(n, frames.size());
        const auto& f = frames[n++];
        EXPECT_EQ(r->frame.Data(), sim::BuildFrame(f.dest, f.src, f.seq, f.opcode, f.body));
    }
    EXPECT_EQ(n, frames.size());
}

TEST(SimAndLinkCodecs, TheSiteReadsWhatTheProgramBuilds) {
    TMessagesList queue;
    TMemoryStream body{0xFF};
    queue.AddFrame(0, 1, nullptr, sim::opPoll);
    queue.AddFrame(0x23, 1, &body, sim::opGetParameterValues);
    sim::TFrameCollector collector;
    for (int i = 0; i < static_cast<int>(queue.Count()); ++i) {
        queue.SetCurrent(i);
        TMemoryStream frame;
        queue.CopyCurrent(frame);
        EscapeFrame(frame);
        const auto raw = collector.Feed(frame.Data().data(), frame.Size());
        ASSERT_EQ(raw.size(), 1u);
        const auto f = sim::DecodeFrame(raw[0]);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->seq, i + 1);
    }
    TMemoryStream turn;
    BuildTurnFrame(turn, sim::opEndOfTurn);
    EXPECT_EQ(turn.Data(), sim::BuildFrame(0, 1, 0, sim::opEndOfTurn, {}));
}
