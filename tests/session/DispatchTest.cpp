// The controller's dispatch, fed frames by hand: what each reply does to
// the device tree, the views and the out-queue, and what it must leave
// alone.
#include "MonitorHarness.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace {

using namespace monitortest;
using Bytes = std::vector<std::uint8_t>;

struct TCounts {
    std::uint8_t attrs = 0, params = 0, controls = 0, commands = 0, children = 0;
    std::uint8_t devId = 1;
};

// The definition form: fifteen bytes, then the version as a short text.
Bytes Definition(const TCounts& c) {
    Bytes b{0,          0,          c.devId, 0, 0, c.attrs, c.params, c.controls,
            c.commands, c.children, 8,       8, 8, 8,       8};
    b.push_back(3);
    for (char ch : std::string("1.0"))
        b.push_back(static_cast<std::uint8_t>(ch));
    return b;
}

// A parameter row: index, six bytes, then words and texts read as 0.
Bytes ParameterRow(std::uint8_t index) {
    return {index, 0, 0, 0, 0, 0, 0x30, 100, 0};
}

Bytes Prefixed(std::uint8_t child, Bytes b) {
    b.insert(b.begin(), child);
    return b;
}

class Dispatch : public ::testing::Test {
protected:
    Dispatch() {
        monitor.DispatchEnabled = true;
        monitor.AccessGranted = true;
    }
    void Push(std::uint8_t src, std::uint8_t opcode, const Bytes& body = {}) {
        const TMemoryStream s(body);
        monitor.InQueue().AddFrame(kProgramAddress, src, body.empty() ? nullptr : &s, opcode);
    }
    void Feed(std::uint8_t src, std::uint8_t opcode, const Bytes& body = {}) {
        Push(src, opcode, body);
        monitor.DispatchReceived();
    }
    // Opcode and destination of every request queued, then empties the queue.
    std::vector<std::pair<int, int>> Sent() {
        std::vector<std::pair<int, int>> out;
        TMessagesList& q = monitor.OutQueue();
        for (std::size_t i = 0; i < q.Count(); ++i) {
            q.SetCurrent(static_cast<int>(i));
            out.emplace_back(q.GetOpcode(), q.GetDest());
        }
        q.FreeAll();
        return out;
    }
    TLANObject* Device(std::uint8_t address) { return devices.FindByAddress(address); }
    // A device at `address` with these counts, its definition request sent.
    TLANObject* Discovered(std::uint8_t address, const TCounts& c) {
        Feed(address, opDefinition, Definition(c));
        Sent();
        return Device(address);
    }

    TObjectsList devices;
    TRecordedViews views;
    TLANMonitor monitor{views, nullptr, devices};
};

TEST_F(Dispatch, PresentAsksForTheDefinitionUntilTheDeviceExists) {
    Feed(3, opPresent);
    Feed(3, opPresent);
    EXPECT_EQ(Sent(),
              (std::vector<std::pair<int, int>>{{opGetDefinition, 3}, {opGetDefinition, 3}}));

    Feed(3, opDefinition, Definition({}));
    ASSERT_NE(Device(3), nullptr);
    Feed(3, opPresent);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Dispatch, ANewDeviceNeedsFiveDefinitionBytesAndTakesTheNextOrder) {
    Feed(7, opDefinition, {0, 0, 1, 0});
    EXPECT_EQ(devices.Count(), 0);

    Feed(7, opDefinition, {0, 0, 1, 0, 0});
    Feed(8, opDefinition, Definition({.devId = 20}));
    ASSERT_EQ(devices.Count(), 2);
    EXPECT_EQ(Device(7)->Order, 0);
    EXPECT_EQ(Device(8)->Order, 1);
    EXPECT_EQ(Device(8)->GetDevID(), 20);
    EXPECT_EQ(Device(8)->GetLanAddress(), 8);
    EXPECT_EQ(monitor.DeviceCounter, 2);
    EXPECT_EQ(views.Count("DeviceAdded 1"), 1);

    // A known device takes a new definition and keeps its address.
    Feed(8, opDefinition, Definition({.params = 2, .devId = 21}));
    EXPECT_EQ(devices.Count(), 2);
    EXPECT_EQ(Device(8)->GetDevID(), 21);
    EXPECT_EQ(Device(8)->GetLanAddress(), 8);
}

