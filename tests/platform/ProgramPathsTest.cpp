#include "ProgramPaths.h"

#include "IniFile.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace {

class TFakeEnvironment final : public IPathEnvironment {
public:
    std::map<std::string, std::string> variables;
    std::string home;
    std::set<std::string> writable;

    std::string Variable(const std::string& name) const override {
        const auto it = variables.find(name);
        return it == variables.end() ? std::string() : it->second;
    }
    std::string HomeFolder() const override { return home; }
    bool IsWritableFolder(const std::string& path) const override {
        return writable.count(path) != 0;
    }
};

struct TLayout {
    std::string ini, data, portList, parameters, attributes;
    bool perUser;
};

struct TPathCase {
    const char* executable;
    bool writable;
    std::map<std::string, std::string> variables;
    std::string home;
    TLayout expected;
};

TLayout Beside(const std::string& folder, const std::string& ini) {
    return {folder + "/" + ini,      "Data", folder + "/Data/PortList.xml", folder + "/Parameters",
            folder + "/Atttributes", false};
}

TLayout PerUser(const std::string& config, const std::string& data, const std::string& name,
                const std::string& ini) {
    const std::string root = data + "/" + name;
    return {config + "/" + name + "/" + ini, root + "/Data",
            root + "/Data/PortList.xml",     root + "/Parameters",
            root + "/Atttributes",           true};
}

TEST(ProgramPaths, LayoutBesideTheProgramOrInTheUsersFolders) {
    const std::string home = "/home/op";
    const TPathCase cases[] = {
        {"/opt/tvs/tvsupervisor", true, {}, home, Beside("/opt/tvs", "tvsupervisor.INI")},
        {"/x/prog.bin", true, {}, home, Beside("/x", "prog.INI")},
        {"/x/prog.tar.gz", true, {}, home, Beside("/x", "prog.tar.INI")},
        {"/srv/tvs.d/prog", true, {}, home, Beside("/srv/tvs.d", "prog.INI")},
        {"/x/prog.", true, {}, home, Beside("/x", "prog.INI")},
        {"/x/.prog", true, {}, home, Beside("/x", ".prog.INI")},
        {"/opt/./tvs/bin/../tvsupervisor", true, {}, home, Beside("/opt/tvs", "tvsupervisor.INI")},
        // Installed: not writable beside the program.
        {"/usr/bin/tvsupervisor",
         false,
         {},
         home,
         PerUser(home + "/.config", home + "/.local/share", "tvsupervisor", "tvsupervisor.INI")},
        {"/usr/lib/tvs.d/prog.bin",
         false,
         {{"XDG_CONFIG_HOME", "/cfg"}, {"XDG_DATA_HOME", "/share"}},
         home,
         PerUser("/cfg", "/share", "prog", "prog.INI")},
        {"/usr/bin/prog",
         false,
         {{"XDG_CONFIG_HOME", "cfg"}, {"XDG_DATA_HOME", "/share"}},
         home,
         PerUser(home + "/.config", "/share", "prog", "prog.INI")},
        {"/usr/bin/prog",
         false,
         {{"XDG_CONFIG_HOME", "/cfg"}, {"XDG_DATA_HOME", "/share"}},
         "",
         PerUser("/cfg", "/share", "prog", "prog.INI")},
        // Nowhere else to go: the writers report their failures.
        {"/usr/bin/prog", false, {{"XDG_CONFIG_HOME", "/cfg"}}, "", Beside("/usr/bin", "prog.INI")},
        {"/usr/bin/prog", false, {}, "relative/home", Beside("/usr/bin", "prog.INI")},
    };
    for (const auto& c : cases) {
        TFakeEnvironment env;
        env.variables = c.variables;
        env.home = c.home;
        if (c.writable)
            env.writable.insert(fs::path(c.executable).lexically_normal().parent_path());
        const TProgramPaths paths = TProgramPaths::ForExecutable(c.executable, env);
        const TLayout& e = c.expected;
        SCOPED_TRACE(c.executable);
        EXPECT_EQ(paths.ProgramFolder(), fs::path(c.executable).lexically_normal().parent_path());
        EXPECT_EQ(paths.IniPath(), e.ini);
        EXPECT_EQ(paths.DataFolder(), e.data);
        EXPECT_EQ(paths.PortListPath(), e.portList);
        EXPECT_EQ(paths.ParametersFolder(), e.parameters);
        EXPECT_EQ(paths.AttributesFolder(), e.attributes);
        EXPECT_EQ(paths.PerUser(), e.perUser);
    }
}

TEST(ProgramPaths, RelativeExecutableIsTakenFromTheWorkingDirectory) {
    TFakeEnvironment env;
    const fs::path cwd = fs::current_path();
    env.writable.insert((cwd / "bin").string());
    const TProgramPaths paths = TProgramPaths::ForExecutable("bin/tvs", env);
    EXPECT_EQ(paths.ProgramFolder(), (cwd / "bin").string());
    EXPECT_EQ(paths.IniPath(), (cwd / "bin" / "tvs.INI").string());
}

TEST(ProgramPaths, MakeFoldersPreparesThePerUserLayout) {
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    TFakeEnvironment env;
    env.home = (root / "home").string();
    const TProgramPaths paths = TProgramPaths::ForExecutable("/usr/bin/tvs", env);
    ASSERT_TRUE(paths.PerUser());

    std::string error;
    ASSERT_TRUE(paths.MakeFolders(error)) << error;
    for (const auto& folder :
         {paths.DataFolder(), paths.ParametersFolder(), paths.AttributesFolder()})
        EXPECT_TRUE(fs::is_directory(folder)) << folder;
    TIniFile ini;
    ini.WriteString("DIALING", "DialUsing", "P");
    EXPECT_TRUE(ini.Save(paths.IniPath())) << ini.Error();
    EXPECT_TRUE(paths.MakeFolders(error)) << "folders that exist are fine: " << error;
}

TEST(ProgramPaths, MakeFoldersNamesTheFolderItCannotMake) {
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    std::ofstream(root / "cfg") << "a file where the config folder belongs";
    TFakeEnvironment env;
    env.variables = {{"XDG_CONFIG_HOME", (root / "cfg").string()},
                     {"XDG_DATA_HOME", (root / "share").string()}};
    const TProgramPaths paths = TProgramPaths::ForExecutable("/usr/bin/tvs", env);
    std::string error;
    EXPECT_FALSE(paths.MakeFolders(error));
    EXPECT_NE(error.find((root / "cfg" / "tvs").string()), std::string::npos) << error;
}

TEST(ProgramPaths, SystemEnvironmentSeesWritableFoldersAndTheProgramFile) {
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    std::ofstream(root / "file") << "x";
    const TSystemPathEnvironment env;
    EXPECT_TRUE(env.IsWritableFolder(root.string()));
    EXPECT_FALSE(env.IsWritableFolder((root / "file").string())) << "a file is no folder";
    EXPECT_FALSE(env.IsWritableFolder((root / "missing").string()));
    EXPECT_FALSE(env.HomeFolder().empty());

    EXPECT_EQ(ExecutablePath(), QCoreApplication::applicationFilePath().toStdString());
}

} // namespace
