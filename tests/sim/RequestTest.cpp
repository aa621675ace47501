// What each request does to the site and what comes back. Run on the RS-232
// front, which answers without waiting for a turn.
#include "SimHarness.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

class SimRequest : public ::testing::Test {
protected:
    SimRequest() : h(THarness::Reference(), sim::TLineKind::Rs232) {}

    std::vector<sim::TFrame> Ask(std::uint8_t dest, std::uint8_t opcode, const Bytes& body = {}) {
        h.Write(Request(dest, opcode, body, ++seq));
        h.Run(50);
        return h.Frames();
    }
    const sim::TFrame* Find(const std::vector<sim::TFrame>& f, std::uint8_t opcode) {
        for (const auto& x : f)
            if (x.opcode == opcode) return &x;
        return nullptr;
    }
    static std::string TextOf(const sim::TFrame& f) {
        TMemoryStream s(f.body);
        return ReadShortString(s);
    }
    std::uint16_t Value(std::uint8_t dest, std::uint8_t id) {
        const auto f = Ask(dest, sim::opGetParameterValues, {1, id});
        EXPECT_EQ(f.size(), 1u);
        return f.empty() ? 0 : static_cast<std::uint16_t>(f[0].body[2] | (f[0].body[3] << 8));
    }

    THarness h;
    std::uint8_t seq = 0;
};

} // namespace

TEST_F(SimRequest, DirectLineHoldsTheModemLinesAndNeedsNoTurn) {
    EXPECT_EQ(h.line.lines, sim::kLineCts | sim::kLineDsr | sim::kLineDcd);
    const auto f = Ask(0, sim::opPoll);
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0].opcode, sim::opPresent);
}

TEST_F(SimRequest, ParameterValuesForAllOrSelectedParameters) {
    auto f = Ask(2, sim::opGetParameterValues, {0xFF});
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].opcode, sim::opParameterValues);
    EXPECT_EQ(f[0].body[0], 13);
    EXPECT_EQ(f[0].body.size(), 1u + 13 * 3);
    f = Ask(2, sim::opGetParameterValues, {3, 0, 5, 99});
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].body[0], 2) << "an index the device does not have is left out";
    EXPECT_EQ(f[0].body[1], 0);
    EXPECT_EQ(f[0].body[4], 5);
    EXPECT_EQ(f[0].body[5] | (f[0].body[6] << 8), 38) << "UPS Load 38 %";
}

TEST_F(SimRequest, ADeviceBehindTheHubAnswersInChildFormsFromTheHub) {
    struct Case {
        std::uint8_t opcode;
        Bytes body;
        std::uint8_t reply;
    };
    const Case cases[] = {
        {sim::opGetParameterValues, {0xFF}, sim::opChildParameterValues},
        {sim::opGetState, {}, sim::opChildState},
        {sim::opGetControlValue, {0}, sim::opChildControlValue},
        {sim::opControlValue, {0, 90, 0}, sim::opChildControlValue},
        {sim::opAttributeText, {0, 3, 'E', 'x', 'A'}, sim::opChildAttributeText},
        {sim::opGetDefinition, {}, sim::opChildDefinition},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.opcode));
        const auto f = Ask(0x13, c.opcode, c.body);
        ASSERT_FALSE(f.empty());
        EXPECT_EQ(f[0].opcode, c.reply);
        EXPECT_EQ(f[0].src, 5);
        EXPECT_EQ(f[0].body[0], 0x13);
    }
    EXPECT_EQ(h.site.FindDevice(0x13)->attributes[0].value, "ExA");
    EXPECT_EQ(h.site.FindDevice(0x13)->controls[0].value, 90);
}

TEST_F(SimRequest, ASetParameterIsHeldAndAControlIsKeptWithinItsLimits) {
    auto f = Ask(3, sim::opParameterValues, {3, 90, 0}); // Output Power Setpoint 90 %
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].body, (Bytes{1, 3, 90, 0}));
    h.Run(60000);
    h.Frames();
    EXPECT_EQ(Value(3, 3), 90);
    // The three-slider form sets the first value.
    f = Ask(3, sim::opParameterValues, {3, 80, 0, 10, 0, 20, 0});
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].body, (Bytes{1, 3, 80, 0}));

    f = Ask(3, sim::opControlValue, {0, 200, 0}); // Output Power Level, 50..110
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].body, (Bytes{0, 110, 0}));
    f = Ask(3, sim::opGetControlValue, {0});
    EXPECT_EQ(f[0].body, (Bytes{0, 110, 0}));
}

TEST_F(SimRequest, AnAlarmLatchesUntilClearAlarmsAndIsTold) {
    // Shelter Temperature (parameter 6, limit 35.0 °C) driven to 41.0 °C.
    Ask(2, sim::opParameterValues, {6, 0x9A, 0x01});
    h.Run(2000);
    auto f = h.Frames();
    const auto* text = Find(f, sim::opTextMessage);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(TextOf(*text), "Site Server: Shelter Temperature above limit");
    f = Ask(2, sim::opGetState);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].body[0], sim::kStateAlarm | sim::kStateTemp);

    Ask(2, sim::opParameterValues, {6, 245, 0}); // back to 24.5 °C
    h.Run(2000);
    h.Frames();
    f = Ask(2, sim::opGetState);
    EXPECT_EQ(f[0].body[0], sim::kStateAlarm | sim::kStateTemp) << "the alarm stays latched";
    f = Ask(2, sim::opExecuteCommand, {0});
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(TextOf(f[0]), "Alarm memory cleared");
    EXPECT_EQ(f[1].opcode, sim::opState);
    EXPECT_EQ(f[1].body[0], 0);
    f = Ask(2, sim::opGetHistory);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].body[0], 4) << "three records of the file and the new alarm";
    EXPECT_EQ(f[0].body.size(), 1u + 4 * 13);
    EXPECT_EQ(f[0].body[1 + 3 * 13 + 8], 6) << "parameter ID of the new record";
}

