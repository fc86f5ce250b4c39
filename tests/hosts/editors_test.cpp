// The effect as video editors render it: a Kdenlive project and a Shotcut project with keyframes,
// each written the way that editor writes its file and rendered by melt; what MLT's sliced
// rendering makes of the region; and a GStreamer Editing Services timeline. Every frame is held
// against the effect's formula for the values the editor asks for at that frame.
#include "editorprojects.h"
#include "hostruns.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace frei0rtest;
using namespace hosttest;
using namespace editortest;

namespace {

using ProjectWriter = std::string (*)(const std::string&, int, int, int, const Animated&);

struct ProjectCase {
    const char* name;
    ProjectWriter write;
    const char* file;
    int width, height, frames;
    Animated animated;
};

void PrintTo(const ProjectCase& c, std::ostream* os) {
    *os << c.name;
}

class EditorProject : public testing::TestWithParam<ProjectCase> {};

// The editors lay the clip over black, so its frames are opaque: the blend then keeps them as
// they are, and what differs is the effect's alone.
TEST_P(EditorProject, RendersEveryFrameWithTheValuesItsKeyframesGiveThatFrame) {
    const ProjectCase& c = GetParam();
    Workdir dir;
    const std::vector<uint8_t> clip = WriteMltClip(dir, c.width, c.height, c.frames, Alpha::Opaque);
    std::ofstream(dir / c.file) << c.write(dir / "in.mkv", c.width, c.height, c.frames, c.animated);
    ASSERT_TRUE(RunHost(dir, "melt -quiet '" + (dir / c.file) + "' " + MeltRawOutput(dir)));
    const std::vector<uint8_t> got = ReadFile(dir / "out.raw");
    ASSERT_EQ(got.size(), clip.size());
    const std::vector<uint8_t> want = ExpectedClip(
        clip, c.width, c.height, [&](int frame) { return SettingAt(c.animated, frame); });
    const size_t frameBytes = size_t(c.width) * c.height * 4;
    for (int f = 0; f < c.frames; ++f) {
        const long at = long(f * frameBytes);
        EXPECT_TRUE(
            std::equal(want.begin() + at, want.begin() + at + long(frameBytes), got.begin() + at))
            << "frame " << f;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Editors, EditorProject,
    testing::Values(
        // Kdenlive keyframes the left edge and the gain (shown as 10 % to 50 %, 30 to 90).
        ProjectCase{"KdenliveLeftAndGain",
                    KdenliveProject,
                    "project.kdenlive",
                    70,
                    44,
                    8,
                    {{{0, 0.1}, {5, 0.5}},
                     {{0, 0.2}},
                     {{0, 0.9}},
                     {{0, 0.8}},
                     {{0, 0.3}, {7, 0.9}},
                     {{0, 0.55}}}},
        // Shotcut moves and grows the region by its four edges at once, then holds it and jumps
        // to the whole frame; the gain rises throughout, the offset stays.
        ProjectCase{"ShotcutRegionGangAndGain",
                    ShotcutProject,
                    "project.mlt",
                    70,
                    44,
                    8,
                    {{{0, 0.1}, {4, 0.4, true}, {6, 0}},
                     {{0, 0.1}, {4, 0.3, true}, {6, 0}},
                     {{0, 0.5}, {4, 0.95, true}, {6, 1}},
                     {{0, 0.5}, {4, 0.9, true}, {6, 1}},
                     {{0, 0.2}, {7, 0.8}},
                     {{0, 0.6}}}}),
    [](const testing::TestParamInfo<ProjectCase>& info) { return std::string(info.param.name); });

// MLT renders a frei0r filter in horizontal bands when its `threads` property is set: `threads`
// bands, or with 0 one per slice thread (MLT_SLICES_COUNT, else the processors), fewer until
// the height divides evenly. Each band reaches the plug-in as a frame of its own, so a region
// given as fractions of the frame lands in every band. None of our editor files sets `threads`.
struct SliceCase {
    const char* name;
    int height;
    const char* threads; // the filter's property
    int sliceThreads;    // MLT_SLICES_COUNT
    int bands;           // as worked out by hand from the rule above
};

void PrintTo(const SliceCase& c, std::ostream* os) {
    *os << c.name;
}

// Each band of the frame as its own frame under the same setting.
std::vector<uint8_t> BandedExpected(const std::vector<uint8_t>& frame, int width, int height,
                                    int bands, const Setting& s) {
    const int bandRows = height / bands;
    const size_t bandBytes = size_t(width) * bandRows * 4;
    std::vector<uint8_t> out;
    for (int b = 0; b < bands; ++b) {
        const std::vector<uint8_t> band(frame.begin() + long(b * bandBytes),
                                        frame.begin() + long((b + 1) * bandBytes));
        const std::vector<uint8_t> done = Expected(band, width, bandRows, s);
        out.insert(out.end(), done.begin(), done.end());
    }
    return out;
}

class MeltSlicing : public testing::TestWithParam<SliceCase> {};

TEST_P(MeltSlicing, PutsTheRegionIntoEveryBand) {
    const SliceCase& c = GetParam();
    constexpr int kWidth = 48;
    const Setting s{0.25, 0.25, 0.75, 0.75, 80, 70};
    Workdir dir;
    const std::vector<uint8_t> clip = WriteMltClip(dir, kWidth, c.height);
    ASSERT_TRUE(
        RunHost(dir, "env MLT_SLICES_COUNT=" + std::to_string(c.sliceThreads) + " melt -quiet '" +
                         (dir / "in.mkv") + "' -filter frei0r.glimmerdusk Left=" + Number(s.left) +
                         " Top=" + Number(s.top) + " Right=" + Number(s.right) +
                         " Bottom=" + Number(s.bottom) + " Gain=" + Number(s.Gain()) + " Offset=" +
                         Number(s.Offset()) + " threads=" + c.threads + " " + MeltRawOutput(dir)));
    const std::vector<uint8_t> got = ReadFile(dir / "out.raw");
    ASSERT_EQ(got.size(), clip.size());
    const size_t frameBytes = size_t(kWidth) * c.height * 4;
    for (size_t at = 0; at < clip.size(); at += frameBytes) {
        const std::vector<uint8_t> frame(clip.begin() + long(at),
                                         clip.begin() + long(at + frameBytes));
        EXPECT_TRUE(std::equal(got.begin() + long(at), got.begin() + long(at + frameBytes),
                               BandedExpected(frame, kWidth, c.height, c.bands, s).begin()))
            << "frame " << at / frameBytes;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Threads, MeltSlicing,
    testing::Values(
        // 240 rows in two bands: rows 30 to 89 and 150 to 209 change instead of 60 to 179.
        SliceCase{"AutomaticOnTwoSliceThreads", 240, "0", 2, 2},
        SliceCase{"ThreeOfFourSliceThreads", 90, "3", 4, 3},
        // 50 rows do not divide by 3, so MLT takes 2 bands of 25.
        SliceCase{"HeightNotDivisible", 50, "0", 3, 2},
        // One band is the whole frame: the region is where it belongs.
        SliceCase{"OneThreadIsTheWholeFrame", 60, "1", 4, 1}),
    [](const testing::TestParamInfo<SliceCase>& info) { return std::string(info.param.name); });

// A GES timeline (what Pitivi builds on) with the effect on a clip, rendered to PNG frames in a
// QuickTime file. GES lays every clip over black, so the frames are opaque.
TEST(GesTimeline, AClipWithTheEffectRendersExactlyTheRegion) {
    constexpr int kWidth = 64, kHeight = 36, kUsed = 4;
    const Setting s{0.2, 0.3, 0.7, 0.9, 75, 35};
    Workdir dir;
    // One frame more than the timeline uses: GES leaves out a clip's last frame.
    const std::vector<uint8_t> clip =
        WriteClip(dir / "in.raw", kWidth, kHeight, kUsed + 1, Alpha::Opaque);
    ASSERT_TRUE(RunHost(dir, std::string(kFfmpeg) + " " +
                                 RawInput(dir / "in.raw", kWidth, kHeight) + " -c:v png '" +
                                 (dir / "in.mov") + "'"));
    ASSERT_TRUE(RunHost(
        dir, "ges-launch-1.0 --no-interactive --track-types=video --video-caps "
             "'video/x-raw,width=" +
                 std::to_string(kWidth) + ",height=" + std::to_string(kHeight) +
                 ",framerate=25/1' +clip 'file://" + (dir / "in.mov") + "' duration=" +
                 Number((kUsed + 0.5) / kFps) + " +effect frei0r-filter-glimmerdusk set-left " +
                 Number(s.left) + " set-top " + Number(s.top) + " set-right " + Number(s.right) +
                 " set-bottom " + Number(s.bottom) + " set-gain " + Number(s.Gain()) +
                 " set-offset " + Number(s.Offset()) + " -f video/quicktime:image/png -o 'file://" +
                 (dir / "out.mov") + "'"));
    ASSERT_TRUE(RunHost(dir, std::string(kFfmpeg) + " -i '" + (dir / "out.mov") + "' " +
                                 kRawOutput + " '" + (dir / "out.raw") + "'"));
    const std::vector<uint8_t> used(clip.begin(),
                                    clip.begin() + long(size_t(kWidth) * kHeight * 4 * kUsed));
    EXPECT_EQ(ReadFile(dir / "out.raw"), ExpectedClip(used, kWidth, kHeight, s));
}

} // namespace
