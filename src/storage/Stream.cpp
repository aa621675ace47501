#include "Stream.h"

#include <algorithm>
#include <cstring>

void TMemoryStream::Write(const void* src, std::size_t n) {
    if (n == 0) return;
    if (pos_ + n > data_.size()) data_.resize(pos_ + n);
    std::memcpy(data_.data() + pos_, src, n);
    pos_ += n;
}

std::size_t TMemoryStream::Read(void* dst, std::size_t n) {
    const std::size_t k = std::min(n, Remaining());
    if (k > 0) std::memcpy(dst, data_.data() + pos_, k);
    pos_ += k;
    return k;
}

bool operator==(const TMemoryStream& a, const TMemoryStream& b) {
    return a.Data() == b.Data();
}

std::uint8_t ReadByteOrZero(TMemoryStream& s) {
    std::uint8_t b = 0;
    s.Read(&b, 1);
    return b;
}

std::uint16_t ReadWordOrZero(TMemoryStream& s) {
    if (s.Remaining() < 2) return 0;
    std::uint8_t b[2];
    s.Read(b, 2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::string ReadShortString(TMemoryStream& s) {
    const std::size_t announced = ReadByteOrZero(s);
    const std::size_t len = std::min(announced, s.Remaining());
    std::string text(len, '\0');
    s.Read(text.data(), len);
    return text;
}

void WriteShortString(TMemoryStream& s, const std::string& text) {
    const std::size_t len = std::min<std::size_t>(text.size(), 255);
    s.WriteByte(static_cast<std::uint8_t>(len));
    s.Write(text.data(), len);
}

void WriteByteValue(TMemoryStream& s, std::uint8_t b) {
    s.WriteByte(b);
}

void WriteWordValue(TMemoryStream& s, std::uint16_t w) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(w & 0xFF),
                               static_cast<std::uint8_t>(w >> 8)};
    s.Write(b, 2);
}

std::string BytesToHex(const std::uint8_t* p, std::size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out(n * 2, '0');
    for (std::size_t i = 0; i < n; ++i) {
        out[2 * i] = digits[p[i] >> 4];
        out[2 * i + 1] = digits[p[i] & 0x0F];
    }
    return out;
}

std::string StreamToHex(const TMemoryStream& s) {
    return BytesToHex(s.Data().data(), s.Size());
}

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
} // namespace

int HexPairToInt(const std::string& text, std::size_t pos) {
    if (pos >= text.size() || text.size() - pos < 2)
        throw EConvertError("hex pair missing at position " + std::to_string(pos));
    const int hi = HexDigit(text[pos]);
    const int lo = HexDigit(text[pos + 1]);
    if (hi < 0 || lo < 0)
        throw EConvertError("'" + text.substr(pos, 2) + "' is not a valid hex value");
    return hi * 16 + lo;
}

void HexToStream(const std::string& text, TMemoryStream& s) {
    s.Clear();
    Bytes out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(HexPairToInt(text, i)));
    s.Assign(std::move(out));
}
