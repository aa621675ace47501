// Keeps a site's trace lines for whoever reads them later: the site traces
// on its own thread, tests and tools read on theirs.
#pragma once

#include "LineFront.h"

#include <mutex>
#include <string>
#include <vector>

namespace sim {

class TTraceLog {
public:
    TTrace Sink() {
        return [this](Millis, const std::string& event) {
            std::lock_guard lock(mutex_);
            events_.push_back(event);
        };
    }
    // The events that start with `prefix` ("in  ", "at  ", "dial ",
    // "carrier down" ...), the prefix cut off, in the order they happened.
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

} // namespace sim