TEST_F(Dispatch, TheLastAnnouncedRowCompletesTheDeviceAndPollsOnce) {
    TLANObject* d = Discovered(4, {.params = 3});
    Feed(4, opParameterRow, ParameterRow(0));
    Feed(4, opParameterRow, ParameterRow(1));
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(d->IsComplete());

    Feed(4, opParameterRow, ParameterRow(2));
    EXPECT_EQ(d->ParameterCount(), 3);
    EXPECT_TRUE(d->IsComplete());
    EXPECT_EQ(Sent(), (std::vector<std::pair<int, int>>{{opPoll, 0}}));
    EXPECT_EQ(views.Count("Rebuild 2"), 1) << "the parameters view shows the complete table";

    // Rows sent again update in place only once the table holds more rows
    // than announced: a further row at exactly three rows appends.
    Feed(4, opParameterRow, ParameterRow(1));
    EXPECT_EQ(d->ParameterCount(), 4);
    Feed(4, opParameterRow, ParameterRow(1));
    EXPECT_EQ(d->ParameterCount(), 4);
}

TEST_F(Dispatch, RowsBelowTheirMinimumOrWithoutATableAreDropped) {
    TLANObject* d = Discovered(4, {.attrs = 1, .params = 1, .controls = 1, .commands = 1});
    for (std::uint8_t op : {opAttributeRow, opParameterRow, opControlRow, opCommandRow})
        Feed(4, op, {0});
    EXPECT_EQ(d->AttributeCount() + d->ParameterCount() + d->ControlCount() + d->CommandCount(), 0);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Dispatch, ValuesSkipUnknownIdsWholeAndNeedTheWholeTable) {
    TLANObject* d = Discovered(2, {.params = 5});
    Feed(2, opParameterValues, {1, 0, 0x10, 0});
    EXPECT_EQ(views.Count("UpdateValues"), 0) << "values before the table is complete";
    for (std::uint8_t i = 0; i < 5; ++i)
        Feed(2, opParameterRow, ParameterRow(i));

    Feed(2, opParameterValues, {0x02, 0x07, 0x34, 0x12, 0x01, 0x10, 0x00});
    d->Parameters().SetCurrent(1);
    EXPECT_EQ(d->Parameters().GetValue(), 16);
    d->Parameters().SetCurrent(0);
    EXPECT_EQ(d->Parameters().GetValue(), 0) << "the entry for ID 7 is dropped, not misread";
    EXPECT_EQ(views.Count("UpdateValues"), 1);
}

TEST_F(Dispatch, TheSettingsDialogGetsClockAndCalibrationOnlyWhileOpen) {
    Discovered(2, {});
    const Bytes dayZero{10, 20, 5, 0, 3, 0, 0};
    Feed(2, opDateTime, dayZero);
    EXPECT_FALSE(views.clock);

    views.settingsOpen = true;
    Feed(2, opDateTime, {1, 2, 3, 4});
    EXPECT_FALSE(views.clock) << "a clock needs five bytes";
    Feed(2, opDateTime, dayZero);
    ASSERT_TRUE(views.clock);
    EXPECT_EQ(*views.clock, (TDeviceClock{10, 20, 5, 1, 3, 2001}));

    for (const auto& [byte, shown] : std::vector<std::pair<std::uint8_t, int>>{
             {0x3F, -31}, {0x1F, 31}, {0x25, -5}, {0x05, 5}}) {
        Feed(2, opCalibration, {byte});
        EXPECT_EQ(views.calibration, shown) << int(byte);
    }
}

TEST_F(Dispatch, HistoryStoresWholeRecordsAndAlwaysRefreshes) {
    TLANObject* d = Discovered(5, {.params = 1});
    Feed(5, opParameterRow, ParameterRow(0));
    Sent();

    Feed(5, opHistory, {0});
    EXPECT_EQ(devices.History().Count(), 0);
    EXPECT_EQ(views.Count("FillHistory"), 1);

    // Two records announced, one and a half sent.
    Bytes body{2, 37, 12, 4, 9, 12, 0xEA, 0x07, 0x13, 0, 0x34, 0x12, 0x80, 0x81};
    body.insert(body.end(), {1, 2, 3, 4, 5, 6});
    Feed(5, opHistory, body);
    ASSERT_EQ(devices.History().Count(), 1);
    EXPECT_EQ(devices.History().Device, d);
    devices.History().SetItemIndex(0);
    EXPECT_EQ(devices.History().GetDate(), "09.12.2026 04:12:37");
    EXPECT_EQ(devices.History().GetDevAddress(), 0x13);
    EXPECT_EQ(devices.History().GetParamID(), 0);
    EXPECT_EQ(devices.History().GetState(), 0x80);
    EXPECT_EQ(devices.History().GetDevState(), 0x81);
    EXPECT_EQ(views.Count("FillHistory"), 2);
}

