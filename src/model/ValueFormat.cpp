#include "ValueFormat.h"

#include "ModelText.h"
#include "Stream.h"

#include <array>
#include <charconv>

namespace {
constexpr std::array<const char*, 5> kCalcNames{"Linear", "Square-law", "Temperature", "Linear Pik",
                                                "Square-law Pik"};

std::uint64_t Pow10(int e) {
    std::uint64_t p = 1;
    while (e-- > 0)
        p *= 10;
    return p;
}

int DigitCount(std::uint64_t n) {
    int k = 1;
    while (n >= 10) {
        n /= 10;
        ++k;
    }
    return k;
}

[[noreturn]] void NotANumber(std::string_view text) {
    throw EConvertError("'" + std::string(text) + "' is not a valid number");
}
} // namespace

std::string FormatValue(int format, std::uint32_t n) {
    const int d = format & 15;
    if (d == 0) return IntText(n);
    const int p = (format >> 4) & 15;
    std::uint64_t digits = n;
    if (n != 0 && p != 0) {
        const int k = DigitCount(n);
        const int integerDigits = k - d;
        const int keep = std::max(p, integerDigits);
        if (k > keep) {
            const std::uint64_t unit = Pow10(k - keep);
            std::uint64_t q = n / unit;
            if ((n % unit) * 2 >= unit) ++q;
            digits = q * unit;
        }
    }
    std::string text = IntText(static_cast<std::int64_t>(digits));
    if (text.size() <= static_cast<std::size_t>(d))
        text.insert(0, static_cast<std::size_t>(d) + 1 - text.size(), '0');
    text.insert(text.size() - static_cast<std::size_t>(d), 1, '.');
    return text;
}

std::int64_t ParseValue(int format, std::string_view text) {
    const int d = format & 15;
    std::string_view t = text;
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
        t.remove_suffix(1);
    if (d == 0) {
        const auto n = TextToInt(t);
        if (!n) NotANumber(text);
        return *n;
    }
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    // Significant digits without leading zeros, and the power of ten of the
    // last one: the text's value is digits x 10^exponent.
    std::string digits;
    int exponent = 0;
    bool anyDigit = false;
    bool point = false;
    std::size_t i = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c == '.') {
            if (point) NotANumber(text);
            point = true;
        } else if (c >= '0' && c <= '9') {
            anyDigit = true;
            if (!(digits.empty() && c == '0')) digits += c;
            if (point) --exponent;
        } else {
            break;
        }
    }
    if (!anyDigit) NotANumber(text);
    if (i < t.size()) {
        if (t[i] != 'e' && t[i] != 'E') NotANumber(text);
        std::string_view e = t.substr(i + 1);
        if (!e.empty() && e.front() == '+') e.remove_prefix(1);
        int value = 0;
        const auto [ptr, ec] = std::from_chars(e.data(), e.data() + e.size(), value);
        if (e.empty() || ec != std::errc() || ptr != e.data() + e.size()) NotANumber(text);
        if (value > 100000 || value < -100000) NotANumber(text);
        exponent += value;
    }
    exponent += d;
    if (digits.empty()) return 0;
    // Raw = digits x 10^exponent, rounded to an integer.
    constexpr std::int64_t kMax = 0xFFFFFFFFll;
    if (exponent >= 0) {
        if (static_cast<int>(digits.size()) + exponent > 10) NotANumber(text);
        std::uint64_t raw = 0;
        for (char c : digits)
            raw = raw * 10 + static_cast<std::uint64_t>(c - '0');
        raw *= Pow10(exponent);
        if (raw > static_cast<std::uint64_t>(kMax)) NotANumber(text);
        const auto value = static_cast<std::int64_t>(raw);
        if (negative && value > 0x80000000ll) NotANumber(text);
        return negative ? -value : value;
    }
    const std::size_t cut = static_cast<std::size_t>(-exponent);
    std::string whole = digits.size() > cut ? digits.substr(0, digits.size() - cut) : "";
    std::string rest = digits.size() > cut ? digits.substr(digits.size() - cut)
                                           : std::string(cut - digits.size(), '0') + digits;
    if (whole.size() > 10) NotANumber(text);
    std::uint64_t raw = 0;
    for (char c : whole)
        raw = raw * 10 + static_cast<std::uint64_t>(c - '0');
    // Compare the dropped digits with one half.
    int half = rest[0] < '5' ? -1 : (rest[0] > '5' ? 1 : 0);
    if (half == 0 && rest.find_first_not_of('0', 1) != std::string::npos) half = 1;
    if (half > 0 || (half == 0 && raw % 2 == 1)) ++raw;
    if (raw > static_cast<std::uint64_t>(kMax)) NotANumber(text);
    const auto value = static_cast<std::int64_t>(raw);
    if (negative && value > 0x80000000ll) NotANumber(text);
    return negative ? -value : value;
}

int CalcFromName(std::string_view text) {
    for (std::size_t i = 0; i < kCalcNames.size(); ++i)
        if (text == kCalcNames[i]) return static_cast<int>(i);
    return 0;
}

std::string CalcName(int kind) {
    return kind >= 1 && kind <= 4 ? kCalcNames[static_cast<std::size_t>(kind)] : kCalcNames[0];
}

void FillCalcNames(std::vector<std::string>* list) {
    if (!list) return;
    list->assign(kCalcNames.begin(), kCalcNames.end());
}

std::string ByteToHex(int n) {
    const std::uint8_t b = static_cast<std::uint8_t>(n & 0xFF);
    return BytesToHex(&b, 1);
}

std::uint32_t HexToInt(std::string_view text) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 16);
    if (text.empty() || ec != std::errc() || ptr != end)
        throw EConvertError("'" + std::string(text) + "' is not a valid hexadecimal number");
    return value;
}
