#include "SerialComm.h"

#include "IniFile.h"
#include "PosixSerial.h"
#include "Pty.h"
#include "VirtualSerial.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct TSettingsCase {
    const char* text;
    TLineSettings line;
    const char* rebuilt; // as the port COM1 writes it back
};

TEST(SettingsText, ReadAndWrittenBack) {
    const TSettingsCase cases[] = {
        {"COM2:9600,e,7,2", {9600, 7, TParity::Even, TStopBits::Two}, "COM1:9600,e,7,2"},
        {"COM1:57600,x,8,1", {57600, 8, TParity::None, TStopBits::One}, "COM1:57600,n,8,1"},
        {"COM1:9600,n,9,1", {9600, 8, TParity::None, TStopBits::One}, "COM1:9600,n,8,1"},
        {"COM1:1205,n,8,1", {1200, 8, TParity::None, TStopBits::One}, "COM1:1200,n,8,1"},
        {"COM1:19200,o,4,1.5",
         {19200, 4, TParity::Odd, TStopBits::OneAndHalf},
         "COM1:19200,o,4,1.5"},
        {"COM1:2400,m,5,3", {2400, 5, TParity::Mark, TStopBits::One}, "COM1:2400,m,5,1"},
        {"COM1:4800,s,6,2,junk", {4800, 6, TParity::Space, TStopBits::Two}, "COM1:4800,s,6,2"},
        {"COM1:fast,n,8,1", {110, 8, TParity::None, TStopBits::One}, "COM1:110,n,8,1"},
        {"COM1:99999999999,n,8,1", {110, 8, TParity::None, TStopBits::One}, "COM1:110,n,8,1"},
        {"COM1:", {110, 8, TParity::None, TStopBits::One}, "COM1:110,n,8,1"},
        {"", {110, 8, TParity::None, TStopBits::One}, "COM1:110,n,8,1"},
        {"9600,e", {9600, 8, TParity::Even, TStopBits::One}, "COM1:9600,e,8,1"},
    };
    for (const auto& c : cases) {
        const TLineSettings s = ParseSettingsText(c.text);
        EXPECT_EQ(s, c.line) << c.text;
        EXPECT_EQ(SettingsTextFor("COM1", s), c.rebuilt) << c.text;
    }
}

class VirtualPort : public ::testing::Test {
protected:
    static constexpr TPortTimings kQuick{1, 1, 1, 1};
    VirtualPort() : far(provider.Line("COM4").FarEnd()), port("COM4", provider, &monitor, kQuick) {}

