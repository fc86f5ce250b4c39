// reelhost on an input with a file it cannot read: a failure that names the input and leaves
// no output, never a render of the frames before it as if the clip ended there.
#include "frame_writer.h"
#include "reelhost_runner.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace reelhost {
namespace {

namespace fs = std::filesystem;
using testing_support::ReelhostProcess;
using testing_support::RunResult;
using testing_support::TempDir;

// Six grey frames of 16 x 16 as in_000.png to in_005.png; answers the pattern.
std::string WriteSequence(const TempDir& dir) {
    const std::string pattern = dir / "in_%03d.png";
    auto writer = OpenFrameWriter(OutputKind::ImageSequence,
                                  OutputSettings{pattern, 16, 16, {25, 1}, false, {}});
    std::vector<uint8_t> bytes(16 * 16 * 4, 128);
    for (int frame = 0; frame < 6; ++frame)
        writer->Write(PixelView{bytes.data(), 16 * 4, MakeRect(16, 16)}, nullptr);
    writer->Finish();
    return pattern;
}

TEST(UnreadableInput, FailsNamingTheInputAndLeavesNoOutput) {
    TempDir dir, config, logs;
    const std::string pattern = WriteSequence(dir);
    // Reading a folder fails (EISDIR) whoever runs the test: a genuine read error.
    fs::remove(dir / "in_004.png");
    fs::create_directory(dir / "in_004.png");

    const RunResult run = ReelhostProcess({"render", pattern, "-o", dir / "out.mp4", "--quiet"},
                                          config.Path().string(), logs / "reelhost")
                              .Wait();
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("cannot read '" + pattern + "': " + std::strerror(EISDIR)),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename().string().rfind("in_", 0), 0u)
            << "left behind: " << entry.path();
}

} // namespace
} // namespace reelhost
