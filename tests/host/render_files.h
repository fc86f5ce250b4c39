// Renders with the reelhost program over clips made by the ffmpeg program, in a temporary folder
// with preferences of its own, and reads back what came out.
#pragma once

#include "reelhost_runner.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace reelhost::testing_support {

inline std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// "key=value" lines of ffprobe about a file's first stream of `kind` (v or a).
inline std::string Probe(const std::string& path, const char* kind, const std::string& entries) {
    return CommandOutput("ffprobe -v error -select_streams " + std::string(kind) +
                         ":0 -show_entries stream=" + entries + " -of default=nw=1 " +
                         Quoted(path));
}

// Every sample of every frame of a file as its decoder hands them out, in `pixelFormat` (an
// FFmpeg name), or in the file's own format when none is named.
inline std::string Samples(const std::string& path, const std::string& pixelFormat = "") {
    return CommandOutput("ffmpeg -v error -i " + Quoted(path) + " -f rawvideo " +
                         (pixelFormat.empty() ? "" : "-pix_fmt " + pixelFormat + " ") + "-");
}

class RenderFiles : public testing::Test {
  protected:
    RunResult Render(const std::vector<std::string>& args) {
        std::vector<std::string> all{"render"};
        all.insert(all.end(), args.begin(), args.end());
        return ReelhostProcess(all, config_.Path().string(), dir_ / "reelhost").Wait();
    }
    // Runs the ffmpeg program with these arguments.
    void Make(const std::string& command) {
        ASSERT_EQ(std::system(("ffmpeg -v error -y " + command).c_str()), 0) << command;
    }

    TempDir dir_, config_;
};

} // namespace reelhost::testing_support
