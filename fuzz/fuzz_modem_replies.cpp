// What a modem says about itself: the identification text that picks the
// modem type and the signal-quality reply.
#include "SerialComm.h"
#include "VirtualSerial.h"

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
    static TVirtualSerialProvider provider;
    TNoMessages messages;
    TCommPort port("COM1", provider, nullptr);
    port.Messages = &messages;
    port.ModemModel = text;
    port.IsModem = size % 2 == 0;
    const int type = port.ModemType();
    if (type < 0 || type > 5) __builtin_trap();
    if (port.IsModem && type == 0) __builtin_trap();
    port.ParseSignal(text);
    const std::string& s = port.SignalText;
    if (!s.empty() &&
        (s.rfind("+CSQ: ", 0) != 0 || s.size() < 9 || s.substr(s.size() - 3) != "dBm"))
        __builtin_trap();
    return 0;
}
