// The site at the far end of the in-process virtual line, as the program's
// serial port sees it.
#include "VirtualSite.h"

#include "SimHarness.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

// Reads until `n` checked frames have arrived or ten seconds have passed
// (generous: a loaded machine).
std::vector<sim::TFrame> ReadFrames(ISerialDevice& port, std::size_t n) {
    Bytes got;
    std::vector<sim::TFrame> frames;
    const auto end = TSteadyClock::now() + std::chrono::seconds(10);
    port.SetReadTimeout(std::chrono::milliseconds(50));
    while (frames.size() < n && TSteadyClock::now() < end) {
        std::uint8_t buf[256];
        const long k = port.Read(buf, sizeof buf);
        if (k <= 0) continue;
        got.insert(got.end(), buf, buf + k);
        frames.clear();
        sim::TFrameCollector c;
        for (const auto& raw : c.Feed(got.data(), got.size()))
            if (auto f = sim::DecodeFrame(raw)) frames.push_back(*f);
    }
    return frames;
}

bool WaitStatus(ISerialDevice& port, std::uint8_t want) {
    const auto end = TSteadyClock::now() + std::chrono::seconds(10);
    while (TSteadyClock::now() < end) {
        if (port.ModemStatus() == want) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

} // namespace

TEST(SimVirtualLine, TheBusSiteAnswersThroughTheVirtualPort) {
    TVirtualNullModem line;
    auto port = line.OpenProgramEnd();
    ASSERT_TRUE(port);
    sim::TVirtualSite site(line.FarEnd(), sim::TLineKind::Bus, THarness::Reference());
    EXPECT_EQ(port->ModemStatus(), 0) << "a bus holds no modem lines";
    Bytes out = Request(0, sim::opPoll);
    const Bytes eot = EndOfTurn();
    out.insert(out.end(), eot.begin(), eot.end());
    ASSERT_TRUE(port->WriteAll(out.data(), out.size()));
    const auto f = ReadFrames(*port, 5);
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0].opcode, sim::opPresent);
    EXPECT_EQ(f[4].opcode, sim::opEndOfTurn);
}

TEST(SimVirtualLine, TheModemLinesFollowTheCallAndDtr) {
    TVirtualNullModem line;
    auto port = line.OpenProgramEnd();
    ASSERT_TRUE(port);
    auto config = THarness::Reference();
    config.modem.connectDelayMs = 100;
    sim::TVirtualSite site(line.FarEnd(), sim::TLineKind::Gsm, std::move(config));
    port->SetRts(true);
    port->SetDtr(true);
    EXPECT_TRUE(WaitStatus(*port, kStatusCts | kStatusDsr));
    const std::string dial = "ATDT5\r";
    ASSERT_TRUE(port->WriteAll(reinterpret_cast<const std::uint8_t*>(dial.data()), dial.size()));
    EXPECT_TRUE(WaitStatus(*port, kStatusCts | kStatusDsr | kStatusDcd));
    port->SetDtr(false);
    EXPECT_TRUE(WaitStatus(*port, kStatusCts | kStatusDsr)) << "DTR dropped: the modem hangs up";
}

TEST(SimVirtualLine, ADirectCableHoldsCtsDsrAndDcd) {
    TVirtualNullModem line;
    auto port = line.OpenProgramEnd();
    sim::TVirtualSite site(line.FarEnd(), sim::TLineKind::Rs232, THarness::Reference());
    EXPECT_TRUE(WaitStatus(*port, kStatusCts | kStatusDsr | kStatusDcd));
}
