// One session of the command-line client on a direct line: the port object
// over the resolved device path, the session controller with the client's
// views, the wait for discovery to settle, and the closing.
#pragma once

#include "CliViews.h"
#include "LANMonitor.h"
#include "PortMonitor.h"
#include "SerialComm.h"

#include <chrono>
#include <memory>
#include <ostream>
#include <string>

class TCliSession {
public:
    using TClock = std::chrono::steady_clock;
    // After the last device has completed, the line must stay this quiet
    // before discovery counts as done: a hub reports the devices behind it
    // only after its own tables, and a device may still answer a later poll.
    static constexpr std::chrono::milliseconds kSettleQuiet{1500};

    enum class TOutcome { Complete, TimedOut, Interrupted, Lost };

    // `portName` as given on the command line, opened through `provider`
    // (not owned). With `verbose` the line log goes to `log` as it is
    // written.
    TCliSession(ISerialProvider& provider, const std::string& portName, TObjectsList& devices,
                std::ostream& log, std::optional<std::string> password, bool verbose);
    ~TCliSession();
    TCliSession(const TCliSession&) = delete;
    TCliSession& operator=(const TCliSession&) = delete;

    // Opens the port and starts discovery. False when the session did not
    // come up (the provider knows why).
    bool Open();
    // Runs the event loop until every device of the tree is complete and
    // the line has been quiet for kSettleQuiet, or the time-out, Ctrl-C or
    // a lost session ends the wait.
    TOutcome WaitDiscovery(std::chrono::milliseconds timeout);
    // Reads every parameter of `device` once; false when no reply came
    // within `wait` (or Ctrl-C ended it).
    bool ReadParameters(TLANObject& device, std::chrono::milliseconds wait);
    // Stops the session; the time it ended, as the history records it.
    std::string Close();

    const std::string& StartText() const { return startText_; }
    // From the opening to the last frame before discovery settled.
    std::chrono::milliseconds DiscoveryTime() const { return discoveryTime_; }

private:
    class TLogView;

    bool TreeComplete();

    TObjectsList& devices_;
    TCliViews views_;
    TPortMonitor portMonitor_;
    std::unique_ptr<TLogView> logView_;
    TCommPort port_;
    std::unique_ptr<TLANMonitor> monitor_;
    std::string startText_;
    TClock::time_point opened_{};
    std::chrono::milliseconds discoveryTime_{0};
    bool open_ = false;
};
