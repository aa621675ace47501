#include "TreePrinter.h"

#include "TextTable.h"

#include <algorithm>
#include <cstdio>

namespace {

using TAlign = TTextTable::TAlign;

// Types whose parameters view lights the four alarm panels.
bool HasAlarmPanels(int devId) {
    return devId == 11 || (devId >= 30 && devId <= 32) || (devId >= 40 && devId <= 43);
}

// The device's hub when the hub is itself in `devices`.
TLANObject* HubInList(TLANObject& d, TObjectsList& devices) {
    TObjectsList* owner = d.Owner();
    TLANObject* hub = owner ? owner->Owner() : nullptr;
    if (!hub) return nullptr;
    for (int i = 0; i < devices.Count(); ++i)
        if (devices.GetDevice(i) == hub) return hub;
    return nullptr;
}

std::string Address(TLANObject& d) {
    return AddressText(static_cast<std::uint8_t>(d.GetLanAddress()));
}

} // namespace

TParamState ParameterState(std::uint32_t mode, std::uint32_t value, std::uint32_t min,
                           std::uint32_t max) {
    if ((mode & 0x70) == 0) return TParamState::NotWatched;
    if (value < min) return TParamState::BelowMin;
    if (value >= max) return TParamState::AtOrAboveMax;
    return TParamState::InLimits;
}

const char* ParamStateMark(TParamState state) {
    switch (state) {
    case TParamState::InLimits:
        return "ok";
    case TParamState::AtOrAboveMax:
        return "HIGH";
    case TParamState::BelowMin:
        return "LOW";
    case TParamState::NotWatched:
        break;
    }
    return "-";
}

std::string AlarmPanels(int devId, std::uint8_t state) {
    if (!HasAlarmPanels(devId)) return {};
    std::string lit;
    const std::pair<std::uint8_t, const char*> panels[] = {
        {0x80, "ALR"}, {0x02, "TEMP"}, {0x04, "OWERC"}, {0x08, "VSWR"}};
    for (const auto& [bit, name] : panels)
        if (state & bit) lit += lit.empty() ? name : std::string(" ") + name;
    return lit;
}

std::string AddressText(std::uint8_t address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", address);
    return text;
}

std::vector<std::pair<TLANObject*, int>> TTreePrinter::TreeOrder(TObjectsList& devices) {
    std::vector<std::pair<TLANObject*, int>> order;
    for (int i = 0; i < devices.Count(); ++i) {
        TLANObject* d = devices.GetDevice(i);
        if (HubInList(*d, devices)) continue;
        order.emplace_back(d, 0);
        TObjectsList& children = d->Children();
        for (int k = 0; k < children.Count(); ++k)
            order.emplace_back(children.GetDevice(k), 1);
    }
    return order;
}

void TTreePrinter::PrintTree(TObjectsList& devices, std::ostream& out) const {
    out << "Devices\n";
    TTextTable table({TAlign::Left, TAlign::Left, TAlign::Left});
    for (const auto& [d, depth] : TreeOrder(devices)) {
        if (depth == 0) {
            table.AddRow({Address(*d), display_(d->GetTitle())});
            continue;
        }
        const int channel = (d->GetLanAddress() >> 4) & 0x0F;
        table.AddRow(
            {"  " + Address(*d), display_(d->GetTitle()), "channel " + std::to_string(channel)});
    }
    table.Print(out, "  ");
}

void TTreePrinter::PrintDevices(TObjectsList& devices, std::ostream& out) const {
    PrintTree(devices, out);
    for (const auto& entry : TreeOrder(devices)) {
        out << '\n';
        PrintDevice(*entry.first, out);
    }
}

void TTreePrinter::PrintDevice(TLANObject& d, std::ostream& out) const {
    out << Address(d) << "  " << display_(d.GetTitle()) << '\n';
    const auto state = static_cast<std::uint8_t>(d.Definition().GetState());
    out << "  state " << AddressText(state);
    const std::string lit = AlarmPanels(d.GetDevID() & 0xFF, state);
    if (!lit.empty()) out << " (" << lit << ")";
    out << '\n';
    const std::string version = d.GetProgramVersion();
    if (!version.empty() && version != "?") out << "  version " << display_(version) << '\n';

    TObjectAttributes& attributes = d.Attributes();
    if (attributes.ItemCount() > 0) {
        out << "  Attributes\n";
        TTextTable table({TAlign::Left, TAlign::Left});
        for (int i = 0; i < attributes.ItemCount(); ++i) {
            attributes.SetCurrent(i);
            table.AddRow({display_(attributes.GetName()), display_(attributes.GetValue())});
        }
        table.Print(out, "    ");
    }
    if (d.Parameters().ItemCount() > 0) {
        out << "  Parameters\n";
        PrintParameters(d, out, "    ");
    }
}

void TTreePrinter::PrintParameters(TLANObject& d, std::ostream& out,
                                   const std::string& indent) const {
    TParameters& p = d.Parameters();
    TTextTable table(
        {TAlign::Left, TAlign::Right, TAlign::Left, TAlign::Right, TAlign::Right, TAlign::Left});
    table.AddRow({"PARAMETER", "VALUE", "DIM.", "MIN", "MAX", "STATE"});
    for (int i = 0; i < p.ItemCount(); ++i) {
        p.SetCurrent(i);
        const int format = p.GetFormat();
        const auto value = static_cast<std::uint32_t>(p.GetValue());
        const auto min = static_cast<std::uint32_t>(p.GetMin());
        const auto max = static_cast<std::uint32_t>(p.GetMax());
        const auto mode = static_cast<std::uint32_t>(p.GetMode());
        table.AddRow({display_(p.GetName()), FormatValue(format, value), display_(p.GetDim()),
                      FormatValue(format, min), FormatValue(format, max),
                      ParamStateMark(ParameterState(mode, value, min, max))});
    }
    table.Print(out, indent);
}
