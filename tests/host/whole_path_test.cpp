// The whole path: reelhost and the real plug-in on generated clips, checked against the
// effect's formula frame by frame, plus sound, the demo render, every error and Ctrl-C.
#include "audio_mix.h"
#include "frame_writer.h"
#include "reelhost_runner.h"
#include "saved_config.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/utsname.h>

extern "C" {
#include <libavutil/avutil.h>
}

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <thread>

namespace reelhost {
namespace {

namespace fs = std::filesystem;
using testing_support::CountVideoFrames;
using testing_support::DecodeMonoSound;
using testing_support::DecodeRgba;
using testing_support::EffectConfig;
using testing_support::ReelhostProcess;
using testing_support::Region;
using testing_support::RunResult;
using testing_support::SaveConfiguration;
using testing_support::TempDir;

// ---- The effect as documented, computed independently of the plug-in ------------------------

using Rgba = std::array<uint8_t, 4>;

uint8_t EffectChannel(uint8_t c, int s1, int s2) {
    const double gain = 1 + ((s1 - 50) * 2) / 100.0;
    const double offset = ((s2 - 50) * 2 * 255) / 100.0;
    const double v = std::clamp(c * gain + offset, 0.0, 255.0);
    return uint8_t(v);
}

// The plug-in shortens fades that do not fit its frame count.
void ClampFades(int32_t frameCount, int32_t& fadeIn, int32_t& fadeOut) {
    const int32_t half = frameCount / 2;
    if (fadeIn != 0 && fadeOut != 0) {
        fadeIn = std::min(fadeIn, half);
        fadeOut = std::min(fadeOut, half);
    } else {
        fadeIn = std::min(fadeIn, frameCount);
        fadeOut = std::min(fadeOut, frameCount);
    }
}

// -1 for no fade, else the opacity of the clean frame over the effect.
int FadeOpacity(int32_t r, int32_t frameCount, int32_t fadeIn, int32_t fadeOut) {
    if (!((fadeIn > 0 || fadeOut != 0) && (r < fadeIn || r > frameCount - fadeOut))) return -1;
    const double fraction = r < fadeIn ? double(r) / fadeIn : double(frameCount - r) / fadeOut;
    return int(255.0 * (1.0 - fraction));
}

// ---- Generated input clips --------------------------------------------------------------------

// Every channel varies with frame and position; alpha varies too, so it is seen to be kept.
Rgba SourcePixel(int frame, int x, int y) {
    return {uint8_t(x * 29 + y * 7 + frame * 13), uint8_t(x * 3 + y * 31 + frame * 5),
            uint8_t((x ^ y) * 17 + frame * 23), uint8_t(1 + (x * 11 + y * 19 + frame) % 255)};
}

void WriteSourceSequence(const std::string& pattern, int width, int height, int frames) {
    OutputSettings settings{pattern, width, height, {25, 1}, false, {}};
    auto writer = OpenFrameWriter(OutputKind::ImageSequence, settings);
    std::vector<uint8_t> bytes(size_t(width * height * 4));
    const PixelView view{bytes.data(), long(width * 4), MakeRect(width, height)};
    for (int frame = 0; frame < frames; ++frame) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const Rgba p = SourcePixel(frame, x, y);
                uint8_t* out = view.Pixel(x, y);
                out[kRedByte] = p[0], out[kGreenByte] = p[1], out[kBlueByte] = p[2],
                out[kAlphaByte] = p[3];
            }
        writer->Write(view, nullptr);
    }
    writer->Finish();
}

// A clip with a steady 440 Hz tone at half scale: 64 x 48, 25 fps, `frames` frames.
void WriteToneClip(const std::string& path, int frames) {
    OutputSettings settings{path, 64, 48, {25, 1}, true, {48000, 2}};
    auto writer = OpenFrameWriter(OutputKind::Video, settings);
    std::vector<uint8_t> bytes(64 * 48 * 4, 128);
    const PixelView view{bytes.data(), 64 * 4, MakeRect(64, 48)};
    AudioBlock sound(2, LargestShare(48000, {25, 1}));
    for (int frame = 0; frame < frames; ++frame) {
        const SampleSpan span = ShareOfFrame(frame, 48000, {25, 1});
        sound.Silence(span.count);
        for (int i = 0; i < span.count; ++i)
            sound.Plane(0)[i] = sound.Plane(1)[i] =
                float(0.5 * std::sin(2 * std::numbers::pi * 440 * double(span.first + i) / 48000));
        writer->Write(view, &sound);
    }
    writer->Finish();
}

