#include "VirtualSerial.h"

#include <algorithm>
#include <thread>

// The program's end of the cable. All state lives in the cable, guarded by
// its mutex, so the far end can run on any thread.
class TVirtualProgramEnd : public ISerialDevice {
public:
    explicit TVirtualProgramEnd(TVirtualNullModem& line) : line_(line) {}
    ~TVirtualProgramEnd() override {
        std::lock_guard lock(line_.mutex_);
        line_.programOpen_ = false;
        line_.changed_.notify_all();
    }

    bool GetSettings(TLineSettings& out) override {
        std::lock_guard lock(line_.mutex_);
        out = line_.settings_;
        return true;
    }
    bool SetSettings(const TLineSettings& s) override {
        if (s.baud == 0) return false;
        std::lock_guard lock(line_.mutex_);
        line_.settings_ = s;
        return true;
    }
    bool SetRts(bool on) override {
        std::lock_guard lock(line_.mutex_);
        line_.SetLevel(line_.rts_, on);
        return true;
    }
    bool SetDtr(bool on) override {
        std::lock_guard lock(line_.mutex_);
        line_.SetLevel(line_.dtr_, on);
        return true;
    }
    std::uint8_t ModemStatus() override {
        std::lock_guard lock(line_.mutex_);
        return line_.farLines_;
    }
    std::size_t BytesWaiting() override {
        std::lock_guard lock(line_.mutex_);
        return ArrivedLocked(TSteadyClock::now());
    }
    void SetReadTimeout(std::chrono::milliseconds t) override {
        std::lock_guard lock(line_.mutex_);
        line_.readTimeout_ = t;
    }
    long Read(std::uint8_t* buf, std::size_t n) override {
        std::unique_lock lock(line_.mutex_);
        const TTimePoint deadline = TSteadyClock::now() + line_.readTimeout_;
        while (ArrivedLocked(TSteadyClock::now()) == 0) {
            const TTimePoint now = TSteadyClock::now();
            if (now >= deadline) return 0;
            line_.changed_.wait_until(lock, NextWake(deadline));
        }
        const std::size_t k = std::min(n, ArrivedLocked(TSteadyClock::now()));
        for (std::size_t i = 0; i < k; ++i) {
            buf[i] = line_.toProgram_.front().value;
            line_.toProgram_.pop_front();
        }
        return static_cast<long>(k);
    }
    bool WriteAll(const std::uint8_t* p, std::size_t n) override {
        std::lock_guard lock(line_.mutex_);
        line_.Enqueue(line_.toFar_, line_.toFarLast_, p, n);
        return true;
    }
    void Drain() override {
        TTimePoint last;
        {
            std::lock_guard lock(line_.mutex_);
            last = line_.toFarLast_;
        }
        std::this_thread::sleep_until(last);
    }
    void Purge(bool transmit, bool receive) override {
        std::lock_guard lock(line_.mutex_);
        const TTimePoint now = TSteadyClock::now();
        if (transmit) {
            // What has not left the transmitter yet is discarded.
            std::erase_if(line_.toFar_, [now](const auto& b) { return b.at > now; });
            line_.toFarLast_ = std::min(line_.toFarLast_, now);
        }
        if (receive) {
            // Only what has arrived sits in the receive buffer; bytes still
            // on the wire arrive afterwards, as on a real line.
            while (!line_.toProgram_.empty() && line_.toProgram_.front().at <= now)
                line_.toProgram_.pop_front();
        }
    }
    TWaitResult WaitReadable(TTimePoint deadline) override {
        std::unique_lock lock(line_.mutex_);
        for (;;) {
            if (line_.wake_) {
                line_.wake_ = false;
                return TWaitResult::Woken;
            }
            const TTimePoint now = TSteadyClock::now();
            if (ArrivedLocked(now) > 0) return TWaitResult::Readable;
            if (now >= deadline) return TWaitResult::TimedOut;
            line_.changed_.wait_until(lock, NextWake(deadline));
        }
    }
    void Wake() override {
        std::lock_guard lock(line_.mutex_);
        line_.wake_ = true;
        line_.changed_.notify_all();
    }
    std::uint32_t ProviderSubType() const override {
        std::lock_guard lock(line_.mutex_);
        return line_.subType_;
    }

private:
    std::size_t ArrivedLocked(TTimePoint now) const {
        const auto& q = line_.toProgram_;
        return static_cast<std::size_t>(
            std::find_if(q.begin(), q.end(), [now](const auto& b) { return b.at > now; }) -
            q.begin());
    }
    // The next byte on the wire arrives without anyone notifying.
    TTimePoint NextWake(TTimePoint deadline) const {
        if (!line_.toProgram_.empty()) return std::min(deadline, line_.toProgram_.front().at);
        return deadline;
    }

    TVirtualNullModem& line_;
};

TVirtualNullModem::TVirtualNullModem() : far_(*this) {
    const TTimePoint now = TSteadyClock::now();
    rts_.emplace_back(now, false);
    dtr_.emplace_back(now, false);
}

