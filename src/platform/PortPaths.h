// Port names "COM1" .. "COM15" to device paths: COMn is /dev/ttyS(n-1)
// unless the INI section "PORTS" names another path (COM1=/dev/ttyUSB0).
// "COMn.Modem=1" in the same section marks a port whose device is a modem.
#pragma once

#include <map>
#include <string>

class TIniFile;

inline constexpr int kMaxComPort = 15;

class TPortPaths {
public:
    TPortPaths() = default;
    static TPortPaths FromIni(const TIniFile& ini);

    // Empty when the name is no port of ours.
    std::string PathFor(const std::string& portName) const;
    bool IsModem(const std::string& portName) const;

private:
    std::map<int, std::string> paths_;
    std::map<int, bool> modems_;
};

// n for "COMn" with 1 <= n <= 15 (any letter case); 0 otherwise.
int ComPortNumber(const std::string& name);
