// Where the program keeps its files. Beside the program: the INI file is the
// program's own path with ".INI" for its extension, the enabled ports file
// is Data/PortList.xml and the libraries are Parameters/ and Atttributes/ in
// the program's folder, and the table files are under Data/ of the working
// directory (started from its own folder, these are one Data folder). An
// installed program cannot write beside itself, so the same layout then
// lives in the user's XDG folders: the INI file in the config folder, Data/
// and the libraries in the data folder, each in a subfolder named after the
// program.
#pragma once

#include <string>

// What the path rules ask of the system, so that tests can stand in for it.
class IPathEnvironment {
public:
    virtual ~IPathEnvironment() = default;
    // Empty when the variable is not set.
    virtual std::string Variable(const std::string& name) const = 0;
    // The user's home folder; empty when there is none to be found.
    virtual std::string HomeFolder() const = 0;
    // True for an existing folder in which this process may create files.
    virtual bool IsWritableFolder(const std::string& path) const = 0;
};

// The real process environment and file system.
class TSystemPathEnvironment final : public IPathEnvironment {
public:
    std::string Variable(const std::string& name) const override;
    // $HOME, else the home folder of the user's account.
    std::string HomeFolder() const override;
    bool IsWritableFolder(const std::string& path) const override;
};

class TProgramPaths {
public:
    // `executablePath` names the program file (see ExecutablePath()); a
    // relative path is taken from the working directory. The per-user layout is used
    // when the program's folder is not writable and a home folder (or both
    // XDG folders) can be found; otherwise everything stays beside the
    // program and a failed write is reported where it happens.
    static TProgramPaths ForExecutable(const std::string& executablePath,
                                       const IPathEnvironment& env);

    const std::string& ProgramFolder() const { return programFolder_; }
    const std::string& IniPath() const { return iniPath_; }
    // "Data" (relative to the working directory) beside the program; an
    // absolute folder in the per-user layout.
    const std::string& DataFolder() const { return dataFolder_; }
    const std::string& PortListPath() const { return portListPath_; }
    const std::string& ParametersFolder() const { return parametersFolder_; }
    const std::string& AttributesFolder() const { return attributesFolder_; }
    bool PerUser() const { return perUser_; }

    // Creates the folders of the layout that do not exist yet (the INI
    // file's folder, the data folders, the library folders), since the
    // writers of the INI file and the table files expect them. False with
    // the folder and the reason in `error` when one cannot be made.
    bool MakeFolders(std::string& error) const;

private:
    std::string programFolder_;
    std::string iniPath_;
    std::string dataFolder_;
    std::string portListPath_;
    std::string parametersFolder_;
    std::string attributesFolder_;
    bool perUser_ = false;
};

// The running program's file, read from /proc/self/exe; empty when the link
// cannot be read.
std::string ExecutablePath();
