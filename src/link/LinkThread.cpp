#include "LinkThread.h"

#include "EventPump.h"

#include <QMetaObject>
#include <thread>

namespace {
constexpr auto kBusyRetry = std::chrono::microseconds(200);
// On the way out a queue is emptied even though termination was asked for;
// a holder that does not let go within this time is given up on.
constexpr auto kFinalBusyLimit = std::chrono::milliseconds(500);
} // namespace

TLinkThread::TLinkThread(ILinkController& controller, TMessagesList& outQueue,
                         TMessagesList& inQueue, TCommPort& port)
    : Controller(controller), OutQueue(outQueue), InQueue(inQueue), Port(port),
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

void TLinkThread::Finish() {
    Terminate();
    WaitFinished();
}

void TLinkThread::Terminate() {
    requestInterruption();
    if (Device) Device->Wake();
}

bool TLinkThread::WaitFinished() {
    if (InDispatch.load()) return false;
    while (!wait(QDeadlineTimer(5)))
        ProcessPendingEvents();
    return true;
}

void TLinkThread::RequestReset() {
    ResetRequested_ = true;
    if (Device) Device->Wake();
}

void TLinkThread::FrameQueued() {
    if (Device) Device->Wake();
}

bool TLinkThread::BusyPause(bool finalReset, TClock::time_point giveUpAt) const {
    if (finalReset ? TClock::now() >= giveUpAt : Stopping()) return false;
    std::this_thread::sleep_for(kBusyRetry);
    return true;
}

bool TLinkThread::TakeNext() {
    TBusyHold hold(OutQueue, [this] { return BusyPause(false, {}); });
    if (!hold.Held()) return false;
    OutQueue.SetCurrent(0);
    TxBuffer.Clear();
    OutQueue.CopyCurrent(TxBuffer);
    OutQueue.DeleteMessage(0);
    return true;
}

void TLinkThread::EnqueueReceived() {
    TBusyHold hold(InQueue, [this] { return BusyPause(false, {}); });
    if (!hold.Held()) return;
    InQueue.AddCopy(RxBuffer);
    DispatchPending = true;
}

void TLinkThread::Dispatch() {
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
    // A controller that left frames queued is asked again only after the
    // next frame arrives, not in a loop.
    DispatchPending = InQueue.Count() > 0 && InQueue.Count() < before;
}

void TLinkThread::ShowQueues() {
    if (!Monitor) return;
    const std::size_t out = OutQueue.Count(), in = InQueue.Count();
    if (out != ShownOut) Monitor->ShowOutQueue(ShownOut = out);
    if (in != ShownIn) Monitor->ShowInQueue(ShownIn = in);
}

void TLinkThread::ResetQueuesAndLine() {
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
