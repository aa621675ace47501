// Serving a line front on a pseudo-terminal: the people's way to run the
// simulator (`sitesim --pty`). A pseudo-terminal has no modem lines, so the
// lines a front sets are only traced.
#pragma once

#include "LineFront.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

namespace sim {

class TPty {
public:
    // Throws ESimError when no pseudo-terminal can be had.
    TPty();
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    int Master() const { return master_; }
    // The path a program opens, e.g. /dev/pts/7.
    const std::string& Path() const { return path_; }

private:
    int master_ = -1;
    // Held open so that the master does not read as hung up between two
    // programs using the line, and so the terminal stays in raw mode.
    int slave_ = -1;
    std::string path_;
};

class TFdLine : public ISimLine {
public:
    TFdLine(int fd, TTrace trace) : fd_(fd), trace_(std::move(trace)) {}
    void Write(const Bytes& bytes) override;
    void SetModemLines(std::uint8_t status) override;
    void SetNow(Millis now) { now_ = now; }

private:
    int fd_;
    TTrace trace_;
    Millis now_{0};
};

// Reads the program's bytes from `fd` and lets time pass for the front
// until `stop` is set. Returns 0, or 1 after a read error.
int Serve(TLineFront& front, TFdLine& line, int fd, const std::atomic<bool>& stop);

} // namespace sim
