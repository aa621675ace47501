#include "PosixSerial.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

struct TBaudCode {
    std::uint32_t baud;
    speed_t code;
};
constexpr TBaudCode kBauds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedCode(std::uint32_t baud, speed_t& code) {
    for (const auto& b : kBauds)
        if (b.baud == baud) {
            code = b.code;
            return true;
        }
    return false;
}

std::uint32_t SpeedBaud(speed_t code) {
    for (const auto& b : kBauds)
        if (b.code == code) return b.baud;
    return 0;
}

void SetError(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
}

timespec Until(TTimePoint deadline) {
    const auto left = std::max(deadline - TSteadyClock::now(), TSteadyClock::duration::zero());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

} // namespace

std::unique_ptr<TPosixSerialDevice> TPosixSerialDevice::Open(const std::string& path,
                                                             std::string* error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "open " + path);
        return nullptr;
    }
    termios original{};
    if (::tcgetattr(fd, &original) != 0) {
        SetError(error, path + " is not a terminal");
        ::close(fd);
        return nullptr;
    }
    // flock keeps out another instance even where TIOCEXCL does not (root
    // may reopen an exclusive tty).
    if (::ioctl(fd, TIOCEXCL) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        SetError(error, path + " is in use");
        ::close(fd);
        return nullptr;
    }
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        SetError(error, "eventfd");
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return nullptr;
    }
    termios raw = original;
    ::cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &raw);
    return std::unique_ptr<TPosixSerialDevice>(new TPosixSerialDevice(fd, wakeFd, original));
}

TPosixSerialDevice::TPosixSerialDevice(int fd, int wakeFd, const termios& original)
    : fd_(fd), wakeFd_(wakeFd), original_(original) {}

TPosixSerialDevice::~TPosixSerialDevice() {
    ::tcsetattr(fd_, TCSANOW, &original_);
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    ::close(wakeFd_);
}

bool TPosixSerialDevice::GetSettings(TLineSettings& out) {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return false;
    out.baud = SpeedBaud(::cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
    case CS5:
        out.dataBits = 5;
        break;
    case CS6:
        out.dataBits = 6;
        break;
    case CS7:
        out.dataBits = 7;
        break;
    default:
        out.dataBits = 8;
        break;
    }
    if (!(t.c_cflag & PARENB))
        out.parity = TParity::None;
    else if (t.c_cflag & CMSPAR)
        out.parity = (t.c_cflag & PARODD) ? TParity::Mark : TParity::Space;
    else
        out.parity = (t.c_cflag & PARODD) ? TParity::Odd : TParity::Even;
    out.stopBits = (t.c_cflag & CSTOPB) ? TStopBits::Two : TStopBits::One;
    return true;
}

bool TPosixSerialDevice::SetSettings(const TLineSettings& s) {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return false;
    bool all = true;
    speed_t code{};
    if (SpeedCode(s.baud, code)) {
        ::cfsetispeed(&t, code);
        ::cfsetospeed(&t, code);
    } else {
        all = false; // the previous rate stays, as a driver refusing it would
    }
    tcflag_t size = CS8;
    switch (s.dataBits) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        all = false;
        break; // termios has no 4-bit characters
    }
    t.c_cflag = (t.c_cflag & ~CSIZE) | size;
    t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (s.parity) {
    case TParity::None:
        break;
    case TParity::Odd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case TParity::Even:
        t.c_cflag |= PARENB;
        break;
    case TParity::Mark:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case TParity::Space:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    }
    // termios knows one or two stop bits; one and a half is two on a UART.
    if (s.stopBits == TStopBits::One)
        t.c_cflag &= ~CSTOPB;
    else
        t.c_cflag |= CSTOPB;
    return ::tcsetattr(fd_, TCSANOW, &t) == 0 && all;
}

bool TPosixSerialDevice::SetModemLine(int bit, bool on) {
    return ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

bool TPosixSerialDevice::SetRts(bool on) {
    return SetModemLine(TIOCM_RTS, on);
}
bool TPosixSerialDevice::SetDtr(bool on) {
    return SetModemLine(TIOCM_DTR, on);
}

std::uint8_t TPosixSerialDevice::ModemStatus() {
    int bits = 0;
    if (::ioctl(fd_, TIOCMGET, &bits) != 0) return 0;
    std::uint8_t s = 0;
    if (bits & TIOCM_CTS) s |= kStatusCts;
    if (bits & TIOCM_DSR) s |= kStatusDsr;
    if (bits & TIOCM_RI) s |= kStatusRi;
    if (bits & TIOCM_CD) s |= kStatusDcd;
    return s;
}

std::size_t TPosixSerialDevice::BytesWaiting() {
    int n = 0;
    if (::ioctl(fd_, FIONREAD, &n) != 0 || n < 0) return 0;
    return static_cast<std::size_t>(n);
}

long TPosixSerialDevice::Read(std::uint8_t* buf, std::size_t n) {
    if (n == 0) return 0;
    const TTimePoint deadline = TSteadyClock::now() + readTimeout_;
    for (;;) {
        const ssize_t r = ::read(fd_, buf, n);
        if (r >= 0) return static_cast<long>(r);
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return -1;
        const TWaitResult w = Poll(POLLIN, deadline);
        if (w == TWaitResult::Failed) return -1;
        if (w != TWaitResult::Readable) return 0;
    }
}

bool TPosixSerialDevice::WriteAll(const std::uint8_t* p, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::write(fd_, p + done, n - done);
        if (r > 0) {
            done += static_cast<std::size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN) return false;
        // The driver's buffer is full: wait for room, but not for ever on
        // a line that has stopped taking bytes (flow control held off).
        pollfd pfd{fd_, POLLOUT, 0};
        const int k = ::poll(&pfd, 1, 2000);
        if (k <= 0 || (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
    }
    return true;
}

void TPosixSerialDevice::Drain() {
    ::tcdrain(fd_);
}

void TPosixSerialDevice::Purge(bool transmit, bool receive) {
    if (transmit) ::tcflush(fd_, TCOFLUSH);
    if (receive) ::tcflush(fd_, TCIFLUSH);
}

TWaitResult TPosixSerialDevice::Poll(short events, TTimePoint deadline) {
    pollfd fds[2] = {{fd_, events, 0}, {wakeFd_, POLLIN, 0}};
    for (;;) {
        const timespec left = Until(deadline);
        const int k = ::ppoll(fds, 2, &left, nullptr);
        if (k < 0 && errno == EINTR) continue;
        if (k < 0) return TWaitResult::Failed;
        if (k == 0) return TWaitResult::TimedOut;
        if (fds[1].revents & POLLIN) {
            std::uint64_t v = 0;
            [[maybe_unused]] const auto r = ::read(wakeFd_, &v, sizeof v);
            return TWaitResult::Woken;
        }
        // A hung-up line may also report readable with nothing to read;
        // calling that readable would have the caller spin.
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return TWaitResult::Failed;
        if (fds[0].revents & events) return TWaitResult::Readable;
    }
}

TWaitResult TPosixSerialDevice::WaitReadable(TTimePoint deadline) {
    return Poll(POLLIN, deadline);
}

void TPosixSerialDevice::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto r = ::write(wakeFd_, &one, sizeof one);
}

std::unique_ptr<ISerialDevice> TPosixSerialProvider::Open(const std::string& portName) {
    const std::string path = paths_.PathFor(portName);
    if (path.empty()) return nullptr;
    auto device = TPosixSerialDevice::Open(path);
    if (device && (path.rfind("/dev/ttyACM", 0) == 0 || paths_.IsModem(portName)))
        device->SetProviderSubType(kSubTypeModem);
    return device;
}
