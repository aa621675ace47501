// A dial-up call from end to end against the simulated site: the dialer
// connects, the modem link thread presents the password, the site's answer
// reaches the controller, and the call is hung up again.
#include "DialupHarness.h"
#include "ModemDialing.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using namespace dialup;

constexpr std::uint8_t opAccessGranted = 1;
constexpr std::uint8_t opIllegalPassword = 48;
constexpr std::uint8_t opPoll = 4;
constexpr std::uint8_t opPresent = 5;

class DialUpSession : public ::testing::Test, public TModemLine {
protected:
    // Dials the reference site, runs the link with `password` until the
    // site has answered it, and hangs up.
    void Call(const std::string& password) {
        Attach(sim::TLineKind::Hayes, ReferenceSite(), "HCF 56K Modem");
        port.PhoneNumber = "5551234";
        TDialControl session;
        TModemDialing(port, session, [](long ms) { Delay(std::min(ms, 150L)); }).Dial();
        ASSERT_EQ(port.LinkState, "CONNECTED");
        ASSERT_FALSE(session.NotConnected);

        TMessagesList out, in;
        TModemController controller(out, in);
        {
            TLANReaderModem link(controller, password, out, in, port);
            link.start();
            const auto end = TSteadyClock::now() + 10s;
            while (controller.opcodes.empty() && TSteadyClock::now() < end)
                Delay(5);
            answers = controller.opcodes;
            if (answers == std::vector<std::uint8_t>{opAccessGranted}) {
                // Discovery starts with a poll; the site's devices announce
                // themselves over the call.
                {
                    TBusyHold hold(out, [] {
                        Delay(1);
                        return true;
                    });
                    out.AddFrame(kBroadcastAddress, kProgramAddress, nullptr, opPoll);
                }
                link.FrameQueued();
                const auto polled = TSteadyClock::now() + 10s;
                while (TSteadyClock::now() < polled &&
                       std::count(controller.opcodes.begin(), controller.opcodes.end(), opPresent) <
                           1)
                    Delay(5);
                present =
                    std::count(controller.opcodes.begin(), controller.opcodes.end(), opPresent);
            }
            link.Terminate();
            EXPECT_TRUE(link.WaitFinished());
        }
        EXPECT_EQ(controller.lost, 0);
        TModemDialing(port, session, [](long ms) { Delay(std::min(ms, 150L)); }).HangUp();
        EXPECT_TRUE(session.NotConnected);
        EXPECT_EQ(port.ModemStatus() & kStatusDcd, 0) << "the call is down";
    }
    std::vector<std::uint8_t> answers;
    long present = 0;
};

} // namespace

TEST_F(DialUpSession, TheRightPasswordIsGrantedAndTheCallIsHungUp) {
    Call("KELLY7");
    EXPECT_EQ(answers, std::vector<std::uint8_t>{opAccessGranted})
        << "the repeats are not answered";
    EXPECT_GE(present, 1) << "the site's devices answered the poll";
    EXPECT_EQ(trace.With("dial "), std::vector<std::string>{"5551234"});
    EXPECT_EQ(trace.With("carrier down").size(), 1u);
}

TEST_F(DialUpSession, AWrongPasswordIsRefused) {
    Call("nope");
    EXPECT_EQ(answers, std::vector<std::uint8_t>{opIllegalPassword});
}
