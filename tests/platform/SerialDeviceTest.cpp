#include "EventPump.h"
#include "IniFile.h"
#include "PosixSerial.h"
#include "Pty.h"
#include "VirtualSerial.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> Values(const std::vector<TWireByte>& w) {
    std::vector<std::uint8_t> v;
    for (const auto& b : w)
        v.push_back(b.value);
    return v;
}

TEST(VirtualNullModem, BytesArriveAtTheLineRate) {
    TVirtualNullModem line;
    auto dev = line.OpenProgramEnd();
    ASSERT_TRUE(dev);
    dev->SetSettings({9600, 8, TParity::None, TStopBits::One});
    const std::vector<std::uint8_t> bytes(48, 0x55);
    const auto start = TSteadyClock::now();
    const TTimePoint last = line.FarEnd().Write(bytes);
    // 48 bytes of 10 bit times at 9600 baud: 50 ms on the wire.
    EXPECT_GE(last - start, 49ms);
    EXPECT_LT(dev->BytesWaiting(), bytes.size()) << "not all at once";
    dev->SetReadTimeout(2s);
    std::vector<std::uint8_t> got;
    while (got.size() < bytes.size()) {
        std::uint8_t buf[64];
        const long n = dev->Read(buf, sizeof buf);
        ASSERT_GT(n, 0);
        got.insert(got.end(), buf, buf + n);
    }
    EXPECT_GE(TSteadyClock::now(), last);
    EXPECT_EQ(got, bytes);
}

TEST(VirtualNullModem, ModemLinesCrossTheCable) {
    TVirtualNullModem line;
    auto dev = line.OpenProgramEnd();
    line.FarEnd().SetModemLines(kStatusCts | kStatusDsr | kStatusRi | kStatusDcd | 0x0F);
    EXPECT_EQ(dev->ModemStatus(), 0xF0) << "only the four status lines exist";
    EXPECT_FALSE(line.FarEnd().Rts());
    dev->SetRts(true);
    dev->SetDtr(true);
    EXPECT_TRUE(line.FarEnd().Rts());
    EXPECT_TRUE(line.FarEnd().Dtr());
}

TEST(VirtualNullModem, FarEndSeesRtsAsItStoodForEachByte) {
    TVirtualNullModem line;
    auto dev = line.OpenProgramEnd();
    dev->SetSettings({57600, 8, TParity::None, TStopBits::One});
    dev->SetRts(false);
    const std::uint8_t a[] = {1, 2, 3};
    dev->WriteAll(a, 3);
    dev->Drain();
    dev->SetRts(true);
    const std::uint8_t b[] = {4};
    dev->WriteAll(b, 1);
    ASSERT_TRUE(line.FarEnd().WaitReadable(TSteadyClock::now() + 2s));
    dev->Drain();
    const auto wire = line.FarEnd().Take();
    ASSERT_EQ(Values(wire), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_FALSE(wire[0].rts);
    EXPECT_FALSE(wire[2].rts);
    EXPECT_TRUE(wire[3].rts);
}

TEST(VirtualNullModem, OpenIsExclusiveAndWakeEndsAWait) {
    TVirtualSerialProvider provider;
    provider.Line("COM3");
    EXPECT_EQ(provider.Open("COM9"), nullptr) << "no such line";
    auto first = provider.Open("COM3");
    ASSERT_TRUE(first);
    EXPECT_EQ(provider.Open("COM3"), nullptr) << "in use";
    std::thread waker([&] {
        std::this_thread::sleep_for(20ms);
        first->Wake();
    });
    EXPECT_EQ(first->WaitReadable(TSteadyClock::now() + 10s), TWaitResult::Woken);
    waker.join();
    first.reset();
    EXPECT_TRUE(provider.Open("COM3")) << "free again after close";
}

TEST(VirtualNullModem, PurgeDropsWhatWaitsNotWhatIsOnTheWire) {
    TVirtualNullModem line;
    auto dev = line.OpenProgramEnd();
    dev->SetSettings({9600, 8, TParity::None, TStopBits::One});
    line.FarEnd().Write({1, 2});
    std::this_thread::sleep_for(10ms);
    const auto last = line.FarEnd().Write({3});
    dev->Purge(false, true);
    std::this_thread::sleep_until(last + 1ms);
    std::uint8_t buf[4];
    ASSERT_EQ(dev->Read(buf, 4), 1);
    EXPECT_EQ(buf[0], 3);
}

class PosixTty : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.Ok()) << "no pseudo-terminal on this machine"; }
    TTestPty pty;
};

