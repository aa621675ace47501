#include "SimFrame.h"

#include <algorithm>

namespace sim {

namespace {
// 263 bytes unescaped, every inner byte possibly stuffed into two.
constexpr std::size_t kMaxWireFrame = 2 + 2 * 261;
} // namespace

std::uint16_t FrameCrc(const std::uint8_t* p, std::size_t n) {
    std::uint16_t c = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = (c & 0x8000) != 0;
            const bool in = ((p[i] >> bit) & 1) != 0;
            c = static_cast<std::uint16_t>(c << 1);
            if (top != in) c ^= 0x1021;
        }
    }
    return static_cast<std::uint16_t>(c ^ 0xFFFF);
}

Bytes BuildFrame(std::uint8_t dest, std::uint8_t src, std::uint8_t seq, std::uint8_t opcode,
                 const Bytes& body) {
    const std::size_t n = std::min(body.size(), kMaxBody);
    Bytes f{kFrameStart, dest, src, seq, static_cast<std::uint8_t>(n + 1), opcode};
    f.insert(f.end(), body.begin(), body.begin() + static_cast<std::ptrdiff_t>(n));
    const std::uint16_t crc = FrameCrc(f.data() + 1, f.size() - 1);
    f.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    f.push_back(static_cast<std::uint8_t>(crc >> 8));
    f.push_back(kFrameEnd);
    return f;
}

Bytes EscapeFrame(const Bytes& frame) {
    Bytes w;
    w.reserve(frame.size() + 8);
    w.push_back(kFrameStart);
    for (std::size_t i = 1; i + 1 < frame.size(); ++i) {
        const std::uint8_t b = frame[i];
        if (b >= kStuff) {
            w.push_back(kStuff);
            w.push_back(static_cast<std::uint8_t>(b - kStuff));
        } else {
            w.push_back(b);
        }
    }
    w.push_back(kFrameEnd);
    return w;
}

Bytes UnescapeFrame(const Bytes& wire) {
    Bytes f;
    f.reserve(wire.size());
    f.push_back(kFrameStart);
    for (std::size_t i = 1; i + 1 < wire.size(); ++i) {
        if (wire[i] == kStuff && i + 2 < wire.size()) {
            const std::uint8_t x = wire[++i];
            // FD followed by anything else decodes to FD; the byte is lost
            // and the frame then fails its check, as it would on a device.
            f.push_back(x <= 2 ? static_cast<std::uint8_t>(kStuff + x) : kStuff);
        } else {
            f.push_back(wire[i]);
        }
    }
    f.push_back(kFrameEnd);
    return f;
}

std::optional<TFrame> DecodeFrame(const Bytes& u) {
    if (u.size() < 9 || u.front() != kFrameStart || u.back() != kFrameEnd) return std::nullopt;
    if (u[4] != u.size() - 8) return std::nullopt;
    const std::uint16_t stored =
        static_cast<std::uint16_t>(u[u.size() - 3] | (u[u.size() - 2] << 8));
    if (stored != FrameCrc(u.data() + 1, u.size() - 4)) return std::nullopt;
    TFrame f;
    f.dest = u[1];
    f.src = u[2];
    f.seq = u[3];
    f.opcode = u[5];
    f.body.assign(u.begin() + 6, u.end() - 3);
    return f;
}

std::vector<Bytes> TFrameCollector::Feed(const std::uint8_t* p, std::size_t n) {
    std::vector<Bytes> done;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = p[i];
        if (b == kFrameStart) {
            buffer_.assign(1, b);
            inFrame_ = true;
            continue;
        }
        if (!inFrame_) continue;
        buffer_.push_back(b);
        if (b == kFrameEnd) {
            done.push_back(UnescapeFrame(buffer_));
            Reset();
        } else if (buffer_.size() > kMaxWireFrame) {
            Reset();
        }
    }
    return done;
}

} // namespace sim
