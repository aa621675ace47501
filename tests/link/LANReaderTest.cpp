// The bus link thread against a scripted far end on the virtual null-modem
// pair. The main thread plays the controller: it runs the event loop while
// it waits, so the thread's dispatches and log lines arrive.
#include "LANReader.h"

#include "EventPump.h"
#include "IniFile.h"
#include "PosixSerial.h"
#include "Pty.h"
#include "VirtualSerial.h"

#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <thread>

namespace {

using namespace std::chrono_literals;

Bytes HexBytes(const std::string& text) {
    TMemoryStream s;
    HexToStream(text, s);
    return s.Data();
}

const std::string kEndOfTurn = "FE0001000103159BFF";
const std::string kDevicePresent = "FE01050003050207F893FF"; // from 5, opcode 5
const std::string kDeviceEndOfTurn = "FE0005000103E451FF";

// Takes every received frame, as the session controller will.
class TRecorder : public ILinkController {
public:
    explicit TRecorder(TMessagesList& in) : in_(in) {}
    void DispatchReceived() override {
        ++dispatches;
        if (hook) hook();
        if (keep) return;
        TBusyHold hold(in_, [] {
            Delay(1);
            return true;
        });
        for (std::size_t i = 0; i < in_.Count(); ++i) {
            in_.SetCurrent(static_cast<int>(i));
            TMemoryStream f;
            in_.CopyCurrent(f);
            frames.push_back(StreamToHex(f));
        }
        in_.FreeAll();
    }
    std::vector<std::string> frames;
    int dispatches = 0;
    bool keep = false; // leave the frames queued
    std::function<void()> hook;

private:
    TMessagesList& in_;
};

struct TWireFrame {
    std::string hex;
    bool rtsDown = true; // RTS was low for every byte
    TTimePoint first, last;
};

class LinkThread : public ::testing::Test {
protected:
    LinkThread()
        : line(provider.Line("COM1")), far(line.FarEnd()),
          port("COM1", provider, &monitor, {1, 1, 1, 1}), recorder(in) {}

    void SetUp() override {
        ASSERT_TRUE(port.Open());
        far.Take();
        reader = std::make_unique<TLANReader>(recorder, out, in, port);
        reader->start();
        // The thread purges the line as it starts; the script begins after.
        ASSERT_TRUE(RunUntil([&] { return reader->TurnActive(); }));
    }
    void TearDown() override {
        if (HasFailure())
            for (const auto& l : monitor.Lines())
                std::cerr << "  log: " << l << '\n';
        reader->Terminate();
        EXPECT_TRUE(reader->WaitFinished());
    }

    void Queue(std::uint8_t dest, std::uint8_t opcode, const Bytes& body = {}) {
        TBusyHold hold(out, [] {
            Delay(1);
            return true;
        });
        TMemoryStream b(body);
        out.AddFrame(dest, kProgramAddress, body.empty() ? nullptr : &b, opcode);
        reader->FrameQueued();
    }
    void Send(const std::string& hex) { far.Write(HexBytes(hex)); }

    // Runs the event loop until `done` holds or a generous limit passes.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
        const auto end = TSteadyClock::now() + limit;
        while (!done()) {
            if (TSteadyClock::now() >= end) return false;
            Delay(2);
            Collect();
        }
        return true;
    }
    // The program's frames as the far end saw them.
    void Collect() {
        for (const auto& b : far.Take()) {
            current.push_back(b);
            if (b.value == kFrameEnd) {
                TWireFrame f;
                for (const auto& w : current) {
                    f.hex += BytesToHex(&w.value, 1);
                    f.rtsDown = f.rtsDown && !w.rts;
                }
                f.first = current.front().at;
                f.last = current.back().at;
                wire.push_back(f);
                current.clear();
            }
        }
    }
    std::size_t Count(const std::string& prefix) const {
        std::size_t n = 0;
        for (const auto& l : monitor.Lines())
            n += l.rfind(prefix, 0) == 0;
        return n;
    }
    bool Logged(const std::string& line) const {
        const auto& l = monitor.Lines();
        return std::find(l.begin(), l.end(), line) != l.end();
    }

