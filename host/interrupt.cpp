// The SIGINT handler behind InterruptGuard.
#include "interrupt.h"

#include <csignal>

namespace reelhost {
namespace {

volatile std::sig_atomic_t gInterrupted = 0;
struct sigaction gPrevious {};

extern "C" void NoteInterrupt(int) {
    gInterrupted = 1;
}

} // namespace

InterruptGuard::InterruptGuard() {
    gInterrupted = 0;
    struct sigaction action {};
    action.sa_handler = NoteInterrupt;
    action.sa_flags = SA_RESETHAND; // the second Ctrl-C gets the default: end at once
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &gPrevious);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &gPrevious, nullptr);
}

bool InterruptGuard::Requested() {
    return gInterrupted != 0;
}

} // namespace reelhost
