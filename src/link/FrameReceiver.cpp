#include "FrameReceiver.h"

std::optional<TReceivedFrame> TFrameReceiver::Feed(std::uint8_t b) {
    if (!collecting_) {
        if (b == kFrameStart) Start();
        return std::nullopt;
    }
    if (b == kFrameStart) {
        TReceivedFrame bad = TakeBad();
        Start();
        return bad;
    }
    buffer_.WriteByte(b);
    if (b == kFrameEnd) {
        collecting_ = false;
        TReceivedFrame r;
        r.frame.Assign(std::move(buffer_.Data()));
        buffer_.Clear();
        UnescapeFrame(r.frame);
        r.good = CheckFrameLength(r.frame) && CheckFrameCRC(r.frame);
        return r;
    }
    if (buffer_.Size() >= kMaxWireFrameSize) return TakeBad();
    return std::nullopt;
}

std::optional<TReceivedFrame> TFrameReceiver::Expire() {
    if (!collecting_) return std::nullopt;
    return TakeBad();
}

void TFrameReceiver::Start() {
    buffer_.Clear();
    buffer_.WriteByte(kFrameStart);
    collecting_ = true;
}

void TFrameReceiver::Reset() {
    buffer_.Clear();
    collecting_ = false;
}

TReceivedFrame TFrameReceiver::TakeBad() {
    TReceivedFrame r;
    r.frame.Assign(std::move(buffer_.Data()));
    buffer_.Clear();
    collecting_ = false;
    return r;
}
