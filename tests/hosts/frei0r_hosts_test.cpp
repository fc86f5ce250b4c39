// The installed frei0r plug-in in the hosts people use: FFmpeg (against reelhost's render of the
// same saved configuration, byte for byte), MLT's melt (parameters by name and from a project
// file) and a GStreamer pipeline. Every output is also held against the effect's formula.
#include "frei0rtesting.h"
#include "pluginloader.h"

#include "DataHandling.h"
#include "prefsloader.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

using namespace frei0rtest;

namespace {

constexpr int kFrames = 3;

// A scratch folder for one test, with the frames it renders and the hosts' logs.
class Workdir {
  public:
    Workdir() {
        char pattern[] = "/tmp/glimmerdusk-hosts-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~Workdir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// Runs one host command line with the installed plug-in on the frei0r path and a private
// GStreamer registry, within a time limit. The output goes to the folder's log.
::testing::AssertionResult RunHost(const Workdir& dir, const std::string& command) {
    const std::string line = "FREI0R_PATH='" LUMASHIFT_TEST_PREFIX "/lib/frei0r-1' GST_REGISTRY='" +
                             (dir / "registry.bin") + "' timeout 120 " + command + " >'" +
                             (dir / "log.txt") + "' 2>&1";
    if (std::system(line.c_str()) == 0) return ::testing::AssertionSuccess();
    std::ifstream log(dir / "log.txt");
    return ::testing::AssertionFailure() << command << "\nfailed:\n"
                                         << std::string(std::istreambuf_iterator<char>(log), {});
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A clip of random RGBA frames, as raw bytes in `name`.
std::vector<uint8_t> WriteClip(const std::string& path, int width, int height) {
    std::vector<uint8_t> clip;
    for (int f = 0; f < kFrames; ++f) {
        const std::vector<uint8_t> frame = RandomFrame(width, height, uint32_t(f * 31 + width));
        clip.insert(clip.end(), frame.begin(), frame.end());
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(clip.data()), std::streamsize(clip.size()));
    return clip;
}

std::vector<uint8_t> ExpectedClip(const std::vector<uint8_t>& clip, int width, int height,
                                  const Setting& s) {
    const size_t frameBytes = size_t(width) * height * 4;
    std::vector<uint8_t> out;
    for (size_t at = 0; at < clip.size(); at += frameBytes) {
        const std::vector<uint8_t> frame(clip.begin() + long(at),
                                         clip.begin() + long(at + frameBytes));
        const std::vector<uint8_t> done = Expected(frame, width, height, s);
        out.insert(out.end(), done.begin(), done.end());
    }
    return out;
}

std::string Size(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

std::string RawInput(const std::string& path, int width, int height) {
    return "-f rawvideo -pix_fmt rgba -s " + Size(width, height) + " -r 25 -i '" + path + "'";
}

// FFmpeg's frei0r filter with the parameters in the plug-in's order.
std::string FfmpegFilter(const Setting& s, const char* useSaved = "n") {
    return "frei0r=filter_name=glimmerdusk:filter_params=" + Number(s.left) + "|" + Number(s.top) +
           "|" + Number(s.right) + "|" + Number(s.bottom) + "|" + Number(s.Gain()) + "|" +
           Number(s.Offset()) + "|" + useSaved;
}

constexpr const char* kFfmpeg = "ffmpeg -nostdin -hide_banner -loglevel error -y";
constexpr const char* kRawOutput = "-f rawvideo -pix_fmt rgba";

struct FfmpegCase {
    const char* name;
    int width, height;
    Setting setting;
};

void PrintTo(const FfmpegCase& c, std::ostream* os) {
    *os << c.name;
}

class FfmpegAgainstReelhost : public testing::TestWithParam<FfmpegCase> {};

// FFmpeg's frei0r filter ignores its frames' row padding, which it adds where 4 x width is not a
// multiple of 64; these widths avoid that, the heights are odd.
TEST_P(FfmpegAgainstReelhost, GivesExactlyTheBytesReelhostRendersFromTheSavedConfiguration) {
    const auto& [name, width, height, s] = GetParam();
    Workdir dir;
    TempPreferences prefs;
    const std::vector<uint8_t> clip = WriteClip(dir / "in.raw", width, height);
    ASSERT_TRUE(RunHost(dir, std::string(kFfmpeg) + " " + RawInput(dir / "in.raw", width, height) +
                                 " '" + (dir / "in_%03d.png") + "'"));
    ASSERT_TRUE(SaveSetting(s));

    ASSERT_TRUE(RunHost(dir, LUMASHIFT_TEST_PREFIX "/bin/reelhost render --quiet '" +
                                 (dir / "in_%03d.png") + "' -o '" + (dir / "ref_%03d.png") + "'"));
    ASSERT_TRUE(RunHost(dir, std::string(kFfmpeg) + " -i '" + (dir / "ref_%03d.png") + "' " +
                                 kRawOutput + " '" + (dir / "ref.raw") + "'"));
    ASSERT_TRUE(RunHost(dir, std::string(kFfmpeg) + " -i '" + (dir / "in_%03d.png") + "' -vf '" +
                                 FfmpegFilter(s) + "' " + kRawOutput + " '" + (dir / "got.raw") +
                                 "'"));
    const std::vector<uint8_t> got = ReadFile(dir / "got.raw");
    EXPECT_EQ(got, ReadFile(dir / "ref.raw"));
    EXPECT_EQ(got, ExpectedClip(clip, width, height, s));

    // The switch takes the same configuration from the preferences file instead.
    ASSERT_TRUE(RunHost(dir, std::string(kFfmpeg) + " -i '" + (dir / "in_%03d.png") + "' -vf '" +
                                 FfmpegFilter(Setting{}, "y") + "' " + kRawOutput + " '" +
                                 (dir / "saved.raw") + "'"));
    EXPECT_EQ(ReadFile(dir / "saved.raw"), got);
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, FfmpegAgainstReelhost,
    testing::Values(FfmpegCase{"Centre", 96, 64, {0.2, 0.25, 0.8, 0.75, 70, 60}},
                    FfmpegCase{"OddHeight", 160, 45, {0.1, 0.3, 0.55, 0.95, 35, 80}},
                    // Edges as the window stores a dragged region: pixel over frame size.
                    FfmpegCase{"WindowFractions",
                               176,
                               99,
                               {13.0 / 176, 7.0 / 99, 150.0 / 176, 90.0 / 99, 100, 0}},
                    FfmpegCase{"WholeFrameDarker", 48, 27, {0, 0, 1, 1, 20, 40}},
                    FfmpegCase{"PartlyOutside", 64, 33, {-0.25, 0.5, 0.5, 1.5, 60, 55}}),
    [](const testing::TestParamInfo<FfmpegCase>& info) { return std::string(info.param.name); });

TEST(FfmpegGraph, TwoInstancesWithTheirOwnParametersGiveTwoCorrectResults) {
    constexpr int kWidth = 80, kHeight = 45;
    const Setting a{0, 0, 0.5, 1, 80, 50}, b{0.4, 0.2, 1, 0.9, 25, 65};
    Workdir dir;
    const std::vector<uint8_t> clip = WriteClip(dir / "in.raw", kWidth, kHeight);
    ASSERT_TRUE(RunHost(
        dir, std::string(kFfmpeg) + " " + RawInput(dir / "in.raw", kWidth, kHeight) +
                 " -filter_complex '[0:v]split[a][b];[a]" + FfmpegFilter(a) + "[x];[b]" +
                 FfmpegFilter(b) + "[y]' -map '[x]' " + kRawOutput + " '" + (dir / "a.raw") +
                 "' -map '[y]' " + kRawOutput + " '" + (dir / "b.raw") + "'"));
    EXPECT_EQ(ReadFile(dir / "a.raw"), ExpectedClip(clip, kWidth, kHeight, a));
    EXPECT_EQ(ReadFile(dir / "b.raw"), ExpectedClip(clip, kWidth, kHeight, b));
}

struct BadCase {
    const char* name;
    const char* params;
    Setting meaning;
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << c.name;
}

class FfmpegBadValues : public testing::TestWithParam<BadCase> {};

TEST_P(FfmpegBadValues, RenderADefinedPicture) {
    constexpr int kWidth = 64, kHeight = 35;
    Workdir dir;
    const std::vector<uint8_t> clip = WriteClip(dir / "in.raw", kWidth, kHeight);
    ASSERT_TRUE(
        RunHost(dir, std::string(kFfmpeg) + " " + RawInput(dir / "in.raw", kWidth, kHeight) +
                         " -vf 'frei0r=filter_name=glimmerdusk:filter_params=" + GetParam().params +
                         "' " + kRawOutput + " '" + (dir / "out.raw") + "'"));
    EXPECT_EQ(ReadFile(dir / "out.raw"), ExpectedClip(clip, kWidth, kHeight, GetParam().meaning));
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, FfmpegBadValues,
    testing::Values(
        // NaN and negative edges are the frame's edge, huge ones too; NaN gain is neutral,
        // a negative one 0, a huge offset +255.
        BadCase{"NanNegativeAndHuge", "nan|-0.5|1e300|0.5|-3|1e300|n", {0, 0, 1, 0.5, 0, 100}},
        BadCase{"NanGainNegativeOffset",
                "0.25|0.25|0.75|0.75|nan|-7|n",
                {0.25, 0.25, 0.75, 0.75, 50, 0}},
        BadCase{"InvertedRegion", "0.8|0.7|0.2|0.1|0.9|0.9|n", {0, 0, 0, 0, 90, 90}}),
    [](const testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

// MLT reads the clip through FFmpeg: a lossless FFV1 file of the same frames.
std::vector<uint8_t> WriteMltClip(const Workdir& dir, int width, int height) {
    const std::vector<uint8_t> clip = WriteClip(dir / "in.raw", width, height);
    EXPECT_TRUE(RunHost(dir, std::string(kFfmpeg) + " " + RawInput(dir / "in.raw", width, height) +
                                 " -c:v ffv1 -pix_fmt bgra '" + (dir / "in.mkv") + "'"));
    return clip;
}

std::string MeltRawOutput(const Workdir& dir) {
    return "-consumer 'avformat:" + (dir / "out.raw") + "' f=rawvideo vcodec=rawvideo pix_fmt=rgba";
}

TEST(Melt, RendersTheFilterWithParametersSetByName) {
    constexpr int kWidth = 75, kHeight = 41;
    const Setting s{0.2, 0.1, 0.7, 0.8, 65, 30};
    Workdir dir;
    const std::vector<uint8_t> clip = WriteMltClip(dir, kWidth, kHeight);
    ASSERT_TRUE(RunHost(dir, "melt -quiet '" + (dir / "in.mkv") +
                                 "' -filter frei0r.glimmerdusk Left=" + Number(s.left) +
                                 " Top=" + Number(s.top) + " Right=" + Number(s.right) +
                                 " Bottom=" + Number(s.bottom) + " Gain=" + Number(s.Gain()) +
                                 " Offset=" + Number(s.Offset()) + " " + MeltRawOutput(dir)));
    EXPECT_EQ(ReadFile(dir / "out.raw"), ExpectedClip(clip, kWidth, kHeight, s));
}

TEST(Melt, RendersTheFilterFromAProjectFile) {
    constexpr int kWidth = 62, kHeight = 37;
    const Setting s{0.5, 0, 1, 0.5, 90, 45};
    Workdir dir;
    const std::vector<uint8_t> clip = WriteMltClip(dir, kWidth, kHeight);
    std::ofstream(dir / "project.mlt")
        << "<?xml version=\"1.0\"?>\n<mlt>\n  <producer id=\"clip\">\n"
        << "    <property name=\"resource\">" << (dir / "in.mkv") << "</property>\n"
        << "    <filter mlt_service=\"frei0r.glimmerdusk\">\n"
        << "      <property name=\"Left\">" << Number(s.left) << "</property>\n"
        << "      <property name=\"Top\">" << Number(s.top) << "</property>\n"
        << "      <property name=\"Right\">" << Number(s.right) << "</property>\n"
        << "      <property name=\"Bottom\">" << Number(s.bottom) << "</property>\n"
        << "      <property name=\"Gain\">" << Number(s.Gain()) << "</property>\n"
        << "      <property name=\"Offset\">" << Number(s.Offset()) << "</property>\n"
        << "    </filter>\n  </producer>\n</mlt>\n";
    ASSERT_TRUE(RunHost(dir, "melt -quiet '" + (dir / "project.mlt") + "' " + MeltRawOutput(dir)));
    EXPECT_EQ(ReadFile(dir / "out.raw"), ExpectedClip(clip, kWidth, kHeight, s));
}

TEST(GStreamer, APipelineWithTheFilterElementRendersTheRegion) {
    constexpr int kWidth = 53, kHeight = 29;
    const Setting s{0.1, 0.4, 0.6, 1, 40, 70};
    Workdir dir;
    const std::vector<uint8_t> clip = WriteClip(dir / "in.raw", kWidth, kHeight);
    ASSERT_TRUE(RunHost(
        dir, "gst-launch-1.0 -q filesrc location='" + (dir / "in.raw") +
                 "' blocksize=" + std::to_string(kWidth * kHeight * 4) + " ! rawvideoparse width=" +
                 std::to_string(kWidth) + " height=" + std::to_string(kHeight) +
                 " format=rgba framerate=25/1 ! frei0r-filter-glimmerdusk left=" + Number(s.left) +
                 " top=" + Number(s.top) + " right=" + Number(s.right) + " bottom=" +
                 Number(s.bottom) + " gain=" + Number(s.Gain()) + " offset=" + Number(s.Offset()) +
                 " ! filesink location='" + (dir / "out.raw") + "'"));
    EXPECT_EQ(ReadFile(dir / "out.raw"), ExpectedClip(clip, kWidth, kHeight, s));
}

} // namespace
