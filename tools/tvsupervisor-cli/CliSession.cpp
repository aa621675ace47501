#include "CliSession.h"

#include "EventPump.h"
#include "Interrupt.h"

class TCliSession::TLogView : public IPortMonitorView {
public:
    explicit TLogView(std::ostream& out) : out_(out) {}
    void MemoCleared() override {}
    void LineAdded(const std::string& line) override { out_ << line << '\n'; }
    void PanelChanged(const TPortMonitor&) override {}

private:
    std::ostream& out_;
};

namespace {
// How often the waits look at the tree, Ctrl-C and the clock.
constexpr long kWaitStepMs = 20;
} // namespace

TCliSession::TCliSession(ISerialProvider& provider, const std::string& portName,
                         TObjectsList& devices, std::ostream& log,
                         std::optional<std::string> password, bool verbose)
    : devices_(devices), views_(log, std::move(password)), portMonitor_(&views_),
      logView_(verbose ? std::make_unique<TLogView>(log) : nullptr),
      port_(portName, provider, &portMonitor_) {
    port_.Messages = &views_;
    if (logView_) portMonitor_.AddView(logView_.get());
    monitor_ = std::make_unique<TLANMonitor>(views_, &port_, devices_);
}

TCliSession::~TCliSession() {
    Close();
    monitor_.reset();
    if (logView_) portMonitor_.RemoveView(logView_.get());
}

bool TCliSession::Open() {
    startText_ = NowText();
    opened_ = TClock::now();
    monitor_->StartSession();
    if (monitor_->NotConnected) return false;
    open_ = true;
    return true;
}

bool TCliSession::TreeComplete() {
    if (devices_.Count() == 0) return false;
    for (int i = 0; i < devices_.Count(); ++i)
        if (!devices_.GetDevice(i)->IsComplete()) return false;
    return true;
}

TCliSession::TOutcome TCliSession::WaitDiscovery(std::chrono::milliseconds timeout) {
    const auto until = opened_ + timeout;
    for (;;) {
        if (Interrupted()) return TOutcome::Interrupted;
        if (views_.Lost()) return TOutcome::Lost;
        const auto now = TClock::now();
        if (TreeComplete() && now - views_.LastTraffic() >= kSettleQuiet) {
            discoveryTime_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                views_.LastTraffic() - opened_);
            return TOutcome::Complete;
        }
        if (now >= until) return TOutcome::TimedOut;
        Delay(kWaitStepMs);
    }
}

bool TCliSession::ReadParameters(TLANObject& device, std::chrono::milliseconds wait) {
    for (int i = 0; i < devices_.Count(); ++i)
        if (devices_.GetDevice(i) == &device) devices_.SetItemIndex(i);
    if (devices_.CurrentDevice() != &device) return false;
    std::vector<std::uint8_t> rows;
    for (int i = 0; i < device.ParameterCount() && i < 256; ++i)
        rows.push_back(static_cast<std::uint8_t>(i));
    const unsigned long before = views_.ValueReplies();
    const auto until = TClock::now() + wait;
    monitor_->SendGetParameterValues(rows);
    while (views_.ValueReplies() == before) {
        if (Interrupted() || views_.Lost() || TClock::now() >= until) return false;
        Delay(kWaitStepMs);
    }
    return true;
}

std::string TCliSession::Close() {
    if (open_) {
        open_ = false;
        monitor_->StopSession();
    }
    return NowText();
}
