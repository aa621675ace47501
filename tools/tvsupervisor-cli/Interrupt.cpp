#include "Interrupt.h"

#include <csignal>

namespace {
volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnSignal(int) {
    gInterrupted = 1;
}
} // namespace

void InstallInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // A reader that goes away (| head) is seen as a failed write, so the
    // session is still closed and recorded.
    std::signal(SIGPIPE, SIG_IGN);
}

bool Interrupted() {
    return gInterrupted != 0;
}
