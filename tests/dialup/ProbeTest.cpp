// What the probe makes of each kind of line on the virtual pair: a cable, a
// telephone or GSM modem, a radio link or nothing but a bus; the modem type
// table and the signal reading.
#include "DialupHarness.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

using namespace dialup;

namespace {

class Probe : public ::testing::Test, public TModemLine {
protected:
    TVirtualNullModem& Line() { return provider.Line("COM2"); }
    void AttachSite(sim::TLineKind kind, sim::TSiteConfig config = ReferenceSite()) {
        site = std::make_unique<sim::TVirtualSite>(Line().FarEnd(), kind, std::move(config),
                                                   sim::TLineOptions{}, sim::TFaultSpec{},
                                                   trace.Sink());
    }
};

} // namespace

TEST_F(Probe, ACableWithEveryLineUpIsRs232WithoutAnyAtCommand) {
    AttachSite(sim::TLineKind::Rs232);
    port.Probe();
    EXPECT_EQ(port.KindText(), " RS232");
    EXPECT_TRUE(port.IsSerial);
    EXPECT_TRUE(trace.With("at  ").empty());
    EXPECT_TRUE(trace.With("in  ").empty()) << "nothing at all went out";
    EXPECT_TRUE(Logged("COM2 ENABLED."));
    EXPECT_TRUE(Logged("ProvSubType RS-232 serial port"));
    EXPECT_EQ(port.Handle(), nullptr) << "left closed";
}

TEST_F(Probe, AModemDeviceAnsweringItsModelIsATelephoneModem) {
    Line().SetProviderSubType(6);
    auto config = ReferenceSite();
    config.modem.hayesModel = "Internal Modem";
    AttachSite(sim::TLineKind::Hayes, std::move(config));
    port.Probe();
    EXPECT_TRUE(Logged("ProvSubType Modem device"));
    EXPECT_EQ(port.ModemType(), 1);
    EXPECT_EQ(port.KindText(), " Modem Internal Modem");
    const auto at = trace.With("at  ");
    ASSERT_GE(at.size(), 2u);
    EXPECT_EQ(at[1], "ATI4") << "a modem device is asked ATI4 first";
}

TEST_F(Probe, AModemDeviceRefusingBothIdentificationsStaysAnInternalModemAt9600) {
    Line().SetProviderSubType(6);
    TScriptedModem modem(Line().FarEnd(), [](const std::string& l) {
        return std::string(l == "AT" ? "OK" : "ERROR");
    });
    port.Probe();
    EXPECT_EQ(modem.Heard(), (std::vector<std::string>{"AT", "ATI4", "AT+GMM"}))
        << "no radio link test";
    EXPECT_EQ(port.ModemModel, "Internal Modem");
    EXPECT_TRUE(port.IsModem);
    EXPECT_FALSE(port.IsRadioLink);
    EXPECT_EQ(port.BaudRate, 9600);
    EXPECT_FALSE(Logged("Not Answer RDS"));
}

TEST_F(Probe, AGsmModemIsTypeThreeWithItsSignalAndRegistration) {
    AttachSite(sim::TLineKind::Gsm);
    port.Probe();
    EXPECT_EQ(port.ModemModel, "MC35i");
    EXPECT_EQ(port.ModemType(), 3);
    EXPECT_TRUE(port.IsModem);
    EXPECT_EQ(port.RegistrationText, "+CREG: 0,1");
    EXPECT_EQ(monitor.GsmLevelText(), "-75dBm");
    EXPECT_EQ(port.KindText(), " Modem MC35i") << "the signal text comes with the dialer";
}

TEST_F(Probe, ARadioLinkAnsweringTheProbeFrameIsRds) {
    AttachSite(sim::TLineKind::Radio);
    port.Probe();
    EXPECT_TRUE(Logged(std::string("Send RDS: ") + kRadioLinkProbe));
    EXPECT_TRUE(Logged("Answer RDS: Ok"));
    EXPECT_EQ(port.KindText(), " RDS");
    EXPECT_EQ(trace.With("in  ").size(), 1u);
}

