// A site at the far end of the in-process virtual null-modem line: the way
// tests and benchmarks put the simulator on the other side of the program's
// serial port. The site runs on its own thread with the real clock, reads
// the program's bytes with their arrival times and its RTS and DTR, and sets
// the modem lines its front calls for.
#pragma once

#include "LineFront.h"
#include "VirtualSerial.h"

#include <atomic>
#include <thread>

namespace sim {

class TVirtualSite {
public:
    // Starts serving at once.
    TVirtualSite(TVirtualFarEnd& far, TLineKind kind, TSiteConfig config, TLineOptions options = {},
                 const TFaultSpec& faults = {}, TTrace trace = {});
    // Stops and joins the thread.
    ~TVirtualSite();
    TVirtualSite(const TVirtualSite&) = delete;
    TVirtualSite& operator=(const TVirtualSite&) = delete;

    // Stops serving; afterwards Site() may be inspected.
    void Stop();
    TSite& Site() { return site_; }

private:
    class TFarLine : public ISimLine {
    public:
        explicit TFarLine(TVirtualFarEnd& far) : far_(far) {}
        void Write(const Bytes& bytes) override { far_.Write(bytes); }
        void SetModemLines(std::uint8_t status) override { far_.SetModemLines(status); }

    private:
        TVirtualFarEnd& far_;
    };

    void Run();

    TVirtualFarEnd& far_;
    TSite site_;
    TFarLine line_;
    std::unique_ptr<TLineFront> front_;
    const TTimePoint start_ = TSteadyClock::now();
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace sim
