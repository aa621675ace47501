// An in-process null-modem cable. The program's end is an ISerialDevice; the
// far end (a test, a benchmark, the simulator) writes and reads bytes and
// sets the modem lines. Bytes are paced at the line rate of the program's
// settings, so turn-around and frame times behave as on a wire.
#pragma once

#include "SerialDevice.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

// A byte as the far end saw it: when its stop bit ended and where the
// program's RTS and DTR stood at that moment.
struct TWireByte {
    std::uint8_t value = 0;
    TTimePoint at;
    bool rts = false;
    bool dtr = false;
};

class TVirtualNullModem;

class TVirtualFarEnd {
public:
    explicit TVirtualFarEnd(TVirtualNullModem& line) : line_(line) {}
    // Queues bytes towards the program, paced after whatever is still on
    // the wire; returns when the last of them will have arrived.
    TTimePoint Write(const std::uint8_t* p, std::size_t n);
    TTimePoint Write(const std::vector<std::uint8_t>& b) { return Write(b.data(), b.size()); }
    // Takes every byte of the program that has arrived by now.
    std::vector<TWireByte> Take();
    // Blocks until a byte of the program has arrived or the deadline passes.
    bool WaitReadable(TTimePoint deadline);
    // CTS 0x10, DSR 0x20, RI 0x40, DCD 0x80 as the program will read them.
    void SetModemLines(std::uint8_t bits);
    bool Rts() const;
    bool Dtr() const;
    bool ProgramOpen() const;
    TLineSettings Settings() const;

private:
    TVirtualNullModem& line_;
};

class TVirtualNullModem {
public:
    TVirtualNullModem();
    TVirtualNullModem(const TVirtualNullModem&) = delete;
    TVirtualNullModem& operator=(const TVirtualNullModem&) = delete;

    // The program's end; nullptr while it is open already (exclusive use).
    // The returned device must not outlive this object.
    std::unique_ptr<ISerialDevice> OpenProgramEnd();
    TVirtualFarEnd& FarEnd() { return far_; }
    // What the probe will read as the provider subtype.
    void SetProviderSubType(std::uint32_t t);

private:
    friend class TVirtualFarEnd;
    friend class TVirtualProgramEnd;

    struct TQueued {
        std::uint8_t value;
        TTimePoint at;
    };
    std::chrono::nanoseconds ByteTime() const;
    // Paces bytes after what is still in flight on one direction.
    void Enqueue(std::deque<TQueued>& q, TTimePoint& lastAt, const std::uint8_t* p, std::size_t n);
    bool LevelAt(const std::deque<std::pair<TTimePoint, bool>>& history, TTimePoint t) const;
    void SetLevel(std::deque<std::pair<TTimePoint, bool>>& history, bool on);
    void PruneHistory(std::deque<std::pair<TTimePoint, bool>>& history, TTimePoint before);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    TLineSettings settings_;
    std::deque<TQueued> toFar_, toProgram_;
    TTimePoint toFarLast_{}, toProgramLast_{};
    std::deque<std::pair<TTimePoint, bool>> rts_, dtr_;
    std::uint8_t farLines_ = 0;
    std::uint32_t subType_ = kSubTypeRs232;
    bool programOpen_ = false;
    bool wake_ = false;
    std::chrono::milliseconds readTimeout_{0};
    TVirtualFarEnd far_;
};

// Virtual lines by port name, for tests and an in-process simulator.
class TVirtualSerialProvider : public ISerialProvider {
public:
    // The line behind a port name, created on first use.
    TVirtualNullModem& Line(const std::string& portName);
    std::unique_ptr<ISerialDevice> Open(const std::string& portName) override;

private:
    std::map<std::string, std::unique_ptr<TVirtualNullModem>> lines_;
};
