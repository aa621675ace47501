// A session controller with recorded views, either fed frames by hand
// (no port, no link) or on the virtual line with the simulated site at the
// far end and the real link thread between.
#pragma once

#include "EventPump.h"
#include "LANMonitor.h"
#include "ReferenceSite.h"
#include "SiteJson.h"
#include "TraceLog.h"
#include "VirtualSite.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace monitortest {

using namespace std::chrono_literals;

class TRecordedViews : public ISessionViews {
public:
    void Clear() override { Note("Clear"); }
    void DeviceAdded(TLANObject& d) override { Note("DeviceAdded " + std::to_string(d.Order)); }
    void Rebuild(TView v) override { Note("Rebuild " + std::to_string(static_cast<int>(v))); }
    void Enable(bool on) override { Note(on ? "Enable" : "Disable"); }
    void UpdateValues() override { Note("UpdateValues"); }
    void UpdateIndicators() override { Note("UpdateIndicators"); }
    void SetAttributeValue(int index, const std::string& text) override {
        Note("Attribute " + std::to_string(index) + " " + text);
    }
    void SetControlValue(int index, int value) override {
        Note("Control " + std::to_string(index) + " " + std::to_string(value));
    }
    void ShowHubState(std::uint8_t s) override { Note("HubState " + std::to_string(s)); }
    void FillHistory() override { Note("FillHistory"); }
    void SessionLost() override { ++lost; }
    bool SettingsDialogOpen() override { return settingsOpen; }
    void ShowDeviceClock(const TDeviceClock& c) override { clock = c; }
    void ShowCalibration(int value) override { calibration = value; }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::optional<std::string> AskPassword() override {
        ++asked;
        return password;
    }

    int Count(const std::string& event) const {
        return static_cast<int>(std::count(events.begin(), events.end(), event));
    }

    std::vector<std::string> events;
    std::vector<std::string> messages;
    std::optional<std::string> password;
    std::optional<TDeviceClock> clock;
    std::optional<int> calibration;
    bool settingsOpen = false;
    int lost = 0;
    int asked = 0;
    // Runs inside the controller's next DeviceAdded (a window handler
    // running in the middle of a dispatch).
    std::function<void()> onDeviceAdded;

private:
    void Note(std::string e) {
        events.push_back(std::move(e));
        if (events.back().rfind("DeviceAdded", 0) == 0 && onDeviceAdded) {
            auto f = std::move(onDeviceAdded);
            onDeviceAdded = nullptr;
            f();
        }
    }
};

inline bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s) {
    const auto end = TSteadyClock::now() + limit;
    while (!done()) {
        if (TSteadyClock::now() >= end) return false;
        Delay(5);
    }
    return true;
}

// Every device of the tree complete, and as many as expected.
inline bool TreeComplete(TObjectsList& devices, int expected) {
    if (devices.Count() != expected) return false;
    for (int i = 0; i < devices.Count(); ++i)
        if (!devices.GetDevice(i)->IsComplete()) return false;
    return true;
}

inline sim::TSiteConfig Reference() {
    return sim::ParseSite(sim::kReferenceSite, "reference");
}

// The reference site: four devices on the bus, the hub's three children on
// its selected channel.
inline constexpr int kReferenceTree = 7;

// A controller and a port on the virtual line, the site attached on demand.
class TSimSession {
public:
    TSimSession() { port.Messages = &messages; }
    ~TSimSession() {
        monitor.reset();
        site.reset();
    }
    void Attach(sim::TLineKind kind, sim::TSiteConfig config = Reference()) {
        site = std::make_unique<sim::TVirtualSite>(provider.Line("COM1").FarEnd(), kind,
                                                   std::move(config), sim::TLineOptions{},
                                                   sim::TFaultSpec{}, trace.Sink());
    }

    class TMessages : public IOperatorMessages {
    public:
        void ShowMessage(const std::string& text) override { shown.push_back(text); }
        std::vector<std::string> shown;
    } messages;
    TVirtualSerialProvider provider;
    TPortMonitor portMonitor{nullptr};
    TCommPort port{"COM1", provider, &portMonitor, {1, 1, 1, 1}};
    sim::TTraceLog trace;
    std::unique_ptr<sim::TVirtualSite> site;
    TObjectsList devices;
    TRecordedViews views;
    std::unique_ptr<TLANMonitor> monitor = std::make_unique<TLANMonitor>(views, &port, devices);
};

} // namespace monitortest
