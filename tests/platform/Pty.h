// A real pseudo-terminal for tests of the POSIX device: the kernel's tty
// layer, not a mock. The test holds the master; the device opens the slave.
#pragma once

#include <chrono>
#include <fcntl.h>
#include <stdlib.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

class TTestPty {
public:
    TTestPty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            path_ = ::ptsname(master_);
    }
    ~TTestPty() {
        if (master_ >= 0) ::close(master_);
    }
    TTestPty(const TTestPty&) = delete;
    TTestPty& operator=(const TTestPty&) = delete;

    bool Ok() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    int Master() const { return master_; }
    void Write(const std::string& s) {
        [[maybe_unused]] auto r = ::write(master_, s.data(), s.size());
    }
    // What the device wrote, collected for up to `wait`.
    std::string ReadFor(std::chrono::milliseconds wait, std::size_t want) {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + wait;
        while (out.size() < want && std::chrono::steady_clock::now() < end) {
            char buf[256];
            const auto n = ::read(master_, buf, sizeof buf);
            if (n > 0)
                out.append(buf, static_cast<std::size_t>(n));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return out;
    }

private:
    int master_ = -1;
    std::string path_;
};
