// Pauses that keep the user interface alive. On the main thread of a Qt
// application they run the event loop until a deadline on the monotonic
// clock; elsewhere (link threads, command-line tools) they sleep.
#pragma once

#include <chrono>

// Returns at once for 0 or less. Any length; a clock change does not
// shorten or stretch it. Never a busy spin.
void Delay(long ms);
// Runs the events already pending, without waiting for more.
void ProcessPendingEvents();
// True on the thread that runs the application's event loop.
bool OnEventThread();

// A one-shot time-out on the monotonic clock, read by polling.
class TDeadlineTimer {
public:
    void Start(std::chrono::milliseconds interval) {
        deadline_ = std::chrono::steady_clock::now() + interval;
        running_ = true;
    }
    void Stop() { running_ = false; }
    bool Expired() const { return running_ && std::chrono::steady_clock::now() >= deadline_; }
    std::chrono::steady_clock::time_point Deadline() const { return deadline_; }

private:
    std::chrono::steady_clock::time_point deadline_{};
    bool running_ = false;
};
