// How many threads this process has, as the system counts them, and a machine of a chosen size.
#pragma once

#include "MacTypes.h"
#include "PlatformTestHooks.h"

#include <filesystem>

inline int ProcessThreads() {
    int count = 0;
    for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

// For its life, the platform counts `count` processors, so that worker sets start the same
// helpers on any machine (one per further processor, at most three, for an owner's set).
class PretendProcessors {
  public:
    explicit PretendProcessors(UInt32 count) : before_(MPTestSetProcessors(count)) {}
    ~PretendProcessors() { MPTestSetProcessors(before_); }
    PretendProcessors(const PretendProcessors&) = delete;
    PretendProcessors& operator=(const PretendProcessors&) = delete;

  private:
    UInt32 before_;
};
