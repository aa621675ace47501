// The program's own AT command channel (the serial port object's Command and
// Query, with their rules for echoes and result lines) against the modems of
// the simulator on the virtual line.
#include "SerialComm.h"
#include "SimHarness.h"
#include "VirtualSite.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

class SimPortDialogue : public ::testing::Test {
protected:
    void Start(sim::TLineKind kind) {
        auto config = THarness::Reference();
        config.modem.connectDelayMs = 200;
        config.modem.guardMs = 100;
        site = std::make_unique<sim::TVirtualSite>(provider.Line("COM2").FarEnd(), kind,
                                                   std::move(config));
        ASSERT_TRUE(port.Open());
    }

    TVirtualSerialProvider provider;
    TPortMonitor monitor{nullptr};
    TCommPort port{"COM2", provider, &monitor, {1, 1, 1, 1}};
    std::unique_ptr<sim::TVirtualSite> site;
};

} // namespace

TEST_F(SimPortDialogue, TheTelephoneModemAnswersIdentificationAndInitialisation) {
    Start(sim::TLineKind::Hayes);
    EXPECT_EQ(port.Command("AT", 2000), "OK") << "the echo is skipped";
    EXPECT_EQ(port.Command("AT+GMM", 4000), "ERROR");
    EXPECT_EQ(port.Command("ATI4", 4000), "HCF 56K Modem");
    // The dialer works on a port opened afresh, which purges the OK that
    // followed the model (once it has crossed the line).
    Delay(100);
    port.Close();
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.Command("ATZ&F", 5000), "OK");
    EXPECT_EQ(port.Command("ATS0=0Q0E0M1V1X1&C1&D2L0", 500), "OK");
    EXPECT_EQ(port.ModemStatus() & (kStatusCts | kStatusDsr | kStatusDcd), kStatusCts | kStatusDsr);

    port.SendCommand("ATDT95123");
    port.TimeoutMs = 5000;
    EXPECT_EQ(port.ReadResult(), "CONNECT 9600");
    EXPECT_NE(port.ModemStatus() & kStatusDcd, 0);

    // Hanging up as the dialer does: "+++", its OK, then ATH.
    Delay(300);
    port.SendCommand("+++");
    port.TimeoutMs = 6000;
    EXPECT_EQ(port.ReadResult(), "OK");
    EXPECT_EQ(port.Command("ATH", 2000), "OK");
    EXPECT_EQ(port.ModemStatus() & kStatusDcd, 0);
}

TEST_F(SimPortDialogue, TheGsmModemAnswersSignalAndRegistrationQueries) {
    Start(sim::TLineKind::Gsm);
    EXPECT_EQ(port.Command("AT", 2000), "OK");
    EXPECT_EQ(port.Command("AT+GMM", 4000), "MC35i");
    EXPECT_EQ(port.Query("AT+CSQ", 4000), "+CSQ: 19,99");
    EXPECT_EQ(port.Query("AT+CREG?", 4000), "+CREG: 0,1");
}
