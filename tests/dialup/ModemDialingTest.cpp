// The dialer against the simulated telephone and GSM modems on the virtual
// line: initialisation, the dial command, retries and cancel, the checks
// that refuse a dial, and the hang-up.
#include "ModemDialing.h"

#include "DialupHarness.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace dialup;

namespace {

class Dialer : public ::testing::Test, public TModemLine {
protected:
    // Every pause the dialer asks for is recorded; it waits at most a
    // little, enough for the modem's escape guard time.
    TModemDialing::TPause RecordedPause() {
        return [this](long ms) {
            pauses.push_back(ms);
            if (onPause) onPause(ms);
            Delay(std::min(ms, 150L));
        };
    }
    void DialHayes(sim::TSiteConfig config = ReferenceSite()) {
        Attach(sim::TLineKind::Hayes, std::move(config), "HCF 56K Modem");
        port.PhoneNumber = "123";
        TModemDialing dialer(port, session, RecordedPause());
        dialer.Dial();
    }

    TDialControl session;
    std::vector<long> pauses;
    std::function<void(long)> onPause;
};

sim::TSiteConfig Answering(sim::TModemSettings::TDial dial) {
    auto config = ReferenceSite();
    config.modem.dial = dial;
    return config;
}

} // namespace

TEST_F(Dialer, ConnectsThroughTheOutsideLineAndAreaCodes) {
    struct Case {
        const char* local;
        const char* distance;
        const char* dialed;
    };
    for (const Case c : {Case{"9", "", "95123"}, Case{"9", "0", "05123"}, Case{"", "", "5123"}}) {
        SCOPED_TRACE(c.dialed);
        TModemLine line;
        line.settings.AccesOutideCallLocal = c.local;
        line.settings.AccesOutideCallDistance = c.distance;
        line.settings.AreaCode = "5";
        line.Attach(sim::TLineKind::Hayes, ReferenceSite(), "HCF 56K Modem");
        line.port.PhoneNumber = "123";
        TDialControl control;
        TModemDialing(line.port, control, RecordedPause()).Dial();

        EXPECT_EQ(line.trace.With("dial "), std::vector<std::string>{c.dialed});
        EXPECT_TRUE(line.Logged(std::string("MODEM COMMAND: ATDT") + c.dialed));
        EXPECT_EQ(line.port.LinkState, "CONNECTED");
        EXPECT_FALSE(control.NotConnected);
        EXPECT_TRUE(line.Logged("*** CONNECTED"));
        EXPECT_NE(line.port.ModemStatus() & kStatusDcd, 0) << "the carrier is up";
    }
}

TEST_F(Dialer, InitialisesATelephoneModemWithItsRingsSetting) {
    settings.Autoanswer = true;
    settings.NumberRings = "4";
    DialHayes();
    const auto at = trace.With("at  ");
    ASSERT_GE(at.size(), 3u);
    EXPECT_EQ(at[0], "ATZ&F");
    EXPECT_EQ(at[1], "ATS0=4Q0E0M1V1X1&C1&D2L0");
    EXPECT_EQ(at[2], "ATDT123");
    EXPECT_TRUE(port.ModemReady);
    EXPECT_EQ(pauses.front(), 300);
}

TEST_F(Dialer, FailedAttemptsHangUpAndPauseOnlyBetweenAttempts) {
    // A pause of more than a minute is kept as it stands.
    settings.WaitAttempts = "90";
    settings.TryToConnect = "3";
    DialHayes(Answering(sim::TModemSettings::TDial::Busy));
    EXPECT_EQ(trace.With("dial ").size(), 3u);
    EXPECT_EQ(pauses, (std::vector<long>{300, 90000, 90000}));
    EXPECT_EQ(port.LinkState, "");
    EXPECT_TRUE(session.NotConnected);
    const auto at = trace.With("at  ");
    EXPECT_EQ(std::count(at.begin(), at.end(), "ATH"), 3);
}

TEST_F(Dialer, AnAbsurdPauseIsCutToADayInsteadOfOverflowing) {
    settings.WaitAttempts = "2147483647";
    DialHayes(Answering(sim::TModemSettings::TDial::Busy));
    EXPECT_EQ(pauses, (std::vector<long>{300, 86'400'000}));
}

