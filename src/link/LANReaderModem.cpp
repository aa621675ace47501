#include "LANReaderModem.h"

#include "LinkReceive.h"

#include <QMetaObject>
#include <thread>

namespace {
// The modem lines do not wake the line's wait, so CTS and the carrier are
// looked at at least this often, as the line's 10 ms read time-out did.
constexpr auto kLineLook = std::chrono::milliseconds(10);
} // namespace

TLANReaderModem::TLANReaderModem(IModemLinkController& controller, std::string linkPassword,
                                 TMessagesList& outQueue, TMessagesList& inQueue, TCommPort& port)
    : TLinkThread(controller, outQueue, inQueue, port),
      FrameTimeout(port.BaudRate == 9600 ? 585 : 390), ModemController(controller),
      LinkPassword(std::move(linkPassword)) {}

TLANReaderModem::~TLANReaderModem() {
    Finish();
}

void TLANReaderModem::RequestHangUp() {
    HangUpRequested_ = true;
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
    std::uint8_t s = Port.ModemStatus();
    // A line without a carrier from the start is as dead as one that lost
    // it, and the session must hear of it: it would otherwise wait for
    // devices that cannot answer.
    if (!(s & kStatusDcd) && !CarrierBack(s)) {
        ReportSessionLost();
        return;
    }
    // A direct line to a modem already online has no password to give.
    if (Port.IsModem) SendPasswords();
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
        if (ResetRequested_) ResetQueuesAndLine();
        if (HangUpRequested_) {
            HangUpRequested_ = false;
            ReportSessionLost();
            return;
        }
        if (!(s & kStatusDcd) && !CarrierBack(s)) {
            ReportSessionLost();
            return;
        }
        const bool work = Device->BytesWaiting() > 0 || Stopping() || ResetRequested_ ||
                          HangUpRequested_ || (InQueue.Count() > 0 && DispatchPending);
        if (!work && Device->WaitReadable(TClock::now() + kLineLook) == TWaitResult::Failed)
            std::this_thread::sleep_for(kFailedLinePause);
    }
    ResetQueuesAndLine();
    Port.ModemStatus();
}

bool TLANReaderModem::CarrierBack(std::uint8_t& status) {
    std::this_thread::sleep_for(kCarrierGrace);
    status = Port.ModemStatus();
    return (status & kStatusDcd) != 0;
}

void TLANReaderModem::SendPasswords() {
    // The controller builds the frames (sequence numbers, the queue's Busy)
    // on its own thread; three, as a noisy line may swallow one.
    QMetaObject::invokeMethod(
        this,
        [this] {
            for (int i = 0; i < 3; ++i)
                ModemController.SendAccessPassword(LinkPassword);
        },
        Qt::BlockingQueuedConnection);
}

void TLANReaderModem::ReportSessionLost() {
    // Carried out on the controller's thread once this thread has ended
    // its work; dropped if the thread object is gone by then.
    QMetaObject::invokeMethod(
        this, [this] { ModemController.SessionLost(); }, Qt::QueuedConnection);
}

bool TLANReaderModem::ReceiveFrame() {
    return CollectFrame(
        *Device, Receiver, FrameTimeout, [this] { return Stopping(); }, Port, Monitor, RxBuffer);
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
