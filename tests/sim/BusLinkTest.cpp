// The program's own bus link thread against the site on the virtual line: a
// discovery driven as the session controller drives it (poll, a definition
// request for every device that announces itself, a poll again when the
// tables are in) completes without a single bad frame.
#include "EventPump.h"
#include "LANReader.h"
#include "SimHarness.h"
#include "VirtualSite.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace simtest;
using namespace std::chrono_literals;

namespace {

// A controller reduced to discovery: it asks every new device for its
// definition and counts what arrives.
class TDiscovery : public ILinkController {
public:
    TDiscovery(TMessagesList& in, TMessagesList& out) : in_(in), out_(out) {}
    void DispatchReceived() override {
        std::vector<Bytes> frames;
        {
            TBusyHold hold(in_, [] {
                Delay(1);
                return true;
            });
            for (std::size_t i = 0; i < in_.Count(); ++i) {
                in_.SetCurrent(static_cast<int>(i));
                TMemoryStream f;
                in_.CopyCurrent(f);
                frames.push_back(f.Data());
            }
            in_.FreeAll();
        }
        for (const Bytes& f : frames) {
            const std::uint8_t src = f[2], opcode = f[5];
            ++count[{src, opcode}];
            if (opcode == sim::opPresent && asked.insert(src).second)
                Queue(src, sim::opGetDefinition);
            if (opcode == sim::opHubState) Queue(0, sim::opPoll);
        }
    }
    void Queue(std::uint8_t dest, std::uint8_t opcode) {
        TBusyHold hold(out_, [] {
            Delay(1);
            return true;
        });
        out_.AddFrame(dest, sim::kProgramAddress, nullptr, opcode);
        if (reader) reader->FrameQueued();
    }
    int Of(std::uint8_t src, std::uint8_t opcode) const {
        const auto it = count.find({src, opcode});
        return it == count.end() ? 0 : it->second;
    }

    std::map<std::pair<int, int>, int> count;
    std::set<int> asked;
    TLANReader* reader = nullptr;

private:
    TMessagesList& in_;
    TMessagesList& out_;
};

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    const auto end = TSteadyClock::now() + limit;
    while (!done()) {
        if (TSteadyClock::now() >= end) return false;
        Delay(5);
    }
    return true;
}

} // namespace

TEST(SimBusLink, TheProgramsBusLinkDiscoversTheReferenceSite) {
    TVirtualSerialProvider provider;
    TVirtualNullModem& line = provider.Line("COM1");
    sim::TVirtualSite site(line.FarEnd(), sim::TLineKind::Bus, THarness::Reference());
    TPortMonitor monitor{nullptr};
    TCommPort port("COM1", provider, &monitor, {1, 1, 1, 1});
    ASSERT_TRUE(port.Open());
    TMessagesList out, in;
    TDiscovery discovery(in, out);
    TLANReader reader(discovery, out, in, port);
    discovery.reader = &reader;
    reader.start();
    ASSERT_TRUE(RunUntil([&] { return reader.TurnActive(); }));

    discovery.Queue(0, sim::opPoll);
    // The hub's state is the last frame of its tables; the poll that follows
    // it is answered by the four devices once more.
    const bool done = RunUntil([&] { return discovery.Of(2, sim::opPresent) >= 2; });
    reader.Terminate();
    EXPECT_TRUE(reader.WaitFinished());
    ASSERT_TRUE(done);

    EXPECT_EQ(discovery.asked, (std::set<int>{2, 3, 4, 5}));
    EXPECT_EQ(discovery.Of(2, sim::opParameterRow), 13);
    EXPECT_EQ(discovery.Of(3, sim::opCommandRow), 4);
    EXPECT_EQ(discovery.Of(5, sim::opChildDefinition), 3);
    EXPECT_EQ(discovery.Of(5, sim::opChildParameterRow), 18 + 18 + 13);
    EXPECT_EQ(discovery.Of(5, sim::opHubState), 1);
    EXPECT_EQ(discovery.Of(2, sim::opEndOfTurn), 0)
        << "the link thread keeps end-of-turn frames to itself";
    EXPECT_EQ(monitor.Errors(), 0u);
}
