// Ctrl-C during a render: asks the render to stop after the current frame.
#pragma once

namespace reelhost {

// While alive, the first SIGINT only sets a flag; a second one ends the program as usual,
// for a user who does not want to wait. The previous handling comes back on destruction.
class InterruptGuard {
  public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    static bool Requested();
};

} // namespace reelhost
