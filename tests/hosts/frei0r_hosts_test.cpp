// The installed frei0r plug-in in the hosts people use: FFmpeg (against reelhost's render of the
// same saved configuration, byte for byte), MLT's melt (parameters by name and from a project
// file) and a GStreamer pipeline. Every output is also held against the effect's formula.
#include "hostruns.h"
#include "pluginloader.h"

#include "DataHandling.h"
#include "prefsloader.h"

#include <fstream>
#include <string>

using namespace frei0rtest;
using namespace hosttest;

namespace {

// FFmpeg's frei0r filter with the parameters in the plug-in's order.
std::string FfmpegFilter(const Setting& s, const char* useSaved = "n") {
    return "frei0r=filter_name=glimmerdusk:filter_params=" + Number(s.left) + "|" + Number(s.top) +
           "|" + Number(s.right) + "|" + Number(s.bottom) + "|" + Number(s.Gain()) + "|" +
           Number(s.Offset()) + "|" + useSaved;
}

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
