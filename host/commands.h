// reelhost's commands, from parsed arguments to an exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace reelhost {

enum ExitStatus : int {
    kExitOK = 0,
    kExitFailed = 1,        // a file, the bundle or the plug-in failed; the message says which
    kExitUsage = 2,         // the command line cannot be acted on
    kExitInterrupted = 130, // Ctrl-C; the output holds the frames finished before it
};

// Runs the command in `args` (without the program's name). Results go to `out`, progress,
// warnings and errors to `err`; answers the exit status.
int RunReelhost(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

} // namespace reelhost
