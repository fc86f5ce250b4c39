// What the effect leaves alone comes out as it went in: renders with the effect neutral, or over
// a region, compared sample by sample with their source, in the pixel formats clips come in.
#include "render_files.h"
#include "sample_planes.h"
#include "saved_config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace reelhost {
namespace {

using testing_support::EffectConfig;
using testing_support::ForEachSample;
using testing_support::PixelBox;
using testing_support::PlanesOf;
using testing_support::Probe;
using testing_support::Region;
using testing_support::RenderFiles;
using testing_support::RunResult;
using testing_support::SamplePair;
using testing_support::Samples;

// "@" in a command stands for the temporary folder.
std::string InFolder(std::string command, const std::string& folder) {
    for (size_t at = command.find('@'); at != std::string::npos; at = command.find('@', at))
        command.replace(at, 1, folder + "/");
    return command;
}

long Differences(const std::string& a, const std::string& b) {
    long count = std::abs(long(a.size()) - long(b.size()));
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        count += a[i] != b[i];
    return count;
}

// ---- Neutral renders: every sample -------------------------------------------------------------

struct SourceCase {
    const char* name;
    const char* make;        // the ffmpeg program's arguments that write the source
    const char* input;       // the source's name in the temporary folder
    const char* pixelFormat; // the format both are compared in
};

class NeutralRenders : public RenderFiles, public testing::WithParamInterface<SourceCase> {};

// With nothing saved the effect is neutral: a lossless render must give back its source's
// samples, however far they lie outside what 8-bit A,R,G,B pixels can hold.
TEST_P(NeutralRenders, GiveBackEverySampleOfTheirSource) {
    const SourceCase& c = GetParam();
    Make(InFolder(c.make, dir_.Path().string()));
    const std::string input = dir_ / c.input, output = dir_ / "out.mkv";
    const RunResult run = Render({input, "-o", output, "--codec", "ffv1", "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string in = Samples(input, c.pixelFormat);
    ASSERT_FALSE(in.empty());
    EXPECT_EQ(Differences(in, Samples(output, c.pixelFormat)), 0);
}

// Small clips with film grain, so that every colour is near another one.
INSTANTIATE_TEST_SUITE_P(
    Sources, NeutralRenders,
    testing::Values(
        SourceCase{
            "EightBit420OddSize",
            "-f lavfi -i testsrc2=size=34x18 -frames:v 4 -vf scale=33:17,noise=alls=20:allf=t "
            "-pix_fmt yuv420p -c:v ffv1 @in.mkv",
            "in.mkv", "yuv420p"},
        SourceCase{"TenBit422WithGrain",
                   "-f lavfi -i testsrc2=size=40x24 -frames:v 4 -vf noise=alls=30:allf=t "
                   "-pix_fmt yuv422p10le -c:v ffv1 @in.mkv",
                   "in.mkv", "yuv422p10le"},
        SourceCase{"TwelveBit444FullRange709",
                   "-f lavfi -i testsrc2=size=40x24 -frames:v 4 -vf noise=alls=30:allf=t "
                   "-pix_fmt yuv444p12le -color_range pc -colorspace bt709 -c:v ffv1 @in.mkv",
                   "in.mkv", "yuv444p12le"},
        SourceCase{"SixteenBit420",
                   "-f lavfi -i testsrc2=size=40x24 -frames:v 3 -vf noise=alls=30:allf=t "
                   "-pix_fmt yuv420p16le -c:v ffv1 @in.mkv",
                   "in.mkv", "yuv420p16le"},
        SourceCase{"FourTwoZeroWithAlpha",
                   "-f lavfi -i testsrc2=size=40x24 -frames:v 3 -vf \"noise=alls=30:allf=t,"
                   "format=yuva420p,geq=lum='p(X,Y)':cb='p(X,Y)':cr='p(X,Y)':a='7*X+3*Y+N'\" "
                   "-c:v ffv1 @in.mkv",
                   "in.mkv", "yuva420p"},
        // Stored as FFV1 cannot store it: the output holds the same samples in planes.
        SourceCase{"PackedFourTwoTwo",
                   "-f lavfi -i testsrc2=size=40x24 -frames:v 3 -vf noise=alls=30:allf=t "
                   "-pix_fmt yuyv422 -c:v rawvideo @in.nut",
                   "in.nut", "yuyv422"},
        // 16 bits a channel: twice what the plug-in's pixels hold.
        SourceCase{"SixteenBitRgbPngSequence",
                   "-f lavfi -i testsrc2=size=33x17 -frames:v 3 -vf noise=alls=30:allf=t "
                   "-pix_fmt rgb48be @in_%02d.png",
                   "in_%02d.png", "rgb48be"}),
    [](const testing::TestParamInfo<SourceCase>& info) { return info.param.name; });

// ---- Renders over a region: every sample outside it --------------------------------------------

// Which frames the plug-in renders, and which of them it renders at full strength (no fade).
struct Frames {
    int first, end;
    int fullFirst, fullEnd;
};

struct Tally {
    long outsideDiffer = 0; // samples wholly outside the region, or of frames it does not render
    long insideDiffer = 0;  // samples wholly inside the region, at full strength
    long inside = 0;
};

Tally Compare(const std::string& in, const std::string& out, const std::string& format, int width,
              int height, const PixelBox& region, const Frames& frames) {
    Tally tally;
    ForEachSample(in, out, PlanesOf(format, width, height), width, height,
                  [&](const SamplePair& s) {
                      const bool rendered = s.frame >= frames.first && s.frame < frames.end;
                      const bool full = s.frame >= frames.fullFirst && s.frame < frames.fullEnd;
                      if (region.Misses(s.covers) || !rendered) tally.outsideDiffer += s.a != s.b;
                      if (region.Covers(s.covers) && full) {
                          tally.insideDiffer += s.a != s.b;
                          ++tally.inside;
                      }
                  });
    return tally;
}

struct RegionCase {
    const char* name;
    const char* make; // writes @in.mkv
    const char* pixelFormat;
    int width, height;
    Region region;
    PixelBox box; // the region in pixels: each edge the fraction of the side, truncated
    std::vector<std::string> options;
    Frames frames;
};

class RegionRenders : public RenderFiles, public testing::WithParamInterface<RegionCase> {};

TEST_P(RegionRenders, KeepEverySampleOutsideTheRegionAndChangeTheInside) {
    const RegionCase& c = GetParam();
    testing_support::SaveConfiguration(config_.Path().string(), EffectConfig{c.region, 80, 60});
    Make(InFolder(c.make, dir_.Path().string()));
    const std::string input = dir_ / "in.mkv", output = dir_ / "out.mkv";
    std::vector<std::string> args{input, "-o", output, "--codec", "ffv1", "--quiet"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult run = Render(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string in = Samples(input, c.pixelFormat), out = Samples(output, c.pixelFormat);
    ASSERT_FALSE(in.empty());
    ASSERT_EQ(in.size(), out.size());
    const Tally tally = Compare(in, out, c.pixelFormat, c.width, c.height, c.box, c.frames);
    EXPECT_EQ(tally.outsideDiffer, 0);
    ASSERT_GT(tally.inside, 0);
    EXPECT_GT(double(tally.insideDiffer) / double(tally.inside), 0.8); // the effect was rendered
}

constexpr const char* kGrain420 =
    "-f lavfi -i testsrc2=size=34x18 -frames:v 6 -vf "
    "scale=%s,noise=alls=20:allf=t -pix_fmt yuv420p -c:v ffv1 @in.mkv";

std::string Grain420(const char* size) {
    char command[256];
    std::snprintf(command, sizeof command, kGrain420, size);
    return command;
}

const std::string kEven420 = Grain420("34:18");
const std::string kOdd420 = Grain420("33:17");

INSTANTIATE_TEST_SUITE_P(
    Regions, RegionRenders,
    testing::Values(
        // Its left edge, column 17, splits the colour samples of columns 16 and 17.
        RegionCase{"EdgeSplitsAColourPair",
                   kEven420.c_str(),
                   "yuv420p",
                   34,
                   18,
                   Region{0.5, 1, 0.25, 0.75},
                   PixelBox{17, 4, 34, 13},
                   {},
                   Frames{0, 6, 0, 6}},
        // The last column and row of an odd size, alone in their colour samples.
        RegionCase{"ReachesTheOddLastColumnAndRow",
                   kOdd420.c_str(),
                   "yuv420p",
                   33,
                   17,
                   Region{0.5, 1, 0.5, 1},
                   PixelBox{16, 8, 33, 17},
                   {},
                   Frames{0, 6, 0, 6}},
        // Fading in over frames 0 to 2 and out over frame 5: the blend leaves the outside as it
        // was.
        RegionCase{"FadeFrames",
                   kEven420.c_str(),
                   "yuv420p",
                   34,
                   18,
                   Region{0.25, 0.75, 0, 0.5},
                   PixelBox{8, 0, 25, 9},
                   {"--fade-in", "3", "--fade-out", "2"},
                   Frames{0, 6, 3, 5}},
        // The whole picture, but only frames 2 to 4: the others are written as decoded.
        RegionCase{"FramesBeforeAndAfterTheEffect",
                   "-f lavfi -i testsrc2=size=40x24 -frames:v 7 -vf noise=alls=30:allf=t "
                   "-pix_fmt yuv422p10le -c:v ffv1 @in.mkv",
                   "yuv422p10le",
                   40,
                   24,
                   Region{0, 1, 0, 1},
                   PixelBox{0, 0, 40, 24},
                   {"--start", "2", "--frames", "3"},
                   Frames{2, 5, 2, 5}}),
    [](const testing::TestParamInfo<RegionCase>& info) { return info.param.name; });

// ---- Sizes the output cannot hold --------------------------------------------------------------

class OddSizes : public RenderFiles {};

// H.264 in 4:2:0 holds only even sides: the last column and row go, and the user is told; a
// lossless output keeps every pixel.
TEST_F(OddSizes, AreCutToEvenOnlyWhereTheCodecNeedsItAndTheUserIsTold) {
    Make(InFolder(Grain420("33:17"), dir_.Path().string()));
    const RunResult h264 = Render({dir_ / "in.mkv", "-o", dir_ / "out.mp4", "--quiet"});
    ASSERT_EQ(h264.status, 0) << h264.err;
    EXPECT_EQ(Probe(dir_ / "out.mp4", "v", "width,height"), "width=32\nheight=16\n");
    EXPECT_NE(h264.err.find("32 x 16, without the last column and row of the 33 x 17 pictures"),
              std::string::npos)
        << h264.err;
    const RunResult lossless =
        Render({dir_ / "in.mkv", "-o", dir_ / "out.mkv", "--codec", "ffv1", "--quiet"});
    ASSERT_EQ(lossless.status, 0) << lossless.err;
    EXPECT_EQ(Probe(dir_ / "out.mkv", "v", "width,height"), "width=33\nheight=17\n");
    EXPECT_EQ(lossless.err, "");
}

} // namespace
} // namespace reelhost
