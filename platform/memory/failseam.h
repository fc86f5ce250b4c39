// Platform-internal: the failure seams tests set through PlatformTestHooks.h.
#pragma once

// Counts down to the event a test seam was told to fail: the n-th from when it was set.
class FailureCountdown {
  public:
    // True when the event being made now is the one to fail.
    bool Fires() {
        if (remaining_ <= 0) return false;
        return --remaining_ == 0;
    }
    // Fails the n-th event from now (1 = the next); 0 or less turns it off. Answers how many
    // events the countdown set before was still waiting for.
    long Set(long n) {
        const long waiting = remaining_;
        remaining_ = n > 0 ? n : 0;
        return waiting;
    }

  private:
    long remaining_ = 0;
};

// True when the allocation being made now is the one the test seam was told to fail; shared
// by memory and images.
bool PlatformAllocationShouldFail();
