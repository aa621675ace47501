// The site behind an emulated modem and behind the radio data link: the AT
// dialogues the program relies on, the call and the access password.
#include "SimHarness.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

sim::TSiteConfig Site(sim::TModemSettings::TDial dial = sim::TModemSettings::TDial::Connect) {
    auto s = THarness::Reference();
    s.modem.dial = dial;
    s.modem.connectDelayMs = 2000;
    return s;
}

class SimModem : public ::testing::Test {
protected:
    explicit SimModem(sim::TLineKind kind = sim::TLineKind::Hayes,
                      const sim::TFaultSpec& faults = {})
        : h(Site(), kind, {}, faults) {}

    // A command as the program sends it: the text and one carriage return.
    std::string At(const std::string& cmd, long wait = 100) {
        h.Write(cmd + "\r");
        h.Run(wait);
        return h.Text();
    }
    void Call() {
        At("ATDT0197082811", 2500);
        ASSERT_TRUE(dynamic_cast<sim::TModemFront&>(*h.front).Online());
    }
    std::vector<sim::TFrame> Frames(const Bytes& b) {
        h.Write(b);
        h.Run(100);
        return h.Frames();
    }
    static Bytes Password(const std::string& p, std::uint8_t seq) {
        Bytes body{static_cast<std::uint8_t>(p.size())};
        body.insert(body.end(), p.begin(), p.end());
        if (p.empty()) body = {0};
        return Request(0, sim::opAccessPassword, body, seq);
    }

    THarness h;
};

class SimGsm : public SimModem {
protected:
    SimGsm() : SimModem(sim::TLineKind::Gsm) {}
};

} // namespace

TEST_F(SimModem, HayesAnswersTheIdentificationAndInitialisation) {
    EXPECT_EQ(h.line.lines, sim::kLineCts | sim::kLineDsr) << "no carrier before a call";
    EXPECT_EQ(At("AT"), "AT\r\r\nOK\r\n");
    EXPECT_EQ(At("ATI4"), "ATI4\r\r\nHCF 56K Modem\r\n\r\nOK\r\n");
    EXPECT_EQ(At("AT+GMM"), "AT+GMM\r\r\nERROR\r\n") << "a telephone modem knows no GSM commands";
    EXPECT_EQ(At("ATZ&F"), "ATZ&F\r\r\nOK\r\n");
    EXPECT_EQ(At("ATS0=0Q0E0M1V1X1&C1&D2L0"), "ATS0=0Q0E0M1V1X1&C1&D2L0\r\r\nOK\r\n");
    EXPECT_EQ(At("AT"), "\r\nOK\r\n") << "E0 turned the echo off";
    EXPECT_EQ(At("ATS0?"), "\r\n000\r\n\r\nOK\r\n");
    EXPECT_EQ(At("ATFOO"), "\r\nERROR\r\n");
}

TEST_F(SimGsm, GsmAnswersModelSignalAndRegistration) {
    EXPECT_EQ(At("AT+GMM"), "AT+GMM\r\r\nMC35i\r\n\r\nOK\r\n");
    EXPECT_EQ(At("ATI4"), "ATI4\r\r\nERROR\r\n");
    EXPECT_EQ(At("AT+CSQ"), "AT+CSQ\r\r\n+CSQ: 19,99\r\n\r\nOK\r\n");
    EXPECT_EQ(At("AT+CREG?"), "AT+CREG?\r\r\n+CREG: 0,1\r\n\r\nOK\r\n");
    for (const char* init : {"ATZE0", "ATQ0V1X4", "AT&S0&C1&D2", "ATS0=0S10=50"})
        EXPECT_NE(At(init).find("\r\nOK\r\n"), std::string::npos) << init;
    EXPECT_EQ(At("AT&S1"), "\r\nOK\r\n");
    EXPECT_EQ(h.line.lines, sim::kLineCts) << "with &S1 DSR waits for the call";
}

TEST(SimModemDial, EachDialResultAsConfigured) {
    using TDial = sim::TModemSettings::TDial;
    struct Case {
        TDial dial;
        const char* result;
        bool carrier;
    };
    for (const Case& c :
         {Case{TDial::Connect, "\r\nCONNECT 9600\r\n", true},
          Case{TDial::Busy, "\r\nBUSY\r\n", false},
          Case{TDial::NoCarrier, "\r\nNO CARRIER\r\n", false}, Case{TDial::None, "", false}}) {
        SCOPED_TRACE(c.result);
        THarness h(Site(c.dial), sim::TLineKind::Hayes);
        h.Write(std::string("ATE0\r"));
        h.Run(100);
        h.Text();
        h.Write(std::string("ATDT95123\r"));
        h.Run(1900);
        EXPECT_EQ(h.Text(), "") << "nothing before the dial delay";
        h.Run(200);
        EXPECT_EQ(h.Text(), c.result);
        EXPECT_EQ((h.line.lines & sim::kLineDcd) != 0, c.carrier);
        // After a failed call the modem takes commands again.
        if (!c.carrier) {
            h.Write(std::string("ATH\r"));
            h.Run(100);
            EXPECT_EQ(h.Text(), "\r\nOK\r\n");
        }
    }
}