// The expected picture of movie frame `frame` of a render of the source sequence.
struct RenderSetting {
    EffectConfig config;
    int32_t start = 0;
    int32_t count = 0; // 0: to the end of the clip
    int32_t fadeIn = 0;
    int32_t fadeOut = 0;
};

std::string ExpectedFrame(int frame, int width, int height, int clipFrames,
                          const RenderSetting& s) {
    const int32_t count = s.count ? s.count : clipFrames - s.start;
    int32_t fadeIn = s.fadeIn, fadeOut = s.fadeOut;
    ClampFades(count, fadeIn, fadeOut);
    const bool inEffect = frame >= s.start && frame < s.start + count;
    const int opacity = inEffect ? FadeOpacity(frame - s.start, count, fadeIn, fadeOut) : -1;
    const Region& r = s.config.region;
    const int left = int(width * r.left), right = int(width * r.right);
    const int top = int(height * r.top), bottom = int(height * r.bottom);
    std::string bytes;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgba source = SourcePixel(frame, x, y);
            Rgba out = source;
            if (inEffect && x >= left && x < right && y >= top && y < bottom)
                for (int c = 0; c < 3; ++c)
                    out[size_t(c)] = EffectChannel(source[size_t(c)], s.config.gainSlider,
                                                   s.config.offsetSlider);
            if (opacity >= 0)
                for (size_t c = 0; c < 4; ++c)
                    out[c] = uint8_t((source[c] * opacity + out[c] * (255 - opacity) + 127) / 255);
            bytes.append(reinterpret_cast<const char*>(out.data()), 4);
        }
    return bytes;
}

// Per-frame checksums in the manner of a frame CRC: 64-bit FNV-1a of each frame's bytes.
uint64_t Checksum(std::string_view bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char b : bytes)
        hash = (hash ^ b) * 1099511628211ull;
    return hash;
}

std::string FirstDifference(const std::string& actual, const std::string& expected, int width) {
    for (size_t i = 0; i < std::min(actual.size(), expected.size()); ++i)
        if (actual[i] != expected[i])
            return "first difference at x " + std::to_string(i / 4 % size_t(width)) + ", y " +
                   std::to_string(i / 4 / size_t(width)) + ", channel " + "RGBA"[i % 4] + ": got " +
                   std::to_string(uint8_t(actual[i])) + ", expected " +
                   std::to_string(uint8_t(expected[i]));
    return "sizes differ: " + std::to_string(actual.size()) + " vs " +
           std::to_string(expected.size());
}

double Rms(const std::vector<float>& samples, size_t first, size_t count) {
    double sum = 0;
    const size_t end = std::min(samples.size(), first + count);
    for (size_t i = first; i < end; ++i)
        sum += double(samples[i]) * samples[i];
    return end > first ? std::sqrt(sum / double(end - first)) : 0.0;
}

class WholePath : public testing::Test {
  protected:
    RunResult Run(const std::vector<std::string>& args) {
        return ReelhostProcess(args, config_.Path().string(), dir_ / "reelhost").Wait();
    }

    TempDir dir_;    // inputs and outputs
    TempDir config_; // the Preferences folder of every run
};

struct RenderCase {
    const char* name;
    int clipFrames;
    RenderSetting setting;
    std::vector<std::string> extraArgs;
};

class RenderedPictures : public WholePath, public testing::WithParamInterface<RenderCase> {};

