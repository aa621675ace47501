// The modem link thread against a scripted far end on the virtual pair:
// the password frames, clear-to-send pacing, the carrier watch and the
// hang-up after a refused password.
#include "DialupHarness.h"
#include "EventPump.h"
#include "VirtualSerial.h"

#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using dialup::TModemController;

Bytes HexBytes(const std::string& text) {
    TMemoryStream s;
    HexToStream(text, s);
    return s.Data();
}

const std::string kDevicePresent = "FE01050003050207F893FF"; // from 5, opcode 5
const std::string kDeviceEndOfTurn = "FE0005000103E451FF";   // from 5, opcode 3

class ModemLink : public ::testing::Test {
protected:
    ModemLink()
        : far(provider.Line("COM1").FarEnd()), port("COM1", provider, &monitor, {1, 1, 1, 1}),
          controller(out, in) {}

    void Start(const std::string& password, std::uint8_t lines = kStatusCts | kStatusDcd) {
        far.SetModemLines(lines | kStatusDsr);
        ASSERT_TRUE(port.Open());
        far.Take();
        reader = std::make_unique<TLANReaderModem>(controller, password, out, in, port);
        reader->start();
    }
    void TearDown() override {
        if (HasFailure())
            for (const auto& l : monitor.Lines())
                std::cerr << "  log: " << l << '\n';
        if (reader) {
            reader->Terminate();
            EXPECT_TRUE(reader->WaitFinished());
        }
    }
    void Queue(std::uint8_t dest, std::uint8_t opcode) {
        TBusyHold hold(out, [] {
            Delay(1);
            return true;
        });
        out.AddFrame(dest, kProgramAddress, nullptr, opcode);
        reader->FrameQueued();
    }
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
        const auto end = TSteadyClock::now() + limit;
        while (!done()) {
            if (TSteadyClock::now() >= end) return false;
            Delay(2);
            Collect();
        }
        return true;
    }
    // The thread purges the line as it starts, so a frame is written again
    // until it has been handed on; true once it has.
    bool HandOn(const std::string& hex) {
        const auto end = TSteadyClock::now() + 5s;
        while (TSteadyClock::now() < end) {
            far.Write(HexBytes(hex));
            if (RunUntil([&] { return !controller.frames.empty(); }, 200ms)) return true;
        }
        return false;
    }
    // The program's frames as the far end saw them, unstuffed.
    void Collect() {
        for (const auto& b : far.Take()) {
            current.push_back(b.value);
            if (b.value == kFrameEnd) {
                TMemoryStream f(current);
                UnescapeFrame(f);
                wire.push_back(StreamToHex(f));
                current.clear();
            }
        }
    }

    TVirtualSerialProvider provider;
    TVirtualFarEnd& far;
    TPortMonitor monitor{nullptr};
    TCommPort port;
    TMessagesList out, in;
    TModemController controller;
    std::unique_ptr<TLANReaderModem> reader;
    Bytes current;
    std::vector<std::string> wire;
};

} // namespace

TEST_F(ModemLink, ADialUpPortSendsThePasswordThreeTimes) {
    struct Case {
        const char* password;
        const char* body;
    };
    for (const Case c : {Case{"abc", "03616263"}, Case{"", "00"}}) {
        SCOPED_TRACE(c.password);
        TVirtualSerialProvider p;
        TVirtualFarEnd& f = p.Line("COM1").FarEnd();
        TPortMonitor m{nullptr};
        TCommPort dialup("COM1", p, &m, {1, 1, 1, 1});
        TMessagesList o, i;
        TModemController ctl(o, i);
        f.SetModemLines(kStatusCts | kStatusDsr | kStatusDcd);
        dialup.IsModem = true;
        ASSERT_TRUE(dialup.Open());
        f.Take();
        TLANReaderModem link(ctl, c.password, o, i, dialup);
        link.start();
        std::vector<std::string> frames;
        Bytes bytes;
        const auto end = TSteadyClock::now() + 5s;
        while (frames.size() < 3 && TSteadyClock::now() < end) {
            Delay(2);
            for (const auto& b : f.Take()) {
                bytes.push_back(b.value);
                if (b.value == kFrameEnd) {
                    TMemoryStream s(bytes);
                    UnescapeFrame(s);
                    frames.push_back(StreamToHex(s));
                    bytes.clear();
                }
            }
        }
        ASSERT_EQ(frames.size(), 3u);
        const std::string length = c.body == std::string("00") ? "02" : "05";
        for (std::size_t k = 0; k < 3; ++k) {
            // FE, broadcast, from the program, sequence, length, opcode 46.
            EXPECT_EQ(frames[k].substr(0, 6), "FE0001");
            EXPECT_EQ(frames[k].substr(8, 4 + std::string(c.body).size()), length + "2E" + c.body);
        }
        EXPECT_NE(frames[0].substr(6, 2), frames[1].substr(6, 2)) << "own sequence numbers";
        link.Terminate();
        EXPECT_TRUE(link.WaitFinished());
    }
}

