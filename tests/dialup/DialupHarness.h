// A modem port on the virtual line with the simulated site's modem at the
// far end, the operator's messages and the modem's command lines recorded.
#pragma once

#include "LANReaderModem.h"
#include "ReferenceSite.h"
#include "SerialComm.h"
#include "SiteJson.h"
#include "TraceLog.h"
#include "VirtualSite.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dialup {

class TRecordedMessages : public IOperatorMessages {
public:
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// Stands in for the session controller on a modem link: keeps every frame
// that reaches it (as hex and by opcode), queues the password frames the
// link asks for and counts the sessions reported lost.
class TModemController : public IModemLinkController {
public:
    TModemController(TMessagesList& out, TMessagesList& in) : out_(out), in_(in) {}
    void DispatchReceived() override {
        TBusyHold hold(in_, Pause);
        for (std::size_t i = 0; i < in_.Count(); ++i) {
            in_.SetCurrent(static_cast<int>(i));
            TMemoryStream f;
            in_.CopyCurrent(f);
            frames.push_back(StreamToHex(f));
            opcodes.push_back(in_.GetOpcode());
        }
        in_.FreeAll();
    }
    void SendAccessPassword(const std::string& password) override {
        TBusyHold hold(out_, Pause);
        TMemoryStream body;
        WriteShortString(body, password);
        out_.AddFrame(kBroadcastAddress, kProgramAddress, &body, kAccessPassword);
    }
    void SessionLost() override { ++lost; }

    std::vector<std::string> frames;
    std::vector<std::uint8_t> opcodes;
    int lost = 0;

private:
    static constexpr std::uint8_t kAccessPassword = 46;
    static bool Pause() {
        Delay(1);
        return true;
    }
    TMessagesList& out_;
    TMessagesList& in_;
};

// A far end that answers each command line with the text `answer` gives
// for it, with echo; or with nothing when it gives an empty text.
class TScriptedModem {
public:
    TScriptedModem(TVirtualFarEnd& far, std::function<std::string(const std::string&)> answer)
        : far_(far), answer_(std::move(answer)), thread_([this] { Run(); }) {}
    ~TScriptedModem() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::string> Heard() {
        std::lock_guard lock(mutex_);
        return heard_;
    }

private:
    void Run() {
        std::string line;
        while (!stop_) {
            far_.WaitReadable(TSteadyClock::now() + std::chrono::milliseconds(20));
            for (const auto& b : far_.Take()) {
                if (b.value != '\r') {
                    line += static_cast<char>(b.value);
                    continue;
                }
                {
                    std::lock_guard lock(mutex_);
                    heard_.push_back(line);
                }
                const std::string reply = answer_(line);
                if (!reply.empty()) {
                    const std::string bytes = line + "\r\r\n" + reply + "\r\n";
                    far_.Write(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
                }
                line.clear();
            }
        }
    }

    TVirtualFarEnd& far_;
    std::function<std::string(const std::string&)> answer_;
    std::mutex mutex_;
    std::vector<std::string> heard_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
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
    sim::TTraceLog trace;
    std::unique_ptr<sim::TVirtualSite> site;
};

} // namespace dialup
