// The session controller: drives one session with one site. It opens the
// port, brings the link up (straight onto the bus, or by dialling a modem
// and presenting the access password), runs the link thread, discovers the
// site's devices and their tables by polling, applies every frame that
// arrives to the device tree and the views, builds the requests of the
// views and dialogs, and finally takes the link down and closes the port.
//
// Everything here runs on the main thread. The link thread calls
// DispatchReceived there and waits for it; the waits of this class keep
// the event loop running, so window handlers may run inside them.
#pragma once

#include "LANReader.h"
#include "LANReaderModem.h"
#include "ModemDialing.h"
#include "ObjectsList.h"
#include "Requests.h"
#include "SessionViews.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

// Which hubs the hub controller offers, and where it sits on the bus.
struct THubState {
    bool Present = false;
    bool Hub1 = false;
    bool Hub2 = false;
    bool Hub3 = false;
    bool Hub4 = false;
    std::uint8_t ControllerAddress = 0;
};

// The two queues shared with the link thread. A base of the controller so
// that they exist before the request builder that is bound to them.
struct TSessionQueues {
    TMessagesList InQueue;
    TMessagesList OutQueue;
};

class TLANMonitor : private TSessionQueues,
                    public TDialControl,
                    public TSessionRequests,
                    public IModemLinkController {
public:
    // Pauses of the session that the devices see.
    static constexpr long kGrantedPollPauseMs = 100;
    static constexpr long kBusStartPauseMs = 200;
    static constexpr long kModemStartPauseMs = 4000;
    static constexpr long kResetPollPauseMs = 100;
    static constexpr long kHubSelectPauseMs = 1000;

    // `port` may be null (no port chosen): the session then fails to open.
    // `devices` is the session's device tree; both are not owned.
    TLANMonitor(ISessionViews& views, TCommPort* port, TObjectsList& devices);
    // Ends the links; a session still open is stopped. Never from inside a
    // dispatch.
    ~TLANMonitor() override;
    TLANMonitor(const TLANMonitor&) = delete;
    TLANMonitor& operator=(const TLANMonitor&) = delete;

    bool AccessGranted = false;
    bool DispatchEnabled = false;
    // Number of devices created from a definition in this session; its low
    // byte is each new device's Order. Kept across Rediscover.
    std::uint16_t DeviceCounter = 0;
    THubState HubState;

    TMessagesList& InQueue() { return TSessionQueues::InQueue; }
    TMessagesList& OutQueue() { return TSessionQueues::OutQueue; }
    TObjectsList& Devices() { return devices_; }
    TCommPort* Port() const { return port_; }
    TLANReader* BusLink() const { return busLink_.get(); }
    TLANReaderModem* ModemLink() const { return modemLink_.get(); }
    TModemDialing* Dialer() const { return dialer_.get(); }

    // Returns when the link is up and the first poll is queued, when a
    // dial-up link is up with the password on its way, or when opening
    // failed (NotConnected, and the views are told SessionLost).
    void StartSession();
    // Takes the link down and closes the port. Asked from a window handler
    // that runs in a pause of a dispatch (the link thread is blocked on
    // that dispatch and cannot end), of the opening (the dialer still holds
    // the port; a dial is cancelled at its next attempt) or of a new
    // discovery, the stop is carried out as soon as that has returned:
    // false then, true when the session is stopped on return.
    bool StopSession();
    // Empties the tree and the link and starts discovery again. Deferred
    // like StopSession.
    bool Rediscover();
    void ResetLinkAndTree();
    void StartBusLink();
    void StartModemLink(const std::string& password);
    // Asks the link threads to end, without waiting.
    void TerminateLinks();
    // Switches the hub controller to `hub` (1..4), waits for it and polls.
    void SelectHub(std::uint8_t hub);
    void ClearHubState() { HubState = {}; }

    void EnableSessionActions() { views_.EnableSessionActions(true); }
    void DisableSessionActions() { views_.EnableSessionActions(false); }

    // Link thread side.
    void DispatchReceived() override;
    void SendAccessPassword(const std::string& password) override {
        TSessionRequests::SendAccessPassword(password);
    }
    void SessionLost() override;

    // True while a dispatch is on the main thread's stack.
    bool InDispatch() const { return dispatchDepth_ > 0; }
    // True while a dispatch, the opening or a new discovery is on the stack.
    bool Busy() const { return dispatchDepth_ > 0 || stepDepth_ > 0; }

private:
    void ApplyFrame(TLANObject& d, std::uint8_t opcode);
    void AddDeviceFromDefinition(std::uint8_t address);
    void ChildDefinition(TLANObject& hub);
    void StoreHistory(TLANObject& d);
    // The child of `hub` whose address is the first body byte, if `hub`
    // announces children at all.
    TLANObject* FindChild(TLANObject& hub);
    void StampTime();
    void FailSession();
    void WaitLinkGone(const std::function<bool()>& gone);
    void HangUpIfConnected();
    using TStep = void (TLANMonitor::*)();
    // Runs `step` now, or once as soon as the controller is not Busy.
    bool WhenIdle(TStep step, bool& pending);
    void RetryWhenIdle(TStep step, bool& pending);
    void StopNow();
    void RediscoverNow();
    void WakeLinks();

    ISessionViews& views_;
    TCommPort* port_;
    TObjectsList& devices_;
    TMemoryStream Body;
    std::unique_ptr<TLANReader> busLink_;
    std::unique_ptr<TLANReaderModem> modemLink_;
    std::unique_ptr<TModemDialing> dialer_;
    int dispatchDepth_ = 0;
    int stepDepth_ = 0;
    bool stopPending_ = false;
    bool rediscoverPending_ = false;
    // Context of the deferred steps and the link threads' end handlers:
    // freed first, so none of them runs on a controller that is gone.
    std::unique_ptr<QObject> context_;
};

// Date and time as the windows and the session history show them.
std::string DateTimeText(const TDeviceClock& clock);
std::string NowText();