TEST_F(PosixTty, RawBytesBothWaysAndSettingsReachTheDriver) {
    termios before{};
    {
        auto probe = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(probe, 0);
        ::tcgetattr(probe, &before);
        ::close(probe);
    }
    std::string error;
    auto dev = TPosixSerialDevice::Open(pty.Path(), &error);
    ASSERT_TRUE(dev) << error;
    dev->SetSettings({9600, 7, TParity::Even, TStopBits::Two});
    TLineSettings s;
    ASSERT_TRUE(dev->GetSettings(s));
    // A pseudo-terminal keeps the rate and the stop bits but forces 8 data
    // bits without parity: what GetSettings reports is the kernel's truth.
    EXPECT_EQ(s, (TLineSettings{9600, 8, TParity::None, TStopBits::Two}));
    EXPECT_FALSE(dev->SetSettings({12345, 8, TParity::None, TStopBits::One})) << "no such rate";
    dev->GetSettings(s);
    EXPECT_EQ(s.baud, 9600u) << "the refused rate leaves the previous one";

    // Raw mode: CR, 0x03 and 0xFF pass untouched in both directions.
    const std::uint8_t out[] = {'A', '\r', 0x03, 0xFF, '\n'};
    ASSERT_TRUE(dev->WriteAll(out, sizeof out));
    EXPECT_EQ(pty.ReadFor(2s, 5), std::string("A\r\x03\xFF\n", 5));
    pty.Write(std::string("\r\x11\xFE", 3));
    EXPECT_EQ(dev->WaitReadable(TSteadyClock::now() + 2s), TWaitResult::Readable);
    dev->SetReadTimeout(500ms);
    std::string in;
    while (in.size() < 3) {
        std::uint8_t buf[8];
        const long n = dev->Read(buf, sizeof buf);
        ASSERT_GT(n, 0);
        in.append(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(in, std::string("\r\x11\xFE", 3));
    EXPECT_EQ(dev->ModemStatus(), 0) << "a pseudo-terminal has no modem lines";

    dev.reset();
    auto probe = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(probe, 0);
    termios after{};
    ::tcgetattr(probe, &after);
    ::close(probe);
    EXPECT_EQ(after.c_lflag, before.c_lflag) << "the original settings are back after close";
    EXPECT_EQ(after.c_cflag, before.c_cflag);
}

TEST_F(PosixTty, SecondOpenFailsWhileInUse) {
    TIniFile ini;
    ASSERT_TRUE(ini.LoadText("[PORTS]\nCOM4=" + pty.Path() + "\n"));
    TPosixSerialProvider provider(TPortPaths::FromIni(ini));
    auto first = provider.Open("COM4");
    ASSERT_TRUE(first);
    std::string error;
    EXPECT_EQ(TPosixSerialDevice::Open(pty.Path(), &error), nullptr);
    EXPECT_NE(error.find("in use"), std::string::npos) << error;
    EXPECT_EQ(provider.Open("COM4"), nullptr);
    first.reset();
    EXPECT_TRUE(provider.Open("COM4"));
    EXPECT_EQ(provider.Open("COM7"), nullptr) << "/dev/ttyS6 is no tty here, or none at all";
}

TEST_F(PosixTty, WakeEndsAWaitOnASilentLine) {
    auto dev = TPosixSerialDevice::Open(pty.Path());
    ASSERT_TRUE(dev);
    EXPECT_EQ(dev->WaitReadable(TSteadyClock::now() + 20ms), TWaitResult::TimedOut);
    std::thread waker([&] {
        std::this_thread::sleep_for(20ms);
        dev->Wake();
    });
    EXPECT_EQ(dev->WaitReadable(TSteadyClock::now() + 10s), TWaitResult::Woken);
    waker.join();
}

TEST(Delay, RunsTheEventLoopUntilItsDeadline) {
    Delay(0);
    Delay(-5);
    bool ran = false;
    QTimer::singleShot(5, [&] { ran = true; });
    const auto start = TSteadyClock::now();
    Delay(60);
    EXPECT_TRUE(ran) << "events are processed while waiting";
    EXPECT_GE(TSteadyClock::now() - start, 60ms);
}

} // namespace
