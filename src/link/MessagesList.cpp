#include "MessagesList.h"

std::uint16_t Crc16(const std::uint8_t* p, std::size_t n) {
    std::uint16_t c = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        c = static_cast<std::uint16_t>((c >> 8) | (c << 8));
        c ^= p[i];
        c ^= static_cast<std::uint16_t>((c & 0xFF) >> 4);
        c ^= static_cast<std::uint16_t>(c << 12);
        c ^= static_cast<std::uint16_t>((c & 0xFF) << 5);
    }
    return static_cast<std::uint16_t>(c ^ 0xFFFF);
}

std::uint16_t FrameCRC(const TMemoryStream& frame) {
    const Bytes& b = frame.Data();
    if (b.size() < 4) return Crc16(nullptr, 0);
    return Crc16(b.data() + 1, b.size() - 4);
}

void SetFrameCRC(TMemoryStream& frame) {
    Bytes& b = frame.Data();
    if (b.size() < 4) return;
    const std::uint16_t crc = FrameCRC(frame);
    b[b.size() - 3] = static_cast<std::uint8_t>(crc & 0xFF);
    b[b.size() - 2] = static_cast<std::uint8_t>(crc >> 8);
    b[b.size() - 1] = kFrameEnd;
}

bool CheckFrameCRC(const TMemoryStream& frame) {
    const Bytes& b = frame.Data();
    if (b.size() < 4) return false;
    const std::uint16_t stored =
        static_cast<std::uint16_t>(b[b.size() - 3] | (b[b.size() - 2] << 8));
    return stored == FrameCRC(frame);
}

bool CheckFrameLength(const TMemoryStream& frame) {
    const Bytes& b = frame.Data();
    return b.size() >= kMinFrameSize && b[4] == b.size() - kFrameOverhead;
}

void EscapeFrame(TMemoryStream& frame) {
    const Bytes& in = frame.Data();
    if (in.size() < 2) return;
    Bytes out;
    out.reserve(in.size() * 2);
    out.push_back(kFrameStart);
    for (std::size_t i = 1; i + 1 < in.size(); ++i) {
        const std::uint8_t b = in[i];
        if (b >= kFrameEscape) {
            out.push_back(kFrameEscape);
            out.push_back(static_cast<std::uint8_t>(b - kFrameEscape));
        } else {
            out.push_back(b);
        }
    }
    out.push_back(kFrameEnd);
    frame.Assign(std::move(out));
}

void UnescapeFrame(TMemoryStream& frame) {
    const Bytes& in = frame.Data();
    if (in.size() < kMinFrameSize) return;
    Bytes out;
    out.reserve(in.size());
    out.push_back(kFrameStart);
    const std::size_t last = in.size() - 1;
    for (std::size_t i = 1; i < last; ++i) {
        const std::uint8_t b = in[i];
        if (b != kFrameEscape) {
            out.push_back(b);
            continue;
        }
        // An escape as the last byte before the end has nothing to pair with.
        if (i + 1 >= last) {
            out.push_back(kFrameEscape);
            continue;
        }
        const std::uint8_t x = in[++i];
        out.push_back(x <= 2 ? static_cast<std::uint8_t>(kFrameEscape + x) : kFrameEscape);
    }
    out.push_back(kFrameEnd);
    frame.Assign(std::move(out));
}

void BuildTurnFrame(TMemoryStream& into, std::uint8_t opcode) {
    into.Assign({kFrameStart, kBroadcastAddress, kProgramAddress, 0, 1, opcode, 0, 0, kFrameEnd});
    SetFrameCRC(into);
}

bool TMessagesList::WaitAndTakeBusy(const std::function<bool()>& pause) {
    while (!TryTakeBusy())
        if (!pause()) return false;
    return true;
}

bool TMessagesList::AddFrame(std::uint8_t dest, std::uint8_t src, const TMemoryStream* body,
                             std::uint8_t opcode) {
    const std::size_t bodySize = body ? body->Size() : 0;
    if (bodySize > kMaxBodySize || messages_.size() >= kMaxMessages) return false;
    ++sequence_;
    if (sequence_ == 0) sequence_ = 1;
    TMemoryStream frame;
    frame.Data().reserve(bodySize + kFrameOverhead + 1);
    frame.WriteByte(kFrameStart);
    frame.WriteByte(dest);
    frame.WriteByte(src);
    frame.WriteByte(sequence_);
    frame.WriteByte(static_cast<std::uint8_t>(1 + bodySize));
    frame.WriteByte(opcode);
    if (bodySize > 0) frame.Write(body->Data().data(), bodySize);
    frame.WriteByte(0);
    frame.WriteByte(0);
    frame.WriteByte(kFrameEnd);
    SetFrameCRC(frame);
    return AddCopy(frame);
}

bool TMessagesList::AddCopy(const TMemoryStream& frame) {
    if (messages_.size() >= kMaxMessages) return false;
    messages_.push_back(frame.Data());
    UpdateCount();
    return true;
}

const Bytes* TMessagesList::Chosen() const {
    if (current_ < 0 || static_cast<std::size_t>(current_) >= messages_.size()) return nullptr;
    return &messages_[static_cast<std::size_t>(current_)];
}

void TMessagesList::CopyCurrent(TMemoryStream& into) const {
    if (const Bytes* m = Chosen()) into.Assign(*m);
}

std::uint8_t TMessagesList::ByteAt(std::size_t offset) const {
    const Bytes* m = Chosen();
    return m && offset < m->size() ? (*m)[offset] : 0;
}

void TMessagesList::GetBody(TMemoryStream& into) const {
    into.Clear();
    const Bytes* m = Chosen();
    if (!m || m->size() < 6) return;
    const std::size_t length = (*m)[4];
    if (length < 2) return;
    // A message is only as long as it is: a Length byte that promises more
    // than the frame holds yields what is there.
    const std::size_t available = m->size() - 6;
    const std::size_t n = std::min(length - 1, available);
    into.Assign(Bytes(m->begin() + 6, m->begin() + 6 + static_cast<std::ptrdiff_t>(n)));
}

void TMessagesList::DeleteMessage(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < messages_.size()) {
        messages_.erase(messages_.begin() + index);
        UpdateCount();
    }
    current_ = -1;
}

void TMessagesList::FreeAll() {
    messages_.clear();
    UpdateCount();
}