TEST_F(Dispatch, HubStateTellsWhichHubsAndWhereTheControllerIs) {
    Discovered(6, {.devId = 90});
    Feed(6, opHubState, {0x50});
    EXPECT_TRUE(monitor.HubState.Present);
    EXPECT_TRUE(monitor.HubState.Hub1);
    EXPECT_FALSE(monitor.HubState.Hub2);
    EXPECT_TRUE(monitor.HubState.Hub3);
    EXPECT_FALSE(monitor.HubState.Hub4);
    EXPECT_EQ(monitor.HubState.ControllerAddress, 6);
    EXPECT_EQ(Device(6)->Definition().GetState(), 0x50);
    EXPECT_EQ(views.Count("HubState 80"), 1);

    monitor.SelectHub(3);
    EXPECT_EQ(Sent().front(), (std::pair<int, int>{opSelectHub, 6}));
}

TEST_F(Dispatch, AHubsChildrenAreItsOwnAndListedInTheTree) {
    TLANObject* hub = Discovered(5, {.children = 2, .devId = 90});
    Feed(5, opChildDefinition, Prefixed(0x13, Definition({.params = 1, .devId = 30})));
    Feed(5, opChildDefinition, Prefixed(0x14, Definition({.devId = 1})));
    ASSERT_EQ(hub->Children().Count(), 2);
    TLANObject* c = hub->Children().GetDevice(0);
    EXPECT_EQ(c->GetLanAddress(), 0x13);
    EXPECT_EQ(c->GetOwnerAddress(), 5);
    EXPECT_EQ(hub->Children().GetDevice(1)->Order, 1);
    EXPECT_EQ(devices.Count(), 3);
    EXPECT_EQ(devices.GetDevice(1), c);
    EXPECT_EQ(devices.CurrentDevice(), hub) << "a child does not become current";
    EXPECT_EQ(monitor.DeviceCounter, 1) << "children do not count as devices found";

    // The child's parameter table completes and polls.
    Feed(5, opChildParameterRow, Prefixed(0x13, ParameterRow(0)));
    EXPECT_EQ(c->ParameterCount(), 1);
    EXPECT_EQ(Sent(), (std::vector<std::pair<int, int>>{{opPoll, 0}}));

    // State of a transmitter child is shown; of another type it is not.
    Feed(5, opChildState, {0x13, 0x82});
    Feed(5, opChildState, {0x14, 0x82});
    EXPECT_EQ(c->Definition().GetState(), 0x82);
    EXPECT_EQ(hub->Children().GetDevice(1)->Definition().GetState(), 0);
    EXPECT_EQ(views.Count("UpdateIndicators"), 1);

    // Forms naming an unknown child, or from a device without children,
    // change nothing.
    Feed(5, opChildParameterRow, Prefixed(0x15, ParameterRow(0)));
    Discovered(2, {.params = 1});
    Feed(2, opChildDefinition, Prefixed(0x13, Definition({})));
    Feed(2, opChildParameterRow, Prefixed(0x13, ParameterRow(0)));
    EXPECT_EQ(devices.Count(), 4);
    EXPECT_EQ(c->ParameterCount(), 1);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Dispatch, BeforeAccessEachCallTakesOneFrameAndOnlyGrantOrRefusalCount) {
    monitor.AccessGranted = false;
    Push(3, opPresent);
    Push(3, opAccessGranted);
    Push(3, opAccessGranted);
    monitor.DispatchReceived();
    EXPECT_EQ(monitor.InQueue().Count(), 2u);
    EXPECT_TRUE(Sent().empty()) << "opPresent before access is dropped";

    monitor.DispatchReceived();
    EXPECT_TRUE(monitor.AccessGranted);
    EXPECT_EQ(Sent(), (std::vector<std::pair<int, int>>{{opPoll, 0}}));
    EXPECT_EQ(monitor.InQueue().Count(), 0u) << "once granted the rest is dispatched";

    Feed(3, opIllegalPassword);
    EXPECT_TRUE(views.messages.empty()) << "a refusal after the grant means nothing";
}

