// The command-line client's pieces with logic: the command line, the port
// argument, aligned columns, the parameter state marks and the printed tree.
#include "CliArgs.h"
#include "CliPort.h"
#include "IniFile.h"
#include "TextCodec.h"
#include "TextTable.h"
#include "TreePrinter.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

TEST(CliArgs, CommandLinesAndWhatTheyMean) {
    using C = TCliCommand;
    const struct {
        std::vector<std::string> args;
        std::string error; // a part of the error line; empty when accepted
        C command = C::Help;
        std::string port = {};
        int device = 0;
        double interval = 0;
        int count = 0;
        double timeout = 30;
    } cases[] = {
        {{}, "no command given"},
        {{"--help"}, ""},
        {{"scan", "--port", "COM1", "-h"}, ""},
        {{"discover", "--port", "COM1"}, "", C::Discover, "COM1"},
        {{"discover", "--port=/dev/pts/3", "--timeout", "2.5"},
         "",
         C::Discover,
         "/dev/pts/3",
         0,
         0,
         0,
         2.5},
        {{"scan", "--port", "COM2", "--device", "0x13", "--interval", "0.5", "--count", "4"},
         "",
         C::Scan,
         "COM2",
         0x13,
         0.5,
         4},
        {{"scan", "--count=1", "--interval=3", "--device=19", "--port=COM3"},
         "",
         C::Scan,
         "COM3",
         19,
         3,
         1},
        {{"sessions"}, "", C::Sessions},
        {{"sites"}, "", C::Sites},
        {{"frobnicate"}, "unknown command \"frobnicate\""},
        {{"discover"}, "discover needs --port"},
        {{"scan", "--port", "COM1", "--device", "3", "--interval", "1"}, "scan needs --count"},
        {{"discover", "--port"}, "--port needs a value"},
        {{"discover", "--port", ""}, "--port needs a port name"},
        {{"discover", "--port", "COM1", "--port", "COM2"}, "--port given twice"},
        {{"discover", "--port", "COM1", "--device", "3"}, "--device is no option of discover"},
        {{"sessions", "--port", "COM1"}, "--port is no option of sessions"},
        {{"discover", "COM1"}, "unexpected argument \"COM1\""},
        {{"discover", "--port", "COM1", "--verbose=1"}, "--verbose takes no value"},
        {{"discover", "--port", "COM1", "--timeout", "0"}, "--timeout takes seconds"},
        {{"discover", "--port", "COM1", "--timeout", "nan"}, "--timeout takes seconds"},
        {{"discover", "--port", "COM1", "--timeout", "1e9"}, "--timeout takes seconds"},
        {{"discover", "--port", "COM1", "--timeout", "90000"}, "--timeout takes seconds"},
        {{"scan", "--port", "C", "--device", "0x1ff", "--interval", "1", "--count", "1"},
         "--device takes a bus address"},
        {{"scan", "--port", "C", "--device", "1", "--interval", "1", "--count", "1"},
         "--device takes a bus address"},
        {{"scan", "--port", "C", "--device", "0x", "--interval", "1", "--count", "1"},
         "--device takes a bus address"},
        {{"scan", "--port", "C", "--device", "2", "--interval", "-1", "--count", "1"},
         "--interval takes seconds"},
        {{"scan", "--port", "C", "--device", "2", "--interval", "1", "--count", "0"},
         "--count takes a whole number"},
        {{"scan", "--port", "C", "--device", "2", "--interval", "1", "--count", "2.5"},
         "--count takes a whole number"},
        {{"scan", "--port", "C", "--device", "2", "--interval", "1", "--count", "1000001"},
         "--count takes a whole number"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& a : c.args)
            line += a + " ";
        SCOPED_TRACE(line);
        const TCliParse p = ParseCliArgs(c.args);
        if (!c.error.empty()) {
            EXPECT_NE(p.error.find(c.error), std::string::npos) << p.error;
            continue;
        }
        ASSERT_EQ(p.error, "");
        EXPECT_EQ(p.options.command, c.command);
        EXPECT_EQ(p.options.port, c.port);
        EXPECT_EQ(p.options.device, c.device);
        EXPECT_EQ(p.options.intervalSeconds, c.interval);
        EXPECT_EQ(p.options.count, c.count);
        EXPECT_EQ(p.options.timeoutSeconds, c.timeout);
    }
}

