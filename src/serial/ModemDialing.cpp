#include "ModemDialing.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace {

constexpr auto kQuietTime = std::chrono::milliseconds(50);
constexpr auto kSettleLimit = std::chrono::milliseconds(500);
// Waits from the settings are kept as long as they are, up to a day: a
// 32-bit count of seconds in milliseconds would overflow the clock's
// nanoseconds and end the wait at once instead.
constexpr long long kLongestWaitMs = 24LL * 3600 * 1000;

long SettingWait(long long ms) {
    return static_cast<long>(std::clamp(ms, 0LL, kLongestWaitMs));
}

// A whole decimal 32-bit integer with an optional sign, nothing else.
bool ToInt32(const std::string& text, long long& out) {
    std::int32_t n = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    const auto [ptr, ec] = std::from_chars(first, last, n);
    if (first == last || ec != std::errc() || ptr != last) return false;
    out = n;
    return true;
}

} // namespace

TModemDialing::TModemDialing(TCommPort& port, TDialControl& session, TPause pause)
    : Port(port), Session(session), pause_(std::move(pause)), Handle(port.Handle()) {
    if (Handle) {
        Handle->Purge(true, false);
        Handle->Purge(false, true);
    }
    if (Port.DialSettings) settings_ = *Port.DialSettings;
    settingsValid_ = ConvertSettings();
}

TModemDialing::~TModemDialing() {
    TimeoutTimer.Stop();
}

bool TModemDialing::ConvertSettings() {
    const struct {
        const char* key;
        const std::string& text;
        long long& value;
    } fields[] = {
        {"CancelCallTime", settings_.CancelCallTime, CancelCallTime},
        {"NumberRings", settings_.NumberRings, NumberRings},
        {"TryToConnect", settings_.TryToConnect, Attempts},
        {"WaitAttempts", settings_.WaitAttempts, WaitAttempts},
        {"DisconnectIfIdle", settings_.DisconnectIfIdle, DisconnectIfIdle},
    };
    for (const auto& f : fields) {
        if (ToInt32(f.text, f.value)) continue;
        const std::string message = "Dialing setting " + std::string(f.key) +
                                    " is not an integer: \"" + f.text + "\". Nothing is dialed.";
        Port.Log("*** " + message);
        if (Port.Messages) Port.Messages->ShowMessage(message);
        return false;
    }
    return true;
}

bool TModemDialing::SendCommand(const std::string& command) {
    TPortMonitor* monitor = Port.Monitor();
    if (monitor) monitor->SetTX(true);
    Port.ModemStatus();
    if (!command.empty()) Port.Log("MODEM COMMAND: " + command);
    // "+++" must stand alone between its guard times: no carriage return.
    const std::string bytes = command == "+++" ? command : command + '\r';
    TimeoutTimer.Stop();
    ISerialDevice* line = Port.Handle();
    const bool sent =
        line && line->WriteAll(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    if (monitor) monitor->SetTX(false);
    return sent;
}

void TModemDialing::StartTimeout() {
    TimeoutTimer.Start(std::chrono::milliseconds(std::max(0L, TimeoutMs)));
}

std::string TModemDialing::ReadResult() {
    TPortMonitor* monitor = Port.Monitor();
    std::string result;
    std::uint8_t last = 0;
    StartTimeout();
    while (!(result.size() >= 2 && last == '\r') && !TimeoutTimer.Expired()) {
        ISerialDevice* line = Port.Handle();
        if (Port.BytesPending() > 0) {
            if (monitor) monitor->SetRX(true);
            Port.ModemStatus();
            std::uint8_t b = 0;
            if (line->Read(&b, 1) == 1) {
                last = b;
                if (b == '\r' || b == '\n') {
                    if (monitor) monitor->SetRX(false);
                } else {
                    result += static_cast<char>(b);
                }
            }
        } else {
            const auto step = std::min(TimeoutTimer.Deadline(),
                                       TSteadyClock::now() + std::chrono::milliseconds(10));
            if (line)
                line->WaitReadable(step);
            else
                Delay(10);
        }
        ProcessPendingEvents();
    }
    TimeoutTimer.Stop();
    if (!result.empty()) Port.Log("MODEM RESULT: " + result);
    if (monitor) monitor->SetRX(false);
    return result;
}

std::string TModemDialing::Command(const std::string& command, long timeoutMs) {
    SendCommand(command);
    TimeoutMs = timeoutMs;
    std::string r = ReadResult();
    if (r == command) r = ReadResult();
    return r;
}

bool TModemDialing::CheckPhoneNumber(const std::string& number) {
    const bool legal = !number.empty() && std::all_of(number.begin(), number.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == ';';
    });
    if (!legal) Port.Log("***  Illegal Phone Number: " + number);
    return legal;
}

void TModemDialing::ModemIsReady() {
    Port.HangingUp = false;
    Port.LinkState.clear();
    Port.ModemReady = true;
}

void TModemDialing::DropLateReplies() {
    // Opening a GSM port asks for the signal, and the OK that ends that
    // answer may still be on its way; purged too early it would arrive
    // later and put every reply of the initialisation one line behind.
    const auto giveUpAt = TSteadyClock::now() + kSettleLimit;
    for (;;) {
        Handle->Purge(false, true);
        const auto quietUntil = std::min(giveUpAt, TSteadyClock::now() + kQuietTime);
        if (TSteadyClock::now() >= giveUpAt ||
            Handle->WaitReadable(quietUntil) != TWaitResult::Readable)
            break;
    }
    Handle->Purge(false, true);
}

