// The requests the program sends to the devices of a site: each one frame
// from station 1, queued on the session's out-queue for the link thread.
#pragma once

#include "MessagesList.h"
#include "ObjectsList.h"
#include "Protocol.h"

#include <functional>
#include <string>
#include <vector>

class TSessionRequests {
public:
    // `queue` and `devices` are the session's (not owned). `queued` runs
    // after every frame that was queued (the link thread is woken by it);
    // `now` gives the computer's local time for the clock request.
    TSessionRequests(TMessagesList& queue, TObjectsList& devices, std::function<void()> queued = {},
                     std::function<TDeviceClock()> now = LocalClock);

    // Waits for the queue (keeping events running), then queues the frame.
    // False when the frame could not be queued (a body over 254 bytes, a
    // full queue).
    bool SendRequest(std::uint8_t dest, std::uint8_t opcode, const TMemoryStream* body = nullptr);

    // Only when nothing else waits to be sent, so that one poll at most is
    // queued.
    void SendPoll();
    void SendGetDefinition(std::uint8_t address);
    // An empty password travels as the one byte 0.
    void SendAccessPassword(const std::string& password);
    void SendNewPassword(std::uint8_t address, const std::string& password);
    void SendSetDateTime(std::uint8_t address);
    void SendSetCalibration(std::uint8_t address, int value);

    // To the current device of the tree; nothing without one.
    // One table row as the device holds it, then a 200 ms pause for the
    // device to store it.
    void SendAttributeRow(int index);
    void SendParameterRow(int index);
    void SendControlRow(int index);
    void SendGetState();
    // The values of the parameters at these rows; nothing when none is.
    void SendGetParameterValues(const std::vector<std::uint8_t>& rows);
    // One request per control row; nothing without controls.
    void SendGetControlValues();
    // Nothing when the device has no command rows.
    void SendExecuteCommand(std::uint8_t number);
    void SendSetParameter(std::uint8_t id, std::uint16_t value);
    // For parameters set by three sliders: "U", "U1" and "Current".
    void SendSetParameter3(std::uint8_t id, std::uint16_t value, std::uint16_t u1,
                           std::uint16_t current);
    void SendSetControl(std::uint8_t index, std::uint16_t value);
    void SendGetHistory();

    static TDeviceClock LocalClock();

private:
    TLANObject* Current() const { return devices_.CurrentDevice(); }
    std::uint8_t CurrentAddress() const {
        return static_cast<std::uint8_t>(devices_.CurrentDevice()->GetLanAddress());
    }
    void SendRow(int index, std::uint8_t opcode, TObjFieldTab& tab,
                 const std::function<void(TMemoryStream&)>& write);

    TMessagesList& queue_;
    TObjectsList& devices_;
    std::function<void()> queued_;
    std::function<TDeviceClock()> now_;
};