    TVirtualSerialProvider provider;
    TVirtualNullModem& line;
    TVirtualFarEnd& far;
    TPortMonitor monitor{nullptr};
    TCommPort port;
    TMessagesList out, in;
    TRecorder recorder;
    std::unique_ptr<TLANReader> reader;
    std::vector<TWireByte> current;
    std::vector<TWireFrame> wire;
};

TEST_F(LinkThread, NothingIsSentWhileIdle) {
    // Two whole window cycles with nothing queued.
    Delay(700);
    Collect();
    EXPECT_TRUE(wire.empty());
    EXPECT_TRUE(current.empty());
    EXPECT_EQ(Count("-->"), 0u);
    EXPECT_TRUE(far.Rts()) << "listening";
}

TEST_F(LinkThread, QueuedFramesGoBackToBackWithOneEndOfTurnAndRtsDown) {
    {
        // Both frames queued in one hold, as the controller queues a batch.
        TBusyHold hold(out, [] {
            Delay(1);
            return true;
        });
        out.AddFrame(0, 1, nullptr, 4);
        out.AddFrame(3, 1, nullptr, 6);
    }
    reader->FrameQueued();
    ASSERT_TRUE(RunUntil([&] { return wire.size() >= 3; }));
    Delay(400); // and nothing more follows
    Collect();
    ASSERT_EQ(wire.size(), 3u);
    EXPECT_EQ(wire[0].hex, "FE0001010104C2DCFF");
    EXPECT_EQ(wire[1].hex, "FE0301020106024BFF");
    EXPECT_EQ(wire[2].hex, kEndOfTurn);
    for (const auto& f : wire)
        EXPECT_TRUE(f.rtsDown) << f.hex;
    // One window: the batch is on the wire well inside 20 ms (27 bytes at
    // 57600 baud take 4.7 ms).
    EXPECT_LT(wire[2].last - wire[0].first, 20ms);
    EXPECT_TRUE(RunUntil([&] { return far.Rts() && monitor.Sent() == 3; }));
    EXPECT_TRUE(Logged("-->FE0001010104C2DCFF"));
    EXPECT_TRUE(Logged("-->" + kEndOfTurn));
    EXPECT_TRUE(monitor.Lamp(TLamp::RTS));
    EXPECT_FALSE(monitor.Lamp(TLamp::TX));
}

TEST_F(LinkThread, DeviceFramesReachTheControllerButItsEndOfTurnDoesNot) {
    Send(kDevicePresent + kDeviceEndOfTurn);
    ASSERT_TRUE(RunUntil([&] { return Logged("<--" + kDeviceEndOfTurn); }));
    Delay(50);
    EXPECT_EQ(recorder.frames, (std::vector<std::string>{kDevicePresent}));
    EXPECT_EQ(monitor.Received(), 2u);
    EXPECT_EQ(monitor.Errors(), 0u);
    EXPECT_FALSE(monitor.Lamp(TLamp::RX)) << "the device's end of turn puts the RX lamp out";
}

TEST_F(LinkThread, DeviceEndOfTurnRestartsTheCycle) {
    // A batch first, so the cycle's phase is known: its window opens 20 ms
    // after the batch, the next one 300 ms after that.
    Queue(0, 4);
    ASSERT_TRUE(RunUntil([&] { return wire.size() >= 2; }));
    const TTimePoint batch = wire[1].last;
    std::this_thread::sleep_until(batch + 100ms); // inside the long gap
    const TTimePoint eot = far.Write(HexBytes(kDeviceEndOfTurn));
    Queue(3, 6);
    ASSERT_TRUE(RunUntil([&] { return wire.size() >= 4; }));
    // Sent in the window 20 ms after the device's end of turn, not in the
    // one the old cycle would have opened 320 ms after the batch.
    EXPECT_GE(wire[2].first, eot + 20ms);
    EXPECT_LT(wire[2].first, batch + 250ms);
    EXPECT_EQ(wire[2].hex, "FE0301020106024BFF");
    EXPECT_TRUE(recorder.frames.empty());
}

TEST_F(LinkThread, FrameQueuedWithoutAWakeUpIsStillSent) {
    // A device's frame stops the turn; the thread then has no deadline.
    Send(kDevicePresent);
    ASSERT_TRUE(RunUntil([&] { return !recorder.frames.empty(); }));
    {
        TBusyHold hold(out, [] { return true; });
        out.AddFrame(0, 1, nullptr, 4);
    }
    EXPECT_TRUE(RunUntil([&] { return wire.size() >= 2; }));
}

