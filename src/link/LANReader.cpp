#include "LANReader.h"

#include "LinkReceive.h"

#include <thread>

namespace {
constexpr auto kIdleWaitLimit = std::chrono::milliseconds(250);
} // namespace

TLANReader::TLANReader(ILinkController& controller, TMessagesList& outQueue, TMessagesList& inQueue,
                       TCommPort& port)
    : TLinkThread(controller, outQueue, inQueue, port) {}

TLANReader::~TLANReader() {
    Finish();
}

void TLANReader::run() {
    if (!Device) return;
    TurnDeadline.reset();
    TurnActive_ = false;
    SendWindow_ = false;
    Device->SetReadTimeout(std::chrono::milliseconds(1));
    Device->SetRts(true);
    Device->Purge(false, true);
    Device->Purge(true, false);
    StartTurn();
    while (!Stopping()) {
        ShowQueues();
        const auto now = TClock::now();
        if (TurnDeadline && now >= *TurnDeadline) TurnTimerTick(now);
        if (Device->BytesWaiting() == 0) {
            if (TurnActive_) {
                if (OutQueue.Count() > 0 && SendWindow_) SendAll();
            } else if (OutQueue.Count() > 0) {
                StartTurn();
            }
        } else {
            std::uint8_t b = 0;
            if (Device->Read(&b, 1) == 1 && b == kFrameStart) {
                if (ReceiveFrame()) {
                    if (RxBuffer.Data()[5] == opEndOfTurn) {
                        StartTurn();
                        if (Monitor) Monitor->SetRX(false);
                    } else {
                        StopTurn();
                        EnqueueReceived();
                    }
                }
            }
            // Any other byte between frames is noise.
        }
        if (InQueue.Count() > 0 && DispatchPending) Dispatch();
        if (ResetRequested_) ResetLink();
        if (!WorkWaiting()) WaitForWork();
    }
    TurnDeadline.reset();
    ResetLink();
}

bool TLANReader::WorkWaiting() {
    if (Stopping() || ResetRequested_ || Device->BytesWaiting() > 0) return true;
    if (InQueue.Count() > 0 && DispatchPending) return true;
    if (OutQueue.Count() > 0 && (!TurnActive_ || SendWindow_)) return true;
    return TurnDeadline && TClock::now() >= *TurnDeadline;
}

void TLANReader::WaitForWork() {
    // Without a deadline the thread sleeps until a byte, a wake-up or this
    // limit, so a frame queued without FrameQueued is still seen soon.
    const auto limit = TClock::now() + kIdleWaitLimit;
    const auto deadline = TurnDeadline ? std::min(*TurnDeadline, limit) : limit;
    if (Device->WaitReadable(deadline) == TWaitResult::Failed)
        std::this_thread::sleep_until(std::min(deadline, TClock::now() + kFailedLinePause));
}

void TLANReader::StartTurn() {
    TurnActive_ = true;
    SendWindow_ = false;
    TurnDeadline = TClock::now() + kFirstWindow;
}

void TLANReader::StopTurn() {
    TurnActive_ = false;
    SendWindow_ = false;
    TurnDeadline.reset();
}

void TLANReader::TurnTimerTick(TClock::time_point now) {
    if (!TurnActive_) {
        TurnDeadline.reset();
        return;
    }
    const bool open = !SendWindow_;
    SendWindow_ = open;
    // The cycle keeps its own schedule; after a stall longer than a step
    // (a long dispatch) it restarts from now rather than racing through
    // the windows it missed.
    auto next = *TurnDeadline + (open ? kWindowLength : kWindowGap);
    if (next <= now) next = now + (open ? kWindowLength : kWindowGap);
    TurnDeadline = next;
}

bool TLANReader::ReceiveFrame() {
    if (Monitor && !Monitor->RXActive()) Monitor->SetRX(true);
    StopTurn();
    return CollectFrame(
        *Device, Receiver, kFrameTimeout, [this] { return Stopping(); }, Port, Monitor, RxBuffer);
}

void TLANReader::SendAll() {
    if (Monitor) {
        Monitor->SetTX(true);
        Monitor->SetRTS(false);
    }
    Device->SetRts(false);
    // Asked to end in the middle of a batch, the rest stays unsent.
    while (OutQueue.Count() > 0 && !Stopping()) {
        if (!TakeNext()) return;
        if (CheckFrameLength(TxBuffer)) SendFrame();
    }
    BuildTurnFrame(TxBuffer, opEndOfTurn);
    SendFrame();
    StartTurn();
    // RTS turns the bus around: not before the last byte has left.
    Device->Drain();
    Device->SetRts(true);
    if (Monitor) {
        Monitor->SetTX(false);
        Monitor->SetRTS(true);
    }
}

void TLANReader::SendFrame() {
    EscapeFrame(TxBuffer);
    const bool ok = Device->WriteAll(TxBuffer.Data().data(), TxBuffer.Size());
    if (ok) {
        if (Monitor) Monitor->CountSent();
        Port.Log("-->" + StreamToHex(TxBuffer));
    } else {
        if (Monitor) Monitor->CountErrors();
        Port.Log("ERROR " + StreamToHex(TxBuffer));
    }
}

void TLANReader::ResetLink() {
    StopTurn();
    ResetQueuesAndLine();
}
