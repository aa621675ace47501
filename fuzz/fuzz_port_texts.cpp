// Texts that reach the port from outside: settings texts and a modem's
// signal-quality reply.
#include "PortMonitor.h"
#include "SerialComm.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {
class TNoMessages : public IOperatorMessages {
public:
    void ShowMessage(const std::string&) override {}
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const TLineSettings s = ParseSettingsText(text);
    const std::string back = SettingsTextFor("COM1", s);
    // The rebuilt text reads back as the same settings.
    if (!(ParseSettingsText(back) == s)) __builtin_trap();
    TNoMessages messages;
    TPortMonitor monitor(&messages);
    monitor.ShowSignal(text);
    return 0;
}