TEST_F(LinkThread, LateFrameEndIsAnErrorAndTheRestIsNoise) {
    Send("FE01050003050207");
    std::this_thread::sleep_for(70ms);
    Send("F893FF" + kDevicePresent);
    ASSERT_TRUE(RunUntil([&] { return !recorder.frames.empty(); }));
    EXPECT_TRUE(Logged("ERROR FE01050003050207")) << "the bytes received before the time-out";
    EXPECT_EQ(monitor.Errors(), 1u) << "the tail F8 93 FF is dropped, not judged";
    EXPECT_EQ(recorder.frames, (std::vector<std::string>{kDevicePresent}));
}

TEST_F(LinkThread, LogShowsReceivedFramesUnescapedAndSentFramesStuffed) {
    Send("FE0105000429FD00FD01FD02B732FF");
    Queue(5, 41, {0xFE});
    ASSERT_TRUE(RunUntil([&] { return !recorder.frames.empty() && monitor.Sent() >= 2; }));
    EXPECT_TRUE(Logged("<--FE0105000429FDFEFFB732FF"));
    EXPECT_TRUE(Logged("-->FE0501010229FD01C4B2FF"));
    EXPECT_EQ(recorder.frames.at(0), "FE0105000429FDFEFFB732FF");
}

TEST_F(LinkThread, ResetEmptiesBothQueues) {
    recorder.keep = true;
    recorder.hook = [&] {
        if (recorder.dispatches > 1) return;
        {
            TBusyHold hold(out, [] { return true; });
            out.AddFrame(0, 1, nullptr, 4);
            out.AddFrame(0, 1, nullptr, 4);
        }
        reader->RequestReset();
    };
    Send(kDevicePresent);
    ASSERT_TRUE(RunUntil([&] { return recorder.dispatches > 0 && !reader->ResetRequested(); }));
    EXPECT_EQ(in.Count(), 0u);
    EXPECT_EQ(out.Count(), 0u);
    Delay(400);
    Collect();
    EXPECT_TRUE(wire.empty()) << "the frames queued before the reset never went out";
    EXPECT_EQ(recorder.dispatches, 1);
    EXPECT_TRUE(far.Rts() && far.Dtr());
}

struct TErrorCase {
    const char* name;
    std::string bytes;
    unsigned errors;
};

TEST_F(LinkThread, EachBadFrameCountsOneErrorAndTheNextGoodFrameArrives) {
    const TErrorCase cases[] = {
        {"bad CRC", "FE01050003050207F894FF", 1},
        {"bad length", "FE010500020502074CE5FF", 1},
        {"FD at the end", "FE01050003050207F893FDFF", 1},
        {"frame cut short by the next FE", "FE010500030502", 1},
        {"back-to-back bad frames", "FE01050003050207F894FFFE010500020502074CE5FF", 2},
        {"stray FE inside a frame", "FE0105FE0003050207F893FF", 2},
        {"noise between frames", "0012FD027F", 0},
        {"longer than any frame", "FE" + std::string(2 * 530, '1'), 1},
    };
    unsigned errors = 0;
    std::size_t frames = 0;
    for (const auto& c : cases) {
        Send(c.bytes + kDevicePresent);
        ++frames;
        ASSERT_TRUE(RunUntil([&] { return recorder.frames.size() >= frames; })) << c.name;
        errors += c.errors;
        EXPECT_EQ(monitor.Errors(), errors) << c.name;
        EXPECT_EQ(recorder.frames.back(), kDevicePresent) << c.name;
    }
    EXPECT_EQ(recorder.frames.size(), std::size(cases));
}

TEST_F(LinkThread, FrameSplitAtEveryByteBoundaryArrivesWhole) {
    const Bytes frame = HexBytes(kDevicePresent);
    for (std::size_t k = 1; k < frame.size(); ++k) {
        far.Write(frame.data(), k);
        std::this_thread::sleep_for(5ms);
        far.Write(frame.data() + k, frame.size() - k);
        ASSERT_TRUE(RunUntil([&] { return recorder.frames.size() >= k; })) << "split at " << k;
    }
    EXPECT_EQ(monitor.Errors(), 0u);
}

