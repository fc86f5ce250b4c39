// The stock ffmpeg graph that the render benchmark times reelhost against: it must compute
// exactly the pictures reelhost renders, or the comparison would be of different work.
#include "reelhost_runner.h"
#include "saved_config.h"
#include "stock_graph.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace reelhost {
namespace {

using testing_support::CommandOutput;
using testing_support::DecodeRgba;
using testing_support::ReelhostProcess;
using testing_support::RunResult;
using testing_support::TempDir;

constexpr int kWidth = 64, kHeight = 48, kFrames = 5;

struct GraphCase {
    const char* name;
    stockgraph::Effect effect;
};

class StockGraph : public testing::TestWithParam<GraphCase> {};

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// Where two equal-sized byte strings first differ, for the failure message.
std::string FirstDifference(const std::string& a, const std::string& b) {
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i])
            return "pixel " + std::to_string(i / 4 % kWidth) + "," +
                   std::to_string(i / 4 / kWidth % kHeight) + " of frame " +
                   std::to_string(i / 4 / kWidth / kHeight) + ", channel " + "RGBA"[i % 4] +
                   ": reelhost " + std::to_string(uint8_t(a[i])) + ", ffmpeg " +
                   std::to_string(uint8_t(b[i]));
    return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
}

// On opaque RGB pictures, which both sides take into A,R,G,B exactly: what is compared is the
// effect alone, not two ways of converting YUV.
TEST_P(StockGraph, RendersTheSamePicturesAsReelhostOnALosslessOutput) {
    const stockgraph::Effect& e = GetParam().effect;
    TempDir dir, config;
    testing_support::SaveConfiguration(
        config.Path().string(),
        {{e.left, e.right, e.top, e.bottom}, int16_t(e.gainSlider), int16_t(e.offsetSlider)});
    const std::string clip = dir / "in_%02d.png";
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 5 "
                           "-pix_fmt rgb24 -y " +
                           Quoted(clip))
                              .c_str()),
              0);

    const RunResult run = ReelhostProcess({"render", clip, "-o", dir / "ours_%02d.png", "--quiet"},
                                          config.Path().string(), dir / "reelhost")
                              .Wait();
    ASSERT_EQ(run.status, 0) << run.err;
    // The graph goes in a file: its own quotes are not the shell's.
    const std::string graph = stockgraph::FilterGraph(e, kWidth, kHeight, "rgba");
    std::ofstream(dir / "graph.txt") << graph;
    ASSERT_EQ(std::system(("ffmpeg -v error -i " + Quoted(clip) + " -filter_complex_script " +
                           Quoted(dir / "graph.txt") + " -map '[v]' -y " +
                           Quoted(dir / "theirs_%02d.png"))
                              .c_str()),
              0)
        << graph;

    const std::string ours = DecodeRgba(dir / "ours_%02d.png");
    const std::string theirs = DecodeRgba(dir / "theirs_%02d.png");
    ASSERT_EQ(ours.size(), size_t(kWidth * kHeight * 4 * kFrames));
    EXPECT_TRUE(ours == theirs) << FirstDifference(ours, theirs) << "\n" << graph;
    // The effect changed the picture, so equal outputs are not two untouched copies.
    const std::string plain =
        CommandOutput("ffmpeg -v error -i " + Quoted(clip) + " -f rawvideo -pix_fmt rgba -");
    EXPECT_NE(ours, plain);
}

// Gains above and below one, offsets both ways, results clamped at both ends, regions that
// touch the frame's edges or cover it.
INSTANTIATE_TEST_SUITE_P(
    Effects, StockGraph,
    testing::Values(GraphCase{"BrightenedCentre", {0.2, 0.8, 0.25, 0.75, 70, 60}},
                    GraphCase{"DarkenedLeftHalf", {0.0, 0.5, 0.1, 1.0, 35, 40}},
                    GraphCase{"WholeFrameClampedBothWays", {0.0, 1.0, 0.0, 1.0, 100, 20}},
                    GraphCase{"OddEdges", {0.13, 0.77, 0.31, 0.93, 58, 51}}),
    [](const testing::TestParamInfo<GraphCase>& info) { return info.param.name; });

} // namespace
} // namespace reelhost
