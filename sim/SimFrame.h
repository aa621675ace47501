// The device side of the frame format: building the frames a site sends and
// collecting the frames the program sends out of a raw byte stream.
//
// The simulator keeps its own small codec rather than the program's link
// layer, so that the two sides of every end-to-end test are independent
// implementations of one wire format: a mistake in one cannot hide in both.
#pragma once

#include "Stream.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

inline constexpr std::uint8_t kFrameStart = 0xFE;
inline constexpr std::uint8_t kFrameEnd = 0xFF;
inline constexpr std::uint8_t kStuff = 0xFD;
inline constexpr std::uint8_t kProgramAddress = 1;
inline constexpr std::uint8_t kBroadcast = 0;
// Length counts the opcode, so a body holds at most 254 bytes.
inline constexpr std::size_t kMaxBody = 254;

// CRC-16/GENIBUS over the bytes between Start and the CRC field.
std::uint16_t FrameCrc(const std::uint8_t* p, std::size_t n);

// The unescaped frame FE dest src seq len opcode body crc-lo crc-hi FF.
// A body longer than kMaxBody is a programming error of the caller (the
// site splits long replies itself) and is cut to keep the length honest.
Bytes BuildFrame(std::uint8_t dest, std::uint8_t src, std::uint8_t seq, std::uint8_t opcode,
                 const Bytes& body);
// The wire form: every byte between Start and End stuffed.
Bytes EscapeFrame(const Bytes& frame);
// Undoes the stuffing of a collected frame (FE ... FF).
Bytes UnescapeFrame(const Bytes& wire);

struct TFrame {
    std::uint8_t dest = 0;
    std::uint8_t src = 0;
    std::uint8_t seq = 0;
    std::uint8_t opcode = 0;
    Bytes body;
};

// Checks length and CRC of an unescaped frame; nothing when either fails.
std::optional<TFrame> DecodeFrame(const Bytes& unescaped);

// Collects frames out of a byte stream: bytes outside FE..FF are noise and
// dropped, a new FE restarts the frame being collected, and nothing longer
// than the longest legal frame is kept (a lost FF cannot grow the buffer).
class TFrameCollector {
public:
    // Complete frames (unescaped, not yet checked) found in the bytes.
    std::vector<Bytes> Feed(const std::uint8_t* p, std::size_t n);
    void Reset() {
        buffer_.clear();
        inFrame_ = false;
    }

private:
    Bytes buffer_;
    bool inFrame_ = false;
};

} // namespace sim
