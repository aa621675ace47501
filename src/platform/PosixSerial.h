// A serial device on a POSIX tty through termios. On a pseudo-terminal the
// modem lines read as 0 and cannot be set.
#pragma once

#include "PortPaths.h"
#include "SerialDevice.h"

#include <termios.h>

class TPosixSerialDevice : public ISerialDevice {
public:
    // Opens exclusively (TIOCEXCL and flock) in raw mode; nullptr when the
    // device is missing, not a tty or in use. `error` says why.
    static std::unique_ptr<TPosixSerialDevice> Open(const std::string& path,
                                                    std::string* error = nullptr);
    ~TPosixSerialDevice() override;
    TPosixSerialDevice(const TPosixSerialDevice&) = delete;
    TPosixSerialDevice& operator=(const TPosixSerialDevice&) = delete;

    bool GetSettings(TLineSettings& out) override;
    bool SetSettings(const TLineSettings& s) override;
    bool SetRts(bool on) override;
    bool SetDtr(bool on) override;
    std::uint8_t ModemStatus() override;
    std::size_t BytesWaiting() override;
    void SetReadTimeout(std::chrono::milliseconds t) override { readTimeout_ = t; }
    long Read(std::uint8_t* buf, std::size_t n) override;
    bool WriteAll(const std::uint8_t* p, std::size_t n) override;
    void Drain() override;
    void Purge(bool transmit, bool receive) override;
    TWaitResult WaitReadable(TTimePoint deadline) override;
    void Wake() override;
    std::uint32_t ProviderSubType() const override { return subType_; }
    void SetProviderSubType(std::uint32_t t) { subType_ = t; }

private:
    TPosixSerialDevice(int fd, int wakeFd, const termios& original);
    // Waits for `events` on the tty or the wake-up descriptor.
    TWaitResult Poll(short events, TTimePoint deadline);
    bool SetModemLine(int bit, bool on);

    int fd_;
    int wakeFd_;
    termios original_;
    std::chrono::milliseconds readTimeout_{0};
    std::uint32_t subType_ = kSubTypeRs232;
};

// COMn names to tty paths (PortPaths) and POSIX devices; CDC-ACM devices and
// ports marked as modems report the modem subtype.
class TPosixSerialProvider : public ISerialProvider {
public:
    explicit TPosixSerialProvider(TPortPaths paths) : paths_(std::move(paths)) {}
    std::unique_ptr<ISerialDevice> Open(const std::string& portName) override;

private:
    TPortPaths paths_;
};
