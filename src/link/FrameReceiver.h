// The receiving half of the frame codec: wire bytes in, judged frames out.
// Plain data code, so the link threads and the fuzz target share it; the
// caller keeps the frame time-out and calls Expire when it passes.
#pragma once

#include "MessagesList.h"

#include <optional>

struct TReceivedFrame {
    bool good = false;
    // Good: the unescaped frame. Bad after its FF: the unescaped bytes.
    // Bad otherwise: the stuffed bytes received so far.
    TMemoryStream frame;
};

class TFrameReceiver {
public:
    bool Collecting() const { return collecting_; }
    // A byte outside a frame other than FE is noise and dropped. Inside a
    // frame, FF ends it and it is judged (unstuffed, length, then CRC). An
    // FE inside a frame means the frame lost its tail: what came so far is
    // reported bad and a new frame starts at this FE, so the frame after a
    // damaged one is not swallowed. A frame longer than any stuffed frame
    // can be is reported bad and the bytes up to the next FE are dropped.
    std::optional<TReceivedFrame> Feed(std::uint8_t b);
    // The frame time-out passed: what came so far is bad. Nothing when no
    // frame was being collected.
    std::optional<TReceivedFrame> Expire();
    void Reset();

private:
    void Start();
    TReceivedFrame TakeBad();

    TMemoryStream buffer_;
    bool collecting_ = false;
};