TEST_P(RenderedPictures, MatchTheEffectsFormulaFrameByFrame) {
    const RenderCase& c = GetParam();
    constexpr int kWidth = 25, kHeight = 15; // odd sizes on purpose
    SaveConfiguration(config_.Path().string(), c.setting.config);
    WriteSourceSequence(dir_ / "in_%03d.png", kWidth, kHeight, c.clipFrames);
    std::vector<std::string> args{"render", dir_ / "in_%03d.png", "-o", dir_ / "out_%03d.png",
                                  "--quiet"};
    const RenderSetting& s = c.setting;
    if (s.start) args.insert(args.end(), {"--start", std::to_string(s.start)});
    if (s.count) args.insert(args.end(), {"--frames", std::to_string(s.count)});
    if (s.fadeIn) args.insert(args.end(), {"--fade-in", std::to_string(s.fadeIn)});
    if (s.fadeOut) args.insert(args.end(), {"--fade-out", std::to_string(s.fadeOut)});
    args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());

    const RunResult run = Run(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, ""); // --quiet
    const std::string output = DecodeRgba(dir_ / "out_%03d.png");
    const size_t frameBytes = size_t(kWidth * kHeight * 4);
    ASSERT_EQ(output.size(), frameBytes * size_t(c.clipFrames));
    std::vector<uint64_t> got, expected;
    for (int frame = 0; frame < c.clipFrames; ++frame) {
        const std::string actual = output.substr(size_t(frame) * frameBytes, frameBytes);
        const std::string wanted = ExpectedFrame(frame, kWidth, kHeight, c.clipFrames, s);
        got.push_back(Checksum(actual));
        expected.push_back(Checksum(wanted));
        EXPECT_EQ(got.back(), expected.back())
            << "frame " << frame << ": " << FirstDifference(actual, wanted, kWidth);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, RenderedPictures,
    testing::Values(
        RenderCase{"NeutralSlidersLeaveEveryPixel", 4, {}, {}},
        RenderCase{"GainAndOffsetInsideTheRegionOnly",
                   5,
                   {{{0.2, 0.7, 0.3, 0.9}, 70, 40}},
                   {"--sliders", "0,1,0.3"}}, // the host's sliders do not touch the picture
        RenderCase{"FadesInAndOut", 12, {{{0, 1, 0, 1}, 80, 60}, 0, 0, 4, 3}, {}},
        RenderCase{"FadesLongerThanHalfAreHalved", 10, {{{0, 1, 0, 1}, 30, 65}, 0, 0, 8, 8}, {}},
        RenderCase{"AFadeLongerThanTheEffectIsCut", 6, {{{0, 1, 0, 1}, 90, 50}, 0, 0, 15, 0}, {}},
        RenderCase{"PartOfTheClipWithAFade", 12, {{{0.5, 1.0, 0.0, 0.5}, 100, 50}, 3, 5, 2, 0}, {}},
        RenderCase{"OffsetToWhite", 3, {{{0.1, 0.6, 0.2, 0.8}, 50, 100}}, {}},
        RenderCase{"SlidersBeyondTheirRangeAreUsedAsStored", 3, {{{0, 1, 0, 1}, 200, -10}}, {}}),
    [](const testing::TestParamInfo<RenderCase>& info) { return info.param.name; });

