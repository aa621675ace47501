// In-memory byte stream and the small helpers with which message bodies and
// the device tables' stream forms are read and written. Plain data code: no
// I/O, so the frame codec, the table store and the models can share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A growable byte buffer with a read/write position, the shape in which
// frames and bodies are passed around. Reads never go past the end: they
// return what is there.
class TMemoryStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(Bytes bytes) : data_(std::move(bytes)) {}
    TMemoryStream(std::initializer_list<std::uint8_t> bytes) : data_(bytes) {}

    const Bytes& Data() const { return data_; }
    Bytes& Data() { return data_; }
    std::size_t Size() const { return data_.size(); }
    std::size_t Position() const { return pos_; }
    // A position past the end is clamped to the end.
    void SetPosition(std::size_t pos) { pos_ = pos < data_.size() ? pos : data_.size(); }
    std::size_t Remaining() const { return data_.size() - pos_; }
    void Clear() {
        data_.clear();
        pos_ = 0;
    }
    // Replaces the contents and rewinds.
    void Assign(Bytes bytes) {
        data_ = std::move(bytes);
        pos_ = 0;
    }

    // Writes at the position, overwriting and then extending; advances.
    void Write(const void* src, std::size_t n);
    void WriteByte(std::uint8_t b) { Write(&b, 1); }
    // Reads up to n bytes; returns how many were read.
    std::size_t Read(void* dst, std::size_t n);

private:
    Bytes data_;
    std::size_t pos_ = 0;
};

bool operator==(const TMemoryStream& a, const TMemoryStream& b);

// Reads one byte; 0 and nothing read when no byte is left.
std::uint8_t ReadByteOrZero(TMemoryStream& s);
// Reads a little-endian word; 0 and nothing read when fewer than 2 bytes are left.
std::uint16_t ReadWordOrZero(TMemoryStream& s);
// A length byte (0 when none is left), clamped to the bytes that remain, then
// that many 8-bit characters.
std::string ReadShortString(TMemoryStream& s);
// One length byte then the characters; a text over 255 bytes is cut to 255
// so that the length byte always tells the truth.
void WriteShortString(TMemoryStream& s, const std::string& text);
void WriteByteValue(TMemoryStream& s, std::uint8_t b);
void WriteWordValue(TMemoryStream& s, std::uint16_t w);
// The whole stream from its start as two uppercase hex digits per byte.
std::string StreamToHex(const TMemoryStream& s);
std::string BytesToHex(const std::uint8_t* p, std::size_t n);

// Thrown by the hex readers on text that is not hexadecimal.
class EConvertError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Empties s, then one byte per pair of hex digits (either case). A trailing
// odd digit is ignored. Throws EConvertError on a character that is not a
// hex digit; s is then left empty.
void HexToStream(const std::string& text, TMemoryStream& s);
// The value of the two hex digits at pos and pos+1; EConvertError when they
// are missing or not hex digits.
int HexPairToInt(const std::string& text, std::size_t pos);
