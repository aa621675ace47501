// The messages between the program and the devices of a site: opcodes and
// the encodings of the bodies that have a structure of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The end-of-turn frame (3) belongs to the link and is named there.
enum TOpcode : std::uint8_t {
    opAccessGranted = 1,
    opPoll = 4,
    opPresent = 5,
    opGetDefinition = 6,
    opDefinition = 7,
    opSetDeviceType = 9,
    opSetMode = 10,
    opGetState = 11,
    opState = 12,
    opChildState = 13,
    opChildDefinition = 16,
    opSetAddress = 17,
    opAttributeRow = 19,
    opChildAttributeRow = 20,
    opAttributeText = 22,
    opChildAttributeText = 23,
    opParameterRow = 25,
    opChildParameterRow = 26,
    opGetParameterValues = 27,
    opParameterValues = 28,
    opChildParameterValues = 29,
    opControlRow = 32,
    opChildControlRow = 33,
    opGetControlValue = 34,
    opControlValue = 35,
    opChildControlValue = 36,
    opCommandRow = 38,
    opChildCommandRow = 39,
    opExecuteCommand = 40,
    opTextMessage = 41,
    opAccessPassword = 46,
    opNewPassword = 47,
    opIllegalPassword = 48,
    opReply50 = 50,
    opReply52 = 52,
    opReply54 = 54,
    opGetDateTime = 55,
    opDateTime = 56,
    opGetCalibration = 57,
    opCalibration = 58,
    opGetHistory = 60,
    opHistory = 61,
    opSelectHub = 64,
    opHubState = 67,
};

// A device clock as it travels: second, minute, hour, day, month (bytes),
// year (16-bit little-endian word).
struct TDeviceClock {
    int second = 0;
    int minute = 0;
    int hour = 0;
    int day = 1;
    int month = 1;
    int year = 2001;

    bool operator==(const TDeviceClock&) const = default;
};
inline constexpr std::size_t kClockFormSize = 7;

// Decodes the clock form from `data` (missing bytes read as 0) into a date
// that exists: fields beyond their range are pulled to the nearest valid
// value, a day or month of 0 becomes 1, a year of 0 becomes 2001, and a day
// the month does not have (31 April, 29 February of a common year) becomes
// the month's last day, since devices with a drifting calendar send them.
TDeviceClock DecodeClock(const std::uint8_t* data, std::size_t size);
std::vector<std::uint8_t> EncodeClock(const TDeviceClock& clock);

// Calibration byte: magnitude 0..31 in bits 0..4, bit 5 set for a negative
// value. A value beyond +-31 is sent as +-31, the most the byte can carry.
std::uint8_t EncodeCalibration(int value);
int DecodeCalibration(std::uint8_t byte);

// The body of a parameter values request for a device with `parameterCount`
// parameters: FF when all of them are wanted, else the count and the wanted
// indexes ascending (duplicates once); nothing when none is wanted.
std::optional<std::vector<std::uint8_t>> ParameterSelection(std::vector<std::uint8_t> wanted,
                                                            int parameterCount);