    void Reply(const std::string& s) {
        far.Write(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    }
    std::string Sent() {
        std::string s;
        for (const auto& b : far.Take())
            s += static_cast<char>(b.value);
        return s;
    }
    bool Logged(const std::string& line) const {
        const auto& l = monitor.Lines();
        return std::find(l.begin(), l.end(), line) != l.end();
    }

    TVirtualSerialProvider provider;
    TVirtualFarEnd& far;
    TPortMonitor monitor{nullptr};
    TCommPort port;
};

TEST_F(VirtualPort, ApplySettingsUsesThePortsOwnName) {
    ASSERT_TRUE(port.Open());
    port.ApplySettings("COM2:9600,e,7,2");
    EXPECT_EQ(far.Settings(), (TLineSettings{9600, 7, TParity::Even, TStopBits::Two}));
    EXPECT_EQ(port.SettingsText(), "COM4:9600,e,7,2");
    EXPECT_EQ(monitor.StateText(), "COM4:9600,e,7,2");
    EXPECT_EQ(monitor.Lines().back(), "*** COM4:9600,e,7,2");
}

TEST_F(VirtualPort, SetBaudRateAppliesOnlyTheListedRates) {
    port.SetBaudRate(9600);
    EXPECT_EQ(port.BaudRate, 57600) << "a closed port stores nothing";
    ASSERT_TRUE(port.Open());
    const std::size_t lines = monitor.Lines().size();
    port.SetBaudRate(38400);
    EXPECT_EQ(port.BaudRate, 38400);
    EXPECT_EQ(far.Settings().baud, 57600u) << "the line stays at its rate";
    EXPECT_EQ(monitor.Lines().size(), lines) << "no *** line";
    port.SetBaudRate(19200);
    EXPECT_EQ(far.Settings().baud, 19200u);
    EXPECT_EQ(monitor.Lines().back(), "*** COM4:19200,n,8,1");
}

struct TOpenCase {
    std::uint8_t lines;
    std::uint32_t baud;
    bool direct;
    const char* state;
};

TEST_F(VirtualPort, OpenChoosesTheRateFromTheModemLines) {
    const TOpenCase cases[] = {
        {0, 57600, false, "COM4:57600,n,8,1 RS485"},
        {kStatusCts | kStatusDsr, 9600, false, "COM4:9600,n,8,1 RS485"},
        {kStatusCts | kStatusDsr | kStatusDcd, 57600, true, "COM4:57600,n,8,1 RS232"},
    };
    for (const auto& c : cases) {
        far.SetModemLines(c.lines);
        ASSERT_TRUE(port.Open());
        EXPECT_EQ(far.Settings().baud, c.baud) << int(c.lines);
        EXPECT_EQ(port.IsDirect, c.direct) << int(c.lines);
        EXPECT_EQ(monitor.StateText(), c.state);
        EXPECT_TRUE(Logged("*** Open port " + port.SettingsText()));
        EXPECT_TRUE(far.Rts() && far.Dtr()) << "raised after the open";
        port.Close();
    }
}

TEST_F(VirtualPort, PortInUseFailsToOpenAndLogsNothing) {
    ASSERT_TRUE(port.Open());
    TPortMonitor otherMonitor(nullptr);
    TCommPort other("COM4", provider, &otherMonitor, kQuick);
    EXPECT_FALSE(other.Open());
    EXPECT_EQ(other.Handle(), nullptr);
    EXPECT_TRUE(otherMonitor.Lines().empty());
    EXPECT_EQ(other.BytesPending(), 0u);
    EXPECT_EQ(other.ModemStatus(), 0);
}

TEST_F(VirtualPort, CloseDropsTheLinesAndFreesThePort) {
    ASSERT_TRUE(port.Open());
    port.Close();
    EXPECT_FALSE(far.ProgramOpen());
    EXPECT_FALSE(far.Rts());
    EXPECT_FALSE(far.Dtr());
    EXPECT_EQ(monitor.StateText(), "DISCONNECT");
    EXPECT_EQ(monitor.Lines().back(), "*** Close port COM4");
    port.Close();
    EXPECT_EQ(monitor.Lines().back(), "*** Close port COM4") << "harmless when closed";
}

struct TResultCase {
    const char* stream;
    const char* result;
    bool waitsForTimeout;
};

TEST_F(VirtualPort, ReadResultLineRules) {
    const TResultCase cases[] = {
        {"\r\nOK\r\n", "OK", false},
        {"0\r", "0", true},        // a one-character line does not end at its CR
        {"0\rAB\r", "0AB", false}, // ... it runs on into the next line
        {"\n\n\r\rCONNECT 9600\r", "CONNECT 9600", false},
        {"", "", true},
    };
    ASSERT_TRUE(port.Open());
    for (const auto& c : cases) {
        port.TimeoutMs = 300;
        Reply(c.stream);
        const auto start = TSteadyClock::now();
        EXPECT_EQ(port.ReadResult(), c.result) << c.stream;
        if (c.waitsForTimeout) {
            EXPECT_GE(TSteadyClock::now() - start, 300ms) << c.stream;
        }
        if (*c.result) {
            EXPECT_EQ(monitor.Lines().back(), std::string("MODEM RESULT: ") + c.result);
        }
    }
    port.Close();
    const auto start = TSteadyClock::now();
    EXPECT_EQ(port.ReadResult(), "") << "a closed port waits out its time-out";
    EXPECT_GE(TSteadyClock::now() - start, 300ms);
}

TEST_F(VirtualPort, CommandSkipsTheEchoAndQueryTheOk) {
    ASSERT_TRUE(port.Open());
    Sent();
    Reply("AT\r\r\nOK\r\n");
    EXPECT_EQ(port.Command("AT", 2000), "OK");
    EXPECT_EQ(port.TimeoutMs, 2000);
    EXPECT_EQ(Sent(), "AT\r");
    EXPECT_TRUE(Logged("MODEM COMMAND: AT"));

    Reply("AT+CSQ\r\r\n+CSQ: 17,99\r\n\r\nOK\r\n");
    EXPECT_EQ(port.Query("AT+CSQ", 4000), "+CSQ: 17,99");
    Reply("\r\nOK\r\n\r\n+CGMM: MC35i\r\n");
    EXPECT_EQ(port.Query("AT+CGMM", 4000), "+CGMM: MC35i");
    Reply("ERROR\r\n");
    EXPECT_EQ(port.Query("AT+X", 500), "ERROR");
}

TEST_F(VirtualPort, EscapeGoesWithoutCarriageReturn) {
    ASSERT_TRUE(port.Open());
    Sent();
    EXPECT_TRUE(port.SendCommand("+++"));
    EXPECT_TRUE(port.SendCommand("ATH"));
    port.Handle()->Drain();
    EXPECT_EQ(Sent(), "+++ATH\r");
    port.Close();
    EXPECT_FALSE(port.SendCommand("ATZ")) << "nothing went out on a closed port";
}

TEST_F(VirtualPort, GsmModemIsAskedForSignalAndRegistrationOnOpen) {
    // A modem answering with echo, the information line and OK.
    std::atomic<bool> stop{false};
    std::thread modem([&] {
        std::string heard;
        while (!stop) {
            if (!far.WaitReadable(TSteadyClock::now() + 20ms)) continue;
            for (const auto& b : far.Take())
                heard += static_cast<char>(b.value);
            const auto answer = [&](const std::string& command, const std::string& info) {
                if (heard.size() < command.size() ||
                    heard.compare(heard.size() - command.size(), command.size(), command) != 0)
                    return;
                Reply(command + "\r\n" + info + "\r\n\r\nOK\r\n");
                heard.clear();
            };
            answer("AT+CSQ\r", "+CSQ: 20,99");
            answer("AT+CREG?\r", "+CREG: 0,1");
        }
    });
    port.ModemModel = "MC35i";
    const bool opened = port.Open();
    stop = true;
    modem.join();
    ASSERT_TRUE(opened);
    EXPECT_TRUE(monitor.GsmLevelVisible());
    EXPECT_EQ(monitor.GsmLevelText(), "-73dBm");
    EXPECT_EQ(port.RegistrationText, "+CREG: 0,1");
    port.Close();
    EXPECT_FALSE(monitor.GsmLevelVisible());
}

TEST(PosixPort, SettingsReachTheKernelTty) {
    TTestPty pty;
    ASSERT_TRUE(pty.Ok());
    TIniFile ini;
    ASSERT_TRUE(ini.LoadText("[PORTS]\nCOM4=" + pty.Path() + "\n"));
    TPosixSerialProvider provider(TPortPaths::FromIni(ini));
    TPortMonitor monitor(nullptr);
    TCommPort port("COM4", provider, &monitor, {1, 1, 1, 1});
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.SettingsText(), "COM4:57600,n,8,1") << "no modem lines on a pseudo-terminal";
    // The kernel's pty keeps rate and stop bits and forces 8 bits without
    // parity; the text shows what the driver kept, not what was asked.
    port.ApplySettings("COM2:9600,e,7,2");
    TLineSettings s;
    ASSERT_TRUE(port.Handle()->GetSettings(s));
    EXPECT_EQ(s, (TLineSettings{9600, 8, TParity::None, TStopBits::Two}));
    EXPECT_EQ(port.SettingsText(), "COM4:9600,n,8,2");
    EXPECT_EQ(monitor.Lines().back(), "*** COM4:9600,n,8,2");
    port.ApplySettings("COM4:1205,n,4,1.5");
    EXPECT_EQ(port.SettingsText(), "COM4:1200,n,8,2");

    port.ApplySettings("COM4:57600,n,8,1");
    pty.Write("AT\r\r\nOK\r\n");
    EXPECT_EQ(port.Command("AT", 2000), "OK");
    EXPECT_EQ(pty.ReadFor(2s, 3), "AT\r");

    TCommPort second("COM4", provider, nullptr, {1, 1, 1, 1});
    EXPECT_FALSE(second.Open()) << "in use by the first";
}

} // namespace