TEST_F(Dispatch, DisconnectInTheGrantsPauseDropsTheRest) {
    monitor.AccessGranted = false;
    Push(3, opAccessGranted);
    Push(3, opPresent);
    std::optional<bool> stopped;
    // "Disconnect" pressed while the dispatch waits before its first poll.
    QTimer::singleShot(20, [&] { stopped = monitor.StopSession(); });
    monitor.DispatchReceived();
    ASSERT_TRUE(stopped.has_value());
    EXPECT_FALSE(*stopped) << "carried out after the dispatch";
    EXPECT_EQ(monitor.InQueue().Count(), 0u);
    EXPECT_EQ(Sent(), (std::vector<std::pair<int, int>>{{opPoll, 0}}))
        << "no definition request for the device that announced itself after the stop";
    ASSERT_TRUE(RunUntil([&] { return views.Count("Disable") == 1; }));
}

TEST_F(Dispatch, ARefusedPasswordIsShown) {
    monitor.AccessGranted = false;
    Feed(3, opIllegalPassword);
    EXPECT_EQ(views.messages, std::vector<std::string>{"Illegal password. Access disabled."});
    EXPECT_FALSE(monitor.AccessGranted);
}

TEST_F(Dispatch, NothingIsAppliedWhileDispatchIsOffOrFromStrangers) {
    monitor.DispatchEnabled = false;
    Feed(3, opDefinition, Definition({}));
    EXPECT_EQ(devices.Count(), 0);
    EXPECT_EQ(monitor.InQueue().Count(), 0u);

    monitor.DispatchEnabled = true;
    for (std::uint8_t op : {opState, opParameterRow, opHistory, opHubState, opTextMessage})
        Feed(9, op, {1, 2, 3, 4, 5, 6});
    Feed(9, 200, {1, 2, 3});
    EXPECT_EQ(devices.Count(), 0);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(devices.History().Count(), 0);
    EXPECT_FALSE(monitor.HubState.Present);
}

TEST(DispatchText, ADevicesTextIsOneLineOfThePortLog) {
    TVirtualSerialProvider provider;
    TPortMonitor log{nullptr};
    TCommPort port("COM1", provider, &log, {1, 1, 1, 1});
    TObjectsList devices;
    TRecordedViews views;
    TLANMonitor monitor(views, &port, devices);
    monitor.DispatchEnabled = monitor.AccessGranted = true;
    const TMemoryStream definition(Definition({}));
    const TMemoryStream text{12, 'o', 'k', '\r', '\n', '<', '-', '-', 'F', 'E', '\t', 'x', 0};
    monitor.InQueue().AddFrame(kProgramAddress, 2, &definition, opDefinition);
    monitor.InQueue().AddFrame(kProgramAddress, 2, &text, opTextMessage);
    monitor.DispatchReceived();
    ASSERT_FALSE(log.Lines().empty());
    EXPECT_EQ(log.Lines().back(), "ok  <--FE x ");
}

TEST_F(Dispatch, AttributeTextsAndControlValuesReachTheirViews) {
    TLANObject* d = Discovered(3, {.attrs = 1, .controls = 1, .commands = 1});
    // Attribute row: index, name, value (text kind is the default), options.
    Feed(3, opAttributeRow, {0, 4, 'N', 'a', 'm', 'e', 3, 'o', 'l', 'd', 0});
    Feed(3, opControlRow, {0, 0, 5, 0, 0, 0, 10, 0, 4, 'L', 'e', 'v', 'l'});
    Feed(3, opControlValue, {0, 7, 0});
    EXPECT_EQ(views.Count("Control 0 7"), 1);
    Feed(3, opAttributeText, {0, 3, 'n', 'e', 'w'});
    EXPECT_EQ(views.Count("Attribute 0 new"), 0) << "texts wait until the device is complete";

    Feed(3, opCommandRow, {0, 5, 'R', 'e', 's', 'e', 't'});
    ASSERT_TRUE(d->IsComplete());
    EXPECT_EQ(Sent(), (std::vector<std::pair<int, int>>{{opPoll, 0}}));
    Feed(3, opAttributeText, {0, 3, 'n', 'e', 'w'});
    EXPECT_EQ(views.Count("Attribute 0 new"), 1);
}

} // namespace
