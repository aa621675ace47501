#include "Pty.h"

#include "SimError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

TPty::TPty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) throw ESimError(std::string("pseudo-terminal: ") + std::strerror(errno));
    const char* name = nullptr;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || (name = ptsname(master_)) == nullptr) {
        const int e = errno;
        ::close(master_);
        throw ESimError(std::string("pseudo-terminal: ") + std::strerror(e));
    }
    path_ = name;
    slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
    if (slave_ >= 0) {
        termios t{};
        if (tcgetattr(slave_, &t) == 0) {
            // Raw from the start: a client that does not set its own mode
            // must not get its bytes echoed back as if the site sent them.
            cfmakeraw(&t);
            tcsetattr(slave_, TCSANOW, &t);
        }
    }
    const int flags = fcntl(master_, F_GETFL);
    if (flags >= 0) fcntl(master_, F_SETFL, flags | O_NONBLOCK);
}

TPty::~TPty() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

void TFdLine::Write(const Bytes& bytes) {
    // A client that stops reading fills the terminal's buffer; after two
    // seconds without progress the rest is dropped, as on a line nobody
    // listens to, so that the simulator itself never hangs.
    int stalled = 0;
    std::size_t done = 0;
    while (done < bytes.size() && stalled < 20) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            stalled = 0;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 100) == 0) ++stalled;
        } else {
            return; // the line is gone; the reader sees it too
        }
    }
}

void TFdLine::SetModemLines(std::uint8_t s) {
    if (!trace_) return;
    std::string t = "lines";
    if (s & kLineCts) t += " CTS";
    if (s & kLineDsr) t += " DSR";
    if (s & kLineRi) t += " RI";
    if (s & kLineDcd) t += " DCD";
    if (s == 0) t += " none";
    trace_(now_, t + " (not carried by a pseudo-terminal)");
}

int Serve(TLineFront& front, TFdLine& line, int fd, const std::atomic<bool>& stop) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto now = [&] { return std::chrono::duration_cast<Millis>(Clock::now() - start); };
    std::uint8_t buf[4096];
    while (!stop.load()) {
        Millis t = now();
        line.SetNow(t);
        front.Advance(t);
        // Wake for the next due output, and at least once a second so the
        // values keep moving while the line is idle.
        int timeout = 1000;
        if (auto due = front.NextDue())
            timeout = static_cast<int>(std::clamp<long long>((*due - t).count(), 0, 1000));
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, timeout);
        if (r < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        if (r == 0) continue;
        if (p.revents & POLLIN) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                t = now();
                line.SetNow(t);
                front.Receive(buf, static_cast<std::size_t>(n), t);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
                return 1;
            }
        } else if (p.revents & (POLLHUP | POLLERR)) {
            // No program has the line open; look again shortly.
            ::usleep(20000);
        }
    }
    return 0;
}

} // namespace sim