TEST_F(SimModem, TheSiteBehindTheModemWantsThePasswordFirst) {
    // An alarm raised before the call is not told to the caller before the
    // password.
    h.site.FindDevice(2)->parameters[6].nominal = 410;
    h.Run(20000);
    h.Write(std::string("ATDT0197082811\r"));
    h.Run(3000);
    EXPECT_TRUE(h.Frames().empty());
    EXPECT_EQ(h.line.lines, sim::kLineCts | sim::kLineDsr | sim::kLineDcd);
    EXPECT_TRUE(Frames(Request(0, sim::opPoll)).empty()) << "a locked site answers nothing";
    h.Write(Password("KELLY7", 1));
    h.Write(Password("KELLY7", 2));
    auto f = Frames(Password("KELLY7", 3));
    ASSERT_EQ(f.size(), 1u) << "three password frames, one answer";
    EXPECT_EQ(f[0].opcode, sim::opAccessGranted);
    f = Frames(Request(0, sim::opPoll, {}, 4));
    EXPECT_EQ(f.size(), 4u) << "answered at once: a modem link has no turns";
}

TEST_F(SimModem, AWrongPasswordIsRefusedAndTheNextCallAsksAgain) {
    Call();
    auto f = Frames(Password("guess", 1));
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].opcode, sim::opIllegalPassword);
    EXPECT_TRUE(Frames(Request(0, sim::opPoll)).empty());
    // "+++" after a guard time of silence, then ATH.
    h.Run(1500);
    h.Write(std::string("+++"));
    h.Run(900);
    EXPECT_EQ(h.Text(), "") << "the guard time after the escape has not passed";
    h.Run(200);
    EXPECT_EQ(h.Text(), "\r\nOK\r\n");
    EXPECT_NE(h.line.lines & sim::kLineDcd, 0) << "still online in command mode";
    EXPECT_EQ(At("ATH"), "ATH\r\r\nOK\r\n");
    EXPECT_EQ(h.line.lines & sim::kLineDcd, 0);
    Call();
    f = Frames(Password("KELLY7", 1));
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].opcode, sim::opAccessGranted);
}

TEST_F(SimModem, PlusSignsInsideDataAreNotAnEscape) {
    Call();
    h.Frames();
    h.Write(Password("KELLY7", 1));
    h.Run(100);
    h.Write(std::string("+++")); // no silence before
    h.Run(3000);
    h.Frames();
    EXPECT_EQ(Frames(Request(0, sim::opPoll)).size(), 4u) << "still in data mode";
    // ATO goes back online after an escape.
    h.Run(1500);
    h.Write(std::string("+++"));
    h.Run(1500);
    EXPECT_EQ(h.Text(), "\r\nOK\r\n");
    EXPECT_EQ(At("ATO"), "ATO\r\r\nCONNECT 9600\r\n");
    EXPECT_EQ(Frames(Request(0, sim::opPoll)).size(), 4u);
}

TEST_F(SimModem, DroppingDtrHangsUp) {
    Call();
    h.front->ProgramLines(true, false, h.now);
    h.Run(10);
    EXPECT_EQ(h.Text(), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(h.line.lines & sim::kLineDcd, 0);
}

TEST(SimRadio, TheRadioLinkAnswersItsProbeAndCarriesTheBus) {
    THarness h(THarness::Reference(), sim::TLineKind::Radio);
    EXPECT_EQ(h.line.lines, sim::kLineCts | sim::kLineDsr);
    TMemoryStream probe;
    HexToStream("FE000000022C02FC46FF", probe);
    h.Write(probe.Data());
    h.Run(500);
    TMemoryStream answer(h.line.written);
    EXPECT_NE(StreamToHex(answer).find("021800"), std::string::npos) << StreamToHex(answer);
    h.line.written.clear();
    h.Write(Request(0, sim::opPoll));
    h.Write(EndOfTurn());
    h.Run(100);
    EXPECT_EQ(h.Frames().size(), 5u);

    THarness bus(THarness::Reference(), sim::TLineKind::Bus);
    bus.Write(probe.Data());
    bus.Run(500);
    EXPECT_TRUE(bus.line.written.empty()) << "a plain bus does not answer the probe";
}
