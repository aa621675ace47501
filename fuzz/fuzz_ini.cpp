// An arbitrary INI file through the reader and the port-path mapping.
#include "IniFile.h"
#include "PortPaths.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TIniFile ini;
    if (!ini.LoadText(std::string(reinterpret_cast<const char*>(data), size))) return 0;
    const TPortPaths paths = TPortPaths::FromIni(ini);
    for (int n = 0; n <= kMaxComPort + 1; ++n) {
        const std::string name = "COM" + std::to_string(n);
        (void)paths.PathFor(name);
        (void)paths.IsModem(name);
    }
    for (const auto& key : ini.Keys("PORTS")) {
        (void)ini.ReadInteger("PORTS", key, 0);
        (void)ini.ReadBool("PORTS", key, false);
        (void)ComPortNumber(key);
    }
    return 0;
}
