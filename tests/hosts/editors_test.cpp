// The effect as video editors render it: a Kdenlive project and a Shotcut project with keyframes,
// each written the way that editor writes its file and rendered by melt; what MLT's sliced
// rendering makes of the region; and a GStreamer Editing Services timeline. Every frame is held
// against the effect's formula for the values the editor asks for at that frame.
#include "hostruns.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace frei0rtest;
using namespace hosttest;

namespace {

constexpr int kFps = 25; // every project here runs at 25 frames a second

// One keyframe of an animated parameter as an editor stores it. After a held key the value stays
// until the next key (MLT's discrete keyframe, "|="); after any other it moves in a straight line.
struct Key {
    int frame;
    double value;
    bool hold = false;
};
using Keys = std::vector<Key>;

// What MLT makes of an animated value at a frame: the first or last key's value outside the keys;
// between two keys the earlier one's value when it holds, else y1 + (y2 - y1) * t, t being how far
// the frame is from the earlier key towards the later one.
double ValueAt(const Keys& keys, int frame) {
    if (frame <= keys.front().frame) return keys.front().value;
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
        const Key& a = keys[i];
        const Key& b = keys[i + 1];
        if (frame >= b.frame) continue;
        if (a.hold) return a.value;
        const double t = double(frame - a.frame) / double(b.frame - a.frame);
        return a.value + (b.value - a.value) * t;
    }
    return keys.back().value;
}

