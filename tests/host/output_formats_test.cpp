// Video outputs that editors exchange: lossless FFV1 and ProRes beside H.264, each in the input's
// pixel format and colours, so that a render shifts no colour outside the effect.
#include "frame_writer.h"
#include "render_files.h"
#include "saved_config.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace reelhost {
namespace {

namespace fs = std::filesystem;
using testing_support::DecodeMonoSound;
using testing_support::DecodeRgba;
using testing_support::Probe;
using testing_support::Quoted;
using testing_support::RunResult;
using testing_support::Samples;

class OutputFormats : public testing_support::RenderFiles {};

struct CodecCase {
    const char* name;
    const char* option;
    const char* output;
    const char* video; // what ffprobe says of the video stream
    const char* sound;
};

class Codecs : public OutputFormats, public testing::WithParamInterface<CodecCase> {};

TEST_P(Codecs, WriteTheirVideoInTheInputsPixelFormatWithTheirSound) {
    const CodecCase& c = GetParam();
    Make("-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -f lavfi -i "
         "sine=frequency=440:duration=0.4 -pix_fmt yuv420p -c:v libx264 -c:a aac " +
         Quoted(dir_ / "in.mp4"));
    const RunResult run =
        Render({dir_ / "in.mp4", "-o", dir_ / c.output, "--codec", c.option, "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Probe(dir_ / c.output, "v", "codec_name,pix_fmt,profile"), c.video);
    EXPECT_EQ(Probe(dir_ / c.output, "a", "codec_name"),
              std::string("codec_name=") + c.sound + "\n");
    EXPECT_EQ(testing_support::CountVideoFrames(dir_ / c.output), 10);
    const std::vector<float> sound = DecodeMonoSound(dir_ / c.output);
    ASSERT_GT(sound.size(), 48000u / 5);
    double sum = 0;
    for (size_t i = 4800; i < 9600; ++i)
        sum += double(sound[i]) * sound[i];
    EXPECT_NEAR(std::sqrt(sum / 4800), 0.125 / std::sqrt(2.0), 0.02); // the sine at 1/8
}

INSTANTIATE_TEST_SUITE_P(
    Choices, Codecs,
    testing::Values(CodecCase{"H264", "h264", "out.mp4",
                              "codec_name=h264\nprofile=High\npix_fmt=yuv420p\n", "aac"},
                    CodecCase{"Lossless", "ffv1", "out.mkv",
                              "codec_name=ffv1\nprofile=unknown\npix_fmt=yuv420p\n", "flac"},
                    CodecCase{"ProRes", "prores", "out.mov",
                              "codec_name=prores\nprofile=HQ\npix_fmt=yuv422p10le\n", "pcm_s16le"}),
    [](const testing::TestParamInfo<CodecCase>& info) { return info.param.name; });

// Alpha and every colour value survive: the lossless video of a PNG clip with alpha decodes to
// the very pictures of the same render written as PNG images, which are held to the effect's
// formula elsewhere.
TEST_F(OutputFormats, LosslessVideoKeepsEveryPixelAndAlpha) {
    testing_support::SaveConfiguration(config_.Path().string(), {{0.1, 0.7, 0.2, 0.9}, 75, 40});
    Make("-f lavfi -i testsrc2=size=24x16:rate=25 -frames:v 4 -vf "
         "\"format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='40+9*X+N'\" " +
         Quoted(dir_ / "in_%02d.png"));
    const std::string input = dir_ / "in_%02d.png";
    ASSERT_EQ(Render({input, "-o", dir_ / "out.mkv", "--codec", "ffv1", "--quiet"}).status, 0);
    ASSERT_EQ(Render({input, "-o", dir_ / "out_%02d.png", "--quiet"}).status, 0);
    const std::string video = DecodeRgba(dir_ / "out.mkv");
    ASSERT_EQ(video.size(), size_t(24 * 16 * 4 * 4));
    EXPECT_TRUE(video == DecodeRgba(dir_ / "out_%02d.png"));
    EXPECT_NE(Probe(dir_ / "out.mkv", "v", "pix_fmt").find("bgra"), std::string::npos);
}

struct ColourCase {
    const char* name;
    const char* conversion; // the filter that makes the bars YUV
    const char* tags;       // ffmpeg options describing the input's colours
    const char* codec;      // reelhost's --codec
    const char* output;     // file name
    int largest;            // the most any sample may differ, outside the effect
    double mean;            // the most samples may differ on average, outside the effect
};

class ColourBars : public OutputFormats, public testing::WithParamInterface<ColourCase> {};

constexpr int kBarsWidth = 128, kBarsHeight = 72;

// Eight 75% colour bars of 16 pixels each (white, yellow, cyan, green, magenta, red, blue,
// black), made in RGB and converted by `conversion`: every colour inside the RGB cube, and
// each colour sample over pixels of one bar.
std::string BarsSource(const std::string& conversion) {
    return "-f lavfi -i \"nullsrc=s=128x72:r=25,format=gbrp,geq=r='191*lt(mod(trunc(X/16),4),2)'"
           ":g='191*lt(trunc(X/16),4)':b='191*not(mod(trunc(X/16),2))'\" -frames:v 3 -vf " +
           conversion;
}

// Colour bars in and out, the effect over the top-left quarter: outside it (with a margin for
// the colour samples that straddle its edge) every sample comes back as it went in, exactly
// through a lossless codec and within the codec's loss otherwise, and the colour description is
// the input's.
TEST_P(ColourBars, OutsideTheEffectComeBackAsTheyWentIn) {
    const ColourCase& c = GetParam();
    testing_support::SaveConfiguration(config_.Path().string(), {{0, 0.25, 0, 0.25}, 90, 70});
    const std::string input = dir_ / "bars.mkv";
    Make(BarsSource(c.conversion) + " " + c.tags + " -c:v ffv1 " + Quoted(input));
    const std::string output = dir_ / c.output;
    const RunResult run = Render({input, "-o", output, "--codec", c.codec, "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string colours = "pix_fmt,color_space,color_range,color_transfer,color_primaries";
    EXPECT_EQ(Probe(output, "v", colours), Probe(input, "v", colours));

    const std::string in = Samples(input), out = Samples(output);
    // 4:4:4 or 4:2:0: the colour planes the same size as the picture, or halved both ways.
    const size_t shift = std::string(c.conversion).find("yuv444p") != std::string::npos ? 0 : 1;
    const size_t lumaBytes = kBarsWidth * kBarsHeight;
    const size_t chromaWidth = kBarsWidth >> shift, chromaBytes = lumaBytes >> (2 * shift);
    const size_t frameBytes = lumaBytes + 2 * chromaBytes;
    ASSERT_EQ(in.size(), 3 * frameBytes);
    ASSERT_EQ(out.size(), in.size());
    int largest = 0, insideChanged = 0;
    double total = 0;
    long counted = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        const size_t offset = i % frameBytes;
        const bool luma = offset < lumaBytes;
        const size_t width = luma ? kBarsWidth : chromaWidth;
        const size_t inPlane = luma ? offset : (offset - lumaBytes) % chromaBytes;
        const size_t scale = luma ? 1 : size_t(1) << shift;
        const size_t x = inPlane % width * scale, y = inPlane / width * scale;
        const int difference = std::abs(int(uint8_t(in[i])) - int(uint8_t(out[i])));
        if (x < kBarsWidth / 4 && y < kBarsHeight / 4) {
            insideChanged += difference > 0;
        } else if (x >= kBarsWidth / 4 + 2 || y >= kBarsHeight / 4 + 2) {
            largest = std::max(largest, difference);
            total += difference;
            ++counted;
        }
    }
    EXPECT_LE(largest, c.largest);
    EXPECT_LE(total / double(counted), c.mean);
    EXPECT_GT(insideChanged, 0); // the effect was rendered
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, ColourBars,
    testing::Values(
        ColourCase{"HighDefinitionVideoRange",
                   "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p",
                   "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv",
                   "ffv1", "out.mkv", 0, 0},
        ColourCase{"StandardDefinitionFullRange",
                   "scale=out_color_matrix=bt601:out_range=pc,format=yuv420p",
                   "-colorspace bt470bg -color_primaries bt470bg -color_trc gamma28 "
                   "-color_range pc",
                   "ffv1", "out.mkv", 0, 0},
        ColourCase{"HighDefinitionFourFourFour",
                   "scale=out_color_matrix=bt709:out_range=tv,format=yuv444p",
                   "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv",
                   "ffv1", "out.mkv", 0, 0},
        ColourCase{"HighDefinitionThroughH264",
                   "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p",
                   "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv",
                   "h264", "out.mp4", 2, 0.1}),
    [](const testing::TestParamInfo<ColourCase>& info) { return info.param.name; });

struct RefusalCase {
    const char* name;
    std::vector<std::string> args; // after the input; "@" is the temporary folder
    int status;
    const char* mentions;
};

class Refusals : public OutputFormats, public testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusals, SayWhatWouldWorkAndLeaveNothing) {
    const RefusalCase& c = GetParam();
    std::vector<std::string> args;
    for (const std::string& arg : c.args)
        args.push_back(arg[0] == '@' ? dir_ / arg.substr(1) : arg);
    const RunResult run = Render(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.mentions), std::string::npos) << run.err;
    for (const auto& entry : fs::directory_iterator(dir_.Path()))
        EXPECT_EQ(entry.path().filename().string().rfind("reelhost.", 0), 0u) // the logs only
            << "left behind: " << entry.path();
}

INSTANTIATE_TEST_SUITE_P(
    Options, Refusals,
    testing::Values(RefusalCase{"LosslessInMp4",
                                {"-o", "@out.mp4", "--codec", "ffv1"},
                                1,
                                "does not go into mp4 files; name the output .mkv"},
                    RefusalCase{"ProResInMp4",
                                {"-o", "@out.mp4", "--codec", "prores"},
                                1,
                                "name the output .mov"},
                    RefusalCase{"CodecForImages",
                                {"-o", "@out.png", "--codec", "ffv1"},
                                2,
                                "--codec applies to video outputs"},
                    RefusalCase{"UnknownCodec",
                                {"-o", "@out.mkv", "--codec", "vp9"},
                                2,
                                "--codec needs h264, ffv1 or prores, not 'vp9'"}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

} // namespace
} // namespace reelhost
