#include "LANReaderModem.h"

#include "EventPump.h"
#include "LinkReceive.h"

#include <QMetaObject>
#include <thread>

namespace {
constexpr auto kBusyRetry = std::chrono::microseconds(200);
// On the way out a queue is emptied even though termination was asked for;
// a holder that does not let go within this time is given up on.
constexpr auto kFinalBusyLimit = std::chrono::milliseconds(500);
// The modem lines do not wake the line's wait, so CTS and the carrier are
// looked at at least this often, as the line's 10 ms read time-out did.
constexpr auto kLineLook = std::chrono::milliseconds(10);
} // namespace

TLANReaderModem::TLANReaderModem(IModemLinkController& controller, std::string linkPassword,
                                 TMessagesList& outQueue, TMessagesList& inQueue, TCommPort& port)
    : FrameTimeout(port.BaudRate == 9600 ? 585 : 390), Controller(controller),
      LinkPassword(std::move(linkPassword)), OutQueue(outQueue), InQueue(inQueue), Port(port),
      Device(port.Handle()), Monitor(port.Monitor()) {
    const auto pause = [] {
        Delay(1);
        return true;
    };
    for (TMessagesList* q : {&OutQueue, &InQueue}) {
        TBusyHold hold(*q, pause);
        q->FreeAll();
    }
}

TLANReaderModem::~TLANReaderModem() {
    Terminate();
    WaitFinished();
}

void TLANReaderModem::Terminate() {
    requestInterruption();
    if (Device) Device->Wake();
}

bool TLANReaderModem::WaitFinished() {
    if (InDispatch.load()) return false;
    while (!wait(QDeadlineTimer(5)))
        ProcessPendingEvents();
    return true;
}

void TLANReaderModem::RequestReset() {
    ResetRequested_ = true;
    if (Device) Device->Wake();
}

void TLANReaderModem::RequestHangUp() {
    HangUpRequested_ = true;
    if (Device) Device->Wake();
}

void TLANReaderModem::FrameQueued() {
    if (Device) Device->Wake();
}

void TLANReaderModem::run() {
    if (!Device) return;
    Device->SetReadTimeout(kLineLook);
    Device->SetRts(true);
    Device->Purge(false, true);
    Device->Purge(true, false);
    if (Monitor) {
        Monitor->SetRX(false);
        Monitor->SetTX(false);
    }
    // A direct line to a modem already online has no password to give.
    if (Port.IsModem) SendPasswords();
    std::uint8_t s = Port.ModemStatus();
    while (!Stopping() && (s & kStatusDcd)) {
        ShowQueues();
        s = Port.ModemStatus();
        if (Device->BytesWaiting() == 0) {
            if ((s & kStatusCts) && OutQueue.Count() > 0) SendAll();
        } else {
            std::uint8_t b = 0;
            if (Device->Read(&b, 1) == 1 && b == kFrameStart) {
                if (Monitor) Monitor->SetRX(true);
                // Every good frame goes to the controller, an end-of-turn
                // frame too: there are no turns on this line.
                if (ReceiveFrame()) EnqueueReceived();
                if (Monitor) Monitor->SetRX(false);
            }
        }
        if (InQueue.Count() > 0 && DispatchPending && !Stopping()) Dispatch();
        if (ResetRequested_) ResetLink();
        if (HangUpRequested_) {
            HangUpRequested_ = false;
            ReportSessionLost();
            return;
        }
        if (!(s & kStatusDcd)) {
            std::this_thread::sleep_for(kCarrierGrace);
            s = Port.ModemStatus();
            if (!(s & kStatusDcd)) {
                ReportSessionLost();
                return;
            }
        }
        const bool work = Device->BytesWaiting() > 0 || Stopping() || ResetRequested_ ||
                          HangUpRequested_ || (InQueue.Count() > 0 && DispatchPending);
        if (!work && Device->WaitReadable(TClock::now() + kLineLook) == TWaitResult::Failed)
            std::this_thread::sleep_for(kFailedLinePause);
    }
    ResetLink();
    Port.ModemStatus();
}

