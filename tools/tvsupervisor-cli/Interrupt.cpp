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
}

bool Interrupted() {
    return gInterrupted != 0;
}
