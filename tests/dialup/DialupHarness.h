// A modem port on the virtual line with the simulated site's modem at the
// far end, the operator's messages and the modem's command lines recorded.
#pragma once

#include "ReferenceSite.h"
#include "SerialComm.h"
#include "SiteJson.h"
#include "VirtualSite.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dialup {

class TRecordedMessages : public IOperatorMessages {
public:
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// The site's trace arrives on its own thread.
class TModemTrace {
public:
    sim::TTrace Sink() {
        return [this](sim::Millis, const std::string& event) {
            std::lock_guard lock(mutex_);
            events_.push_back(event);
        };
    }
    // Events that start with `prefix`, the prefix cut off.
    std::vector<std::string> With(const std::string& prefix) const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& e : events_)
            if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
        return out;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

inline sim::TSiteConfig ReferenceSite() {
    auto config = sim::ParseSite(sim::kReferenceSite, "reference");
    config.modem.connectDelayMs = 100;
    config.modem.guardMs = 100;
    return config;
}

class TModemLine {
public:
    TModemLine() {
        port.Messages = &messages;
        port.DialSettings = &settings;
        // Small settings: a connect result within 10 s, no long pauses.
        settings.CancelCallTime = "1";
        settings.TryToConnect = "2";
        settings.WaitAttempts = "0";
    }
    // Attaches the site behind a modem and opens the port on it as a modem
    // of the given model.
    void Attach(sim::TLineKind kind, sim::TSiteConfig config, const std::string& model) {
        site = std::make_unique<sim::TVirtualSite>(provider.Line("COM2").FarEnd(), kind,
                                                   std::move(config), sim::TLineOptions{},
                                                   sim::TFaultSpec{}, trace.Sink());
        port.IsModem = true;
        port.ModemModel = model;
        port.Open();
        // Opening a GSM port asks for the signal; the OK that ends the
        // answer must have crossed the line before the dialer purges it,
        // as it has long since when an operator dials.
        Delay(100);
    }
    bool Logged(const std::string& line) const {
        const auto& lines = monitor.Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    TRecordedMessages messages;
    TDialSettings settings;
    TVirtualSerialProvider provider;
    TPortMonitor monitor{nullptr};
    TCommPort port{"COM2", provider, &monitor, {1, 1, 1, 1}};
    TModemTrace trace;
    std::unique_ptr<sim::TVirtualSite> site;
};

} // namespace dialup
