#include "SerialComm.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr char kParityLetters[] = {'n', 'o', 'e', 'm', 's'};
// Tenths of the rates the baud field rounds to.
constexpr std::uint32_t kBaudTenths[] = {11,   30,   60,   120,  240,   480,  960,
                                         1440, 1920, 3840, 5600, 12800, 25600};
constexpr std::uint16_t kSettableBauds[] = {1200, 2400, 4800, 9600, 19200, 57600};

std::string WithName(const std::string& name, const std::string& text) {
    const auto colon = text.find(':');
    return name + ":" + (colon == std::string::npos ? text : text.substr(colon + 1));
}

} // namespace

std::uint32_t ParseBaud(const std::string& digits) {
    std::uint32_t n = 0;
    const char* first = digits.data();
    const char* last = first + digits.size();
    const auto [ptr, ec] = std::from_chars(first, last, n);
    if (first == last || ec != std::errc() || ptr != last) return 110;
    const std::uint32_t tenth = n / 10;
    for (const auto t : kBaudTenths)
        if (t == tenth) return tenth * 10;
    return n;
}

TLineSettings ParseSettingsText(const std::string& text) {
    const auto colon = text.find(':');
    const std::string fields = colon == std::string::npos ? text : text.substr(colon + 1);
    const auto comma = fields.find(',');
    TLineSettings s;
    s.baud = ParseBaud(fields.substr(0, comma));
    const auto at = [&](std::size_t offset) -> char {
        if (comma == std::string::npos || comma + offset >= fields.size()) return '\0';
        return fields[comma + offset];
    };
    s.parity = TParity::None;
    for (std::size_t i = 0; i < std::size(kParityLetters); ++i)
        if (at(1) == kParityLetters[i]) s.parity = static_cast<TParity>(i);
    const char data = at(3);
    s.dataBits = data >= '4' && data <= '7' ? static_cast<std::uint8_t>(data - '0') : 8;
    std::string stop;
    if (comma != std::string::npos && comma + 5 < fields.size()) {
        stop = fields.substr(comma + 5);
        stop = stop.substr(0, stop.find(','));
    }
    s.stopBits = stop == "1.5" ? TStopBits::OneAndHalf
                 : stop == "2" ? TStopBits::Two
                               : TStopBits::One;
    return s;
}

std::string SettingsTextFor(const std::string& portName, const TLineSettings& s) {
    const auto p = static_cast<std::size_t>(s.parity);
    const char parity = p < std::size(kParityLetters) ? kParityLetters[p] : 'n';
    const char data =
        s.dataBits >= 4 && s.dataBits <= 7 ? static_cast<char>('0' + s.dataBits) : '8';
    const char* stop = s.stopBits == TStopBits::OneAndHalf ? "1.5"
                       : s.stopBits == TStopBits::Two      ? "2"
                                                           : "1";
    return portName + ":" + std::to_string(s.baud) + "," + parity + "," + data + "," + stop;
}

TCommPort::TCommPort(std::string name, ISerialProvider& provider, TPortMonitor* monitor,
                     TPortTimings timings)
    : Name_(std::move(name)), provider_(provider), Monitor_(monitor), timings_(timings),
      settingsText_(WithName(Name_, "COM2:57600,n,8,1")) {}

TCommPort::~TCommPort() = default;

void TCommPort::SetLine(const std::string& text) {
    settingsText_ = WithName(Name_, text);
    if (!handle_) return;
    TLineSettings s;
    handle_->GetSettings(s);
    const TLineSettings wanted = ParseSettingsText(settingsText_);
    handle_->SetSettings(wanted);
    // The text shows what the driver kept, not what was asked for.
    if (!handle_->GetSettings(s)) s = wanted;
    settingsText_ = SettingsTextFor(Name_, s);
}

void TCommPort::PurgeBoth() {
    if (!handle_) return;
    handle_->Purge(true, false);
    handle_->Purge(false, true);
}

void TCommPort::ApplySettings(const std::string& text) {
    SetLine(text);
    PurgeBoth();
    Delay(timings_.applySettle);
    ModemStatus();
    if (Monitor_) Monitor_->ShowState(settingsText_);
    Log("*** " + settingsText_);
}

bool TCommPort::Open() {
    // A second open would leave the first device held and the port in use
    // for good; the old one is let go first.
    handle_.reset();
    ModemReady = false;
    IsDirect = false;
    HangingUp = false;
    LinkState.clear();
    settingsText_ = WithName(Name_, "COM2:57600,n,8,1");
    handle_ = provider_.Open(Name_);
    if (!handle_) return false;
    ModemStatus();
    SetLine(settingsText_);
    const std::uint8_t s = handle_->ModemStatus();
    std::uint16_t first = 57600;
    if (!ModemModel.empty() && IsModem)
        first = 9600;
    else if ((s & 0xB0) == 0xB0)
        first = 57600;
    else if ((s & 0x30) == 0x30)
        first = 9600;
    SetBaudRate(first);
    Delay(timings_.baudSettle);
    handle_->SetRts(false);
    handle_->SetDtr(false);
    Delay(timings_.linesDown);
    handle_->SetRts(true);
    handle_->SetDtr(true);
    if (Monitor_) {
        Monitor_->SetRTS(true);
        Monitor_->SetDTR(true);
    }
    SetReadTimeouts(1000);
    SetBaudRate(BaudRate);
    PurgeBoth();
    Delay(timings_.openSettle);
    if ((ModemStatus() & 0xB0) == 0xB0) IsDirect = true;
    if (Monitor_) Monitor_->ShowState(settingsText_ + KindText());
    Log("*** Open port " + settingsText_);
    if (const int type = ModemType(); type == 3 || type == 4) {
        if (Monitor_) Monitor_->ShowGsmLevel(true);
        const std::string r = Query("AT+CSQ", 4000);
        if (r != "ERROR") {
            if (Monitor_) Monitor_->ShowSignal(r);
            RegistrationText = Query("AT+CREG?", 4000);
        }
    } else if (Monitor_) {
        Monitor_->ShowGsmLevel(false);
    }
    return true;
}

