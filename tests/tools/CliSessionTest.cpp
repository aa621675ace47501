// A session of the command-line client against the simulated reference
// site on the in-process virtual line, with the real link thread: when
// discovery counts as done, a reading, and the ends that are not success.
#include "CliSession.h"

#include "ReferenceSite.h"
#include "SiteJson.h"
#include "VirtualSerial.h"
#include "VirtualSite.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

using namespace std::chrono_literals;
using TOutcome = TCliSession::TOutcome;

class CliSession : public ::testing::Test {
protected:
    ~CliSession() override {
        session.reset();
        site.reset();
    }
    void Attach(const std::string& faults = {}) {
        site =
            std::make_unique<sim::TVirtualSite>(provider.Line("COM1").FarEnd(), sim::TLineKind::Bus,
                                                sim::ParseSite(sim::kReferenceSite, "reference"),
                                                sim::TLineOptions{}, sim::ParseFaultSpec(faults));
    }

    TVirtualSerialProvider provider;
    std::unique_ptr<sim::TVirtualSite> site;
    TObjectsList devices;
    std::ostringstream log;
    std::unique_ptr<TCliSession> session =
        std::make_unique<TCliSession>(provider, "COM1", devices, log, std::nullopt, false);
};

TEST_F(CliSession, DiscoveryEndsWithTheWholeTreeThenAReadingArrives) {
    Attach();
    ASSERT_TRUE(session->Open());
    ASSERT_EQ(session->WaitDiscovery(60s), TOutcome::Complete);
    ASSERT_EQ(devices.Count(), 7) << "four on the bus, three behind the hub";
    for (int i = 0; i < devices.Count(); ++i)
        EXPECT_TRUE(devices.GetDevice(i)->IsComplete()) << i;
    EXPECT_GT(session->DiscoveryTime().count(), 0);

    // The exciter behind the hub answers in the child form, from the hub.
    TLANObject* exciter = devices.FindByAddress(0x13);
    ASSERT_NE(exciter, nullptr);
    TParameters& p = exciter->Parameters();
    for (int i = 0; i < p.ItemCount(); ++i) {
        p.SetCurrent(i);
        p.SetValue(0);
    }
    ASSERT_TRUE(session->ReadParameters(*exciter, 30s));
    int read = 0;
    for (int i = 0; i < p.ItemCount(); ++i) {
        p.SetCurrent(i);
        read += p.GetValue() != 0;
    }
    EXPECT_GT(read, p.ItemCount() / 2) << "the reply's values are in the tree";

    site->Stop();
    EXPECT_FALSE(session->ReadParameters(*exciter, 1s)) << "no site, no reading";
    session->Close();
    EXPECT_EQ(log.str(), "") << "nothing for the operator";
}

TEST_F(CliSession, SilentDevicesEndTheWaitAtTheTimeOut) {
    Attach("silent=2,silent=3,silent=4,silent=5");
    ASSERT_TRUE(session->Open());
    EXPECT_EQ(session->WaitDiscovery(1500ms), TOutcome::TimedOut);
    EXPECT_EQ(devices.Count(), 0);
}

TEST_F(CliSession, ALineHeldElsewhereDoesNotComeUp) {
    provider.Line("COM1");
    auto other = provider.Open("COM1");
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(session->Open());
    EXPECT_EQ(session->WaitDiscovery(1s), TOutcome::Lost) << "the controller reports it lost";
}

} // namespace
