// The site served on its own thread with the real clock, as it sits at the
// far end of an in-process line.
#include "SimHarness.h"
#include "SimThread.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

using namespace simtest;

namespace {

class TLockedLine : public sim::ISimLine {
public:
    void Write(const Bytes& b) override {
        std::lock_guard lock(mutex_);
        written_.insert(written_.end(), b.begin(), b.end());
        changed_.notify_all();
    }
    void SetModemLines(std::uint8_t s) override {
        std::lock_guard lock(mutex_);
        lines_ = s;
        changed_.notify_all();
    }
    // Waits (generously: a loaded machine) until `n` checked frames are there.
    std::vector<sim::TFrame> WaitFrames(std::size_t n) {
        std::unique_lock lock(mutex_);
        std::vector<sim::TFrame> frames;
        changed_.wait_for(lock, std::chrono::seconds(10), [&] {
            frames.clear();
            sim::TFrameCollector c;
            for (const auto& raw : c.Feed(written_.data(), written_.size()))
                if (auto f = sim::DecodeFrame(raw)) frames.push_back(*f);
            return frames.size() >= n;
        });
        return frames;
    }
    bool WaitLines(std::uint8_t want) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return lines_ == want; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    Bytes written_;
    std::uint8_t lines_ = 0;
};

} // namespace

TEST(SimThread, ServesTheBusWithTheRealClock) {
    sim::TSite site(THarness::Reference());
    TLockedLine line;
    auto front = sim::MakeFront(sim::TLineKind::Bus, site, line, {}, {});
    sim::TSimThread thread(*front);
    const Bytes poll = Request(0, sim::opPoll);
    const Bytes eot = EndOfTurn();
    thread.Deliver(poll.data(), poll.size());
    thread.Deliver(eot.data(), eot.size());
    const auto f = line.WaitFrames(5);
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0].opcode, sim::opPresent);
    EXPECT_EQ(f[4].opcode, sim::opEndOfTurn);
}

TEST(SimThread, ProgramLinesReachTheModem) {
    auto config = THarness::Reference();
    config.modem.connectDelayMs = 50;
    sim::TSite site(std::move(config));
    TLockedLine line;
    auto front = sim::MakeFront(sim::TLineKind::Hayes, site, line, {}, {});
    sim::TSimThread thread(*front);
    const std::string dial = "ATDT5\r";
    thread.Deliver(reinterpret_cast<const std::uint8_t*>(dial.data()), dial.size());
    EXPECT_TRUE(line.WaitLines(sim::kLineCts | sim::kLineDsr | sim::kLineDcd));
    thread.SetProgramLines(true, false);
    EXPECT_TRUE(line.WaitLines(sim::kLineCts | sim::kLineDsr)) << "DTR dropped: the modem hangs up";
}