TEST_F(LinkThread, TerminateEndsAnIdleThreadPromptly) {
    reader->Terminate();
    EXPECT_TRUE(reader->WaitFinished());
    EXPECT_TRUE(reader->isFinished());
}

} // namespace

namespace {

// The same thread on the POSIX device over a real pseudo-terminal: its
// waits are ppoll on the tty and the wake-up descriptor.
class LinkOverPty : public ::testing::Test {
protected:
    void SetUp() override {
        pty = std::make_unique<TTestPty>();
        ASSERT_TRUE(pty->Ok());
        TIniFile ini;
        ASSERT_TRUE(ini.LoadText("[PORTS]\nCOM2=" + pty->Path() + "\n"));
        provider = std::make_unique<TPosixSerialProvider>(TPortPaths::FromIni(ini));
        port = std::make_unique<TCommPort>("COM2", *provider, &monitor, TPortTimings{1, 1, 1, 1});
        ASSERT_TRUE(port->Open());
        reader = std::make_unique<TLANReader>(recorder, out, in, *port);
        reader->start();
        const auto end = TSteadyClock::now() + 5s;
        while (!reader->TurnActive() && TSteadyClock::now() < end)
            Delay(2);
    }
    void TearDown() override {
        reader->Terminate();
        EXPECT_TRUE(reader->WaitFinished());
    }
    bool RunUntil(const std::function<bool()>& done) {
        const auto end = TSteadyClock::now() + 5s;
        while (!done()) {
            if (TSteadyClock::now() >= end) return false;
            Delay(2);
        }
        return true;
    }
    void Queue() {
        {
            TBusyHold hold(out, [] {
                Delay(1);
                return true;
            });
            out.AddFrame(0, 1, nullptr, 4);
        }
        reader->FrameQueued();
    }
    bool Logged(const std::string& line) const {
        const auto& l = monitor.Lines();
        return std::find(l.begin(), l.end(), line) != l.end();
    }

    std::unique_ptr<TTestPty> pty;
    std::unique_ptr<TPosixSerialProvider> provider;
    TPortMonitor monitor{nullptr};
    std::unique_ptr<TCommPort> port;
    TMessagesList out, in;
    TRecorder recorder{in};
    std::unique_ptr<TLANReader> reader;
};

TEST_F(LinkOverPty, FramesBothWays) {
    pty->Write(std::string("\xFE\x01\x05\x00\x03\x05\x02\x07\xF8\x93\xFF", 11));
    ASSERT_TRUE(RunUntil([&] { return !recorder.frames.empty(); }));
    EXPECT_EQ(recorder.frames[0], kDevicePresent);
    Queue();
    EXPECT_EQ(BytesToHex(reinterpret_cast<const std::uint8_t*>(pty->ReadFor(5s, 18).data()), 18),
              "FE0001010104C2DCFF" + kEndOfTurn);
}

TEST_F(LinkOverPty, WritesToAHungUpLineAreErrorsNotSentFrames) {
    pty.reset(); // the far side hangs up
    Queue();
    ASSERT_TRUE(RunUntil([&] { return Logged("ERROR FE0001010104C2DCFF"); }));
    EXPECT_TRUE(RunUntil([&] { return monitor.Errors() >= 2; })) << "the frame and the end of turn";
    EXPECT_EQ(monitor.Sent(), 0u);
}

} // namespace

namespace {

TEST(LinkThreadStart, ClosedPortEndsTheThreadWithoutTouchingTheLine) {
    TVirtualSerialProvider provider;
    TVirtualFarEnd& far = provider.Line("COM1").FarEnd();
    TPortMonitor monitor(nullptr);
    TCommPort port("COM1", provider, &monitor, {1, 1, 1, 1});
    TMessagesList out, in;
    TRecorder recorder(in);
    {
        TBusyHold hold(out, [] { return true; });
        out.AddFrame(0, 1, nullptr, 4);
    }
    TLANReader reader(recorder, out, in, port);
    EXPECT_EQ(out.Count(), 0u) << "creation empties the queues";
    reader.start();
    EXPECT_TRUE(reader.WaitFinished());
    EXPECT_FALSE(far.ProgramOpen());
    EXPECT_TRUE(far.Take().empty());
    EXPECT_TRUE(monitor.Lines().empty());
}

} // namespace
