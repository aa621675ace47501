// Frames on the wire and the queues of frames between the session
// controller and a link thread. Plain data code: no ports, no threads
// beyond the atomic Busy flag.
//
// A frame in memory is unescaped:
//   FE  dest  src  seq  len  opcode  body[len-1]  crc-lo  crc-hi  FF
// len counts the opcode and the body, so a frame is len + 8 bytes and a body
// holds at most 254 bytes. The CRC (CRC-16/GENIBUS: poly 0x1021, init
// 0xFFFF, final XOR 0xFFFF) covers dest up to the last body byte. On the
// wire FD, FE and FF between start and end travel as FD 00, FD 01, FD 02.
#pragma once

#include "Stream.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>

inline constexpr std::uint8_t kFrameStart = 0xFE;
inline constexpr std::uint8_t kFrameEnd = 0xFF;
inline constexpr std::uint8_t kFrameEscape = 0xFD;
inline constexpr std::size_t kFrameOverhead = 8;
inline constexpr std::size_t kMinFrameSize = 9;
inline constexpr std::size_t kMaxBodySize = 254;
inline constexpr std::size_t kMaxFrameSize = kMaxBodySize + 1 + kFrameOverhead;
// Every byte between start and end stuffed into two.
inline constexpr std::size_t kMaxWireFrameSize = 2 * (kMaxFrameSize - 2) + 2;
inline constexpr std::uint8_t kProgramAddress = 1;
inline constexpr std::uint8_t kBroadcastAddress = 0;
inline constexpr std::uint8_t opEndOfTurn = 3;

// CRC-16/GENIBUS over n bytes.
std::uint16_t Crc16(const std::uint8_t* p, std::size_t n);
// The CRC over offset 1 up to size - 3 (exclusive); the CRC of no bytes
// for a stream too short to hold a header.
std::uint16_t FrameCRC(const TMemoryStream& frame);
// Rewrites the last three bytes as CRC low, CRC high, FF; a stream shorter
// than 4 bytes has no room for them and is left alone.
void SetFrameCRC(TMemoryStream& frame);
bool CheckFrameCRC(const TMemoryStream& frame);
// At least 9 bytes and a Length byte equal to size - 8.
bool CheckFrameLength(const TMemoryStream& frame);
void EscapeFrame(TMemoryStream& frame);
// Leaves a stream shorter than 9 bytes untouched. FD followed by anything
// but 00, 01, 02 (or by nothing) decodes to FD; the frame then fails its
// checks.
void UnescapeFrame(TMemoryStream& frame);
// FE 00 01 00 01 opcode CRC FF: destination broadcast, source the program.
void BuildTurnFrame(TMemoryStream& into, std::uint8_t opcode);

// A queue of complete unescaped frames shared by exactly two threads. Every
// change and every read of a message happens while Busy is held; Count may
// be read without it.
class TMessagesList {
public:
    // Past this many messages an append is refused.
    static constexpr std::size_t kMaxMessages = 134'217'727;

    TMessagesList() = default;
    ~TMessagesList() { FreeAll(); }
    TMessagesList(const TMessagesList&) = delete;
    TMessagesList& operator=(const TMessagesList&) = delete;

    // One atomic test-and-set: the two threads can never both hold Busy.
    bool TryTakeBusy() { return !busy_.exchange(true, std::memory_order_acquire); }
    void ReleaseBusy() { busy_.store(false, std::memory_order_release); }
    bool Busy() const { return busy_.load(std::memory_order_acquire); }
    // Takes Busy, calling `pause` between attempts; gives up (false) when
    // pause returns false.
    bool WaitAndTakeBusy(const std::function<bool()>& pause);

    // Builds FE dest src seq len opcode body CRC FF; the sequence runs
    // 1..255 and never 0. False (and nothing queued) for a body over 254
    // bytes, which the Length byte could not describe, or a full queue.
    bool AddFrame(std::uint8_t dest, std::uint8_t src, const TMemoryStream* body,
                  std::uint8_t opcode);
    // Appends a copy of the whole stream; false when the queue is full.
    bool AddCopy(const TMemoryStream& frame);
    // Into becomes a copy of the message at Current; unchanged without one.
    void CopyCurrent(TMemoryStream& into) const;
    std::uint8_t GetDest() const { return ByteAt(1); }
    std::uint8_t GetSource() const { return ByteAt(2); }
    std::uint8_t GetSequence() const { return ByteAt(3); }
    std::uint8_t GetLength() const { return ByteAt(4); }
    std::uint8_t GetOpcode() const { return ByteAt(5); }
    // Empties Into, then the Length - 1 body bytes of the message at
    // Current (as many as the message holds).
    void GetBody(TMemoryStream& into) const;
    // An index outside the list is ignored; Current becomes -1 either way.
    void DeleteMessage(int index);
    void FreeAll();

    std::size_t Count() const { return count_.load(std::memory_order_acquire); }
    int Current() const { return current_; }
    void SetCurrent(int index) { current_ = index; }
    std::uint8_t Sequence() const { return sequence_; }

private:
    const Bytes* Chosen() const;
    std::uint8_t ByteAt(std::size_t offset) const;
    void UpdateCount() { count_.store(messages_.size(), std::memory_order_release); }

    std::atomic<bool> busy_{false};
    std::atomic<std::size_t> count_{0};
    std::deque<Bytes> messages_;
    int current_ = -1;
    std::uint8_t sequence_ = 0;
};

// Holds a queue's Busy for a scope.
class TBusyHold {
public:
    TBusyHold(TMessagesList& queue, const std::function<bool()>& pause)
        : queue_(queue), held_(queue.WaitAndTakeBusy(pause)) {}
    ~TBusyHold() {
        if (held_) queue_.ReleaseBusy();
    }
    TBusyHold(const TBusyHold&) = delete;
    TBusyHold& operator=(const TBusyHold&) = delete;
    bool Held() const { return held_; }

private:
    TMessagesList& queue_;
    bool held_;
};
