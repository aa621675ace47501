// Arbitrary line bytes through the receive path: unstuffing, the length and
// CRC checks, and the in-queue with its accessors.
#include "FrameReceiver.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TFrameReceiver receiver;
    TMessagesList in;
    std::size_t bad = 0;
    const auto take = [&](const TReceivedFrame& r) {
        if (!r.good) {
            ++bad;
            return;
        }
        if (!CheckFrameLength(r.frame) || !CheckFrameCRC(r.frame)) __builtin_trap();
        in.AddCopy(r.frame);
    };
    for (std::size_t i = 0; i < size; ++i)
        if (auto r = receiver.Feed(data[i])) take(*r);
    if (auto r = receiver.Expire()) take(*r);

    for (std::size_t i = 0; i < in.Count(); ++i) {
        in.SetCurrent(static_cast<int>(i));
        TMemoryStream body, frame;
        in.GetBody(body);
        in.CopyCurrent(frame);
        if (body.Size() + 1 != in.GetLength() && in.GetLength() != 0) __builtin_trap();
        // What was received goes back on the wire unchanged.
        TMemoryStream wire = frame;
        EscapeFrame(wire);
        UnescapeFrame(wire);
        if (!(wire == frame)) __builtin_trap();
    }
    while (in.Count() > 0)
        in.DeleteMessage(0);

    // The codec on raw input, framed or not.
    TMemoryStream raw(Bytes(data, data + size));
    UnescapeFrame(raw);
    (void)CheckFrameLength(raw);
    (void)CheckFrameCRC(raw);
    (void)FrameCRC(raw);
    return 0;
}
