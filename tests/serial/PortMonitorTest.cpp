#include "PortMonitor.h"

#include "EventPump.h"

#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace {

class TRecordedMessages : public IOperatorMessages {
public:
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

TEST(PortMonitor, MemoIsEmptiedOncePastTwoHundredLines) {
    TPortMonitor m(nullptr);
    std::ostringstream text;
    TTextPortLog log(text);
    m.AddView(&log);
    for (int i = 1; i <= 201; ++i)
        m.AddLine("line " + std::to_string(i));
    EXPECT_EQ(m.Lines().size(), 201u);
    m.AddLine("line 202");
    ASSERT_EQ(m.Lines().size(), 1u);
    EXPECT_EQ(m.Lines()[0], "line 202");
    EXPECT_NE(text.str().find("line 1\nline 2\n"), std::string::npos)
        << "the text log keeps every line";
    m.RemoveView(&log);
}

TEST(PortMonitor, CountersLampsAndReset) {
    TPortMonitor m(nullptr);
    m.CountSent();
    m.CountSent();
    m.CountSent();
    m.CountErrors();
    m.SetTX(true);
    m.SetRX(true);
    m.SetDTR(true);
    m.ShowOutQueue(4);
    EXPECT_EQ(m.Sent(), 3u);
    EXPECT_TRUE(m.RXActive());
    m.ShowModemStatus(0x30);
    EXPECT_TRUE(m.Lamp(TLamp::DSR));
    EXPECT_TRUE(m.Lamp(TLamp::CTS));
    EXPECT_FALSE(m.Lamp(TLamp::RI));
    EXPECT_FALSE(m.Lamp(TLamp::DCD));
    m.ShowModemStatus(0xC0);
    EXPECT_FALSE(m.Lamp(TLamp::DSR));
    EXPECT_TRUE(m.Lamp(TLamp::RI));
    EXPECT_TRUE(m.Lamp(TLamp::DCD));
    m.AddLine("x");
    m.Reset();
    EXPECT_EQ(m.Sent(), 0u);
    EXPECT_EQ(m.Errors(), 0u);
    EXPECT_EQ(m.OutQueue(), 0u);
    EXPECT_TRUE(m.Lines().empty());
    EXPECT_FALSE(m.Lamp(TLamp::TX));
    EXPECT_FALSE(m.Lamp(TLamp::RX));
    EXPECT_TRUE(m.Lamp(TLamp::DTR)) << "Reset puts out only the data lamps";
}

struct TSignalCase {
    const char* reply;
    const char* label; // nullptr: unchanged
    bool warned;
};

TEST(PortMonitor, ShowSignalTable) {
    const TSignalCase cases[] = {
        {"+CSQ: 20,99", "-73dBm", false},
        {"+CSQ: 1,0", "-111dBm", true},
        {"+CSQ: 0,0", "-113dBm", true},
        {"+CSQ: 2,0", "-109dBm", false},
        {"+CSQ: 31,0", "-51dBm", false},
        {"+CSQ: 99,99", ">-113 dBm", true}, // not known: no level to show
        {"+CSQ: 45,0", ">-113 dBm", true},  // no reading a modem gives
        {"+CSQ: 99999999999999999,0", ">-113 dBm", true},
        {"+CSQ: ,5", ">-113 dBm", false},
        {"garbage", ">-113 dBm", false},
        {"OK", nullptr, false},
        {"ERROR", nullptr, false},
        {"", nullptr, false},
    };
    for (const auto& c : cases) {
        TRecordedMessages messages;
        TPortMonitor m(&messages);
        m.ShowSignal(c.reply);
        EXPECT_EQ(m.GsmLevelText(), c.label ? c.label : "0") << c.reply;
        EXPECT_EQ(!messages.shown.empty(), c.warned) << c.reply;
        if (c.warned) {
            EXPECT_EQ(messages.shown.at(0), "Received signal less than 110 dBm");
        }
    }
}

TEST(PortMonitor, CallsFromAnotherThreadArriveInOrder) {
    TPortMonitor m(nullptr);
    std::thread link([&] {
        for (int i = 0; i < 50; ++i)
            m.AddLine(std::to_string(i));
        m.SetRX(true);
        m.SetRX(false);
        m.CountReceived();
    });
    link.join();
    EXPECT_TRUE(m.Lines().empty()) << "nothing changes off the monitor's thread";
    for (int i = 0; i < 100 && m.Received() == 0; ++i)
        Delay(5);
    ASSERT_EQ(m.Lines().size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(m.Lines()[static_cast<std::size_t>(i)], std::to_string(i));
    EXPECT_FALSE(m.RXActive()) << "the last lamp change wins";
    EXPECT_EQ(m.Received(), 1u);
}

} // namespace
