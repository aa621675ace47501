#include "SimThread.h"

namespace sim {

TSimThread::TSimThread(TLineFront& front) : front_(front), thread_([this] { Run(); }) {}

TSimThread::~TSimThread() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

Millis TSimThread::Now() const {
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - start_);
}

void TSimThread::Deliver(const std::uint8_t* p, std::size_t n) {
    {
        std::lock_guard lock(mutex_);
        inbox_.insert(inbox_.end(), p, p + n);
    }
    wake_.notify_one();
}

void TSimThread::SetProgramLines(bool rts, bool dtr) {
    {
        std::lock_guard lock(mutex_);
        lineChanges_.push_back({rts, dtr});
    }
    wake_.notify_one();
}

void TSimThread::Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        Bytes bytes;
        bytes.swap(inbox_);
        std::vector<TLines> lines;
        lines.swap(lineChanges_);
        lock.unlock();
        // The front is touched only here, so it needs no lock of its own.
        const Millis now = Now();
        for (const auto& l : lines)
            front_.ProgramLines(l.rts, l.dtr, now);
        if (!bytes.empty()) front_.Receive(bytes.data(), bytes.size(), now);
        front_.Advance(now);
        // Values keep moving at least once a second while the line is idle.
        Millis until = now + Millis(1000);
        if (auto due = front_.NextDue(); due && *due < until) until = *due;
        lock.lock();
        wake_.wait_until(lock, start_ + until,
                         [this] { return stop_ || !inbox_.empty() || !lineChanges_.empty(); });
    }
}

} // namespace sim
