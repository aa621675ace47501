// What hangs on a port: the modem type from its model text and the GSM
// signal reading.
#include "SerialComm.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

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
