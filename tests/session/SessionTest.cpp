// Whole sessions through the controller against the simulated site on the
// virtual line, with the real link threads: opening, discovery, the
// requests on the wire, a new discovery, a window handler that stops the
// session in the middle of a dispatch, and closing.
#include "MonitorHarness.h"

#include <gtest/gtest.h>
#include <set>

namespace {

using namespace monitortest;

std::vector<std::string> Starting(const std::vector<std::string>& frames, const std::string& head) {
    std::vector<std::string> out;
    for (const auto& f : frames)
        if (f.rfind(head, 0) == 0) out.push_back(f);
    return out;
}

class Session : public ::testing::Test, public TSimSession {};

TEST_F(Session, DiscoversTheReferenceSiteOnADirectLine) {
    Attach(sim::TLineKind::Bus);
    monitor->StartSession();
    ASSERT_FALSE(monitor->NotConnected);
    EXPECT_TRUE(monitor->AccessGranted);
    ASSERT_NE(monitor->BusLink(), nullptr);
    // The hub reports its state after its children's tables.
    ASSERT_TRUE(RunUntil(
        [&] { return TreeComplete(devices, kReferenceTree) && monitor->HubState.Present; }));

    // Devices in the order they answered, each hub child behind its hub.
    for (std::uint8_t a : {2, 3, 4, 5})
        ASSERT_NE(devices.FindByAddress(a), nullptr) << int(a);
    TLANObject* hub = devices.FindByAddress(5);
    ASSERT_EQ(hub->Children().Count(), 3);
    std::set<int> children;
    for (int i = 0; i < 3; ++i) {
        TLANObject* c = hub->Children().GetDevice(i);
        children.insert(c->GetLanAddress());
        EXPECT_EQ(c->GetOwnerAddress(), 5);
        EXPECT_EQ(c->Order, i);
        EXPECT_NE(devices.FindByAddress(c->GetLanAddress()), nullptr);
    }
    EXPECT_EQ(children, (std::set<int>{0x13, 0x14, 0x15}));
    EXPECT_EQ(devices.FindByAddress(2)->ParameterCount(), 13);
    EXPECT_EQ(devices.FindByAddress(3)->ControlCount(), 2);
    EXPECT_EQ(monitor->DeviceCounter, 4);
    EXPECT_TRUE(monitor->HubState.Present);
    EXPECT_EQ(monitor->HubState.ControllerAddress, 5);
    EXPECT_EQ(views.Count("Enable"), 1);

    // On the wire: the poll with sequence 1 on a fresh queue, the end of
    // the turn, then one definition request per device.
    const auto in = trace.With("in  ");
    ASSERT_GE(in.size(), 2u);
    EXPECT_EQ(in[0], "FE0001010104C2DCFF");
    EXPECT_EQ(in[1].substr(10, 2), "03") << "the end-of-turn frame follows";
    for (std::string dest : {"02", "03", "04", "05"})
        EXPECT_EQ(Starting(in, "FE" + dest + "01").size(), 1u) << dest;
    EXPECT_EQ(portMonitor.Errors(), 0u);

    ASSERT_TRUE(monitor->StopSession());
    EXPECT_EQ(monitor->BusLink(), nullptr);
    EXPECT_EQ(port.Handle(), nullptr);
    EXPECT_EQ(views.Count("Disable"), 1);
    EXPECT_EQ(views.lost, 0);
}

TEST_F(Session, RequestsReachTheDevicesAndTheirAnswersTheViews) {
    Attach(sim::TLineKind::Bus);
    monitor->StartSession();
    ASSERT_TRUE(RunUntil([&] { return TreeComplete(devices, kReferenceTree); }));

    const auto select = [&](int address) {
        for (int i = 0; i < devices.Count(); ++i)
            if (devices.GetDevice(i)->GetLanAddress() == address) devices.SetItemIndex(i);
        ASSERT_EQ(devices.CurrentDevice()->GetLanAddress(), address);
    };
    // The device at 0x13 behind the hub answers in the child forms.
    select(0x13);
    monitor->SendGetParameterValues({0, 5});
    select(3);
    monitor->SendGetControlValues();
    views.settingsOpen = true;
    monitor->SendRequest(2, opGetCalibration);
    monitor->SendRequest(2, opGetDateTime);
    ASSERT_TRUE(RunUntil([&] { return views.calibration && views.clock; }));
    ASSERT_TRUE(RunUntil(
        [&] { return views.Count("UpdateValues") >= 1 && views.Count("Control 1 70") == 1; }));
    EXPECT_EQ(*views.calibration, 0);
    EXPECT_EQ(views.clock->year, 2026);
    EXPECT_EQ(views.Count("Control 0 100"), 1);

    // Length 4: the opcode and the three bytes of the selection.
    const auto toChild = Starting(trace.With("in  "), "FE1301");
    ASSERT_EQ(toChild.size(), 1u);
    EXPECT_EQ(toChild[0].substr(8, 10), "041B020005") << "parameters 0 and 5 of 0x13";
}

TEST_F(Session, RediscoverEmptiesTheTreeAndKeepsCounting) {
    Attach(sim::TLineKind::Bus);
    monitor->StartSession();
    ASSERT_TRUE(RunUntil([&] { return TreeComplete(devices, kReferenceTree); }));
    const int clears = views.Count("Clear");

    ASSERT_TRUE(monitor->Rediscover());
    EXPECT_EQ(views.Count("Clear"), clears + 1);
    ASSERT_TRUE(RunUntil([&] { return TreeComplete(devices, kReferenceTree); }));
    EXPECT_EQ(monitor->DeviceCounter, 8);
    std::vector<int> orders;
    for (std::uint8_t a : {2, 3, 4, 5})
        orders.push_back(devices.FindByAddress(a)->Order);
    std::sort(orders.begin(), orders.end());
    EXPECT_EQ(orders, (std::vector<int>{4, 5, 6, 7}));
}

TEST_F(Session, DisconnectInsideADispatchIsCarriedOutAfterIt) {
    Attach(sim::TLineKind::Bus);
    bool deferred = false;
    views.onDeviceAdded = [&] {
        // The operator presses "Refresh" and then "Disconnect" twice while
        // the first device is shown.
        EXPECT_TRUE(monitor->InDispatch());
        deferred = !monitor->Rediscover() && !monitor->StopSession() && !monitor->StopSession();
    };
    monitor->StartSession();
    ASSERT_TRUE(RunUntil([&] { return port.Handle() == nullptr; }));
    EXPECT_TRUE(deferred);
    EXPECT_EQ(monitor->BusLink(), nullptr);
    EXPECT_EQ(views.Count("Disable"), 1) << "stopped once";
    Delay(50);
    EXPECT_EQ(port.Handle(), nullptr) << "nothing reopened or polled after the stop";
    EXPECT_EQ(monitor->OutQueue().Count(), 0u);
    EXPECT_EQ(monitor->InQueue().Count(), 0u);
}

TEST_F(Session, AFailedOpeningReportsTheSessionLost) {
    // The line is held by someone else.
    provider.Line("COM1");
    auto other = provider.Open("COM1");
    ASSERT_NE(other, nullptr);
    monitor->StartSession();
    EXPECT_TRUE(monitor->NotConnected);
    EXPECT_FALSE(monitor->AccessGranted);
    EXPECT_EQ(monitor->BusLink(), nullptr);
    EXPECT_EQ(views.lost, 0) << "told after the handler that opened it has returned";
    ASSERT_TRUE(RunUntil([&] { return views.lost == 1; }));

    TObjectsList none;
    TRecordedViews noPortViews;
    TLANMonitor noPort(noPortViews, nullptr, none);
    noPort.StartSession();
    EXPECT_TRUE(noPort.NotConnected);
    ASSERT_TRUE(RunUntil([&] { return noPortViews.lost == 1; }));
    EXPECT_TRUE(noPort.StopSession());
}

// A cable to a modem that is already online: the modem link carries the
// session, and frames wait while the modem withholds clear-to-send.
TEST_F(Session, AnOnlineModemOnACableTakesTheModemLink) {
    TVirtualFarEnd& far = provider.Line("COM1").FarEnd();
    far.SetModemLines(0xB0);
    monitor->StartSession();
    ASSERT_FALSE(monitor->NotConnected);
    ASSERT_NE(monitor->ModemLink(), nullptr);
    EXPECT_EQ(monitor->BusLink(), nullptr);
    // The first poll, with no password before it on a direct line.
    std::vector<std::uint8_t> wire;
    ASSERT_TRUE(RunUntil([&] {
        for (const auto& b : far.Take())
            wire.push_back(b.value);
        return wire.size() >= 9;
    }));
    EXPECT_EQ(BytesToHex(wire.data(), wire.size()), "FE0001010104C2DCFF");

    far.SetModemLines(0xA0);
    monitor->SendRequest(2, opGetState);
    monitor->SendRequest(3, opGetState);
    Delay(100);
    ASSERT_TRUE(monitor->StopSession());
    const auto late = far.Take();
    std::vector<std::uint8_t> lateBytes;
    for (const auto& b : late)
        lateBytes.push_back(b.value);
    EXPECT_TRUE(late.empty()) << "what was queued is dropped, not sent: "
                              << BytesToHex(lateBytes.data(), lateBytes.size());
    EXPECT_EQ(monitor->OutQueue().Count(), 0u);
    EXPECT_EQ(monitor->ModemLink(), nullptr);
    EXPECT_EQ(views.lost, 0);
}

} // namespace
