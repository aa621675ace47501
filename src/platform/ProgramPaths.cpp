#include "ProgramPaths.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kDataFolderName = "Data";
constexpr const char* kPortListName = "PortList.xml";
constexpr const char* kParametersFolderName = "Parameters";
constexpr const char* kAttributesFolderName = "Atttributes";

// An XDG variable counts only when it holds an absolute path; the XDG rules
// say a relative one is to be ignored, and it would otherwise depend on the
// working directory.
std::string XdgFolder(const IPathEnvironment& env, const char* variable, const char* homeRelative) {
    const std::string value = env.Variable(variable);
    if (!value.empty() && fs::path(value).is_absolute()) return value;
    const std::string home = env.HomeFolder();
    if (home.empty() || !fs::path(home).is_absolute()) return {};
    return (fs::path(home) / homeRelative).string();
}

} // namespace

std::string TSystemPathEnvironment::Variable(const std::string& name) const {
    const char* value = std::getenv(name.c_str());
    return value ? std::string(value) : std::string();
}

std::string TSystemPathEnvironment::HomeFolder() const {
    const std::string home = Variable("HOME");
    if (!home.empty()) return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return {};
    return found->pw_dir;
}

bool TSystemPathEnvironment::IsWritableFolder(const std::string& path) const {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    // Creating a file needs write and search permission on the folder, for
    // the effective user the files will belong to.
    return faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

TProgramPaths TProgramPaths::ForExecutable(const std::string& executablePath,
                                           const IPathEnvironment& env) {
    std::error_code ec;
    fs::path program = fs::absolute(executablePath, ec);
    if (ec) program = executablePath;
    program = program.lexically_normal();

    // replace_extension looks at the file name only, so dots in folder names
    // stay; a leading dot marks a hidden file, not an extension.
    fs::path ini = program.filename();
    ini.replace_extension(".INI");

    TProgramPaths paths;
    const fs::path folder = program.parent_path();
    paths.programFolder_ = folder.string();

    const std::string configHome = XdgFolder(env, "XDG_CONFIG_HOME", ".config");
    const std::string dataHome = XdgFolder(env, "XDG_DATA_HOME", ".local/share");
    paths.perUser_ =
        !env.IsWritableFolder(paths.programFolder_) && !configHome.empty() && !dataHome.empty();

    if (paths.perUser_) {
        const std::string name = program.stem().string();
        const fs::path data = fs::path(dataHome) / name;
        paths.iniPath_ = (fs::path(configHome) / name / ini).string();
        paths.dataFolder_ = (data / kDataFolderName).string();
        paths.portListPath_ = (data / kDataFolderName / kPortListName).string();
        paths.parametersFolder_ = (data / kParametersFolderName).string();
        paths.attributesFolder_ = (data / kAttributesFolderName).string();
    } else {
        paths.iniPath_ = (folder / ini).string();
        paths.dataFolder_ = kDataFolderName;
        paths.portListPath_ = (folder / kDataFolderName / kPortListName).string();
        paths.parametersFolder_ = (folder / kParametersFolderName).string();
        paths.attributesFolder_ = (folder / kAttributesFolderName).string();
    }
    return paths;
}

bool TProgramPaths::MakeFolders(std::string& error) const {
    const fs::path folders[] = {
        fs::path(iniPath_).parent_path(),
        dataFolder_,
        fs::path(portListPath_).parent_path(),
        parametersFolder_,
        attributesFolder_,
    };
    for (const auto& folder : folders) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec || !fs::is_directory(folder, ec)) {
            error = folder.string() + ": the folder cannot be made (" +
                    (ec ? ec.message() : std::string("a file is in its place")) + ")";
            return false;
        }
    }
    return true;
}

std::string ExecutablePath() {
    std::error_code ec;
    const fs::path path = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}
