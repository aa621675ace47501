#include "ModelText.h"

#include <charconv>
#include <cmath>

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
} // namespace

std::optional<std::int32_t> TextToInt(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t magnitude = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, magnitude, base);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    const std::int64_t value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (magnitude > 0x80000000ull || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::int32_t IntOrZero(std::string_view text) {
    return TextToInt(text).value_or(0);
}

std::string IntText(std::int64_t n) {
    char buf[24];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, n);
    return std::string(buf, ptr);
}

double RoundHalfEven(double x) {
    const double below = std::floor(x);
    const double diff = x - below;
    if (diff < 0.5) return below;
    if (diff > 0.5) return below + 1;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}
