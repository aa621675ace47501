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

#include "LinkThread.h"

#include <atomic>
#include <chrono>
#include <optional>

class TLANReader : public TLinkThread {
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

    bool TurnActive() const { return TurnActive_.load(); }
    bool SendWindow() const { return SendWindow_.load(); }

protected:
    void run() override;

private:
    void StartTurn();
    void StopTurn();
    void TurnTimerTick(TClock::time_point now);
    // After the FE has been read. True for a good frame, now in RxBuffer.
    bool ReceiveFrame();
    void SendAll();
    void SendFrame();
    void ResetLink();
    bool WorkWaiting();
    void WaitForWork();

    std::atomic<bool> TurnActive_{false};
    std::atomic<bool> SendWindow_{false};
    std::optional<TClock::time_point> TurnDeadline;
};