TEST_F(Probe, SilenceWithCtsAndDsrUpIsABus) {
    Line().FarEnd().SetModemLines(kStatusCts | kStatusDsr);
    port.Probe();
    const auto& lines = monitor.Lines();
    const auto sent =
        std::find(lines.begin(), lines.end(), std::string("Send RDS: ") + kRadioLinkProbe);
    ASSERT_NE(sent, lines.end());
    ASSERT_NE(sent + 1, lines.end());
    EXPECT_EQ(*(sent + 1), "Not Answer RDS");
    EXPECT_EQ(port.KindText(), " RS485");
    EXPECT_EQ(port.BaudRate, 57600);
}

TEST_F(Probe, TheRadioLinkTestReadsOnlyItsTwoPatterns) {
    struct Case {
        std::vector<std::uint8_t> reply;
        bool rds;
    };
    for (const Case& c :
         {Case{{0xFE, 0x02, 0x18, 0x00, 0xFF}, true}, Case{{0x01, 0x03, 0x18, 0x00}, true},
          Case{{0xFE, 0x04, 0x18, 0x00, 0xFF}, false}, Case{{0x02, 0x18, 0x01}, false}}) {
        TModemLine line;
        auto& far = line.provider.Line("COM2").FarEnd();
        ASSERT_TRUE(line.port.Open());
        std::thread device([&] {
            far.WaitReadable(TSteadyClock::now() + std::chrono::seconds(5));
            far.Take();
            far.Write(c.reply);
        });
        EXPECT_EQ(line.port.TestRadioLink(kRadioLinkProbe), c.rds) << line.monitor.Lines().back();
        device.join();
    }
}

TEST(ModemTypeTable, LaterRowsWinAndUnknownModemDevicesBecomeInternal) {
    struct Case {
        const char* model;
        bool modemDevice;
        int type;
    };
    TVirtualSerialProvider provider;
    for (const Case& c :
         {Case{"Internal Modem", false, 1}, Case{"HCF 56K PCI Modem", false, 2},
          Case{"HCF 56K Modem", false, 2}, Case{"M20", false, 3}, Case{"mc35i", false, 0},
          Case{"my gsm box", false, 3}, Case{"Wavecom Fastrack", false, 3}, Case{"NOKIA", false, 3},
          Case{"nokia 30", false, 4}, Case{"Nokia D211", false, 4},
          Case{"GSM 900 Phone Falcom A2", false, 4},
          Case{"FM-56SA FOR STANDARD 05/21/99 X3_A", false, 5}, Case{"Zoom", false, 0},
          Case{"Zoom", true, 1}, Case{"", true, 1}}) {
        TCommPort port("COM1", provider, nullptr);
        port.ModemModel = c.model;
        port.IsModem = c.modemDevice;
        EXPECT_EQ(port.ModemType(), c.type) << c.model;
        if (c.modemDevice) {
            EXPECT_EQ(port.ModemModel, "Internal Modem");
        }
    }
}

TEST(SignalReading, LevelsConvertToDbmAndWeakOrUnknownOnesWarn) {
    struct Case {
        const char* reply;
        const char* text;
        int level;
        bool warned;
    };
    TVirtualSerialProvider provider;
    for (const Case& c :
         {Case{"+CSQ: 17,99", "+CSQ: -79dBm", 17, false},
          Case{"+CSQ: 14,0", "+CSQ: -85dBm", 14, true},
          Case{"+CSQ: 99,99", "+CSQ: 85dBm", 99, true},
          Case{"+CSQ: 15,99", "+CSQ: -83dBm", 15, false}, Case{"ERROR", "", -1, false},
          Case{"+CSQ: 99999999999999999999,0", "", -1, false}}) {
        TRecordedMessages messages;
        TCommPort port("COM1", provider, nullptr);
        port.Messages = &messages;
        port.SignalText = "old";
        port.SignalLevel = -1;
        port.ParseSignal(c.reply);
        EXPECT_EQ(port.SignalText, c.text) << c.reply;
        EXPECT_EQ(port.SignalLevel, c.level) << c.reply;
        EXPECT_EQ(messages.shown.size(), c.warned ? 1u : 0u) << c.reply;
    }
}
