// What the session controller tells the windows, taken by the command-line
// client: operator messages go to standard error, the password comes from
// the command line, and the traffic and value replies are noted so that
// the commands can tell when discovery has settled and a reading arrived.
#pragma once

#include "OperatorMessages.h"
#include "SessionViews.h"

#include <chrono>
#include <optional>
#include <ostream>
#include <string>

// Also where the port object's warnings go, so that every message for the
// operator takes the same way.
class TCliViews : public ISessionViews, public IOperatorMessages {
public:
    using TClock = std::chrono::steady_clock;

    TCliViews(std::ostream& messages, std::optional<std::string> password)
        : messages_(messages), password_(std::move(password)) {}

    void ShowMessage(const std::string& text) override;
    std::optional<std::string> AskPassword() override { return password_; }
    void SessionLost() override { lost_ = true; }
    // Called at the end of every dispatch that took frames.
    void SetLabelTime(const std::string& text) override;
    void UpdateValues() override { ++values_; }

    bool Lost() const { return lost_; }
    // Time of the last frames taken; the opening time before any.
    TClock::time_point LastTraffic() const { return lastTraffic_; }
    const std::string& LastTrafficText() const { return lastTrafficText_; }
    // How many value replies have arrived.
    unsigned long ValueReplies() const { return values_; }

private:
    std::ostream& messages_;
    std::optional<std::string> password_;
    bool lost_ = false;
    TClock::time_point lastTraffic_ = TClock::now();
    std::string lastTrafficText_;
    unsigned long values_ = 0;
};
