// One serial port of the computer ("COM1" .. "COM15"): opening and closing,
// the line settings and their text form (COM3:57600,n,8,1), RTS/DTR, the
// modem status lines, and a line-oriented command channel for modems. Runs
// on the main thread; a link thread that owns the line uses Handle(),
// BytesPending, ModemStatus and Log.
#pragma once

#include "DialSettings.h"
#include "EventPump.h"
#include "OperatorMessages.h"
#include "PortMonitor.h"
#include "SerialDevice.h"

#include <cstdint>
#include <memory>
#include <string>

// The radio link's probe telegram. Its check bytes stand high byte first,
// unlike a frame's; the link device expects exactly these ten bytes.
inline constexpr char kRadioLinkProbe[] = "FE000000022C02FC46FF";
// The driver's provider subtype as the probe logs it.
std::string ProvSubTypeText(std::uint32_t subType);

// The pauses of opening and applying settings, which let modems and line
// drivers settle. Tests shorten them.
struct TPortTimings {
    long applySettle = 100; // after the purge that follows new settings
    long baudSettle = 50;   // after the first baud rate of an open
    long linesDown = 100;   // RTS and DTR held down while opening
    long openSettle = 500;  // before the lines are read at the end of an open
};

// The settings text read into line values (see ParseSettingsText) and
// written back from them.
TLineSettings ParseSettingsText(const std::string& text);
std::string SettingsTextFor(const std::string& portName, const TLineSettings& s);
// The baud field: not a number reads as 110; a number whose tenth is a
// standard rate's tenth reads as that rate ("1205" is 1200).
std::uint32_t ParseBaud(const std::string& digits);

class TCommPort {
public:
    TCommPort(std::string name, ISerialProvider& provider, TPortMonitor* monitor,
              TPortTimings timings = {});
    ~TCommPort();
    TCommPort(const TCommPort&) = delete;
    TCommPort& operator=(const TCommPort&) = delete;

    // The open line, or nullptr while closed (the invalid handle).
    ISerialDevice* Handle() const { return handle_.get(); }
    bool Open();
    void Close();
    void SetBaudRate(std::uint16_t baud);
    void ApplySettings(const std::string& text);
    const std::string& SettingsText() const { return settingsText_; }
    void SetReadTimeouts(long ms);
    std::size_t BytesPending();
    std::uint8_t ModemStatus();
    void Log(const std::string& text);
    bool SendCommand(const std::string& command);
    std::string ReadResult();
    std::string Command(const std::string& command, long timeoutMs);
    std::string Query(const std::string& command, long timeoutMs);
    void StartTimeout();
    bool TimedOut() const { return TimeoutTimer.Expired(); }
    std::string KindText() const;
    // 0..5 from ModemModel; a modem device with an unknown model becomes
    // "Internal Modem" (type 1).
    int ModemType();
    // Reads a "+CSQ: n,m" reply into SignalLevel and SignalText; warns the
    // operator when the level is weak or unknown.
    void ParseSignal(const std::string& reply);
    // Classifies the port (RS-232 cable, modem, radio link, else a bus)
    // into the fields below. Opens the port and leaves it closed.
    void Probe();
    // The AT identification on an open port; fills ModemModel and may set
    // IsModem.
    void IdentifyModem();
    void MarkDirect();
    // Sends the probe frame given as hex text and tells whether a radio
    // link answered it.
    bool TestRadioLink(const std::string& hex);
    // A GSM modem's signal reading for the monitor.
    void RefreshSignal();

    const std::string& Name() const { return Name_; }
    TPortMonitor* Monitor() const { return Monitor_; }

    std::uint16_t BaudRate = 57600;
    long TimeoutMs = 100;

    // Filled by the classification and modem identification.
    std::uint32_t ServiceMask = 0;
    std::uint32_t ProvSubType = 0;
    bool IsSerial = false;
    bool IsModem = false;
    bool IsDirect = false;
    bool IsRadioLink = false;
    std::string ModemModel;
    bool ModemReady = false;
    std::string LinkState;
    std::string PhoneNumber;
    bool HangingUp = false;
    std::string SignalText;
    std::string RegistrationText;
    int SignalLevel = 0;

    // Borrowed from the port list: where warnings go and the dialling
    // settings the dialer reads.
    IOperatorMessages* Messages = nullptr;
    const TDialSettings* DialSettings = nullptr;

private:
    // Steps 1 to 3 of applying settings: the name part replaced, the line
    // set and read back, the text rebuilt.
    void SetLine(const std::string& text);
    void PurgeBoth();

    std::string Name_;
    ISerialProvider& provider_;
    TPortMonitor* Monitor_;
    TPortTimings timings_;
    std::unique_ptr<ISerialDevice> handle_;
    std::string settingsText_;
    TDeadlineTimer TimeoutTimer;
};