TEST(CliArgs, SiteAndPasswordAreTakenAsTyped) {
    const TCliParse p = ParseCliArgs(
        {"discover", "--port", "COM1", "--site", "Mont Ségur", "--password", "", "--verbose"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.site, "Mont Ségur");
    ASSERT_TRUE(p.options.password.has_value()) << "an empty password is still a password";
    EXPECT_EQ(*p.options.password, "");
    EXPECT_TRUE(p.options.verbose);
    EXPECT_FALSE(ParseCliArgs({"discover", "--port", "COM1"}).options.password.has_value());
}

TEST(CliPort, ComNamesGoThroughThePortsSectionPathsAreTaken) {
    TIniFile ini;
    ASSERT_TRUE(ini.LoadText("[PORTS]\nCOM1=/dev/pts/7\n"));
    const TPortPaths paths = TPortPaths::FromIni(ini);
    const struct {
        const char* port;
        std::optional<std::string> path;
    } cases[] = {
        {"COM1", "/dev/pts/7"},    {"com2", "/dev/ttyS1"},  {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"ttyUSB0", std::nullopt}, {"COM16", std::nullopt}, {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        EXPECT_EQ(ResolvePortPath(c.port, paths), c.path);
    }
}

TEST(CliPort, AMissingDeviceIsRefusedWithItsReason) {
    TCliSerialProvider provider("/nonexistent/tty");
    EXPECT_EQ(provider.Open("COM1"), nullptr);
    EXPECT_NE(provider.LastError().find("/nonexistent/tty"), std::string::npos);
    EXPECT_NE(provider.LastError().find("No such file"), std::string::npos);
}

TEST(TextTable, ColumnsAlignOnCharactersNotBytes) {
    TTextTable t({TTextTable::TAlign::Left, TTextTable::TAlign::Right, TTextTable::TAlign::Left});
    t.AddRow({"Temperature", "24.6", "°C"});
    t.AddRow({"Ø", "1234.5"});
    std::ostringstream out;
    t.Print(out, "  ");
    EXPECT_EQ(out.str(), "  Temperature    24.6  °C\n"
                         "  Ø            1234.5\n");
}

TEST(TextCodec, DataTextsAreWindows1252) {
    const TTextCodec codec;
    EXPECT_EQ(codec.ToUtf8("Mont S\xe9gur \x80"), "Mont Ségur €");
    EXPECT_EQ(codec.FromUtf8("Mont Ségur €"), "Mont S\xe9gur \x80");
    EXPECT_NE(codec.FromUtf8("日本"), "日本") << "a character the code page lacks matches nothing";
}

TEST(ParameterState, MarksOfTheParametersView) {
    const struct {
        std::uint32_t mode, value, min, max;
        TParamState state;
        const char* mark;
    } cases[] = {
        {0x10, 99, 100, 200, TParamState::BelowMin, "LOW"},
        {0x10, 100, 100, 200, TParamState::InLimits, "ok"},
        {0x10, 150, 100, 200, TParamState::InLimits, "ok"},
        {0x10, 200, 100, 200, TParamState::AtOrAboveMax, "HIGH"},
        {0x40, 50000, 100, 200, TParamState::AtOrAboveMax, "HIGH"},
        {0x01, 99, 100, 200, TParamState::NotWatched, "-"},
        {0x8F, 300, 100, 200, TParamState::NotWatched, "-"},
        // MIN is tested first: limits the wrong way round read as below.
        {0x10, 150, 200, 100, TParamState::BelowMin, "LOW"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(ParameterState(c.mode, c.value, c.min, c.max), c.state);
        EXPECT_STREQ(ParamStateMark(ParameterState(c.mode, c.value, c.min, c.max)), c.mark);
    }
}

TEST(AlarmPanels, OnlyForTheTypesThatHaveThem) {
    EXPECT_EQ(AlarmPanels(32, 0x82), "ALR TEMP");
    EXPECT_EQ(AlarmPanels(11, 0x0C), "OWERC VSWR");
    EXPECT_EQ(AlarmPanels(43, 0x00), "");
    EXPECT_EQ(AlarmPanels(20, 0x82), "") << "a PLL has no panels";
    EXPECT_EQ(AlarmPanels(90, 0x8E), "");
}

// A bus device with an attribute and two parameters, and a hub with one
// amplifier behind it on channel 2, as the controller builds them.
class PrintedTree : public ::testing::Test {
protected:
    void SetUp() override {
        TLANObject& server = *devices.AddDevice();
        server.Definition().SetDevID(1);
        server.SetLanAddress(2);
        server.Definition().SetProgramVersion("SRV 3.1");
        server.Attributes().AddItem();
        server.Attributes().SetName("Device Name");
        server.Attributes().SetValue("Site server");
        AddParameter(server, "Shelter Temperature",
                     "\xb0"
                     "C",
                     0x31, 246, 50, 350, 0x10);
        AddParameter(server, "UPS Load", "%", 0x00, 85, 0, 80, 0x20);

        TLANObject& hub = *devices.AddDevice();
        hub.Definition().SetDevID(90);
        hub.Definition().SetState(0x20);
        hub.SetLanAddress(5);
        TLANObject& amplifier = *hub.Children().AddDevice();
        amplifier.Definition().SetDevID(31);
        amplifier.Definition().SetMode(1);
        amplifier.Definition().SetState(0x82);
        amplifier.SetLanAddress(0x23);
        amplifier.SetOwnerAddress(5);
        AddParameter(amplifier, "Output Power", "W", 0x40, 6500, 5000, 7000, 0x00);
        devices.AppendReference(&amplifier);
    }

    static void AddParameter(TLANObject& d, const std::string& name, const std::string& dim,
                             int format, int value, int min, int max, int mode) {
        TParameters& p = d.Parameters();
        p.AddItem();
        p.SetName(name);
        p.SetDim(dim);
        p.SetFormat(format);
        p.SetValue(value);
        p.SetMin(min);
        p.SetMax(max);
        p.SetMode(mode);
    }

    TObjectsList devices;
    TTextCodec codec;
    TTreePrinter printer{[this](const std::string& s) { return codec.ToUtf8(s); }};
};

TEST_F(PrintedTree, TreeThenEachDeviceWithItsTables) {
    std::ostringstream out;
    printer.PrintDevices(devices, out);
    EXPECT_EQ(out.str(), "Devices\n"
                         "  0x02    Server\n"
                         "  0x05    HUB\n"
                         "    0x23  TV Amplifier 1  channel 2\n"
                         "\n"
                         "0x02  Server\n"
                         "  state 0x00\n"
                         "  version SRV 3.1\n"
                         "  Attributes\n"
                         "    Device Name  Site server\n"
                         "  Parameters\n"
                         "    PARAMETER            VALUE  DIM.  MIN   MAX  STATE\n"
                         "    Shelter Temperature   24.6  °C    5.0  35.0  ok\n"
                         "    UPS Load                85  %       0    80  HIGH\n"
                         "\n"
                         "0x05  HUB\n"
                         "  state 0x20\n"
                         "\n"
                         "0x23  TV Amplifier 1\n"
                         "  state 0x82 (ALR TEMP)\n"
                         "  Parameters\n"
                         "    PARAMETER     VALUE  DIM.   MIN   MAX  STATE\n"
                         "    Output Power   6500  W     5000  7000  -\n");
}

TEST_F(PrintedTree, ADeviceWhoseHubIsNotListedStaysVisible) {
    // The hub's entry goes, the device behind it is still referred to.
    TObjectsList others;
    TLANObject& hub = *others.AddDevice();
    hub.Definition().SetDevID(90);
    hub.SetLanAddress(6);
    TLANObject& exciter = *hub.Children().AddDevice();
    exciter.Definition().SetDevID(11);
    exciter.SetLanAddress(0x16);
    devices.AppendReference(&exciter);

    const auto order = TTreePrinter::TreeOrder(devices);
    ASSERT_EQ(order.size(), 4u);
    EXPECT_EQ(order[2].first->GetLanAddress(), 0x23);
    EXPECT_EQ(order[2].second, 1);
    EXPECT_EQ(order[3].first, &exciter);
    EXPECT_EQ(order[3].second, 0);
}

} // namespace
