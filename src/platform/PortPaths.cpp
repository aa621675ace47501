#include "PortPaths.h"

#include "IniFile.h"

#include <cctype>

int ComPortNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 5) return 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
        n = n * 10 + (name[i] - '0');
    }
    if (name[3] == '0') return 0;
    return n >= 1 && n <= kMaxComPort ? n : 0;
}

TPortPaths TPortPaths::FromIni(const TIniFile& ini) {
    TPortPaths p;
    for (int n = 1; n <= kMaxComPort; ++n) {
        const std::string name = "COM" + std::to_string(n);
        const std::string path = ini.ReadString("PORTS", name, {});
        if (!path.empty()) p.paths_[n] = path;
        if (ini.ReadBool("PORTS", name + ".Modem", false)) p.modems_[n] = true;
    }
    return p;
}

std::string TPortPaths::PathFor(const std::string& portName) const {
    const int n = ComPortNumber(portName);
    if (n == 0) return {};
    const auto it = paths_.find(n);
    return it != paths_.end() ? it->second : "/dev/ttyS" + std::to_string(n - 1);
}

bool TPortPaths::IsModem(const std::string& portName) const {
    const int n = ComPortNumber(portName);
    return n != 0 && modems_.count(n) != 0;
}
