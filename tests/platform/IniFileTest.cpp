#include "IniFile.h"

#include "PortPaths.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

TEST(IniFile, ReadsTypedValuesWithoutRegardToCase) {
    TIniFile ini;
    ASSERT_TRUE(ini.LoadText("[Dialing]\nTone=1\nAttempts=3\nBad=3x\nPrefix=9W\n"));
    EXPECT_EQ(ini.ReadString("DIALING", "prefix", "?"), "9W");
    EXPECT_EQ(ini.ReadInteger("dialing", "ATTEMPTS", -1), 3);
    EXPECT_EQ(ini.ReadInteger("DIALING", "Bad", -1), -1)
        << "a value that is not a number reads as the default";
    EXPECT_TRUE(ini.ReadBool("DIALING", "Tone", false));
    EXPECT_EQ(ini.ReadString("DIALING", "Missing", "def"), "def");
    EXPECT_EQ(ini.ReadString("Nowhere", "Tone", "def"), "def");
}

TEST(IniFile, SaveKeepsOrderAndEightBitTexts) {
    const auto path = std::filesystem::temp_directory_path() / "tvs_ini_test.INI";
    std::filesystem::remove(path);
    {
        TIniFile missing;
        EXPECT_TRUE(missing.Load(path.string())) << "a missing file is an empty one";
        EXPECT_TRUE(missing.Keys("PORTS").empty());
    }
    TIniFile ini;
    ini.WriteString("PORTS", "COM3", "/dev/ttyUSB0");
    ini.WriteString("PORTS", "COM1", "/dev/ttyS4");
    ini.WriteString("Form1Orv2Main", "Name", "Sender \xB0\xE9");
    ini.WriteInteger("DIALING", "Pause", 4000);
    ini.WriteBool("DIALING", "Tone", false);
    ASSERT_TRUE(ini.Save(path.string())) << ini.Error();
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));

    TIniFile back;
    ASSERT_TRUE(back.Load(path.string()));
    EXPECT_EQ(back.Keys("PORTS"), (std::vector<std::string>{"COM3", "COM1"}));
    EXPECT_EQ(back.ReadString("form1orv2main", "name", ""), "Sender \xB0\xE9");
    EXPECT_EQ(back.ReadInteger("DIALING", "Pause", 0), 4000);
    EXPECT_FALSE(back.ReadBool("DIALING", "Tone", true));
    std::filesystem::remove(path);
}

TEST(IniFile, UnreadableFileIsAnErrorNotAnEmptyOne) {
    const auto dir = std::filesystem::temp_directory_path() / "tvs_ini_dir_test";
    std::filesystem::create_directories(dir);
    TIniFile ini;
    EXPECT_FALSE(ini.Load(dir.string())) << "a folder in place of the file";
    EXPECT_FALSE(ini.Save((dir / "missing" / "x.INI").string()));
    EXPECT_FALSE(ini.Error().empty());
    std::filesystem::remove_all(dir);
}

struct TPathCase {
    const char* name;
    const char* path;
};

TEST(PortPaths, DefaultMappingAndIniOverrides) {
    TIniFile ini;
    ASSERT_TRUE(ini.LoadText("[Ports]\ncom2=/dev/ttyUSB0\nCOM5.Modem=1\nCOM20=/dev/ttyS9\n"));
    const TPortPaths paths = TPortPaths::FromIni(ini);
    const TPathCase cases[] = {
        {"COM1", "/dev/ttyS0"}, {"COM15", "/dev/ttyS14"},
        {"com3", "/dev/ttyS2"}, {"COM2", "/dev/ttyUSB0"},
        {"COM16", ""},          {"COM0", ""},
        {"COM01", ""},          {"COM", ""},
        {"COMx", ""},           {"LPT1", ""},
        {"COM20", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(paths.PathFor(c.name), c.path) << c.name;
    EXPECT_TRUE(paths.IsModem("COM5"));
    EXPECT_FALSE(paths.IsModem("COM2"));
}

} // namespace