TEST_F(SimRequest, SwitchingTheTransmitterOffTakesItsRfDown) {
    Ask(3, sim::opExecuteCommand, {2}); // Transmitter Off
    h.Run(120000);
    h.Frames();
    EXPECT_LT(Value(3, 0), 50) << "antenna forward power";
    EXPECT_GT(Value(3, 4), 100) << "inlet temperature does not follow the RF";
    EXPECT_EQ(Ask(3, sim::opGetState)[0].body[0], 0) << "no alarm for RF switched off on purpose";
    Ask(3, sim::opExecuteCommand, {1}); // Transmitter On
    h.Run(120000);
    h.Frames();
    EXPECT_GT(Value(3, 0), 2000);
}

TEST_F(SimRequest, SettingsChangeTheDevice) {
    auto f = Ask(4, sim::opSetDeviceType, {21});
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].opcode, sim::opDefinition);
    EXPECT_EQ(f[0].body[2], 21);
    f = Ask(4, sim::opSetMode, {3});
    EXPECT_EQ(f[0].body[3], 3);
    EXPECT_TRUE(Ask(4, sim::opSetMode, {16}).empty()) << "modes are 0..15";

    EXPECT_TRUE(Ask(4, sim::opSetAddress, {9}).empty());
    EXPECT_TRUE(Ask(4, sim::opGetState).empty());
    EXPECT_EQ(Ask(9, sim::opGetState).size(), 1u);
    EXPECT_TRUE(Ask(9, sim::opSetAddress, {2}).empty());
    EXPECT_NE(h.site.FindDevice(9), nullptr) << "an address in use is refused";

    f = Ask(2, sim::opAttributeText, {0, 6, 'S', 'e', 'r', 'v', 'e', 'r'});
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].body, (Bytes{0, 6, 'S', 'e', 'r', 'v', 'e', 'r'}));

    f = Ask(2, sim::opDateTime, {30, 15, 4, 31, 12, 0xEA, 0x07}); // 31.12.2026 04:15:30
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].body, (Bytes{30, 15, 4, 31, 12, 0xEA, 0x07}));
    h.Run(1000);
    f = Ask(2, sim::opGetDateTime);
    EXPECT_EQ(f[0].body, (Bytes{31, 15, 4, 31, 12, 0xEA, 0x07})) << "the clock runs";

    f = Ask(2, sim::opCalibration, {0x25});
    EXPECT_EQ(f[0].body, (Bytes{0x25}));
    f = Ask(2, sim::opGetCalibration);
    EXPECT_EQ(f[0].body, (Bytes{0x25}));

    f = Ask(2, sim::opNewPassword, {4, 'N', 'E', 'W', '1'});
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(TextOf(f[0]), "Access password changed");
    EXPECT_EQ(h.site.Config().password, "NEW1");
}

TEST_F(SimRequest, RowsWrittenByTheLibraryEditorAreStored) {
    // A parameter row: SCALE 1000, VALUE 500, MIN 100, MAX 900, threshold 200 (20 %).
    const Bytes row{0,    1,    0,    0,    0,    0, 0x31, 0xE8, 0x03, 0xF4, 0x01, 0x64,
                    0x00, 0x84, 0x03, 0xC8, 0x00, 1, 2,    'P',  '1',  1,    'V'};
    EXPECT_TRUE(Ask(4, sim::opParameterRow, row).empty());
    const auto& p = h.site.FindDevice(4)->parameters[0];
    EXPECT_EQ(p.name, "P1");
    EXPECT_EQ(p.scale, 1000);
    EXPECT_EQ(p.max, 900);
    EXPECT_EQ(p.threshold, 200);
    // An attribute row without a value (a number attribute): index, name, options.
    EXPECT_TRUE(Ask(4, sim::opAttributeRow, {1, 4, 'R', 'a', 'c', 'k', 7}).empty());
    EXPECT_EQ(h.site.FindDevice(4)->attributes[1].name, "Rack");
    EXPECT_EQ(h.site.FindDevice(4)->attributes[1].options, 7);
    // Beyond the room the definition announced, nothing is appended.
    const auto before = h.site.FindDevice(4)->attributes.size();
    Ask(4, sim::opAttributeRow, {static_cast<std::uint8_t>(before), 1, 'X', 1, 'Y', 0});
    EXPECT_EQ(h.site.FindDevice(4)->attributes.size(), before);
}

TEST(SimValues, ValuesWanderWithinTheScaleAndNowAndThenBeyondTheirLimits) {
    auto config = THarness::Reference();
    config.excursionIntervalS = 120;
    sim::TSite site(std::move(config));
    int samples = 0, outside = 0, alarmed = 0;
    for (long s = 1; s <= 4 * 3600; ++s) {
        site.Advance(Millis(s * 1000));
        if (s % 10) continue;
        for (const auto& d : site.Config().devices) {
            alarmed += (d.state & sim::kStateAlarm) != 0;
            for (const auto& p : d.parameters) {
                ASSERT_LE(p.value, p.scale) << p.name;
                ++samples;
                outside += p.alarm != sim::TAlarmKind::None && (p.value < p.min || p.value > p.max);
            }
        }
    }
    EXPECT_GT(outside, 0) << "excursions happen";
    EXPECT_GT(alarmed, 0);
    EXPECT_LT(outside * 20, samples) << "but values rest within their limits most of the time";
    EXPECT_FALSE(site.Outbox().size() > 64) << "unread alarm texts do not pile up";
}