TEST_F(ModemLink, ADirectLineSendsNoPassword) {
    Start("secret");
    Queue(5, 6);
    ASSERT_TRUE(RunUntil([&] { return !wire.empty(); }));
    EXPECT_EQ(wire[0].substr(10, 2), "06") << "the first frame is the queued one";
}

TEST_F(ModemLink, FramesWaitForClearToSendWhileReceivedOnesStillArrive) {
    Start("", kStatusDcd);
    Queue(5, 6);
    ASSERT_TRUE(HandOn(kDevicePresent));
    Delay(200);
    Collect();
    EXPECT_TRUE(wire.empty());
    EXPECT_EQ(out.Count(), 1u);
    far.SetModemLines(kStatusCts | kStatusDsr | kStatusDcd);
    ASSERT_TRUE(RunUntil([&] { return !wire.empty(); }));
    EXPECT_EQ(out.Count(), 0u);
}

TEST_F(ModemLink, AnEndOfTurnFrameFromTheFarSideIsHandedOn) {
    Start("");
    ASSERT_TRUE(HandOn(kDeviceEndOfTurn));
    EXPECT_EQ(controller.frames[0], kDeviceEndOfTurn);
    Delay(100);
    Collect();
    EXPECT_TRUE(wire.empty()) << "the program sends no end-of-turn frame of its own";
}

TEST_F(ModemLink, AShortCarrierDropSurvivesAndALongOneEndsTheSession) {
    Start("");
    // A frame handed on shows the thread watching the carrier.
    ASSERT_TRUE(HandOn(kDevicePresent));
    const std::uint8_t up = kStatusCts | kStatusDsr | kStatusDcd;
    // Drops well inside the grace time, often enough that the thread sees
    // several of them.
    for (int i = 0; i < 10; ++i) {
        far.SetModemLines(kStatusCts | kStatusDsr);
        std::this_thread::sleep_for(5ms);
        far.SetModemLines(up);
        Delay(30);
    }
    EXPECT_FALSE(reader->isFinished());
    EXPECT_EQ(controller.lost, 0);
    far.SetModemLines(kStatusCts | kStatusDsr);
    ASSERT_TRUE(RunUntil([&] { return reader->isFinished() && controller.lost > 0; }));
    EXPECT_EQ(controller.lost, 1);
}

TEST_F(ModemLink, ARefusedPasswordEndsTheThreadWithSessionLost) {
    Start("");
    reader->RequestHangUp();
    ASSERT_TRUE(RunUntil([&] { return reader->isFinished() && controller.lost > 0; }));
    EXPECT_FALSE(reader->HangUpRequested());
}

TEST_F(ModemLink, WithoutACarrierAtTheStartTheSessionIsLost) {
    Start("", kStatusCts);
    ASSERT_TRUE(RunUntil([&] { return reader->isFinished() && controller.lost > 0; }));
    EXPECT_EQ(controller.lost, 1);
}

TEST(ModemLinkTimeout, FrameTimeFollowsTheBaudRate) {
    TVirtualSerialProvider provider;
    TCommPort port("COM1", provider, nullptr);
    TMessagesList out, in;
    TModemController controller(out, in);
    port.BaudRate = 9600;
    EXPECT_EQ(TLANReaderModem(controller, "", out, in, port).FrameTimeout, 585ms);
    port.BaudRate = 57600;
    EXPECT_EQ(TLANReaderModem(controller, "", out, in, port).FrameTimeout, 390ms);
}
