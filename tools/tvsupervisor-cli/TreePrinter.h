// The device tree of a session as text: the tree itself, then each
// device's state, attributes and parameters as the parameters view shows
// them (formatted value, unit, limits and the row's state mark).
#pragma once

#include "ObjectsList.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

// The row state of the parameters view, numbered as its images.
enum class TParamState { InLimits = 0, AtOrAboveMax = 1, BelowMin = 2, NotWatched = 3 };

// Watching is off when "MODE" has none of the bits 0x70; otherwise the raw
// numbers are compared unsigned, MIN first.
TParamState ParameterState(std::uint32_t mode, std::uint32_t value, std::uint32_t min,
                           std::uint32_t max);
// "ok", "HIGH", "LOW", "-".
const char* ParamStateMark(TParamState state);

// The lit alarm panels of a state byte for the device types that have them
// ("ALR TEMP"); empty for other types and for a state with none lit.
std::string AlarmPanels(int devId, std::uint8_t state);

// "0x13".
std::string AddressText(std::uint8_t address);

class TTreePrinter {
public:
    // Device texts are 8-bit; `display` turns them into the output's text.
    using TDisplay = std::function<std::string(const std::string&)>;

    explicit TTreePrinter(TDisplay display) : display_(std::move(display)) {}

    // Devices on the bus in list order, each hub's devices indented under
    // it with their channel. A device of the list whose hub is not in it
    // is shown at the top, so that nothing found goes unseen.
    void PrintTree(TObjectsList& devices, std::ostream& out) const;
    // The tree, then one block per device in the same order.
    void PrintDevices(TObjectsList& devices, std::ostream& out) const;
    void PrintDevice(TLANObject& device, std::ostream& out) const;
    void PrintParameters(TLANObject& device, std::ostream& out, const std::string& indent) const;

    // Devices in tree order with their depth (0 on the bus, 1 behind a hub).
    static std::vector<std::pair<TLANObject*, int>> TreeOrder(TObjectsList& devices);

private:
    TDisplay display_;
};
