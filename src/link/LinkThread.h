// What the bus and the modem link threads share: the queues they move frames
// between, the hand-over of received frames to the controller on its own
// thread, the reset and termination requests, and the way a queue's Busy
// flag is waited for. Each link adds its own main loop and send rules.
#pragma once

#include "FrameReceiver.h"
#include "MessagesList.h"
#include "SerialComm.h"

#include <QThread>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

// The session controller as a link thread sees it. Called on the thread
// that created the link thread, which waits until it returns.
class ILinkController {
public:
    virtual ~ILinkController() = default;
    virtual void DispatchReceived() = 0;
};

class TLinkThread : public QThread {
public:
    // Asks the thread to end and wakes it.
    void Terminate();
    // Waits, processing events, until the thread has ended. False when
    // called inside this thread's own dispatch, where waiting could never
    // end (the thread is blocked on that dispatch).
    bool WaitFinished();
    // Asks for the link to be emptied; the thread clears the flag when done.
    void RequestReset();
    bool ResetRequested() const { return ResetRequested_.load(); }
    // Tells the thread that a frame was queued, so an idle thread sees it
    // at once.
    void FrameQueued();

protected:
    using TClock = std::chrono::steady_clock;

    // Created on the controller's thread, not started. Empties both queues.
    TLinkThread(ILinkController& controller, TMessagesList& outQueue, TMessagesList& inQueue,
                TCommPort& port);
    // Each link's destructor ends the thread first, while the parts its
    // loop uses still exist.
    void Finish();

    bool Stopping() const { return isInterruptionRequested(); }
    // The pause between attempts to take a queue's Busy; false to give up.
    bool BusyPause(bool finalReset, TClock::time_point giveUpAt) const;
    // The oldest queued frame into TxBuffer, taken off the out-queue.
    bool TakeNext();
    // The good frame in RxBuffer onto the in-queue.
    void EnqueueReceived();
    // Hands the in-queue to the controller and waits for it.
    void Dispatch();
    void ShowQueues();
    // Empties both queues (on the way out too, giving up on a holder that
    // does not let go), purges the line and brings lines and lamps to idle.
    void ResetQueuesAndLine();

    ILinkController& Controller;
    TMessagesList& OutQueue;
    TMessagesList& InQueue;
    TCommPort& Port;
    ISerialDevice* Device;
    TPortMonitor* Monitor;

    std::atomic<bool> ResetRequested_{false};
    TFrameReceiver Receiver;
    TMemoryStream RxBuffer;
    TMemoryStream TxBuffer;
    bool DispatchPending = false;

private:
    std::atomic<bool> InDispatch{false};
    std::size_t ShownIn = SIZE_MAX, ShownOut = SIZE_MAX;
};
