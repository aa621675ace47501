#include "VirtualSite.h"

namespace sim {

namespace {
// How long the site waits on the line at most, so that a stop request and a
// change of RTS or DTR without any byte are seen soon.
constexpr std::chrono::milliseconds kMaxWait{20};
} // namespace

TVirtualSite::TVirtualSite(TVirtualFarEnd& far, TLineKind kind, TSiteConfig config,
                           TLineOptions options, const TFaultSpec& faults, TTrace trace)
    : far_(far), site_(std::move(config), faults.devices), line_(far) {
    front_ = MakeFront(kind, site_, line_, options, faults.line);
    front_->SetTrace(std::move(trace));
    thread_ = std::thread([this] { Run(); });
}

TVirtualSite::~TVirtualSite() {
    Stop();
}

void TVirtualSite::Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
}

void TVirtualSite::Run() {
    auto since = [this](TTimePoint t) { return std::chrono::duration_cast<Millis>(t - start_); };
    bool rts = far_.Rts(), dtr = far_.Dtr();
    front_->ProgramLines(rts, dtr, Millis(0));
    while (!stop_.load()) {
        for (const TWireByte& b : far_.Take()) {
            const Millis at = since(b.at);
            if (b.rts != rts || b.dtr != dtr) {
                rts = b.rts;
                dtr = b.dtr;
                front_->ProgramLines(rts, dtr, at);
            }
            front_->Receive(&b.value, 1, at);
        }
        const TTimePoint now = TSteadyClock::now();
        if (far_.Rts() != rts || far_.Dtr() != dtr) {
            rts = far_.Rts();
            dtr = far_.Dtr();
            front_->ProgramLines(rts, dtr, since(now));
        }
        front_->Advance(since(now));
        TTimePoint until = now + kMaxWait;
        if (auto due = front_->NextDue(); due && start_ + *due < until) until = start_ + *due;
        far_.WaitReadable(until);
    }
}

} // namespace sim
