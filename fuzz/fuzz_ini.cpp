// An arbitrary INI file through the reader, the port-path mapping and the
// access password.
#include "AccessPassword.h"
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
    // Whatever the file held, the password read must be one that saves and
    // reads back unchanged.
    const std::string password = LoadPassword(ini);
    TIniFile saved;
    if (!SavePassword(saved, password) || LoadPassword(saved) != password) __builtin_trap();
    for (const auto& key : ini.Keys("PORTS")) {
        (void)ini.ReadInteger("PORTS", key, 0);
        (void)ini.ReadBool("PORTS", key, false);
        (void)ComPortNumber(key);
    }
    return 0;
}
