// The modem link thread: carries a session over a modem connection that is
// already online. Point to point, so there is no bus turn and no end-of-turn
// frame: frames go out whenever the modem shows clear-to-send, every good
// frame that arrives is handed to the controller, and the session lives as
// long as the carrier. On a dial-up port the access password is queued
// three times as the thread starts.
#pragma once

#include "LinkThread.h"

#include <atomic>
#include <chrono>
#include <string>

// What the modem link needs of the session controller beyond the dispatch.
// Both run on the controller's thread.
class IModemLinkController : public ILinkController {
public:
    // Queues one password frame in the out-queue.
    virtual void SendAccessPassword(const std::string& password) = 0;
    // The carrier is gone or the password was refused; the session is over.
    virtual void SessionLost() = 0;
};

class TLANReaderModem : public TLinkThread {
public:
    // A carrier that comes back within this time was a glitch.
    static constexpr std::chrono::milliseconds kCarrierGrace{20};
    // Spaces consecutive frames on the modem link.
    static constexpr std::chrono::milliseconds kFrameGap{10};

    // Created on the controller's thread, not started. Keeps its own copy
    // of the password and empties both queues.
    TLANReaderModem(IModemLinkController& controller, std::string linkPassword,
                    TMessagesList& outQueue, TMessagesList& inQueue, TCommPort& port);
    // Ends the thread and waits for it (never from inside its dispatch).
    ~TLANReaderModem() override;

    // The devices refused the password: the thread ends and reports the
    // session lost.
    void RequestHangUp();
    bool HangUpRequested() const { return HangUpRequested_.load(); }

    // 585 ms at 9600 baud, else 390 ms: from a frame's FE to its FF.
    const std::chrono::milliseconds FrameTimeout;

protected:
    void run() override;

private:
    // After the FE has been read. True for a good frame, now in RxBuffer.
    bool ReceiveFrame();
    void SendAll();
    void SendFrame();
    // After a carrier drop: whether it is back within the grace; `status`
    // is read again.
    bool CarrierBack(std::uint8_t& status);
    void SendPasswords();
    void ReportSessionLost();

    IModemLinkController& ModemController;
    const std::string LinkPassword;
    std::atomic<bool> HangUpRequested_{false};
};