bool TModemDialing::InitGsm() {
    // A reply without a level is no reading: an earlier level must not
    // stand in for it.
    Port.SignalLevel = 99;
    Port.ParseSignal(Port.Command("AT+CSQ", 5000));
    Port.ReadResult();
    if (Port.SignalLevel < 8 || Port.SignalLevel == 99) {
        if (Port.Messages) Port.Messages->ShowMessage("Received signal less than 83 dBm");
        return false;
    }
    Port.RegistrationText = Port.Command("AT+CREG?", 5000);
    Port.ReadResult();
    if (Port.RegistrationText == "+CREG: 0,1") {
        ModemIsReady();
        return true;
    }
    if (Port.Messages) Port.Messages->ShowMessage("Error CREG " + Port.RegistrationText);
    return false;
}

bool TModemDialing::InitModem() {
    if (Port.ModemReady) return true;
    if (!Port.IsModem) return false;
    Port.ModemReady = false;
    if (!Handle) {
        Port.Open();
        Handle = Port.Handle();
        if (!Handle) return false;
    }
    Port.Log("*** Init Modem");
    DropLateReplies();

    const int type = Port.ModemType();
    const bool gsm = type == 3 || type == 4;
    if (type == 3) {
        Port.Command("ATZE0", 5000);
        Port.Command("ATQ0V1X4", 5000);
        Port.Command("AT&S0&C1&D2", 5000);
    } else if (type == 4) {
        Port.Command("AT&F", 3000);
        Port.Command("AT&W", 3000);
        Port.Command("ATE0", 3000);
        Port.Command("ATQ0V1X4", 5000);
        Port.Command("AT&S1&C1&D2", 5000);
    }
    if (Port.Command(gsm ? "ATS0=0S10=50" : "ATZ&F", 5000) != "OK") return false;
    pause_(300);
    if (gsm) return InitGsm();

    const std::string rings = settings_.Autoanswer ? std::to_string(NumberRings) : std::string("0");
    if (Port.Command("ATS0=" + rings + "Q0E0M1V1X1&C1&D2L0", 500) != "OK") return false;
    ModemIsReady();
    return true;
}

std::string TModemDialing::DialCommand() const {
    std::string command = "ATDT";
    command += !settings_.AccesOutideCallDistance.empty() ? settings_.AccesOutideCallDistance
                                                          : settings_.AccesOutideCallLocal;
    command += settings_.AreaCode;
    return command + Port.PhoneNumber;
}

void TModemDialing::Dial() {
    Session.NotConnected = true;
    if (!settingsValid_ || !Handle || !Port.IsModem) return;
    Port.SetReadTimeouts(25);
    Port.ModemStatus();
    if (!InitModem()) return;
    Port.LinkState.clear();
    if (!CheckPhoneNumber(Port.PhoneNumber)) return;

    const std::string command = DialCommand();
    ToInt32(settings_.TryToConnect, Attempts);
    Port.Log("*** DIALING");
    // A negative count would never reach 0; it dials nothing, like 0.
    while (Attempts > 0 && !Session.AbortDialing) {
        ProcessPendingEvents();
        SendCommand(command);
        TimeoutMs = SettingWait(CancelCallTime * 10000);
        Port.Log("*** wait connected result...");
        std::string r = ReadResult();
        if (r == command) r = ReadResult();
        if (r == "OK") r = ReadResult();
        Port.LinkState = r;
        Port.HangingUp = false;
        if (r.find("CONNECT") != std::string::npos) {
            Port.LinkState = "CONNECTED";
            Port.Log("*** CONNECTED");
            Session.NotConnected = false;
            Handle->Purge(true, false);
            Handle->Purge(false, true);
            Attempts = 0;
            break;
        }
        Port.LinkState.clear();
        Command("ATH", 500);
        // The shared pause is monotonic and not bound to a minute, so any
        // WaitAttempts is kept as it stands.
        if (Attempts > 1) pause_(SettingWait(WaitAttempts * 1000));
        --Attempts;
    }
}

void TModemDialing::HangUp() {
    Session.NotConnected = true;
    if (!Handle || !Port.IsModem) return;
    Port.SetReadTimeouts(25);
    Port.ModemStatus();
    if (Port.LinkState == "CONNECTED") {
        Port.Log("*** DISCONNECT");
        pause_(2000);
        Port.LinkState.clear();
        Port.HangingUp = true;
        SendCommand("+++");
        // The site's devices may still be sending when the call is left;
        // their bytes are no answer, and an ATH sent before the modem is
        // back in command mode would go to the site and leave the call up.
        // So the escape's OK is waited for, for at most 6 s in all.
        const auto giveUpAt = TSteadyClock::now() + std::chrono::milliseconds(6000);
        for (;;) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(giveUpAt - TSteadyClock::now());
            if (left.count() <= 0) break;
            TimeoutMs = static_cast<long>(left.count());
            if (ReadResult() == "OK") break;
        }
    }
    Command("ATH", 2000);
    Port.HangingUp = false;
    Port.LinkState.clear();
}