TEST_F(WholePath, ThumbnailIsTheEffectOfTheChosenFrame) {
    const RenderSetting setting{{{0.0, 0.5, 0.5, 1.0}, 20, 70}};
    SaveConfiguration(config_.Path().string(), setting.config);
    WriteSourceSequence(dir_ / "in_%03d.png", 20, 12, 8);
    const RunResult run =
        Run({"thumbnail", dir_ / "in_%03d.png", "-o", dir_ / "thumb.png", "--at", "5"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("thumb.png"), std::string::npos);
    const std::string actual = DecodeRgba(dir_ / "thumb.png");
    const std::string wanted = ExpectedFrame(5, 20, 12, 8, setting);
    EXPECT_EQ(Checksum(actual), Checksum(wanted)) << FirstDifference(actual, wanted, 20);
}

TEST_F(WholePath, OneImageIsTheFirstFrameOfTheEffect) {
    const RenderSetting setting{{{0, 1, 0, 1}, 75, 50}, 4, 6, 0, 0};
    SaveConfiguration(config_.Path().string(), setting.config);
    WriteSourceSequence(dir_ / "in_%03d.png", 16, 10, 10);
    const RunResult run = Run({"render", dir_ / "in_%03d.png", "-o", dir_ / "still.png", "--start",
                               "4", "--frames", "6", "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string actual = DecodeRgba(dir_ / "still.png");
    const std::string wanted = ExpectedFrame(4, 16, 10, 10, setting);
    EXPECT_EQ(Checksum(actual), Checksum(wanted)) << FirstDifference(actual, wanted, 16);
}

TEST_F(WholePath, VideoKeepsEveryFrameAndTheSound) {
    WriteToneClip(dir_ / "tone.mp4", 40);
    const RunResult run = Run({"render", dir_ / "tone.mp4", "-o", dir_ / "out.mkv"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Wrote " + (dir_ / "out.mkv")), std::string::npos) << run.out;
    EXPECT_EQ(CountVideoFrames(dir_ / "out.mkv"), 40);
    const std::vector<float> sound = DecodeMonoSound(dir_ / "out.mkv");
    for (int frame = 2; frame < 38; ++frame)
        EXPECT_NEAR(Rms(sound, size_t(frame) * 1920, 1920), 0.5 / std::sqrt(2.0), 0.05)
            << "frame " << frame;
}

TEST_F(WholePath, ProxyRendersAreHalfSizeAndSilentWhereTheEffectIs) {
    WriteToneClip(dir_ / "tone.mp4", 40);
    const RunResult run = Run({"render", dir_ / "tone.mp4", "-o", dir_ / "proxy.mp4", "--proxy",
                               "--start", "10", "--frames", "20", "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string size = testing_support::CommandOutput(
        "ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 '" +
        (dir_ / "proxy.mp4") + "'");
    EXPECT_EQ(size, "32,24\n");
    EXPECT_EQ(CountVideoFrames(dir_ / "proxy.mp4"), 40);
    const std::vector<float> sound = DecodeMonoSound(dir_ / "proxy.mp4");
    // 1920 samples per frame; two frames of margin at each edge for the encoder's overlap.
    for (int frame = 12; frame < 28; ++frame)
        EXPECT_LT(Rms(sound, size_t(frame) * 1920, 1920), 0.01) << "frame " << frame;
    for (int frame : {2, 5, 7, 32, 35, 37})
        EXPECT_GT(Rms(sound, size_t(frame) * 1920, 1920), 0.3) << "frame " << frame;
}

TEST_F(WholePath, TheDemoRenderNeedsNoFilesAndSaysWhereItWrote) {
    const std::string output = dir_ / "out/demo.mp4"; // the folder does not exist yet
    const RunResult run = Run({"render", "-o", output, "--fade-in", "30", "--fade-out", "30"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Wrote " + output), std::string::npos) << run.out;
    EXPECT_EQ(CountVideoFrames(output), 120);
    const std::string streams = testing_support::CommandOutput(
        "ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 '" + output +
        "'");
    EXPECT_NE(streams.find("h264,720,480"), std::string::npos) << streams;
    EXPECT_NE(streams.find("aac"), std::string::npos) << streams;
}

TEST_F(WholePath, InfoDescribesTheEffect) {
    const RunResult run = Run({"info"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("com.brindle.reelkit.lumashift"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("0x00001380"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("video filter"), std::string::npos) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 11) << run.out;
    EXPECT_NE(run.out.find("default 0.50"), std::string::npos) << run.out;
}

// ---- Everything that can go wrong from the command line -----------------------------------

struct ErrorCase {
    const char* name;
    std::vector<std::string> args; // "@" stands for the temporary folder
    int status;
    const char* mentions; // likewise
    void (*prepare)(const TempDir& dir) = nullptr;
};

std::string Expand(std::string text, const TempDir& dir) {
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1))
        text.replace(at, 1, dir.Path().string());
    return text;
}

void WriteFile(const std::string& path, const std::string& contents) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

void MakeShortSequence(const TempDir& dir) {
    WriteSourceSequence(dir / "in_%03d.png", 8, 8, 4);
}

// A sequence whose last file is damaged: the plug-in's request for it fails in the host.
void MakeDamagedSequence(const TempDir& dir) {
    MakeShortSequence(dir);
    WriteFile(dir / "in_003.png", "damaged");
}

void MakeBundleWithoutInfo(const TempDir& dir) {
    fs::create_directories(dir / "b.bundle/Contents");
}

void MakeBundleWithoutProgram(const TempDir& dir) {
    WriteFile(dir / "b.bundle/Contents/Info",
              "CFBundleIdentifier = test.noprogram\nCFBundleExecutable = lumashift\n");
}

// Programs for other processors only: the error names the folders the bundle does have.
void MakeBundleForOtherProcessors(const TempDir& dir) {
    WriteFile(dir / "b.bundle/Contents/Info",
              "CFBundleIdentifier = test.foreign\nCFBundleExecutable = lumashift\n");
    WriteFile(dir / "b.bundle/Contents/powerpc/lumashift", "a program for another processor");
    WriteFile(dir / "b.bundle/Contents/aarch64/lumashift", "a program for another processor");
    WriteFile(dir / "b.bundle/Contents/Resources/lumashift", "not a program folder");
}

// A real shared library that exports no `main` (FFmpeg's utility library, which is not built
// with the sanitizers, so a second copy of it loads cleanly), under the program's name with
// and without the library suffix.
void MakeBundleWithoutEntry(const TempDir& dir) {
    WriteFile(dir / "b.bundle/Contents/Info",
              "CFBundleIdentifier = test.noentry\nCFBundleExecutable = lumashift\n");
    utsname machine{};
    uname(&machine);
    const fs::path programs = dir.Path() / "b.bundle/Contents" / machine.machine;
    fs::create_directories(programs);
    Dl_info library{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&av_version_info), &library), 0);
    for (const char* name : {"lumashift", "lumashift.so"})
        fs::copy_file(library.dli_fname, programs / name);
}

class CommandErrors : public WholePath, public testing::WithParamInterface<ErrorCase> {};

TEST_P(CommandErrors, ExitNonZeroWithAMessageAndLeaveNoOutput) {
    const ErrorCase& c = GetParam();
    if (c.prepare) c.prepare(dir_);
    std::vector<std::string> args;
    for (const std::string& arg : c.args)
        args.push_back(Expand(arg, dir_));
    const RunResult run = Run(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(Expand(c.mentions, dir_)), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(fs::exists(dir_ / "out.mp4"));
    EXPECT_FALSE(fs::exists(dir_ / ".out.mp4.partial"));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CommandErrors,
    testing::Values(
        ErrorCase{"MissingInput",
                  {"render", "@/nothing.mp4", "-o", "@/out.mp4"},
                  1,
                  "cannot read '@/nothing.mp4'"},
        ErrorCase{"UnreadableInput",
                  {"render", "@/junk.mov", "-o", "@/out.mp4"},
                  1,
                  "cannot read '@/junk.mov'",
                  [](const TempDir& d) { WriteFile(d / "junk.mov", "no movie in here"); }},
        ErrorCase{"UnwritableOutput",
                  {"render", "-o", "@/file/out.mp4"},
                  1,
                  "cannot write '@/file/out.mp4'",
                  [](const TempDir& d) { WriteFile(d / "file", "a file, not a folder"); }},
        ErrorCase{"UnknownOutputType", {"render", "-o", "@/out.avi"}, 2, "'@/out.avi'"},
        ErrorCase{"MissingBundle",
                  {"render", "-o", "@/out.mp4", "--bundle", "@/none.bundle"},
                  1,
                  "no plug-in bundle at '@/none.bundle'"},
        ErrorCase{"BundleWithoutInfo",
                  {"info", "--bundle", "@/b.bundle"},
                  1,
                  "'@/b.bundle' is not a plug-in bundle",
                  MakeBundleWithoutInfo},
        ErrorCase{"BundleWithoutProgram",
                  {"render", "-o", "@/out.mp4", "--bundle", "@/b.bundle"},
                  1,
                  "has no program 'lumashift'",
                  MakeBundleWithoutProgram},
        ErrorCase{"BundleForOtherProcessors",
                  {"info", "--bundle", "@/b.bundle"},
                  1,
                  "it holds programs for: aarch64, powerpc",
                  MakeBundleForOtherProcessors},
        ErrorCase{"ProgramWithoutEntryPoint",
                  {"info", "--bundle", "@/b.bundle"},
                  1,
                  "exports no entry point 'main'",
                  MakeBundleWithoutEntry},
        ErrorCase{"RefusedFrame",
                  {"render", "@/in_%03d.png", "-o", "@/out.mp4", "--quiet"},
                  1,
                  "the plug-in refused frame 3 (frame 3 of the effect): kPluginFailed (6)",
                  MakeDamagedSequence},
        ErrorCase{"StartPastTheEnd",
                  {"render", "@/in_%03d.png", "-o", "@/out.mp4", "--start", "4"},
                  2,
                  "--start 4 is past the end",
                  MakeShortSequence},
        ErrorCase{"FramesPastTheEnd",
                  {"render", "@/in_%03d.png", "-o", "@/out.mp4", "--start", "1", "--frames", "4"},
                  2,
                  "--frames 4 from frame 1 runs past the end",
                  MakeShortSequence},
        ErrorCase{"ThumbnailPastTheEnd",
                  {"thumbnail", "@/in_%03d.png", "-o", "@/t.png", "--at", "9"},
                  2,
                  "--at 9 is past the end",
                  MakeShortSequence},
        ErrorCase{"ThumbnailAsVideo", {"thumbnail", "-o", "@/out.mp4"}, 2, "NAME.png"},
        ErrorCase{"ConfigureWithoutADisplay", {"configure"}, 1, "needs a display"},
        ErrorCase{"UnknownCommand", {"transcode"}, 2, "unknown command 'transcode'"},
        ErrorCase{"BadOption", {"render", "-o", "@/out.mp4", "--fade-in", "soon"}, 2, "'soon'"}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return info.param.name; });

// The plug-in gives back the frame it never got, as it must; that must not hide why the frame
// could not be had.
TEST_F(WholePath, AFrameThatCannotBeDecodedIsReportedAsSuch) {
    MakeDamagedSequence(dir_);
    const std::string sequence = dir_ / "in_%03d.png";
    const RunResult run = Run({"render", sequence, "-o", dir_ / "out.mp4", "--quiet"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find(std::string("'").append(sequence).append("': decoding failed")),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("ReleaseFrame"), std::string::npos) << run.err;
}

// Twenty flat grey pictures, the first ten lasting one thirtieth of a second and the rest three:
// 38 thirtieths in all.
class VaryingFrameLengths : public WholePath, public testing::WithParamInterface<const char*> {
  protected:
    static int SourceOf(int frame) { return frame < 10 ? frame : 10 + (frame - 10) / 3; }
    static constexpr int kPictures = 20, kFrames = 38;

    std::string MakeClip(const std::string& encoding) {
        auto writer = OpenFrameWriter(OutputKind::ImageSequence,
                                      OutputSettings(dir_ / "in_%03d.png", 16, 16, {30, 1}));
        std::vector<uint8_t> bytes(16 * 16 * 4);
        for (int picture = 0; picture < kPictures; ++picture) {
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = i % 4 == size_t(kAlphaByte) ? 255 : uint8_t(12 * picture);
            writer->Write(PixelView{bytes.data(), 16 * 4, MakeRect(16, 16)}, nullptr);
        }
        writer->Finish();
        const std::string clip = dir_ / ("vfr" + std::string(GetParam()));
        const std::string command =
            "ffmpeg -v error -framerate 30 -i '" + (dir_ / "in_%03d.png") +
            "' -vf \"setpts='if(lt(N,10),N,10+(N-10)*3)/(30*TB)'\" -fps_mode passthrough " +
            encoding + " -y '" + clip + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return clip;
    }
};

TEST_P(VaryingFrameLengths, AreRenderedAtTheClipsRateForAsLongAsTheClipLasts) {
    const std::string clip = MakeClip(
        std::string(GetParam()) == ".mkv" ? "-c:v ffv1" : "-c:v libx264 -qp 0 -pix_fmt yuv444p");
    const RunResult run = Run({"render", clip, "-o", dir_ / "out_%03d.png"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("rendered at a constant 30 fps, as 38 frames"), std::string::npos)
        << run.err;
    const std::string output = DecodeRgba(dir_ / "out_%03d.png");
    ASSERT_EQ(output.size(), size_t(kFrames * 16 * 16 * 4));
    for (int frame = 0; frame < kFrames; ++frame)
        EXPECT_NEAR(uint8_t(output[size_t(frame * 16 * 16 * 4)]), 12 * SourceOf(frame), 2)
            << "frame " << frame;
}

INSTANTIATE_TEST_SUITE_P(Containers, VaryingFrameLengths, testing::Values(".mkv", ".mp4"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param + 1);
                         });

TEST_F(WholePath, TheOutputCannotBeTheInputUnderAnotherName) {
    WriteToneClip(dir_ / "clip.mp4", 5);
    fs::create_directories(dir_ / "sub");
    const auto before = fs::file_size(dir_ / "clip.mp4");
    const RunResult run = Run({"render", dir_ / "clip.mp4", "-o", dir_ / "sub/../clip.mp4"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("is the input"), std::string::npos) << run.err;
    EXPECT_EQ(fs::file_size(dir_ / "clip.mp4"), before);
}

// ---- Ctrl-C in the middle of a render ------------------------------------------------------

// The clip for the interrupted render: noise, so that every frame costs the encoder bytes, in
// an AVI, whose header carries the frame count. reelhost then reads it from a pipe in one pass,
// opening it once.
constexpr int kPipedFrames = 240;

std::string PipedClipBytes(const TempDir& dir) {
    const std::string path = dir / "noise.avi";
    const std::string command =
        "ffmpeg -v error -f lavfi -i 'testsrc2=size=160x120:rate=25,noise=alls=80:allf=t' "
        "-frames:v " +
        std::to_string(kPipedFrames) + " -c:v ffv1 -y '" + path + "'";
    if (std::system(command.c_str()) != 0) return {};
    return testing_support::ReadWhole(path);
}

// The writing end of a named pipe that reelhost reads its clip from: the test decides how much
// of the clip exists, so the render cannot run ahead of it.
class ClipPipe {
  public:
    explicit ClipPipe(std::string bytes) : bytes_(std::move(bytes)) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN; // a reader that has gone answers EPIPE, not a signal
        sigaction(SIGPIPE, &ignore, &previous_);
    }
    ~ClipPipe() {
        Close();
        sigaction(SIGPIPE, &previous_, nullptr);
    }
    ClipPipe(const ClipPipe&) = delete;
    ClipPipe& operator=(const ClipPipe&) = delete;

    // Opens the writing end once a reader has opened the other; false if none comes in time.
    bool Open(const std::string& path, ReelhostProcess& reader,
              std::chrono::steady_clock::time_point deadline) {
        while ((fd_ = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
            if (errno != ENXIO || reader.HasEnded() || std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    // Writes what the pipe takes within a moment, up to byte `limit` of the clip; false once
    // the reader has gone.
    bool Feed(size_t limit) {
        pollfd ready{fd_, POLLOUT, 0};
        if (written_ >= limit || poll(&ready, 1, 20) <= 0) return true;
        const ssize_t n =
            write(fd_, bytes_.data() + written_, std::min<size_t>(limit - written_, 65536));
        if (n > 0) written_ += size_t(n);
        return n >= 0 || errno == EAGAIN;
    }

    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

    size_t Size() const { return bytes_.size(); }
    size_t Written() const { return written_; }

  private:
    std::string bytes_;
    size_t written_ = 0;
    int fd_ = -1;
    struct sigaction previous_ {};
};

TEST_F(WholePath, CtrlCFinishesTheFileSoItPlays) {
    const std::string clip = PipedClipBytes(dir_);
    ASSERT_FALSE(clip.empty()) << "the ffmpeg program could not make the clip";
    const std::string input = dir_ / "piped.avi";
    ASSERT_EQ(mkfifo(input.c_str(), 0600), 0) << std::strerror(errno);
    const std::string output = dir_ / "long.mp4";
    const std::string partial = dir_ / ".long.mp4.partial";
    ClipPipe pipe(clip);
    ReelhostProcess process({"render", input, "-o", output, "--quiet"}, config_.Path().string(),
                            dir_ / "interrupted");
    ASSERT_GT(process.Pid(), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    ASSERT_TRUE(pipe.Open(input, process, deadline)) << "reelhost never opened its input";

    // At most two thirds of the clip until encoded frames reach the partial file: the render
    // is then under way, and it cannot end before the rest of the clip is there.
    const size_t held = pipe.Size() * 2 / 3;
    const auto written = [&] {
        std::error_code missing;
        const auto size = fs::file_size(partial, missing);
        return missing ? 0 : size;
    };
    while (written() < 40000) {
        ASSERT_FALSE(process.HasEnded()) << "reelhost ended before the interrupt";
        ASSERT_LT(std::chrono::steady_clock::now(), deadline)
            << "no output after " << pipe.Written() << " of " << pipe.Size() << " bytes";
        if (pipe.Written() < held)
            ASSERT_TRUE(pipe.Feed(held));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(kill(process.Pid(), SIGINT), 0);
    // The rest of the clip, for the frame in hand; reelhost stops reading after it.
    const auto finish = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (pipe.Written() < pipe.Size() && !process.HasEnded() &&
           std::chrono::steady_clock::now() < finish && pipe.Feed(pipe.Size())) {
    }
    pipe.Close();
    const RunResult run = process.WaitAtMost(std::chrono::seconds(30));
    ASSERT_FALSE(run.timedOut) << "reelhost did not end after Ctrl-C and the end of its input";

    EXPECT_EQ(run.signal, 0) << "the signal ended reelhost instead of the render";
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(partial));
    const int frames = CountVideoFrames(output);
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, kPipedFrames);
    EXPECT_NE(run.err.find("first " + std::to_string(frames) + " frames"), std::string::npos)
        << run.err;
}

} // namespace
} // namespace reelhost