void TCommPort::Close() {
    ModemReady = false;
    HangingUp = false;
    LinkState.clear();
    if (handle_) {
        PurgeBoth();
        handle_->ModemStatus();
        handle_->SetRts(false);
        handle_->SetDtr(false);
        ModemStatus();
        handle_.reset();
        if (Monitor_) Monitor_->ShowState("DISCONNECT");
        Log("*** Close port " + Name_);
    }
    if (Monitor_) Monitor_->ShowGsmLevel(false);
}

void TCommPort::SetBaudRate(std::uint16_t baud) {
    if (!handle_) return;
    BaudRate = baud;
    if (std::find(std::begin(kSettableBauds), std::end(kSettableBauds), baud) !=
        std::end(kSettableBauds))
        ApplySettings(Name_ + ":" + std::to_string(baud) + ",n,8,1");
}

void TCommPort::SetReadTimeouts(long ms) {
    if (handle_) handle_->SetReadTimeout(std::chrono::milliseconds(std::max(0L, ms)));
}

std::size_t TCommPort::BytesPending() {
    return handle_ ? handle_->BytesWaiting() : 0;
}

std::uint8_t TCommPort::ModemStatus() {
    const std::uint8_t s = handle_ ? handle_->ModemStatus() : 0;
    if (Monitor_) Monitor_->ShowModemStatus(s);
    return s;
}

void TCommPort::Log(const std::string& text) {
    if (Monitor_) Monitor_->AddLine(text);
}

bool TCommPort::SendCommand(const std::string& command) {
    if (Monitor_) Monitor_->SetTX(true);
    ModemStatus();
    if (!command.empty()) Log("MODEM COMMAND: " + command);
    // "+++" must stand alone between its guard times: no carriage return.
    const std::string bytes = command == "+++" ? command : command + '\r';
    TimeoutTimer.Stop();
    const bool sent =
        handle_ &&
        handle_->WriteAll(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    if (Monitor_) Monitor_->SetTX(false);
    return sent;
}

void TCommPort::StartTimeout() {
    TimeoutTimer.Start(std::chrono::milliseconds(std::max(0L, TimeoutMs)));
}

std::string TCommPort::ReadResult() {
    std::string result;
    std::uint8_t last = 0;
    StartTimeout();
    while (!(result.size() >= 2 && last == '\r') && !TimedOut()) {
        if (BytesPending() > 0) {
            if (Monitor_) Monitor_->SetRX(true);
            ModemStatus();
            std::uint8_t b = 0;
            if (handle_->Read(&b, 1) == 1) {
                last = b;
                if (b == '\r' || b == '\n') {
                    if (Monitor_) Monitor_->SetRX(false);
                } else {
                    result += static_cast<char>(b);
                }
            }
        } else {
            // Waits on the line in short steps so the window keeps
            // responding; a closed port just lets the time-out run out.
            const auto step = std::min(TimeoutTimer.Deadline(),
                                       TSteadyClock::now() + std::chrono::milliseconds(10));
            if (handle_)
                handle_->WaitReadable(step);
            else
                Delay(std::max<long>(
                    1, std::chrono::ceil<std::chrono::milliseconds>(step - TSteadyClock::now())
                           .count()));
        }
        ProcessPendingEvents();
    }
    TimeoutTimer.Stop();
    if (!result.empty()) Log("MODEM RESULT: " + result);
    if (Monitor_) Monitor_->SetRX(false);
    return result;
}

std::string TCommPort::Command(const std::string& command, long timeoutMs) {
    SendCommand(command);
    TimeoutMs = timeoutMs;
    std::string r = ReadResult();
    if (r == command) r = ReadResult();
    return r;
}

std::string TCommPort::Query(const std::string& command, long timeoutMs) {
    std::string r = Command(command, timeoutMs);
    if (r != "ERROR") {
        if (r == "OK" || r == command) r = ReadResult();
        if (r == "OK" || r == command) r = ReadResult();
    }
    return r;
}

std::string TCommPort::KindText() const {
    if (IsModem && !SignalText.empty()) return " GSM-Modem " + ModemModel;
    if (IsModem) return " Modem " + ModemModel;
    if (IsDirect) return " RS232";
    if (IsRadioLink) return " RDS";
    return " RS485";
}