TEST_F(Dialer, OneAttemptHangsUpWithoutAPauseAndNoAttemptDialsNothing) {
    settings.TryToConnect = "1";
    DialHayes(Answering(sim::TModemSettings::TDial::NoCarrier));
    EXPECT_EQ(trace.With("dial ").size(), 1u);
    EXPECT_EQ(trace.With("at  ").back(), "ATH");
    EXPECT_EQ(pauses, std::vector<long>{300});

    TModemLine idle;
    idle.settings.TryToConnect = "0";
    idle.Attach(sim::TLineKind::Hayes, ReferenceSite(), "HCF 56K Modem");
    idle.port.PhoneNumber = "123";
    TDialControl control;
    TModemDialing(idle.port, control, RecordedPause()).Dial();
    EXPECT_TRUE(idle.port.ModemReady) << "initialised all the same";
    EXPECT_TRUE(idle.trace.With("dial ").empty());
    EXPECT_EQ(idle.port.LinkState, "");
    EXPECT_TRUE(control.NotConnected);
}

TEST_F(Dialer, CancelIsHonouredBeforeTheNextAttempt) {
    settings.TryToConnect = "5";
    settings.WaitAttempts = "3";
    onPause = [this](long ms) {
        if (ms == 3000) session.AbortDialing = true;
    };
    DialHayes(Answering(sim::TModemSettings::TDial::Busy));
    EXPECT_EQ(trace.With("dial ").size(), 1u);
    EXPECT_TRUE(session.NotConnected);
}

TEST_F(Dialer, RefusesANumberWithABlankAndDialsNothing) {
    Attach(sim::TLineKind::Hayes, ReferenceSite(), "HCF 56K Modem");
    for (const char* number : {"12 3", "", "123a"}) {
        port.PhoneNumber = number;
        TModemDialing(port, session, RecordedPause()).Dial();
        EXPECT_TRUE(Logged(std::string("***  Illegal Phone Number: ") + number)) << number;
    }
    EXPECT_TRUE(trace.With("dial ").empty());
    TModemDialing dialer(port, session, RecordedPause());
    EXPECT_TRUE(dialer.CheckPhoneNumber("+7-495;123"));
}

TEST_F(Dialer, ASettingThatIsNotAnIntegerIsNamedAndNothingIsSent) {
    struct Case {
        std::string TDialSettings::*field;
        const char* key;
    };
    for (const Case c : {Case{&TDialSettings::CancelCallTime, "CancelCallTime"},
                         Case{&TDialSettings::NumberRings, "NumberRings"},
                         Case{&TDialSettings::TryToConnect, "TryToConnect"},
                         Case{&TDialSettings::WaitAttempts, "WaitAttempts"},
                         Case{&TDialSettings::DisconnectIfIdle, "DisconnectIfIdle"}}) {
        SCOPED_TRACE(c.key);
        TModemLine line;
        line.settings.*c.field = "3 0";
        line.Attach(sim::TLineKind::Hayes, ReferenceSite(), "HCF 56K Modem");
        line.port.PhoneNumber = "123";
        TDialControl control;
        TModemDialing dialer(line.port, control, RecordedPause());
        dialer.Dial();
        EXPECT_FALSE(dialer.SettingsValid());
        ASSERT_EQ(line.messages.shown.size(), 1u);
        EXPECT_NE(line.messages.shown[0].find(c.key), std::string::npos);
        EXPECT_TRUE(line.trace.With("at  ").empty());
        EXPECT_TRUE(control.NotConnected);
    }
    // Out of the 32-bit range is no integer either.
    settings.TryToConnect = "4294967296";
    Attach(sim::TLineKind::Hayes, ReferenceSite(), "HCF 56K Modem");
    EXPECT_FALSE(TModemDialing(port, session, RecordedPause()).SettingsValid());
}

TEST_F(Dialer, SkipsTheEchoAndOkBeforeTheConnectResult) {
    // A modem left ready with echo on; it also confirms the dial with OK
    // before the result, as some do.
    TVirtualSerialProvider scripted;
    auto& far = scripted.Line("COM2").FarEnd();
    TCommPort modemPort{"COM2", scripted, &monitor, {1, 1, 1, 1}};
    modemPort.DialSettings = &settings;
    modemPort.IsModem = true;
    ASSERT_TRUE(modemPort.Open());
    modemPort.ModemReady = true;
    modemPort.PhoneNumber = "123";
    std::atomic<bool> stop{false};
    std::thread modem([&] {
        std::string heard;
        while (!stop) {
            far.WaitReadable(TSteadyClock::now() + std::chrono::milliseconds(20));
            for (const auto& b : far.Take())
                heard += static_cast<char>(b.value);
            if (heard.find("ATDT123\r") != std::string::npos) {
                const std::string reply = "ATDT123\r\r\nOK\r\n\r\nCONNECT 9600\r\n";
                far.Write(std::vector<std::uint8_t>(reply.begin(), reply.end()));
                heard.clear();
            }
        }
    });
    TModemDialing(modemPort, session, RecordedPause()).Dial();
    stop = true;
    modem.join();
    EXPECT_EQ(modemPort.LinkState, "CONNECTED");
    EXPECT_FALSE(session.NotConnected);
}

