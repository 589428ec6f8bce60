#include "app/cli/Interrupt.h"

#include <csignal>

namespace brindle::cli {

namespace {
volatile std::sig_atomic_t Caught = 0;
// Only an async-signal-safe store happens here.
void onSignal(int Signal) {
    Caught = Signal;
}

struct sigaction PreviousInt {};
struct sigaction PreviousTerm {};
} // namespace

InterruptGuard::InterruptGuard() {
    Caught = 0;
    struct sigaction Action {};
    Action.sa_handler = onSignal;
    sigemptyset(&Action.sa_mask);
    sigaction(SIGINT, &Action, &PreviousInt);
    sigaction(SIGTERM, &Action, &PreviousTerm);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &PreviousInt, nullptr);
    sigaction(SIGTERM, &PreviousTerm, nullptr);
}

int InterruptSignal() {
    return Caught;
}

int InterruptExitCode() {
    return 128 + Caught;
}

} // namespace brindle::cli
