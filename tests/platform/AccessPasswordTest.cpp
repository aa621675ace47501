#include "AccessPassword.h"

#include "IniFile.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using Keys = std::vector<std::string>;

TIniFile& Loaded(TIniFile& ini, const std::string& text) {
    EXPECT_TRUE(ini.LoadText(text)) << ini.Error();
    return ini;
}

TEST(AccessPassword, SaveWritesLengthAndCodesWithTheirOffsets) {
    TIniFile ini;
    ASSERT_TRUE(SavePassword(ini, "abc"));
    EXPECT_EQ(ini.Keys(kPasswordSection), (Keys{"Count", "Count1", "Count2", "Count3"}));
    EXPECT_EQ(ini.ReadString(kPasswordSection, "Count", ""), "5");
    EXPECT_EQ(ini.ReadString(kPasswordSection, "Count1", ""), "147");
    EXPECT_EQ(ini.ReadString(kPasswordSection, "Count2", ""), "148");
    EXPECT_EQ(ini.ReadString(kPasswordSection, "Count3", ""), "149");
    EXPECT_EQ(LoadPassword(ini), "abc");
}

TEST(AccessPassword, RoundTripsEveryByteValue) {
    std::string all;
    for (int c = 255; c >= 1; --c)
        all.push_back(static_cast<char>(c));
    const std::string cases[] = {
        "", "a", "Secret", "\xE9\xFF\x80 x", std::string("a\0b", 3), all,
    };
    for (const auto& password : cases) {
        TIniFile ini;
        ASSERT_TRUE(SavePassword(ini, password));
        TIniFile back;
        {
            QTemporaryDir dir;
            const std::string path = dir.filePath("tvs.INI").toStdString();
            ASSERT_TRUE(ini.Save(path)) << ini.Error();
            ASSERT_TRUE(back.Load(path)) << back.Error();
        }
        EXPECT_EQ(LoadPassword(back), password) << "length " << password.size();
    }
    TIniFile empty;
    ASSERT_TRUE(SavePassword(empty, ""));
    EXPECT_EQ(empty.Keys(kPasswordSection), Keys{"Count"});
    EXPECT_EQ(empty.ReadString(kPasswordSection, "Count", ""), "2");
}

TEST(AccessPassword, MissingOrOddKeysReadAsDefaults) {
    struct TCase {
        const char* ini;
        std::string password;
    };
    const TCase cases[] = {
        {"", ""},
        {"[DIALING]\nCount=5\n", ""},
        {"[Form1Orv2Main]\nCount=2\nCount1=147\n", ""},
        {"[Form1Orv2Main]\nCount=-7\n", ""},
        {"[Form1Orv2Main]\nCount=-9223372036854775808\n", ""},
        {"[Form1Orv2Main]\nCount=five\nCount1=147\n", ""},
        {"[Form1Orv2Main]\nCount=5\n", "123"},
        {"[Form1Orv2Main]\nCount=12\n", "123456789:"},
        {"[form1orv2main]\ncount=3\nCOUNT1=147\n", "a"},
        {"[Form1Orv2Main]\nCount=4\nCount1=abc\nCount2=371\n", "1A"},
        {"[Form1Orv2Main]\nCount=4\nCount1=-9223372036854775808\nCount2=9223372036854775807\n",
         "\xCE\xCD"},
        {"[Form1Orv2Main]\nCount=3\nCount1=10\n", "\xD8"},
    };
    for (const auto& c : cases) {
        TIniFile ini;
        EXPECT_EQ(LoadPassword(Loaded(ini, c.ini)), c.password) << c.ini;
    }
}

TEST(AccessPassword, HugeCountReadsAtMostTheLongestText) {
    const char* counts[] = {"257", "1000000000", "9223372036854775807"};
    for (const char* count : counts) {
        TIniFile ini;
        const std::string password =
            LoadPassword(Loaded(ini, std::string("[Form1Orv2Main]\nCount1=147\nCount=") + count));
        ASSERT_EQ(password.size(), kMaxPasswordLength) << count;
        EXPECT_EQ(password.substr(0, 3), "a23");
        EXPECT_EQ(password.back(), '/')
            << "position 255 reads its default, 255 + 98 - 50, low 8 bits";
    }
}

TEST(AccessPassword, MissingFileGivesTheEmptyPassword) {
    QTemporaryDir dir;
    TIniFile ini;
    ASSERT_TRUE(ini.Load(dir.filePath("absent.INI").toStdString()));
    EXPECT_EQ(LoadPassword(ini), "");
}

TEST(AccessPassword, ShorterPasswordLeavesOldKeysThatAreIgnored) {
    TIniFile ini;
    Loaded(ini, "[Form1Orv2Main]\nCount=6\nCount1=100\nCount2=101\nCount3=102\nCount4=103\n");
    ASSERT_TRUE(SavePassword(ini, "xy"));
    EXPECT_EQ(ini.Keys(kPasswordSection), (Keys{"Count", "Count1", "Count2", "Count3", "Count4"}));
    EXPECT_EQ(ini.ReadString(kPasswordSection, "Count3", ""), "102");
    EXPECT_EQ(ini.ReadString(kPasswordSection, "Count4", ""), "103");
    EXPECT_EQ(LoadPassword(ini), "xy");
}

TEST(AccessPassword, OtherSectionsAndKeyOrderAreKept) {
    TIniFile ini;
    Loaded(ini, "[DIALING]\nDialUsing=P\nPhone=0123\n"
                "[Form1Orv2Main]\nCount=3\nCount1=150\nCodePage=windows-1252\n"
                "[PORTS]\nCOM1=/dev/ttyUSB0\n");
    ASSERT_TRUE(SavePassword(ini, "xyz"));
    QTemporaryDir dir;
    const std::string path = dir.filePath("tvs.INI").toStdString();
    ASSERT_TRUE(ini.Save(path)) << ini.Error();

    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    const std::string saved = text.str();
    const auto dialing = saved.find("[DIALING]");
    const auto form = saved.find("[Form1Orv2Main]");
    const auto ports = saved.find("[PORTS]");
    ASSERT_NE(ports, std::string::npos) << saved;
    EXPECT_TRUE(dialing < form && form < ports) << saved;

    TIniFile back;
    ASSERT_TRUE(back.Load(path));
    EXPECT_EQ(back.Keys("DIALING"), (Keys{"DialUsing", "Phone"}));
    EXPECT_EQ(back.ReadString("DIALING", "Phone", ""), "0123");
    EXPECT_EQ(back.ReadString("PORTS", "COM1", ""), "/dev/ttyUSB0");
    EXPECT_EQ(back.Keys(kPasswordSection),
              (Keys{"Count", "Count1", "CodePage", "Count2", "Count3"}));
    EXPECT_EQ(back.ReadString(kPasswordSection, "CodePage", ""), "windows-1252");
    EXPECT_EQ(LoadPassword(back), "xyz");
}

TEST(AccessPassword, PasswordTooLongToReadBackIsRefusedAndNothingWritten) {
    TIniFile ini;
    Loaded(ini, "[Form1Orv2Main]\nCount=3\nCount1=147\n");
    EXPECT_FALSE(SavePassword(ini, std::string(kMaxPasswordLength + 1, 'p')));
    EXPECT_EQ(ini.Keys(kPasswordSection), (Keys{"Count", "Count1"}));
    EXPECT_EQ(LoadPassword(ini), "a");
    EXPECT_TRUE(SavePassword(ini, std::string(kMaxPasswordLength, 'p')));
    EXPECT_EQ(LoadPassword(ini), std::string(kMaxPasswordLength, 'p'));
}

} // namespace
