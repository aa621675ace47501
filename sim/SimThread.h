// Runs a line front on its own thread with the real clock: the in-process
// way to put a site at the far end of a virtual line. Whatever carries the
// program's bytes calls Deliver and SetProgramLines from any thread; the
// front writes to its ISimLine from this thread, so that line must accept
// writes from another thread (the virtual pair's far end does).
#pragma once

#include "LineFront.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace sim {

class TSimThread {
public:
    // Starts serving at once; the front is borrowed and must outlive this.
    explicit TSimThread(TLineFront& front);
    // Stops and joins the thread.
    ~TSimThread();
    TSimThread(const TSimThread&) = delete;
    TSimThread& operator=(const TSimThread&) = delete;

    // Bytes the program wrote, arriving now.
    void Deliver(const std::uint8_t* p, std::size_t n);
    void SetProgramLines(bool rts, bool dtr);

private:
    void Run();
    Millis Now() const;

    TLineFront& front_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    std::condition_variable wake_;
    Bytes inbox_;
    struct TLines {
        bool rts, dtr;
    };
    std::vector<TLines> lineChanges_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace sim
