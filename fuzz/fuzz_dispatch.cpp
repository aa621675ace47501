// Whatever the devices send, through the controller's dispatch: the input is
// cut into frames (source, opcode, body length, body) that land on the
// in-queue of a controller with a small tree already discovered, a device on
// the bus and a hub with one child, so that replies find devices and tables
// to act on. Access is granted from the start, which keeps the pause of a
// fresh grant out of every run.
#include "LANMonitor.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using TBytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kBusDevice = 2;
constexpr std::uint8_t kHub = 5;
constexpr std::uint8_t kChild = 0x13;

// Views that show nothing. The settings dialog is open, so that clock and
// calibration replies are decoded too.
class TSilentViews : public ISessionViews {
public:
    bool SettingsDialogOpen() override { return true; }
    void ShowMessage(const std::string&) override {}
    std::optional<std::string> AskPassword() override { return std::nullopt; }
};

// The definition form: LINE .. maxChildDevCount, then the version text.
TBytes Definition(std::uint8_t devId, std::uint8_t attrs, std::uint8_t params,
                  std::uint8_t controls, std::uint8_t commands, std::uint8_t children) {
    return {0, 0, devId, 0, 0, attrs, params, controls, commands, children,
            8, 8, 8,     8, 8, 3,     '1',    '.',      '0'};
}

void Push(TMessagesList& in, std::uint8_t src, std::uint8_t opcode, const TBytes& body) {
    const TMemoryStream s(body);
    in.AddFrame(kProgramAddress, src, body.empty() ? nullptr : &s, opcode);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TObjectsList devices;
    TSilentViews views;
    TLANMonitor monitor(views, nullptr, devices);
    monitor.DispatchEnabled = true;
    monitor.AccessGranted = true;
    TMessagesList& in = monitor.InQueue();

    Push(in, kBusDevice, opDefinition, Definition(1, 2, 3, 1, 1, 0));
    Push(in, kHub, opDefinition, Definition(90, 1, 1, 0, 0, 1));
    TBytes child = Definition(11, 2, 3, 1, 1, 0);
    child.insert(child.begin(), kChild);
    Push(in, kHub, opChildDefinition, child);
    monitor.DispatchReceived();
    if (devices.Count() != 3) __builtin_trap();

    std::size_t i = 0;
    while (i + 3 <= size) {
        const std::uint8_t src = data[i], opcode = data[i + 1];
        std::size_t length = data[i + 2];
        i += 3;
        if (length > size - i) length = size - i;
        Push(in, src, opcode, TBytes(data + i, data + i + length));
        i += length;
    }
    monitor.DispatchReceived();
    // With access granted and dispatch on, one call takes every frame.
    if (in.Count() != 0) __builtin_trap();
    return 0;
}
