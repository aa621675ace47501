// Dial-up sessions through the controller against the simulated site
// behind its telephone modem: the operator's password, the dial, the
// password frames, discovery once the devices grant access, and the
// hang-up when the session is stopped; a refused password and a site
// without a telephone number.
#include "MonitorHarness.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace {

using namespace monitortest;

class DialUp : public ::testing::Test, public TSimSession {
protected:
    DialUp() {
        // Small settings: a connect result within 10 s, no long pauses.
        settings.CancelCallTime = "1";
        settings.TryToConnect = "2";
        settings.WaitAttempts = "0";
        port.DialSettings = &settings;
        port.IsModem = true;
        port.ModemModel = "HCF 56K Modem";
        port.PhoneNumber = "5551234";
    }
    void AttachModem() {
        auto config = Reference();
        config.modem.connectDelayMs = 100;
        config.modem.guardMs = 100;
        Attach(sim::TLineKind::Hayes, std::move(config));
    }
    TDialSettings settings;
};

TEST_F(DialUp, TheGrantedSessionDiscoversTheSiteAndHangsUpAtTheEnd) {
    AttachModem();
    views.password = "KELLY7";
    monitor->StartSession();
    EXPECT_EQ(views.asked, 1);
    ASSERT_FALSE(monitor->NotConnected);
    ASSERT_NE(monitor->ModemLink(), nullptr);
    EXPECT_EQ(port.LinkState, "CONNECTED");
    EXPECT_EQ(trace.With("dial "), std::vector<std::string>{"5551234"});

    ASSERT_TRUE(RunUntil([&] { return TreeComplete(devices, kReferenceTree); }));
    EXPECT_TRUE(monitor->AccessGranted);
    // Three password frames, then exactly one poll for the grant before the
    // devices' own completions poll again.
    const auto in = trace.With("in  ");
    ASSERT_GE(in.size(), 4u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(in[i].substr(0, 6) + in[i].substr(10, 2), "FE00012E") << in[i];
    EXPECT_EQ(in[3].substr(0, 6) + in[3].substr(10, 2), "FE000104") << in[3];

    ASSERT_TRUE(monitor->StopSession());
    EXPECT_EQ(monitor->ModemLink(), nullptr);
    EXPECT_EQ(trace.With("carrier down").size(), 1u) << "the call is hung up";
    EXPECT_TRUE(monitor->NotConnected);
    EXPECT_EQ(port.Handle(), nullptr);
    EXPECT_EQ(views.lost, 0);
}

TEST_F(DialUp, ARefusedPasswordEndsTheSession) {
    AttachModem();
    views.password = "guess";
    monitor->StartSession();
    ASSERT_FALSE(monitor->NotConnected);
    ASSERT_TRUE(RunUntil([&] { return views.lost == 1; }));
    EXPECT_EQ(views.messages, std::vector<std::string>{"Illegal password. Access disabled."});
    EXPECT_FALSE(monitor->AccessGranted);
    EXPECT_EQ(devices.Count(), 0);
    ASSERT_TRUE(RunUntil([&] { return monitor->ModemLink() == nullptr; }));

    // The window answers the lost session by stopping it: the call ends.
    ASSERT_TRUE(monitor->StopSession());
    EXPECT_EQ(trace.With("carrier down").size(), 1u);
}

TEST_F(DialUp, CancelAtThePasswordStillDialsWithAnEmptyPassword) {
    AttachModem();
    monitor->StartSession();
    EXPECT_EQ(views.asked, 1);
    ASSERT_TRUE(RunUntil([&] { return views.lost == 1; })) << "the site refuses the empty password";
    ASSERT_GE(trace.With("in  ").size(), 1u);
    EXPECT_EQ(trace.With("in  ")[0].substr(10, 4), "2E00") << "sent as the single byte 0";
    monitor->StopSession();
}

TEST_F(DialUp, DisconnectDuringTheDialStopsOnceTheDialerHasLetGo) {
    AttachModem();
    views.password = "KELLY7";
    std::optional<bool> stoppedAtOnce;
    // The operator presses "Disconnect" while the modem is dialling.
    QTimer::singleShot(200, [&] {
        EXPECT_NE(monitor->Dialer(), nullptr);
        stoppedAtOnce = monitor->StopSession();
    });
    monitor->StartSession();
    ASSERT_TRUE(stoppedAtOnce.has_value());
    EXPECT_FALSE(*stoppedAtOnce);
    ASSERT_TRUE(RunUntil([&] { return port.Handle() == nullptr; }));
    EXPECT_EQ(monitor->ModemLink(), nullptr);
    EXPECT_EQ(devices.Count(), 0);
    // The call that came up is hung up again.
    EXPECT_EQ(trace.With("carrier up").size(), trace.With("carrier down").size());
}

TEST_F(DialUp, FreeingTheControllerHangsUpACallStillUp) {
    AttachModem();
    views.password = "KELLY7";
    monitor->StartSession();
    ASSERT_NE(monitor->ModemLink(), nullptr);
    monitor.reset();
    EXPECT_EQ(trace.With("carrier down").size(), 1u);
    EXPECT_EQ(port.Handle(), nullptr);
}

TEST_F(DialUp, APhoneNumberOfZeroIsAnError) {
    AttachModem();
    port.PhoneNumber = "0";
    monitor->StartSession();
    EXPECT_EQ(views.messages, std::vector<std::string>{"Error Phone number"});
    EXPECT_EQ(views.asked, 0);
    EXPECT_TRUE(monitor->NotConnected);
    ASSERT_TRUE(RunUntil([&] { return views.lost == 1; }));
    EXPECT_TRUE(trace.With("at  ").empty()) << "nothing was dialled";
    EXPECT_TRUE(monitor->StopSession());
}

} // namespace
