// The site as the devices see it: a state machine fed with the program's
// checked frames and with the passing of time, which answers with frames
// in the order the devices send them. It knows nothing of the line: the
// line fronts (LineFront.h) decide when the queued frames go out.
#pragma once

#include "SimFrame.h"
#include "SiteModel.h"

#include <chrono>
#include <deque>
#include <map>
#include <random>
#include <vector>

namespace sim {

using Millis = std::chrono::milliseconds;

enum TOpcode : std::uint8_t {
    opAccessGranted = 1,
    opEndOfTurn = 3,
    opPoll = 4,
    opPresent = 5,
    opGetDefinition = 6,
    opDefinition = 7,
    opSetDeviceType = 9,
    opSetMode = 10,
    opGetState = 11,
    opState = 12,
    opChildState = 13,
    opChildDefinition = 16,
    opSetAddress = 17,
    opAttributeRow = 19,
    opChildAttributeRow = 20,
    opAttributeText = 22,
    opChildAttributeText = 23,
    opParameterRow = 25,
    opChildParameterRow = 26,
    opGetParameterValues = 27,
    opParameterValues = 28,
    opChildParameterValues = 29,
    opControlRow = 32,
    opChildControlRow = 33,
    opGetControlValue = 34,
    opControlValue = 35,
    opChildControlValue = 36,
    opCommandRow = 38,
    opChildCommandRow = 39,
    opExecuteCommand = 40,
    opTextMessage = 41,
    opAccessPassword = 46,
    opNewPassword = 47,
    opIllegalPassword = 48,
    opGetDateTime = 55,
    opDateTime = 56,
    opGetCalibration = 57,
    opCalibration = 58,
    opGetHistory = 60,
    opHistory = 61,
    opSelectHub = 64,
    opHubState = 67,
};

// Faults that belong to devices rather than to the line.
struct TDeviceFaults {
    std::map<std::uint8_t, Millis> silentFrom;      // address -> stops answering at
    std::map<std::uint8_t, std::uint8_t> answersAs; // address -> source it claims
};

class TSite {
public:
    explicit TSite(TSiteConfig config, TDeviceFaults faults = {});

    // One checked frame from the program, received at `now`.
    void Receive(const TFrame& frame, Millis now);
    // Time passes: values wander, alarms rise and fall; a device may queue
    // a line for the port log when an alarm rises.
    void Advance(Millis now);

    // Frames waiting to be sent (unescaped), oldest first.
    std::deque<Bytes>& Outbox() { return outbox_; }

    // A dial-up call: nothing is answered until the password has been
    // presented. Direct lines are open from the start.
    void RequireAccess() {
        accessRequired_ = true;
        accessDecided_ = false;
    }
    void OpenAccess() { accessRequired_ = false; }
    bool AccessGranted() const { return !accessRequired_; }

    // The source of the site's end-of-turn frame: the first device on the bus.
    std::uint8_t TurnAddress() const;

    // A device on the bus, or a child on its hub's selected channel.
    TSimDevice* FindDevice(std::uint8_t address);
    const TSiteConfig& Config() const { return config_; }
    TSimClock ClockOf(const TSimDevice& device, Millis now) const;

private:
    struct TTarget {
        TSimDevice* device = nullptr;
        TSimDevice* hub = nullptr; // set when the device sits behind a hub
    };

    TTarget Resolve(std::uint8_t address);
    bool Silent(std::uint8_t address, Millis now) const;
    void Emit(std::uint8_t src, std::uint8_t opcode, const Bytes& body);
    // Plain form from the device, or the child form from its hub.
    void Send(const TTarget& t, std::uint8_t plainOp, std::uint8_t childOp, const Bytes& form);
    bool HasQueuedFrom(std::uint8_t src) const;

    void Poll(Millis now);
    void ReportDevice(const TTarget& t);
    void ReportChannel(TSimDevice& hub);
    void Apply(const TTarget& t, const TFrame& f, Millis now);
    void Password(const TFrame& f);

    void SendDefinition(const TTarget& t);
    void SendRows(const TTarget& t);
    void SendValues(const TTarget& t, const std::vector<std::uint8_t>& ids);
    void SendHistory(const TTarget& t);
    void Execute(const TTarget& t, std::uint8_t number);
    void ClearAlarms(TSimDevice& d);
    void Text(const TSimDevice& d, const std::string& text);

    void Tick(long siteSecond);
    void TickDevice(TSimDevice& d, TSimDevice* hub, long siteSecond, bool heard);
    void StartExcursion(long siteSecond);

    TSiteConfig config_;
    TDeviceFaults faults_;
    std::deque<Bytes> outbox_;
    std::uint8_t sequence_ = 0;
    bool accessRequired_ = false;
    bool accessDecided_ = false;
    long long startEpochS_ = 0;
    long lastTickS_ = 0;
    long nextExcursionS_ = -1;
    std::mt19937 rng_;
};

// Calendar helpers shared with the loader.
long long EpochSeconds(const TSimClock& c);
TSimClock ClockFromEpoch(long long seconds);
Bytes ClockForm(const TSimClock& c);

} // namespace sim
