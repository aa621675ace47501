// What happens on the serial line, as the operator sees it on the status
// panel: eight lamps, frame counters, queue lengths, the state label, the
// GSM level and the port log. A model: the Qt panel and the plain text log
// observe it. Calls from a link thread are carried over to the thread that
// owns the monitor, in the order they were made.
#pragma once

#include "OperatorMessages.h"
#include "SerialDevice.h"

#include <QObject>
#include <array>
#include <atomic>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

enum class TLamp { RX, TX, DSR, CTS, RI, DTR, RTS, DCD };
inline constexpr std::size_t kLampCount = 8;

class TPortMonitor;

class IPortMonitorView {
public:
    virtual ~IPortMonitorView() = default;
    virtual void MemoCleared() = 0;
    virtual void LineAdded(const std::string& line) = 0;
    // Lamps, counters, queue lengths or labels changed; read them back.
    virtual void PanelChanged(const TPortMonitor& monitor) = 0;
};

class TPortMonitor : public QObject {
    Q_OBJECT
public:
    // The memo is emptied once it holds more than this many lines.
    static constexpr std::size_t kMemoLimit = 200;

    explicit TPortMonitor(IOperatorMessages* messages, QObject* parent = nullptr);

    // Views are borrowed; remove one before it dies.
    void AddView(IPortMonitorView* view);
    void RemoveView(IPortMonitorView* view);

    void Reset();
    void AddLine(const std::string& text);
    void ShowState(const std::string& text);
    void CountSent();
    void CountReceived();
    void CountErrors();
    void ShowInQueue(std::size_t n);
    void ShowOutQueue(std::size_t n);
    void SetTX(bool on) { SetLamp(TLamp::TX, on); }
    void SetRX(bool on) { SetLamp(TLamp::RX, on); }
    void SetRTS(bool on) { SetLamp(TLamp::RTS, on); }
    void SetDTR(bool on) { SetLamp(TLamp::DTR, on); }
    // Safe from any thread.
    bool RXActive() const { return Lamp(TLamp::RX); }
    void ShowModemStatus(std::uint8_t status);
    // A "+CSQ" reply: the level label, with a warning when the signal is
    // too weak to work with or not measured.
    void ShowSignal(const std::string& reply);
    void ShowGsmLevel(bool visible);

    bool Lamp(TLamp lamp) const { return lamps_[static_cast<std::size_t>(lamp)].load(); }
    const std::vector<std::string>& Lines() const { return lines_; }
    const std::string& StateText() const { return state_; }
    unsigned long long Sent() const { return sent_; }
    unsigned long long Received() const { return received_; }
    unsigned long long Errors() const { return errors_; }
    std::size_t InQueue() const { return inQueue_; }
    std::size_t OutQueue() const { return outQueue_; }
    const std::string& GsmLevelText() const { return gsmLevel_; }
    bool GsmLevelVisible() const { return gsmVisible_; }

private:
    void SetLamp(TLamp lamp, bool on);
    // Runs f on the monitor's thread: now if called there, else queued.
    template <class F> void OnOwnThread(F f);
    void PanelChanged();

    IOperatorMessages* messages_;
    std::vector<IPortMonitorView*> views_;
    std::array<std::atomic<bool>, kLampCount> lamps_{};
    std::vector<std::string> lines_;
    std::string state_ = "CONNECTED";
    unsigned long long sent_ = 0, received_ = 0, errors_ = 0;
    std::size_t inQueue_ = 0, outQueue_ = 0;
    std::string gsmLevel_ = "0";
    bool gsmVisible_ = false;
};

// The port log as plain text lines, for tests and command-line tools.
class TTextPortLog : public IPortMonitorView {
public:
    explicit TTextPortLog(std::ostream& out) : out_(out) {}
    void MemoCleared() override {}
    void LineAdded(const std::string& line) override { out_ << line << '\n'; }
    void PanelChanged(const TPortMonitor&) override {}

private:
    std::ostream& out_;
};