TEST_F(Dialer, AGsmModemIsCheckedForSignalAndRegistration) {
    Attach(sim::TLineKind::Gsm, ReferenceSite(), "MC35i");
    port.PhoneNumber = "123";
    TModemDialing(port, session, RecordedPause()).Dial();
    const auto at = trace.With("at  ");
    const std::vector<std::string> init = {"ATZE0",        "ATQ0V1X4", "AT&S0&C1&D2",
                                           "ATS0=0S10=50", "AT+CSQ",   "AT+CREG?"};
    ASSERT_GE(at.size(), init.size() + 1);
    // Opening the port already asked for the signal and the registration.
    EXPECT_EQ(std::vector<std::string>(at.end() - 7, at.end() - 1), init);
    EXPECT_EQ(at.back(), "ATDT123");
    EXPECT_EQ(port.SignalText, "+CSQ: -75dBm");
    EXPECT_EQ(port.LinkState, "CONNECTED");
}

TEST_F(Dialer, AGsmModemThatIsNotHomeOrHearsTooLittleIsNotDialed) {
    struct Case {
        std::uint8_t csq;
        const char* creg;
        std::vector<std::string> shown;
    };
    for (const Case& c :
         {Case{20, "0,5", {"Error CREG +CREG: 0,5"}},
          Case{5, "0,1", {"Received signal less than 83 dBm", "Received signal less than 83 dBm"}},
          Case{99,
               "0,1",
               {"Received signal less than 83 dBm", "Received signal less than 83 dBm"}}}) {
        SCOPED_TRACE(c.creg + std::to_string(c.csq));
        TModemLine line;
        auto config = ReferenceSite();
        config.modem.csq = c.csq;
        config.modem.creg = c.creg;
        line.Attach(sim::TLineKind::Gsm, std::move(config), "MC35i");
        line.port.PhoneNumber = "123";
        TDialControl control;
        TModemDialing(line.port, control, RecordedPause()).Dial();
        EXPECT_EQ(line.messages.shown, c.shown);
        EXPECT_TRUE(line.trace.With("dial ").empty());
        EXPECT_FALSE(line.port.ModemReady);
        EXPECT_TRUE(control.NotConnected);
    }
}

TEST_F(Dialer, HangUpEscapesAConnectedLineAndOnlySendsAthOtherwise) {
    Attach(sim::TLineKind::Hayes, ReferenceSite(), "HCF 56K Modem");
    TModemDialing(port, session, RecordedPause()).HangUp();
    EXPECT_EQ(trace.With("at  "), std::vector<std::string>{"ATH"});
    EXPECT_FALSE(Logged("*** DISCONNECT"));

    port.PhoneNumber = "123";
    TModemDialing(port, session, RecordedPause()).Dial();
    ASSERT_EQ(port.LinkState, "CONNECTED");
    pauses.clear();
    TModemDialing(port, session, RecordedPause()).HangUp();
    EXPECT_TRUE(Logged("*** DISCONNECT"));
    EXPECT_TRUE(Logged("MODEM COMMAND: +++"));
    EXPECT_EQ(trace.With("at  ").back(), "ATH");
    EXPECT_EQ(trace.With("carrier down").size(), 1u);
    EXPECT_EQ(pauses, std::vector<long>{2000});
    EXPECT_EQ(port.LinkState, "");
    EXPECT_FALSE(port.HangingUp);
    EXPECT_TRUE(session.NotConnected);
}

TEST_F(Dialer, ASignalReplyWithoutALevelIsNoReading) {
    // A good level from an earlier reading must not let the dial go ahead.
    TScriptedModem modem(provider.Line("COM2").FarEnd(), [](const std::string& l) {
        if (l == "AT+CREG?") return std::string("+CREG: 0,1\r\n\r\nOK");
        return std::string("OK");
    });
    port.IsModem = true;
    port.ModemModel = "MC35i";
    ASSERT_TRUE(port.Open());
    port.PhoneNumber = "123";
    port.SignalLevel = 20;
    TModemDialing(port, session, RecordedPause()).Dial();
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Received signal less than 83 dBm"});
    const auto heard = modem.Heard();
    EXPECT_EQ(std::count(heard.begin(), heard.end(), "ATDT123"), 0);
    EXPECT_TRUE(session.NotConnected);
}
