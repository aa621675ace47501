// The line in front of the site: how the site's frames reach the program
// and when. A front is fed the program's bytes and the passing of time and
// writes to an ISimLine; it never sleeps or reads a clock itself, so tests
// drive it with a clock of their own and the runner with the real one.
//
//   TBusFront    RS-485 bus: speaks only after the program's end-of-turn
//                frame, at most `turnBytes` per turn, ends with its own one;
//                as a radio data link it also answers the link's probe.
//   TDirectFront RS-232 cable: CTS, DSR and DCD held high; answers each
//                request (the program runs its point-to-point link here).
//   TModemFront  Hayes or GSM modem: AT dialogue, dialling, data mode with
//                the site behind it, "+++" escape and hang-up.
#pragma once

#include "Faults.h"
#include "Site.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace sim {

inline constexpr std::uint8_t kLineCts = 0x10;
inline constexpr std::uint8_t kLineDsr = 0x20;
inline constexpr std::uint8_t kLineRi = 0x40;
inline constexpr std::uint8_t kLineDcd = 0x80;

// The simulator's end of the line: the far side of a virtual null-modem pair
// or the master of a pseudo-terminal.
class ISimLine {
public:
    virtual ~ISimLine() = default;
    virtual void Write(const Bytes& bytes) = 0;
    // CTS 0x10, DSR 0x20, RI 0x40, DCD 0x80 as the program will read them.
    virtual void SetModemLines(std::uint8_t status) = 0;
};

// A timing trace line: time since start, then the text.
using TTrace = std::function<void(Millis, const std::string&)>;

struct TLineOptions {
    Millis latency{10}; // from the program's last byte to the answer
    // Wire bytes per bus turn, end-of-turn frame excluded; the default lets a
    // whole discovery go in one turn, as the devices of a site do.
    std::size_t turnBytes = 65536;
};

struct TFrameCounts {
    std::size_t good = 0, bad = 0, sent = 0;
};

class TLineFront {
public:
    TLineFront(TSite& site, ISimLine& line, TLineOptions options, const TLineFaults& faults);
    virtual ~TLineFront() = default;
    TLineFront(const TLineFront&) = delete;
    TLineFront& operator=(const TLineFront&) = delete;

    // Bytes written by the program, arriving at `now`.
    virtual void Receive(const std::uint8_t* p, std::size_t n, Millis now) = 0;
    // The program's RTS and DTR (the virtual pair reports them; a
    // pseudo-terminal has none).
    virtual void ProgramLines(bool rts, bool dtr, Millis now);
    // Time passes: writes everything that has fallen due.
    void Advance(Millis now);
    // When Advance next has something to do; nothing while idle.
    std::optional<Millis> NextDue() const;

    std::uint8_t ModemLines() const { return lines_; }
    const TFrameCounts& Counts() const { return counts_; }
    void SetTrace(TTrace trace) { trace_ = std::move(trace); }

protected:
    virtual void OnAdvance(Millis now) = 0;
    virtual std::optional<Millis> OwnDue() const { return std::nullopt; }

    void SetLines(std::uint8_t lines);
    // One frame of the site, through the line faults.
    void SendFrame(const Bytes& unescaped, Millis at);
    // Modem texts and the like, untouched by the line faults.
    void SendRaw(const std::string& text, Millis at);
    void SendRaw(const Bytes& bytes, Millis at);
    // Everything the site has queued, back to back.
    void FlushOutbox(Millis at);
    // Collected frames (unescaped, unchecked) out of the program's bytes.
    std::vector<Bytes> Collect(const std::uint8_t* p, std::size_t n);
    // Checks a collected frame and traces it.
    std::optional<TFrame> Check(const Bytes& raw, Millis now);
    void ResetCollector() { collector_.Reset(); }
    void Trace(Millis now, const std::string& text) const {
        if (trace_) trace_(now, text);
    }

    TSite& site_;
    ISimLine& line_;
    TLineOptions options_;

private:
    struct TPending {
        Millis at;
        Bytes bytes;
    };
    std::deque<TPending> pending_;
    Millis lastAt_{0};
    TFaultInjector faults_;
    TFrameCollector collector_;
    std::uint8_t lines_ = 0;
    TFrameCounts counts_;
    TTrace trace_;
};

class TBusFront : public TLineFront {
public:
    // `radio`: the bus is reached through a radio data link, which holds CTS
    // and DSR up and answers the link probe.
    TBusFront(TSite& site, ISimLine& line, TLineOptions options, const TLineFaults& faults,
              bool radio);
    void Receive(const std::uint8_t* p, std::size_t n, Millis now) override;

protected:
    void OnAdvance(Millis now) override;
    std::optional<Millis> OwnDue() const override { return turnAt_; }

private:
    void SpeakTurn(Millis now);
    bool radio_;
    std::optional<Millis> turnAt_;
};

class TDirectFront : public TLineFront {
public:
    TDirectFront(TSite& site, ISimLine& line, TLineOptions options, const TLineFaults& faults);
    void Receive(const std::uint8_t* p, std::size_t n, Millis now) override;

protected:
    void OnAdvance(Millis now) override;
};

class TModemFront : public TLineFront {
public:
    enum class TKind { Hayes, Gsm };
    TModemFront(TSite& site, ISimLine& line, TLineOptions options, const TLineFaults& faults,
                TKind kind, const TModemSettings& settings);
    void Receive(const std::uint8_t* p, std::size_t n, Millis now) override;
    void ProgramLines(bool rts, bool dtr, Millis now) override;
    bool Online() const { return state_ == TState::Data || state_ == TState::OnlineCommand; }

protected:
    void OnAdvance(Millis now) override;
    std::optional<Millis> OwnDue() const override;

private:
    enum class TState { Command, Dialing, Data, OnlineCommand };
    void CommandByte(std::uint8_t b, Millis now);
    void DataBytes(const std::uint8_t* p, std::size_t n, Millis now);
    void CommandLine(const std::string& line, Millis now);
    // Runs the commands after "AT"; the final result, or nothing when the
    // command (a dial) answers later.
    std::optional<std::string> Run(const std::string& cmds, std::vector<std::string>& info,
                                   Millis now);
    void Result(const std::string& text, Millis at);
    void Connect(Millis now);
    void Drop(Millis now, const std::string& result);
    void FactoryDefaults();
    void UpdateLines();

    TKind kind_;
    TModemSettings settings_;
    TState state_ = TState::Command;
    bool echo_ = true, verbose_ = true, quiet_ = false;
    int dcdMode_ = 1, dsrMode_ = 0, dtrMode_ = 2;
    bool dtr_ = true;
    std::string lineBuf_, lastLine_;
    std::optional<Millis> dialDoneAt_;
    std::optional<Millis> dropAt_;
    int plusCount_ = 0;
    Millis lastDataAt_{0}, lastPlusAt_{0};
    std::optional<Millis> escapeAt_;
    std::map<int, int> registers_;
    int dropAfterS_ = -1;
};

enum class TLineKind { Bus, Rs232, Radio, Hayes, Gsm };

// "bus", "rs232", "rds", "hayes" or "gsm"; throws ESimError otherwise.
TLineKind ParseLineKind(const std::string& text);
// The front for a kind of line, with the modem settings of the site.
std::unique_ptr<TLineFront> MakeFront(TLineKind kind, TSite& site, ISimLine& line,
                                      TLineOptions options, const TLineFaults& faults);

} // namespace sim
