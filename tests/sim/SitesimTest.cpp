// The sitesim program as a person runs it: it prints the path of its
// pseudo-terminal, serves the site there and stops cleanly on Ctrl-C.
#include "SimHarness.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace simtest;

extern char** environ;

namespace {

// Reads until `n` checked frames have arrived or ten seconds have passed.
std::vector<sim::TFrame> ReadFrames(int fd, std::size_t n) {
    Bytes got;
    std::vector<sim::TFrame> frames;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (frames.size() < n && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        std::uint8_t buf[512];
        const ssize_t k = ::read(fd, buf, sizeof buf);
        if (k <= 0) continue;
        got.insert(got.end(), buf, buf + k);
        frames.clear();
        sim::TFrameCollector c;
        for (const auto& raw : c.Feed(got.data(), got.size()))
            if (auto f = sim::DecodeFrame(raw)) frames.push_back(*f);
    }
    return frames;
}

// Stops the child on every way out of the test, failed assertions included.
struct TChild {
    pid_t pid = 0;
    ~TChild() {
        if (pid <= 0) return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

} // namespace

TEST(Sitesim, ServesThePrintedPseudoTerminalUntilInterrupted) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char* argv[] = {const_cast<char*>(TVS_SITESIM), const_cast<char*>("--pty"), nullptr};
    TChild child;
    ASSERT_EQ(posix_spawn(&child.pid, TVS_SITESIM, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);

    std::string path;
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        path += c;
    ::close(out[0]);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    Bytes request = Request(0, sim::opPoll);
    const Bytes eot = EndOfTurn();
    request.insert(request.end(), eot.begin(), eot.end());
    ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    const auto f = ReadFrames(fd, 5);
    ::close(fd);
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0].opcode, sim::opPresent);
    EXPECT_EQ(f[4].opcode, sim::opEndOfTurn);

    ::kill(child.pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child.pid, &status, 0), child.pid);
    child.pid = 0;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
