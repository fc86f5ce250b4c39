// Platform-internal: the failure seams' state. Every build of the library has it, but only its
// test variant exports calls that set it (testing/platformseams.cpp): in the shipped library no
// failure is ever asked for.
#pragma once

#include <atomic>

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

// Process-wide, like the calls they fail.
struct FailureSeams {
    FailureCountdown allocation; // NewPtr, NewPtrClear, NewHandleClear, SetHandleSize, images
    FailureCountdown read;       // whole-file reads
    FailureCountdown write;      // whole-file writes
    FailureCountdown writeKill;  // steps of file writes, at which the process kills itself
    std::atomic<unsigned> processors{0}; // what MPProcessors answers; 0: the system's own count
};
FailureSeams& PlatformFailureSeams();

// True when the allocation being made now is the one to fail; shared by memory and images.
inline bool PlatformAllocationShouldFail() {
    return PlatformFailureSeams().allocation.Fires();
}