std::unique_ptr<ISerialDevice> TVirtualNullModem::OpenProgramEnd() {
    std::lock_guard lock(mutex_);
    if (programOpen_) return nullptr;
    programOpen_ = true;
    wake_ = false;
    return std::make_unique<TVirtualProgramEnd>(*this);
}

void TVirtualNullModem::SetProviderSubType(std::uint32_t t) {
    std::lock_guard lock(mutex_);
    subType_ = t;
}

std::chrono::nanoseconds TVirtualNullModem::ByteTime() const {
    const auto baud = std::max<std::uint32_t>(settings_.baud, 1);
    return std::chrono::nanoseconds(100'000'000LL * CharacterTenthBits(settings_) / baud);
}

void TVirtualNullModem::Enqueue(std::deque<TQueued>& q, TTimePoint& lastAt, const std::uint8_t* p,
                                std::size_t n) {
    const auto byteTime = ByteTime();
    TTimePoint at = std::max(TSteadyClock::now(), lastAt);
    for (std::size_t i = 0; i < n; ++i) {
        at += byteTime;
        q.push_back({p[i], at});
    }
    lastAt = at;
    changed_.notify_all();
}

bool TVirtualNullModem::LevelAt(const std::deque<std::pair<TTimePoint, bool>>& history,
                                TTimePoint t) const {
    bool level = history.front().second;
    for (const auto& [when, on] : history) {
        if (when > t) break;
        level = on;
    }
    return level;
}

void TVirtualNullModem::SetLevel(std::deque<std::pair<TTimePoint, bool>>& history, bool on) {
    const TTimePoint now = TSteadyClock::now();
    // Only bytes not yet taken by the far end still need older levels.
    PruneHistory(history, toFar_.empty() ? now : toFar_.front().at);
    history.emplace_back(now, on);
    changed_.notify_all();
}

void TVirtualNullModem::PruneHistory(std::deque<std::pair<TTimePoint, bool>>& history,
                                     TTimePoint before) {
    while (history.size() > 1 && history[1].first <= before)
        history.pop_front();
}

TTimePoint TVirtualFarEnd::Write(const std::uint8_t* p, std::size_t n) {
    std::lock_guard lock(line_.mutex_);
    line_.Enqueue(line_.toProgram_, line_.toProgramLast_, p, n);
    return line_.toProgramLast_;
}

std::vector<TWireByte> TVirtualFarEnd::Take() {
    std::lock_guard lock(line_.mutex_);
    const TTimePoint now = TSteadyClock::now();
    std::vector<TWireByte> out;
    while (!line_.toFar_.empty() && line_.toFar_.front().at <= now) {
        const auto b = line_.toFar_.front();
        line_.toFar_.pop_front();
        out.push_back(
            {b.value, b.at, line_.LevelAt(line_.rts_, b.at), line_.LevelAt(line_.dtr_, b.at)});
    }
    // Levels before the oldest byte still in flight are needed no more.
    const TTimePoint keep = line_.toFar_.empty() ? now : line_.toFar_.front().at;
    line_.PruneHistory(line_.rts_, keep);
    line_.PruneHistory(line_.dtr_, keep);
    return out;
}

bool TVirtualFarEnd::WaitReadable(TTimePoint deadline) {
    std::unique_lock lock(line_.mutex_);
    for (;;) {
        const TTimePoint now = TSteadyClock::now();
        if (!line_.toFar_.empty() && line_.toFar_.front().at <= now) return true;
        if (now >= deadline) return false;
        const TTimePoint next =
            line_.toFar_.empty() ? deadline : std::min(deadline, line_.toFar_.front().at);
        line_.changed_.wait_until(lock, next);
    }
}

void TVirtualFarEnd::SetModemLines(std::uint8_t bits) {
    std::lock_guard lock(line_.mutex_);
    line_.farLines_ = bits & (kStatusCts | kStatusDsr | kStatusRi | kStatusDcd);
}

bool TVirtualFarEnd::Rts() const {
    std::lock_guard lock(line_.mutex_);
    return line_.rts_.back().second;
}

bool TVirtualFarEnd::Dtr() const {
    std::lock_guard lock(line_.mutex_);
    return line_.dtr_.back().second;
}

bool TVirtualFarEnd::ProgramOpen() const {
    std::lock_guard lock(line_.mutex_);
    return line_.programOpen_;
}

TLineSettings TVirtualFarEnd::Settings() const {
    std::lock_guard lock(line_.mutex_);
    return line_.settings_;
}

TVirtualNullModem& TVirtualSerialProvider::Line(const std::string& portName) {
    auto& slot = lines_[portName];
    if (!slot) slot = std::make_unique<TVirtualNullModem>();
    return *slot;
}

std::unique_ptr<ISerialDevice> TVirtualSerialProvider::Open(const std::string& portName) {
    const auto it = lines_.find(portName);
    if (it == lines_.end()) return nullptr;
    return it->second->OpenProgramEnd();
}