// A value as both editors write it (MLT's own "%g").
std::string Short(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// A frame as a clock time, the way both editors write times: "00:00:00.120".
std::string Clock(int frame) {
    const int ms = frame * 1000 / kFps;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return text;
}

// "00:00:00.000=0.1;00:00:00.200|=0.5": an animation string with clock times.
std::string ClockAnimation(const Keys& keys) {
    std::string text;
    for (const Key& k : keys)
        text += (text.empty() ? "" : ";") + Clock(k.frame) + (k.hold ? "|=" : "=") + Short(k.value);
    return text;
}

// The six parameters of one filter, each a list of keys (one key: a constant).
struct Animated {
    Keys left, top, right, bottom, gain, offset;
};

// The setting a frame asks for. Gain and offset land on the slider step nearest value x 100.
Setting SettingAt(const Animated& a, int frame) {
    return Setting{ValueAt(a.left, frame),
                   ValueAt(a.top, frame),
                   ValueAt(a.right, frame),
                   ValueAt(a.bottom, frame),
                   int(std::lround(ValueAt(a.gain, frame) * 100)),
                   int(std::lround(ValueAt(a.offset, frame) * 100))};
}

struct Param {
    const char* name;
    const Keys Animated::*keys;
};
constexpr Param kParams[] = {{"Left", &Animated::left},   {"Top", &Animated::top},
                             {"Right", &Animated::right}, {"Bottom", &Animated::bottom},
                             {"Gain", &Animated::gain},   {"Offset", &Animated::offset}};

std::string Profile(int width, int height) {
    return "<profile description=\"" + hosttest::Size(width, height) + " 25 fps\" width=\"" +
           std::to_string(width) + "\" height=\"" + std::to_string(height) +
           "\" progressive=\"1\" sample_aspect_num=\"1\" sample_aspect_den=\"1\" "
           "display_aspect_num=\"" +
           std::to_string(width) + "\" display_aspect_den=\"" + std::to_string(height) +
           "\" frame_rate_num=\"25\" frame_rate_den=\"1\" colorspace=\"601\"/>\n";
}

std::string Property(const std::string& name, const std::string& value) {
    return "    <property name=\"" + name + "\">" + value + "</property>\n";
}

// A Kdenlive 22.12 project: the clip on the first video track with the effect on it, over the
// black background track, composited by Kdenlive's own track transition. Kdenlive stores every
// animated parameter as a keyframe string with clock times, divided by the effect file's factor.
std::string KdenliveProject(const std::string& clip, int width, int height, int frames,
                            const Animated& a) {
    const std::string out = Clock(frames - 1);
    std::string filter;
    for (const Param& p : kParams)
        filter += Property(p.name, ClockAnimation(a.*p.keys));
    filter += Property("Use saved configuration", "0") +
              Property("mlt_service", "frei0r.glimmerdusk") +
              Property("kdenlive_id", "frei0r.glimmerdusk") + Property("kdenlive:collapsed", "0");
    return "<?xml version='1.0' encoding='utf-8'?>\n"
           "<mlt LC_NUMERIC=\"C\" producer=\"main_bin\" version=\"7.12.0\" root=\"\">\n" +
           Profile(width, height) + " <producer id=\"producer0\" in=\"00:00:00.000\" out=\"" + out +
           "\">\n" + Property("length", "2147483647") + Property("eof", "continue") +
           Property("resource", "black") + Property("aspect_ratio", "1") +
           Property("mlt_service", "color") + Property("kdenlive:playlistid", "black_track") +
           Property("mlt_image_format", "rgba") + Property("set.test_audio", "0") +
           " </producer>\n <chain id=\"chain0\" out=\"" + out + "\">\n" +
           Property("length", std::to_string(frames)) + Property("eof", "pause") +
           Property("resource", clip) + Property("mlt_service", "avformat-novalidate") +
           Property("kdenlive:id", "2") + Property("kdenlive:clip_type", "0") +
           " </chain>\n <playlist id=\"playlist0\">\n  <entry producer=\"chain0\" "
           "in=\"00:00:00.000\" out=\"" +
           out + "\">\n" + Property("kdenlive:id", "2") + "   <filter id=\"filter0\">\n" + filter +
           "   </filter>\n  </entry>\n </playlist>\n <playlist id=\"playlist1\"/>\n"
           " <tractor id=\"tractor0\" in=\"00:00:00.000\" out=\"" +
           out + "\">\n" + Property("kdenlive:trackheight", "67") +
           Property("kdenlive:timeline_active", "1") +
           "  <track hide=\"audio\" producer=\"playlist0\"/>\n"
           "  <track hide=\"audio\" producer=\"playlist1\"/>\n </tractor>\n"
           " <playlist id=\"main_bin\">\n" +
           Property("kdenlive:docproperties.kdenliveversion", "22.12.3") +
           Property("kdenlive:docproperties.version", "1.04") + Property("xml_retain", "1") +
           "  <entry producer=\"chain0\" in=\"00:00:00.000\" out=\"" + out +
           "\"/>\n </playlist>\n"
           " <tractor id=\"tractor1\" global_feed=\"1\" in=\"00:00:00.000\" out=\"" +
           out +
           "\">\n  <track producer=\"producer0\"/>\n  <track producer=\"tractor0\"/>\n"
           "  <transition id=\"transition0\">\n" +
           Property("a_track", "0") + Property("b_track", "1") + Property("compositing", "0") +
           Property("distort", "0") + Property("rotate_center", "0") +
           Property("mlt_service", "qtblend") + Property("always_active", "1") +
           Property("internal_added", "237") + "  </transition>\n </tractor>\n</mlt>\n";
}

// A Shotcut 22.12 project: the clip on V1 over the black background, with the filter as our
// Shotcut panel stores it (the parameters by name, a plain value unless keyframed, the four edges
// keyframed together as the region's gang) and the blend that Shotcut turns off on V1.
std::string ShotcutProject(const std::string& clip, int width, int height, int frames,
                           const Animated& a) {
    const std::string out = Clock(frames - 1);
    const std::string length = Clock(frames);
    std::string filter =
        Property("mlt_service", "frei0r.glimmerdusk") + Property("shotcut:filter", "glimmerdusk");
    for (const Param& p : kParams) {
        const Keys& keys = a.*p.keys;
        filter += Property(p.name, keys.size() == 1 ? Short(keys[0].value) : ClockAnimation(keys));
    }
    return "<?xml version=\"1.0\" standalone=\"no\"?>\n"
           "<mlt LC_NUMERIC=\"C\" version=\"7.12.0\" title=\"Shotcut version 22.12.21\" "
           "producer=\"main_bin\">\n  " +
           Profile(width, height) + "  <playlist id=\"main_bin\">\n" + Property("xml_retain", "1") +
           "  </playlist>\n  <producer id=\"black\" in=\"00:00:00.000\" out=\"" + out + "\">\n" +
           Property("length", length) + Property("eof", "pause") + Property("resource", "0") +
           Property("aspect_ratio", "1") + Property("mlt_service", "color") +
           Property("mlt_image_format", "rgba") + Property("set.test_audio", "0") +
           "  </producer>\n  <playlist id=\"background\">\n    <entry producer=\"black\" "
           "in=\"00:00:00.000\" out=\"" +
           out + "\"/>\n  </playlist>\n  <chain id=\"chain0\" out=\"" + out + "\">\n" +
           Property("length", length) + Property("eof", "pause") + Property("resource", clip) +
           Property("mlt_service", "avformat-novalidate") + Property("seekable", "1") +
           Property("video_index", "0") + Property("mute_on_pause", "0") +
           Property("shotcut:caption", "in.mkv") + "    <filter id=\"filter0\" out=\"" + out +
           "\">\n" + filter + "    </filter>\n  </chain>\n  <playlist id=\"playlist0\">\n" +
           Property("shotcut:video", "1") + Property("shotcut:name", "V1") +
           "    <entry producer=\"chain0\" in=\"00:00:00.000\" out=\"" + out +
           "\"/>\n  </playlist>\n  <tractor id=\"tractor0\" title=\"Shotcut version 22.12.21\" "
           "in=\"00:00:00.000\" out=\"" +
           out + "\">\n" + Property("shotcut", "1") +
           Property("shotcut:projectAudioChannels", "2") + Property("shotcut:projectFolder", "0") +
           "    <track producer=\"background\"/>\n    <track producer=\"playlist0\"/>\n"
           "    <transition id=\"transition0\">\n" +
           Property("a_track", "0") + Property("b_track", "1") + Property("mlt_service", "mix") +
           Property("always_active", "1") + Property("sum", "1") +
           "    </transition>\n    <transition id=\"transition1\">\n" + Property("a_track", "0") +
           Property("b_track", "1") + Property("version", "0.1") +
           Property("mlt_service", "frei0r.cairoblend") + Property("threads", "0") +
           Property("disable", "1") + "    </transition>\n  </tractor>\n</mlt>\n";
}

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
