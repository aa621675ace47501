// The bus link thread: runs the half-duplex exchange of a session on a
// directly connected line (RS-232 or an RS-485 bus). It sends the queued
// frames while the program holds the turn, inside the send windows, ends
// each batch with an end-of-turn frame, collects and checks the frames the
// devices send and hands the good ones to the controller on the main
// thread. A device's end-of-turn frame returns the turn and is not passed
// on.
//
// Time is kept by the thread itself as deadlines on the monotonic clock;
// between them it sleeps in the line's wait (poll on a tty), so an idle
// session costs next to no CPU and a window opens within the scheduler's
// wake-up latency.
#pragma once

#include "FrameReceiver.h"
#include "MessagesList.h"
#include "SerialComm.h"

#include <QThread>
#include <atomic>
#include <chrono>
#include <optional>

// The session controller as the link thread sees it. Called on the thread
// that created the link thread, which waits until it returns.
class ILinkController {
public:
    virtual ~ILinkController() = default;
    virtual void DispatchReceived() = 0;
};

class TLANReader : public QThread {
public:
    // The send window cycle: the first window opens 20 ms after the turn
    // starts, then every 300 ms, each 20 ms long.
    static constexpr std::chrono::milliseconds kFirstWindow{20};
    static constexpr std::chrono::milliseconds kWindowLength{20};
    static constexpr std::chrono::milliseconds kWindowGap{280};
    // From a frame's FE to its FF.
    static constexpr std::chrono::milliseconds kFrameTimeout{65};

    // Created on the main thread, not started. Empties both queues. A port
    // that is not open makes a thread that ends at once.
    TLANReader(ILinkController& controller, TMessagesList& outQueue, TMessagesList& inQueue,
               TCommPort& port);
    // Ends the thread and waits for it. Never destroy it from inside its
    // own dispatch: the owner defers that until the dispatch has returned.
    ~TLANReader() override;

    // Asks the thread to end and wakes it.
    void Terminate();
    // Waits, processing events, until the thread has ended. False when
    // called inside this thread's own dispatch, where waiting could never
    // end (the thread is blocked on that dispatch).
    bool WaitFinished();
    // Asks for the link to be emptied; the thread clears the flag when done.
    void RequestReset();
    bool ResetRequested() const { return ResetRequested_.load(); }
    // Tells the thread that a frame was queued, so an idle thread starts
    // its turn at once; without it the thread notices within 250 ms.
    void FrameQueued();

    bool TurnActive() const { return TurnActive_.load(); }
    bool SendWindow() const { return SendWindow_.load(); }

protected:
    void run() override;

private:
    using TClock = std::chrono::steady_clock;

    bool Stopping() const { return isInterruptionRequested(); }
    void StartTurn();
    void StopTurn();
    void TurnTimerTick(TClock::time_point now);
    // After the FE has been read. True for a good frame, now in RxBuffer.
    bool ReceiveFrame();
    void SendAll();
    void SendFrame();
    bool TakeNext();
    void EnqueueReceived();
    void Dispatch();
    void ResetLink();
    void ShowQueues();
    // The pause between attempts to take a queue's Busy; false to give up.
    bool BusyPause(bool finalReset, TClock::time_point giveUpAt) const;
    bool WorkWaiting();
    void WaitForWork();

    ILinkController& Controller;
    TMessagesList& OutQueue;
    TMessagesList& InQueue;
    TCommPort& Port;
    ISerialDevice* Device;
    TPortMonitor* Monitor;

    std::atomic<bool> ResetRequested_{false};
    std::atomic<bool> TurnActive_{false};
    std::atomic<bool> SendWindow_{false};
    std::optional<TClock::time_point> TurnDeadline;
    TFrameReceiver Receiver;
    TMemoryStream RxBuffer;
    TMemoryStream TxBuffer;
    bool DispatchPending = false;
    std::atomic<bool> InDispatch{false};
    std::size_t ShownIn = SIZE_MAX, ShownOut = SIZE_MAX;
};
