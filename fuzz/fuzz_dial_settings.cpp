// The dialling settings from an INI file as far as the dialer: read into
// the port list's record, converted by the dialer, written back.
#include "IniFile.h"
#include "ModemDialing.h"
#include "PortsList.h"
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
    TIniFile ini;
    if (!ini.LoadText(std::string(reinterpret_cast<const char*>(data), size))) return 0;
    TVirtualSerialProvider provider;
    TNoMessages messages;
    // No enabled ports file and no INI path: nothing is opened or written.
    TCommPortsList list(provider, nullptr, ini, "", "/nonexistent/PortList.xml", &messages);
    TCommPort port("COM1", provider, nullptr);
    port.Messages = &messages;
    port.DialSettings = &list.DialSettings;
    port.IsModem = true;
    port.PhoneNumber = list.DialSettings.Phone;
    TDialControl control;
    TModemDialing dialer(port, control, [](long) {});
    dialer.CheckPhoneNumber(port.PhoneNumber);
    dialer.Dial(); // the port is closed: the dial ends before any wait
    if (!control.NotConnected) __builtin_trap();
    list.SaveDialSettings();
    return 0;
}
