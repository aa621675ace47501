// The one serial-device interface the port object and the link threads see.
// Implementations: the POSIX tty (PosixSerial) and the in-process virtual
// null-modem pair (VirtualSerial) that tests and the simulator drive.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

using TSteadyClock = std::chrono::steady_clock;
using TTimePoint = TSteadyClock::time_point;

// Modem status bits as every layer tests them.
inline constexpr std::uint8_t kStatusCts = 0x10;
inline constexpr std::uint8_t kStatusDsr = 0x20;
inline constexpr std::uint8_t kStatusRi = 0x40;
inline constexpr std::uint8_t kStatusDcd = 0x80;

enum class TParity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class TStopBits : std::uint8_t { One = 0, OneAndHalf = 1, Two = 2 };

// The four values of the driver's line settings that the program changes.
struct TLineSettings {
    std::uint32_t baud = 57600;
    std::uint8_t dataBits = 8;
    TParity parity = TParity::None;
    TStopBits stopBits = TStopBits::One;
    bool operator==(const TLineSettings&) const = default;
};

// Start bit, data bits, parity bit and stop bits of one character, in
// tenths of a bit time (8N1: 100).
int CharacterTenthBits(const TLineSettings& s);

enum class TWaitResult { Readable, Woken, TimedOut, Failed };

class ISerialDevice {
public:
    virtual ~ISerialDevice() = default;

    // Reads back what the driver holds; false when the driver refuses.
    virtual bool GetSettings(TLineSettings& out) = 0;
    // The driver may refuse some values; GetSettings then shows what it kept.
    virtual bool SetSettings(const TLineSettings& s) = 0;
    virtual bool SetRts(bool on) = 0;
    virtual bool SetDtr(bool on) = 0;
    // CTS/DSR/RI/DCD bits; 0 when the driver cannot tell.
    virtual std::uint8_t ModemStatus() = 0;
    // Received bytes waiting; 0 on failure.
    virtual std::size_t BytesWaiting() = 0;
    // How long Read waits for a first byte when none is waiting.
    virtual void SetReadTimeout(std::chrono::milliseconds t) = 0;
    // Reads what is there, up to n bytes, waiting at most the read time-out
    // for the first; returns the count, or -1 on an error of the line.
    virtual long Read(std::uint8_t* buf, std::size_t n) = 0;
    // Writes every byte (continuing partial writes); false when the line
    // refused them, and then not all bytes are known to have gone out.
    virtual bool WriteAll(const std::uint8_t* p, std::size_t n) = 0;
    // Blocks until everything written has left the transmitter, so that a
    // half-duplex bus is not turned around under the last byte.
    virtual void Drain() = 0;
    virtual void Purge(bool transmit, bool receive) = 0;
    // Blocks until a byte is waiting, Wake is called or the deadline passes.
    virtual TWaitResult WaitReadable(TTimePoint deadline) = 0;
    // Ends a WaitReadable of another thread; safe from any thread.
    virtual void Wake() = 0;
    // The provider's description of the device: service mask and subtype.
    virtual std::uint32_t ServiceMask() const { return 1; }
    virtual std::uint32_t ProviderSubType() const = 0;
};

// Opens devices by port name ("COM1" .. "COM15").
class ISerialProvider {
public:
    virtual ~ISerialProvider() = default;
    // nullptr when the port is missing or in use by another program.
    virtual std::unique_ptr<ISerialDevice> Open(const std::string& portName) = 0;
};

// Provider subtypes the probe tells apart.
inline constexpr std::uint32_t kSubTypeRs232 = 1;
inline constexpr std::uint32_t kSubTypeModem = 6;
