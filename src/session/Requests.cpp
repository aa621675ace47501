#include "Requests.h"

#include "EventPump.h"

#include <algorithm>
#include <ctime>

namespace {
// The device needs this long to store a row before the next one arrives.
constexpr long kRowPauseMs = 200;
} // namespace

TSessionRequests::TSessionRequests(TMessagesList& queue, TObjectsList& devices,
                                   std::function<void()> queued, std::function<TDeviceClock()> now)
    : queue_(queue), devices_(devices), queued_(std::move(queued)), now_(std::move(now)) {}

TDeviceClock TSessionRequests::LocalClock() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return {local.tm_sec > 59 ? 59 : local.tm_sec,
            local.tm_min,
            local.tm_hour,
            local.tm_mday,
            local.tm_mon + 1,
            local.tm_year + 1900};
}

bool TSessionRequests::SendRequest(std::uint8_t dest, std::uint8_t opcode,
                                   const TMemoryStream* body) {
    bool queued = false;
    {
        TBusyHold hold(queue_, [] {
            Delay(1);
            return true;
        });
        queued = hold.Held() && queue_.AddFrame(dest, kProgramAddress, body, opcode);
    }
    if (queued && queued_) queued_();
    return queued;
}

void TSessionRequests::SendPoll() {
    if (queue_.Count() == 0) SendRequest(kBroadcastAddress, opPoll);
}

void TSessionRequests::SendGetDefinition(std::uint8_t address) {
    SendRequest(address, opGetDefinition);
}

void TSessionRequests::SendAccessPassword(const std::string& password) {
    TMemoryStream body;
    WriteShortString(body, password);
    SendRequest(kBroadcastAddress, opAccessPassword, &body);
}

void TSessionRequests::SendNewPassword(std::uint8_t address, const std::string& password) {
    TMemoryStream body;
    WriteShortString(body, password);
    SendRequest(address, opNewPassword, &body);
}

void TSessionRequests::SendSetDateTime(std::uint8_t address) {
    const TMemoryStream body(EncodeClock(now_()));
    SendRequest(address, opDateTime, &body);
}

void TSessionRequests::SendSetCalibration(std::uint8_t address, int value) {
    const TMemoryStream body{EncodeCalibration(value)};
    SendRequest(address, opCalibration, &body);
}

void TSessionRequests::SendRow(int index, std::uint8_t opcode, TObjFieldTab& tab,
                               const std::function<void(TMemoryStream&)>& write) {
    if (!tab.IsItem(index)) return;
    tab.SetCurrent(index);
    TMemoryStream body;
    write(body);
    SendRequest(CurrentAddress(), opcode, &body);
    Delay(kRowPauseMs);
}

void TSessionRequests::SendAttributeRow(int index) {
    if (TLANObject* d = Current())
        SendRow(index, opAttributeRow, d->Attributes(),
                [d](TMemoryStream& s) { d->Attributes().WriteRow(s); });
}

void TSessionRequests::SendParameterRow(int index) {
    if (TLANObject* d = Current())
        SendRow(index, opParameterRow, d->Parameters(),
                [d](TMemoryStream& s) { d->Parameters().WriteRow(s); });
}

void TSessionRequests::SendControlRow(int index) {
    if (TLANObject* d = Current())
        SendRow(index, opControlRow, d->Controls(),
                [d](TMemoryStream& s) { d->Controls().WriteRow(s); });
}

void TSessionRequests::SendGetState() {
    if (Current()) SendRequest(CurrentAddress(), opGetState);
}

void TSessionRequests::SendGetParameterValues(const std::vector<std::uint8_t>& rows) {
    TLANObject* d = Current();
    if (!d) return;
    const auto selection = ParameterSelection(rows, d->ParameterCount());
    if (!selection) return;
    const TMemoryStream body(*selection);
    SendRequest(CurrentAddress(), opGetParameterValues, &body);
}

void TSessionRequests::SendGetControlValues() {
    TLANObject* d = Current();
    if (!d) return;
    // Each request's wait for the queue runs window handlers, which may
    // empty the tree: the device is not looked at again.
    const std::uint8_t address = CurrentAddress();
    const int count = std::min(d->ControlCount(), 256);
    for (int i = 0; i < count; ++i) {
        const TMemoryStream body{static_cast<std::uint8_t>(i)};
        SendRequest(address, opGetControlValue, &body);
    }
}

void TSessionRequests::SendExecuteCommand(std::uint8_t number) {
    TLANObject* d = Current();
    if (!d || d->CommandCount() == 0) return;
    const TMemoryStream body{number};
    SendRequest(CurrentAddress(), opExecuteCommand, &body);
}

void TSessionRequests::SendSetParameter(std::uint8_t id, std::uint16_t value) {
    if (!Current()) return;
    TMemoryStream body;
    WriteByteValue(body, id);
    WriteWordValue(body, value);
    SendRequest(CurrentAddress(), opParameterValues, &body);
}

void TSessionRequests::SendSetParameter3(std::uint8_t id, std::uint16_t value, std::uint16_t u1,
                                         std::uint16_t current) {
    if (!Current()) return;
    TMemoryStream body;
    WriteByteValue(body, id);
    WriteWordValue(body, value);
    WriteWordValue(body, u1);
    WriteWordValue(body, current);
    SendRequest(CurrentAddress(), opParameterValues, &body);
}

void TSessionRequests::SendSetControl(std::uint8_t index, std::uint16_t value) {
    if (!Current()) return;
    TMemoryStream body;
    WriteByteValue(body, index);
    WriteWordValue(body, value);
    SendRequest(CurrentAddress(), opControlValue, &body);
}

void TSessionRequests::SendGetHistory() {
    if (Current()) SendRequest(CurrentAddress(), opGetHistory);
}
