// How many threads this process has, as the system lists them, and a machine of a chosen size.
#pragma once

#include "MacTypes.h"
#include "PlatformTestHooks.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The threads of this process that are not ending. A thread that has run its last instruction
// (so that joining it returns) is still listed for a moment while the system tears it down,
// marked as exiting in its flags (PF_EXITING, 0x4, in field 9 of its stat line: proc(5)).
inline int ProcessThreads() {
    constexpr unsigned long kExiting = 0x4;
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream stat(task.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue; // gone meanwhile
        // The fields after the command name, which is in parentheses and may hold any byte.
        std::istringstream fields(line.substr(line.rfind(')') + 1));
        std::string state;
        long parent, group, session, terminal, terminalGroup;
        unsigned long flags = 0;
        if (fields >> state >> parent >> group >> session >> terminal >> terminalGroup >> flags &&
            !(flags & kExiting))
            ++count;
    }
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