void TLANReaderModem::SendPasswords() {
    // The controller builds the frames (sequence numbers, the queue's Busy)
    // on its own thread; three, as a noisy line may swallow one.
    QMetaObject::invokeMethod(
        this,
        [this] {
            for (int i = 0; i < 3; ++i)
                Controller.SendAccessPassword(LinkPassword);
        },
        Qt::BlockingQueuedConnection);
}

void TLANReaderModem::ReportSessionLost() {
    // Carried out on the controller's thread once this thread has ended
    // its work; dropped if the thread object is gone by then.
    QMetaObject::invokeMethod(
        this, [this] { Controller.SessionLost(); }, Qt::QueuedConnection);
}

void TLANReaderModem::ShowQueues() {
    if (!Monitor) return;
    const std::size_t out = OutQueue.Count(), in = InQueue.Count();
    if (out != ShownOut) Monitor->ShowOutQueue(ShownOut = out);
    if (in != ShownIn) Monitor->ShowInQueue(ShownIn = in);
}

bool TLANReaderModem::ReceiveFrame() {
    return CollectFrame(
        *Device, Receiver, FrameTimeout, [this] { return Stopping(); }, Port, Monitor, RxBuffer);
}

bool TLANReaderModem::BusyPause(bool finalReset, TClock::time_point giveUpAt) const {
    if (finalReset ? TClock::now() >= giveUpAt : Stopping()) return false;
    std::this_thread::sleep_for(kBusyRetry);
    return true;
}

void TLANReaderModem::SendAll() {
    if (Monitor) Monitor->SetTX(true);
    Device->SetRts(false);
    // The modem may withdraw clear-to-send between two frames of a batch;
    // the rest then waits in the queue.
    while (OutQueue.Count() > 0 && (Port.ModemStatus() & kStatusCts)) {
        if (!TakeNext()) break;
        if (CheckFrameLength(TxBuffer)) SendFrame();
    }
    Device->SetRts(true);
    if (Monitor) Monitor->SetTX(false);
}

void TLANReaderModem::SendFrame() {
    // The log shows the frame as built, before stuffing.
    Port.Log("-->" + StreamToHex(TxBuffer));
    EscapeFrame(TxBuffer);
    if (Device->WriteAll(TxBuffer.Data().data(), TxBuffer.Size())) {
        if (Monitor) Monitor->CountSent();
    } else {
        if (Monitor) Monitor->CountErrors();
        Port.Log("ERROR " + StreamToHex(TxBuffer));
    }
    std::this_thread::sleep_for(kFrameGap);
}

bool TLANReaderModem::TakeNext() {
    TBusyHold hold(OutQueue, [this] { return BusyPause(false, {}); });
    if (!hold.Held()) return false;
    OutQueue.SetCurrent(0);
    TxBuffer.Clear();
    OutQueue.CopyCurrent(TxBuffer);
    OutQueue.DeleteMessage(0);
    return true;
}

void TLANReaderModem::EnqueueReceived() {
    TBusyHold hold(InQueue, [this] { return BusyPause(false, {}); });
    if (!hold.Held()) return;
    InQueue.AddCopy(RxBuffer);
    DispatchPending = true;
}

void TLANReaderModem::Dispatch() {
    const std::size_t before = InQueue.Count();
    QMetaObject::invokeMethod(
        this,
        [this] {
            InDispatch = true;
            if (Monitor) Monitor->ShowInQueue(InQueue.Count());
            Controller.DispatchReceived();
            InDispatch = false;
        },
        Qt::BlockingQueuedConnection);
    DispatchPending = InQueue.Count() > 0 && InQueue.Count() < before;
}

void TLANReaderModem::ResetLink() {
    const bool finalReset = Stopping();
    const auto giveUpAt = TClock::now() + kFinalBusyLimit;
    for (TMessagesList* q : {&OutQueue, &InQueue}) {
        TBusyHold hold(*q, [&] { return BusyPause(finalReset, giveUpAt); });
        if (hold.Held()) q->FreeAll();
    }
    DispatchPending = false;
    Device->SetRts(true);
    Device->SetDtr(true);
    Device->Purge(true, false);
    Device->Purge(false, true);
    Receiver.Reset();
    if (Monitor) {
        Monitor->SetRX(false);
        Monitor->SetTX(false);
        Monitor->SetDTR(true);
        Monitor->SetRTS(true);
    }
    ResetRequested_ = false;
}
