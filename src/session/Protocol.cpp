#include "Protocol.h"

#include <algorithm>

namespace {
int At(const std::uint8_t* data, std::size_t size, std::size_t i) {
    return i < size ? data[i] : 0;
}

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int month, int year) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}
} // namespace

TDeviceClock DecodeClock(const std::uint8_t* data, std::size_t size) {
    TDeviceClock c;
    c.second = std::min(At(data, size, 0), 59);
    c.minute = std::min(At(data, size, 1), 59);
    c.hour = std::min(At(data, size, 2), 23);
    c.month = std::clamp(At(data, size, 4), 1, 12);
    c.year = At(data, size, 5) | (At(data, size, 6) << 8);
    if (c.year == 0) c.year = 2001;
    c.day = std::clamp(At(data, size, 3), 1, DaysInMonth(c.month, c.year));
    return c;
}

std::vector<std::uint8_t> EncodeClock(const TDeviceClock& c) {
    return {static_cast<std::uint8_t>(c.second),
            static_cast<std::uint8_t>(c.minute),
            static_cast<std::uint8_t>(c.hour),
            static_cast<std::uint8_t>(c.day),
            static_cast<std::uint8_t>(c.month),
            static_cast<std::uint8_t>(c.year & 0xFF),
            static_cast<std::uint8_t>((c.year >> 8) & 0xFF)};
}

std::uint8_t EncodeCalibration(int value) {
    const int magnitude = std::min(value < 0 ? -value : value, 31);
    return static_cast<std::uint8_t>(magnitude | (value < 0 ? 0x20 : 0));
}

int DecodeCalibration(std::uint8_t byte) {
    const int magnitude = byte & 0x1F;
    return (byte & 0x20) ? -magnitude : magnitude;
}

std::optional<std::vector<std::uint8_t>> ParameterSelection(std::vector<std::uint8_t> wanted,
                                                            int parameterCount) {
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    std::erase_if(wanted, [&](std::uint8_t i) { return i >= parameterCount; });
    if (wanted.empty()) return std::nullopt;
    if (static_cast<int>(wanted.size()) == parameterCount) return std::vector<std::uint8_t>{0xFF};
    std::vector<std::uint8_t> body{static_cast<std::uint8_t>(wanted.size())};
    body.insert(body.end(), wanted.begin(), wanted.end());
    return body;
}
