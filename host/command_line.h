// The reelhost command line: commands, options and their checks.
#pragma once

#include "frame_writer.h"
#include "host_session.h"

#include <optional>
#include <string>
#include <vector>

namespace reelhost {

enum class Command { Help, Info, Render, Thumbnail, Configure };

struct CommandLine {
    Command command = Command::Help;
    std::string input;  // empty: the built-in demo clip
    std::string output; // render and thumbnail
    std::string bundle; // empty: the bundle beside the program
    HostSettings settings;
    int32_t start = 0;                 // first frame the effect covers
    std::optional<int32_t> frames;     // frames it covers; unset: to the end of the clip
    int32_t at = 0;                    // thumbnail and configure: the frame shown
    const VideoCodec* codec = nullptr; // render to video: what it is written as; null: the default
    bool proxy = false;
    bool quiet = false;
};

// Parses the arguments after the program's name. Throws UsageError naming the offending
// argument; values that need the clip (frame ranges) are checked once it is open.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The help text, for --help and after a usage error.
std::string UsageText();

} // namespace reelhost
