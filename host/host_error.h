// The error every host step throws for a failure the user must hear about.
#pragma once

#include <stdexcept>
#include <string>

namespace reelhost {

// Carries a complete message naming the file, frame or request that failed; the command
// layer prints it and exits non-zero.
class HostError : public std::runtime_error {
  public:
    explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace reelhost

namespace reelhost {

// A command line the host cannot act on; the command layer adds a pointer to the usage.
class UsageError : public HostError {
  public:
    using HostError::HostError;
};

} // namespace reelhost
