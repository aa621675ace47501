// Brings a modem port from idle to a data connection with a site and back:
// initialisation by modem type, the GSM signal and registration checks,
// dialling with retries, and the hang-up. One dialer serves one Dial or one
// HangUp on the main thread; every wait keeps the event loop running so the
// cancel button and the window stay alive during a dial of many minutes.
#pragma once

#include "EventPump.h"
#include "SerialComm.h"

#include <functional>
#include <string>

// What the dialer shares with the session it works for: NotConnected is its
// result, AbortDialing the operator's cancel, looked at between attempts.
struct TDialControl {
    bool NotConnected = true;
    bool AbortDialing = false;
};

class TModemDialing {
public:
    using TPause = std::function<void(long ms)>;

    // Takes the port's handle and converts the numeric dialling settings.
    // A setting that is not an integer is reported to the operator by key
    // and leaves the dialer unable to dial. `pause` is every wait of the
    // dialer that is not a wait for the modem (tests record it).
    TModemDialing(TCommPort& port, TDialControl& session, TPause pause = Delay);
    ~TModemDialing();
    TModemDialing(const TModemDialing&) = delete;
    TModemDialing& operator=(const TModemDialing&) = delete;

    bool InitModem();
    void Dial();
    void HangUp();
    bool CheckPhoneNumber(const std::string& number);

    // The dialer's own command channel: the port's rules for echoes and
    // result lines, with the dialer's time-out.
    bool SendCommand(const std::string& command);
    std::string ReadResult();
    std::string Command(const std::string& command, long timeoutMs);
    void StartTimeout();

    // False when a dialling setting could not be converted.
    bool SettingsValid() const { return settingsValid_; }

    long TimeoutMs = 100;

private:
    bool ConvertSettings();
    std::string DialCommand() const;
    bool InitGsm();
    void DropLateReplies();
    void ModemIsReady();

    TCommPort& Port;
    TDialControl& Session;
    TPause pause_;
    ISerialDevice* Handle;
    TDialSettings settings_;
    bool settingsValid_ = false;
    long long CancelCallTime = 0;
    long long NumberRings = 0;
    long long Attempts = 0;
    long long WaitAttempts = 0;
    long long DisconnectIfIdle = 0;
    TDeadlineTimer TimeoutTimer;
};
