// What hangs on a port: the modem type from its model text and the GSM
// signal reading.
#include "SerialComm.h"
#include "Stream.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <vector>

namespace {

enum class TMatch { Is, Contains };

struct TModemRow {
    TMatch match;
    std::string_view text;
    int type;
};

// Checked in order and every hit overwrites the earlier ones, so a later,
// more specific row wins ("GSM 900 Phone Falcom A2" is a phone, not a GSM
// modem). "Contains" rows are upper case and match the upper-cased model.
constexpr std::array<TModemRow, 15> kModemRows = {{
    {TMatch::Is, "Internal Modem", 1},
    {TMatch::Is, "HCF 56K PCI Modem", 2},
    {TMatch::Is, "HCF 56K Modem", 2},
    {TMatch::Is, "M20", 3},
    {TMatch::Is, "MC35i", 3},
    {TMatch::Contains, "GSM", 3},
    {TMatch::Contains, "WAVECOM", 3},
    {TMatch::Contains, "NOKIA", 3},
    {TMatch::Contains, "SIMENS", 3},
    {TMatch::Contains, "FASTRACK", 3},
    {TMatch::Contains, "M1206B", 3},
    {TMatch::Is, "GSM 900 Phone Falcom A2", 4},
    {TMatch::Contains, "NOKIA D211", 4},
    {TMatch::Contains, "NOKIA ", 4},
    {TMatch::Is, "FM-56SA FOR STANDARD 05/21/99 X3_A", 5},
}};

} // namespace

int TCommPort::ModemType() {
    std::string upper = ModemModel;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    int type = 0;
    for (const auto& row : kModemRows) {
        const bool hit = row.match == TMatch::Is ? ModemModel == row.text
                                                 : upper.find(row.text) != std::string::npos;
        if (hit) type = row.type;
    }
    if (type == 0 && IsModem) {
        ModemModel = "Internal Modem";
        type = 1;
    }
    return type;
}

void TCommPort::ParseSignal(const std::string& reply) {
    SignalText.clear();
    const std::string head = reply.substr(0, reply.find(','));
    std::string digits;
    for (const char c : head)
        if (c >= '0' && c <= '9') digits += c;
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    // More digits than any level could have is no reading; it must not
    // overflow the number.
    if (digits.empty() || digits.size() > 9) return;
    const int n = std::stoi(digits);
    SignalLevel = n;
    SignalText = "+CSQ: " + std::to_string(2 * n - 113) + "dBm";
    if ((n < 15 || n == 99) && Messages) Messages->ShowMessage("Received signal less than 83 dBm");
}

std::string ProvSubTypeText(std::uint32_t subType) {
    switch (subType) {
    case 0:
        return "Unspecified";
    case 1:
        return "RS-232 serial port";
    case 2:
        return "Parallel port";
    case 3:
        return "RS-422 port";
    case 4:
        return "RS-423 port";
    case 5:
        return "RS-449 port";
    case 6:
        return "Modem device";
    case 33:
        return "FAX device";
    case 34:
        return "Scanner device";
    case 256:
        return "Unspecified network bridge";
    case 257:
        return "LAT protocol";
    case 258:
        return "TCP/IP Telnet\xAE protocol";
    case 259:
        return "X.25 standards";
    default:
        return "unknow";
    }
}

void TCommPort::MarkDirect() {
    if (IsModem || !handle_) return;
    IsDirect = true;
    ModemReady = false;
    HangingUp = false;
    LinkState.clear();
}

void TCommPort::Probe() {
    SignalText.clear();
    ModemModel.clear();
    LinkState.clear();
    PhoneNumber.clear();
    ServiceMask = 0;
    ProvSubType = 0;
    IsSerial = IsModem = IsRadioLink = ModemReady = IsDirect = HangingUp = false;

    if (Open()) {
        ServiceMask = handle_->ServiceMask();
        ProvSubType = handle_->ProviderSubType();
        IsSerial = ServiceMask == 1;
        if (IsSerial) IsModem = ProvSubType == 6;
        SetLine(settingsText_);
        Log(Name_ + " ENABLED.");
        Log("ProvSubType " + ProvSubTypeText(ProvSubType));
        Delay(100);
        if ((ModemStatus() & 0xB0) == 0xB0) {
            // A cable that raises every line is a direct connection; no AT
            // command goes out to the site's devices.
            MarkDirect();
        } else {
            IdentifyModem();
            if (ModemModel.empty()) {
                Delay(500);
                if ((ModemStatus() & 0x30) == 0x30) {
                    PurgeBoth();
                    IsRadioLink = TestRadioLink(kRadioLinkProbe);
                    ModemReady = false;
                    HangingUp = false;
                    LinkState.clear();
                }
            }
        }
    }
    Close();
}

void TCommPort::IdentifyModem() {
    SetBaudRate(9600);
    ModemModel.clear();
    // A port the driver calls a modem is most likely a telephone modem,
    // which knows ATI4; GSM modems know AT+GMM.
    const std::string first = IsModem ? "ATI4" : "AT+GMM";
    const std::string second = IsModem ? "AT+GMM" : "ATI4";
    if (Command("AT", 2000) == "OK") {
        std::string r = Command(first, 4000);
        if (r != "ERROR") {
            ModemModel = r;
        } else {
            Delay(100);
            r = Command(second, 4000);
            if (r != "ERROR") ModemModel = r;
        }
    }
    if (!ModemModel.empty() && ModemModel != "ERROR" && ModemModel != "OK") IsModem = true;
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
    if (ModemModel.empty()) SetBaudRate(57600);
}

bool TCommPort::TestRadioLink(const std::string& hex) {
    if (!handle_) return false;
    ModemStatus();
    PurgeBoth();
    TMemoryStream frame;
    try {
        HexToStream(hex, frame);
    } catch (const EConvertError&) {
        Log("Send RDS: not a hex text: " + hex);
        return false;
    }
    handle_->WriteAll(frame.Data().data(), frame.Size());
    Log("Send RDS: " + hex);
    ModemStatus();
    Delay(500);
    ModemStatus();
    bool answered = false;
    const std::size_t n = BytesPending();
    if (n == 0) {
        Log("Not Answer RDS");
    } else {
        std::vector<std::uint8_t> reply(n);
        const long got = handle_->Read(reply.data(), n);
        if (got > 0) {
            const std::string h = BytesToHex(reply.data(), static_cast<std::size_t>(got));
            Log(h);
            answered =
                h.find("021800") != std::string::npos || h.find("031800") != std::string::npos;
            Log(answered ? "Answer RDS: Ok" : "Answer RDS: Error");
        }
    }
    PurgeBoth();
    ModemStatus();
    return answered;
}

void TCommPort::RefreshSignal() {
    if (const int type = ModemType(); type != 3 && type != 4) return;
    const std::string r = Command("AT+CSQ", 4000);
    if (r != "ERROR" && Monitor_) Monitor_->ShowSignal(r);
}
