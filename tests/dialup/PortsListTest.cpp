// The port list: the candidates of the enabled ports file opened once, the
// lookup by name, and the dialling settings of the INI file.
#include "PortsList.h"

#include "DialupHarness.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace dialup;

namespace {

class PortsList : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir(dir.path()).mkpath("Data")); }
    std::string Path(const char* name) const { return (dir.path() + "/" + name).toStdString(); }
    void WritePortList(const std::string& xml) { std::ofstream(Path("Data/PortList.xml")) << xml; }
    std::unique_ptr<TCommPortsList> Make() {
        return std::make_unique<TCommPortsList>(provider, &monitor, ini, Path("tvs.INI"),
                                                Path("Data/PortList.xml"), &messages,
                                                TPortTimings{1, 1, 1, 1});
    }
    std::string IniText() const {
        std::ifstream in(Path("tvs.INI"));
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    QTemporaryDir dir;
    TVirtualSerialProvider provider;
    TRecordedMessages messages;
    TPortMonitor monitor{nullptr};
    TIniFile ini;
};

} // namespace

TEST_F(PortsList, WithoutAnIniFileTheDefaultsAreWrittenInTableOrder) {
    ASSERT_TRUE(ini.Load(Path("tvs.INI")));
    Make().reset();
    const std::vector<std::string> keys = ini.Keys("DIALING");
    const std::vector<std::string> expected = {"DialUsing",
                                               "AccesOutideCallLocal",
                                               "AccesOutideCallDistance",
                                               "WaitDialtone",
                                               "CancelCall",
                                               "CancelCallTime",
                                               "Autoanswer",
                                               "NumberRings",
                                               "AreaCode",
                                               "Phone",
                                               "PinCode",
                                               "TryToConnect",
                                               "WaitAttempts",
                                               "EnableIdleDisconnect",
                                               "DisconnectIfIdle"};
    ASSERT_EQ(keys, expected);
    TIniFile written;
    ASSERT_TRUE(written.Load(Path("tvs.INI")));
    std::vector<std::string> values;
    for (const auto& key : written.Keys("DIALING"))
        values.push_back(written.ReadString("DIALING", key, "?"));
    EXPECT_EQ(values, (std::vector<std::string>{"P", "", "", "1", "1", "32", "0", "3", "", "", "",
                                                "60", "3", "1", "10"}));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PortsList, FlagsReadAnyIntegerButZeroAsSetAndOtherSectionsAreKept) {
    ASSERT_TRUE(ini.LoadText("[Form1Orv2Main]\nCount=5\n[DIALING]\nwaitdialtone=0\n"
                             "CancelCall=5\nEnableIdleDisconnect=yes\nTRYTOCONNECT=7\n"
                             "Extra=kept\n[PORTS]\nCOM1=/dev/ttyUSB0\n"));
    {
        auto list = Make();
        EXPECT_FALSE(list->DialSettings.WaitDialtone);
        EXPECT_TRUE(list->DialSettings.CancelCall);
        EXPECT_TRUE(list->DialSettings.EnableIdleDisconnect) << "not an integer: the default";
        EXPECT_EQ(list->DialSettings.TryToConnect, "7") << "names compare without case";
    }
    TIniFile written;
    ASSERT_TRUE(written.Load(Path("tvs.INI")));
    EXPECT_EQ(written.ReadString("DIALING", "CancelCall", ""), "1");
    EXPECT_EQ(written.ReadString("DIALING", "WaitDialtone", ""), "0");
    EXPECT_EQ(written.ReadString("DIALING", "Extra", ""), "kept");
    EXPECT_EQ(written.ReadString("Form1Orv2Main", "Count", ""), "5");
    EXPECT_EQ(written.ReadString("PORTS", "COM1", ""), "/dev/ttyUSB0");
    const std::string text = IniText();
    EXPECT_LT(text.find("[Form1Orv2Main]"), text.find("[DIALING]")) << "section order kept";
}

TEST_F(PortsList, OnlyCandidatesThatOpenGetAPortAndTheOthersLoseTheirMark) {
    WritePortList("<PORTLIST><COM1 Type=\"boolean\" Value=\"1\"/><COM2 Type=\"boolean\" "
                  "Value=\"1\"/><COM3 Type=\"boolean\" Value=\"0\"/></PORTLIST>");
    const std::string before = [&] {
        std::ifstream in(Path("Data/PortList.xml"));
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }();
    provider.Line("COM1");
    provider.Line("COM3");
    {
        auto list = Make();
        ASSERT_EQ(list->Count(), 2);
        EXPECT_EQ(list->Item(0)->Name(), "COM1");
        EXPECT_EQ(list->Item(1)->Name(), "COM3");
        EXPECT_EQ(list->Item(2), nullptr);
        EXPECT_EQ(list->EnabledPorts().Mark(0), 1);
        EXPECT_EQ(list->EnabledPorts().Mark(1), 0);
        EXPECT_EQ(list->Item(0)->Handle(), nullptr) << "closed again";
        EXPECT_FALSE(provider.Line("COM1").FarEnd().ProgramOpen());
        EXPECT_EQ(list->FindPort("COM3"), list->Item(1));
        EXPECT_EQ(list->FindPort("com3"), nullptr);
        EXPECT_EQ(list->FindPort("COM2"), nullptr);
        EXPECT_EQ(list->Item(0)->DialSettings, &list->DialSettings);
        EXPECT_FALSE(list->IsSerialPort("COM1")) << "not probed yet";
        list->Item(0)->Probe();
        EXPECT_TRUE(list->IsSerialPort("COM1"));
        EXPECT_FALSE(list->IsSerialPort("COM2"));
    }
    std::ifstream in(Path("Data/PortList.xml"));
    std::stringstream after;
    after << in.rdbuf();
    EXPECT_EQ(after.str(), before) << "an unopened port is not written back as disabled";
}

TEST_F(PortsList, AnIniFileThatCannotBeWrittenIsReported) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("tvs.INI")); // a folder in its place
    auto list = Make();
    EXPECT_FALSE(list->SaveDialSettings());
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_NE(messages.shown.back().find("tvs.INI"), std::string::npos);
}
