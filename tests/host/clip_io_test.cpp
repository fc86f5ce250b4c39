// Reading and writing real media: PNG sequences and video round trips, random access, sound,
// the demo clip, and the errors a user can run into with files.
#include "clip_source.h"
#include "frame_scaler.h"
#include "frame_writer.h"
#include "host_error.h"
#include "reelhost_runner.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace reelhost {
namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

// The encoders' statistics would drown the test report.
const bool kQuietFfmpeg = [] {
    av_log_set_level(AV_LOG_ERROR);
    return true;
}();

// An A,R,G,B picture held in a vector, with padded rows like the platform's images.
struct Picture {
    Picture(int width, int height)
        : rowBytes(width * 4 + 12),
          bytes(size_t(rowBytes * height)), view{bytes.data(), rowBytes,
                                                 Rect{0, 0, int16_t(height), int16_t(width)}} {}
    long rowBytes;
    std::vector<uint8_t> bytes;
    PixelView view;
};

uint8_t PatternChannel(int frame, int x, int y, int c) {
    return uint8_t(c == kAlphaByte ? 40 + 20 * frame + x : (x * 37 + y * 11 + c * 71 + frame * 5));
}

void PaintPattern(Picture& picture, int frame) {
    for (int y = 0; y < picture.view.Height(); ++y)
        for (int x = 0; x < picture.view.Width(); ++x)
            for (int c = 0; c < 4; ++c)
                picture.view.Pixel(x, y)[c] = PatternChannel(frame, x, y, c);
}

void PaintFlat(Picture& picture, uint8_t level) {
    for (int y = 0; y < picture.view.Height(); ++y)
        for (int x = 0; x < picture.view.Width(); ++x) {
            uint8_t* p = picture.view.Pixel(x, y);
            p[kAlphaByte] = 255;
            p[kRedByte] = p[kGreenByte] = p[kBlueByte] = level;
        }
}

double MeanRed(const PixelView& view) {
    double sum = 0;
    for (int y = 0; y < view.Height(); ++y)
        for (int x = 0; x < view.Width(); ++x)
            sum += view.Pixel(x, y)[kRedByte];
    return sum / (view.Width() * view.Height());
}

double Rms(const AudioBlock& block) {
    double sum = 0;
    for (int i = 0; i < block.Length(); ++i)
        sum += double(block.Plane(0)[i]) * block.Plane(0)[i];
    return block.Length() ? std::sqrt(sum / block.Length()) : 0.0;
}

class ClipFiles : public testing::Test {
  protected:
    // Frames 0 to count-1 of the pattern as a PNG sequence; answers its pattern.
    std::string WritePngSequence(int width, int height, int count) {
        const std::string pattern = dir_ / "in_%03d.png";
        OutputSettings settings{pattern, width, height, {25, 1}, false, {}};
        auto writer = OpenFrameWriter(OutputKind::ImageSequence, settings);
        Picture picture(width, height);
        for (int frame = 0; frame < count; ++frame) {
            PaintPattern(picture, frame);
            writer->Write(picture.view, nullptr);
        }
        writer->Finish();
        return pattern;
    }

    // 24 frames of 32 x 24 at 25 fps: grey level 10 * frame; silent for the first half,
    // a 440 Hz tone at half scale in the second.
    std::string WriteVideoWithSound(const std::string& name) {
        const std::string path = dir_ / name;
        OutputSettings settings{path, 32, 24, {25, 1}, true, {48000, 2}};
        auto writer = OpenFrameWriter(OutputKind::Video, settings);
        Picture picture(32, 24);
        AudioBlock sound(2, LargestShare(48000, {25, 1}));
        for (int frame = 0; frame < 24; ++frame) {
            PaintFlat(picture, uint8_t(10 * frame));
            const SampleSpan span = ShareOfFrame(frame, 48000, {25, 1});
            sound.Silence(span.count);
            for (int i = 0; frame >= 12 && i < span.count; ++i)
                sound.Plane(0)[i] = sound.Plane(1)[i] = float(
                    0.5 * std::sin(2 * std::numbers::pi * 440 * double(span.first + i) / 48000));
            writer->Write(picture.view, &sound);
        }
        writer->Finish();
        return path;
    }

    PixelView Decode(ClipSource& clip, int64_t index, Picture& into) {
        scaler_.Convert(clip.Picture(index), into.view, 1);
        return into.view;
    }

    TempDir dir_;
    FrameScaler scaler_;
};

TEST_F(ClipFiles, PngSequencesRoundTripExactlyWithAlphaInAnyOrder) {
    const std::string pattern = WritePngSequence(13, 7, 5);
    EXPECT_TRUE(fs::exists(dir_ / "in_000.png"));
    EXPECT_TRUE(fs::exists(dir_ / "in_004.png"));
    auto clip = OpenClipFile(pattern);
    EXPECT_EQ(clip->Info().width, 13);
    EXPECT_EQ(clip->Info().height, 7);
    EXPECT_EQ(clip->Info().frameCount, 5);
    EXPECT_FALSE(clip->Info().hasSound);
    Picture picture(13, 7);
    for (int frame : {4, 0, 3, 3, 1, 2}) {
        Decode(*clip, frame, picture);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x)
                for (int c = 0; c < 4; ++c)
                    ASSERT_EQ(picture.view.Pixel(x, y)[c], PatternChannel(frame, x, y, c))
                        << "frame " << frame << " at " << x << "," << y << " channel " << c;
    }
}

TEST_F(ClipFiles, VideoSeeksToAnyFrameAndCarriesItsSound) {
    for (const char* name : {"clip.mp4", "clip.mkv", "clip.mov"}) {
        SCOPED_TRACE(name);
        auto clip = OpenClipFile(WriteVideoWithSound(name));
        const ClipInfo& info = clip->Info();
        EXPECT_EQ(info.frameCount, 24);
        EXPECT_EQ(info.rate.num * 1.0 / info.rate.den, 25.0);
        ASSERT_TRUE(info.hasSound);
        Picture picture(32, 24);
        for (int frame : {20, 3, 21, 0, 23, 22, 5}) {
            Decode(*clip, frame, picture);
            EXPECT_NEAR(MeanRed(picture.view), 10.0 * frame, 3.0) << "frame " << frame;
        }
        AudioBlock block(info.sound.channels, LargestShare(info.sound.sampleRate, info.rate));
        for (int frame : {2, 8, 15, 22}) {
            clip->ReadSound(frame, block);
            EXPECT_EQ(block.Length(), ShareOfFrame(frame, info.sound.sampleRate, info.rate).count);
            if (frame < 12)
                EXPECT_LT(Rms(block), 0.01) << "frame " << frame;
            else
                EXPECT_NEAR(Rms(block), 0.5 / std::sqrt(2.0), 0.05) << "frame " << frame;
        }
        // Going back in the sound seeks rather than answering silence.
        clip->ReadSound(14, block);
        EXPECT_NEAR(Rms(block), 0.5 / std::sqrt(2.0), 0.05);
    }
}

TEST_F(ClipFiles, TheLastFrameOfACutShortSequenceIsAnErrorNotACrash) {
    const std::string pattern = WritePngSequence(8, 8, 4);
    std::ofstream(dir_ / "in_003.png", std::ios::trunc) << "not a picture";
    auto clip = OpenClipFile(pattern);
    Picture picture(8, 8);
    Decode(*clip, 2, picture);
    EXPECT_THROW(Decode(*clip, 3, picture), HostError);
    Decode(*clip, 1, picture); // and the clip still reads afterwards
    EXPECT_EQ(picture.view.Pixel(0, 0)[kRedByte], PatternChannel(1, 0, 0, kRedByte));
    EXPECT_THROW(clip->Picture(-1), HostError);
    EXPECT_THROW(clip->Picture(4), HostError);
}

// A folder in place of a frame's file: reading it fails (EISDIR) whoever runs the test, a
// genuine read error, unlike damaged bytes or the end of the files.
void MakeUnreadable(const std::string& path) {
    fs::remove(path);
    fs::create_directory(path);
}

TEST_F(ClipFiles, AFileThatCannotBeReadStopsTheClipFromOpening) {
    const std::string pattern = WritePngSequence(8, 8, 6);
    MakeUnreadable(dir_ / "in_004.png");
    try {
        const auto clip = OpenClipFile(pattern);
        FAIL() << "opened with " << clip->Info().frameCount << " frames";
    } catch (const HostError& error) {
        EXPECT_NE(std::string(error.what())
                      .find("cannot read '" + pattern + "': " + std::strerror(EISDIR)),
                  std::string::npos)
            << error.what();
    }
}

TEST_F(ClipFiles, AFileThatCannotBeReadIsAnErrorNotTheEndOfTheClip) {
    const std::string pattern = WritePngSequence(8, 8, 6);
    auto clip = OpenClipFile(pattern);
    Picture picture(8, 8);
    Decode(*clip, 3, picture);
    MakeUnreadable(dir_ / "in_004.png");
    // Going back seeks, so the frames after it come from the files again, not from what
    // opening the clip read ahead.
    Decode(*clip, 1, picture);
    try {
        clip->Picture(4);
        FAIL() << "frame 4 was read";
    } catch (const HostError& error) {
        EXPECT_NE(std::string(error.what())
                      .find("cannot read '" + pattern + "': " + std::strerror(EISDIR)),
                  std::string::npos)
            << error.what();
    }
    // The failed read emptied the decoded picture: frame 3 is decoded again, not taken from it.
    Decode(*clip, 3, picture);
    EXPECT_EQ(picture.view.Pixel(5, 2)[kGreenByte], PatternChannel(3, 5, 2, kGreenByte));
}

struct BadInputCase {
    const char* name;
    const char* file;     // created in the temp folder unless null
    const char* contents; // what it holds
    const char* mentions;
};

class BadInputs : public testing::TestWithParam<BadInputCase> {};

TEST_P(BadInputs, AreErrorsNamingTheFile) {
    const BadInputCase& c = GetParam();
    TempDir dir;
    const std::string path = dir / c.file;
    if (c.contents) std::ofstream(path, std::ios::binary) << c.contents;
    try {
        OpenClipFile(path);
        FAIL() << "opened";
    } catch (const HostError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_NE(message.find(c.mentions), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadInputs,
    testing::Values(BadInputCase{"Missing", "nothing.mp4", nullptr, "cannot read"},
                    BadInputCase{"Garbage", "garbage.mp4", "\x01\x02 this is not a movie",
                                 "cannot read"},
                    BadInputCase{"Empty", "empty.mkv", "", "cannot read"},
                    BadInputCase{"MissingSequence", "none_%03d.png", nullptr, "cannot read"}),
    [](const testing::TestParamInfo<BadInputCase>& info) { return info.param.name; });

TEST_F(ClipFiles, SoundWithoutPicturesIsNotAClip) {
    const std::string path = dir_ / "tone.wav";
    const std::string command = "ffmpeg -v error -f lavfi -i sine=duration=0.5 -y '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    try {
        OpenClipFile(path);
        FAIL() << "opened";
    } catch (const HostError& error) {
        EXPECT_NE(std::string(error.what()).find("holds no video"), std::string::npos)
            << error.what();
    }
}

// A pipe's bytes go to one reader: a clip read from one plays in order, and a second reader of
// it is refused with the reason, where a file of the same bytes opens one.
TEST_F(ClipFiles, APipedClipReadsInOrderButNotASecondTime) {
    const std::string file = dir_ / "clip.avi";
    const std::string command = "ffmpeg -v error -f lavfi -i testsrc2=size=32x24:rate=25 "
                                "-frames:v 5 -c:v ffv1 -y '" +
                                file + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_NE(OpenClipFile(file)->OpenAnother(), nullptr);
    const std::string bytes = testing_support::ReadWhole(file);
    ASSERT_LT(bytes.size(), 65536u) << "the clip must fit in the pipe's buffer";

    const std::string piped = dir_ / "piped.avi";
    ASSERT_EQ(mkfifo(piped.c_str(), 0600), 0) << std::strerror(errno);
    // Opening waits for the reader; the whole clip then fits in the pipe at once. Should a
    // second reader open the pipe and wait on it, a writer that comes and goes ends its wait.
    const std::jthread feeder([&](std::stop_token done) {
        const int fd = open(piped.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return;
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        close(fd);
        for (int i = 0; i < 100 && !done.stop_requested(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const int again = open(piped.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (again >= 0) close(again);
    });
    auto clip = OpenClipFile(piped);
    EXPECT_EQ(clip->Info().frameCount, 5);
    Picture picture(32, 24);
    for (int frame = 0; frame < 5; ++frame)
        EXPECT_NO_THROW(Decode(*clip, frame, picture)) << "frame " << frame;
    try {
        clip->OpenAnother();
        FAIL() << "a second reader of the pipe was opened";
    } catch (const HostError& error) {
        EXPECT_NE(std::string(error.what()).find("'" + piped + "' can be read only in order"),
                  std::string::npos)
            << error.what();
    }
}

struct KindCase {
    const char* path;
    int kind; // -1: refused
};

class OutputKinds : public testing::TestWithParam<KindCase> {};

TEST_P(OutputKinds, FollowTheExtensionAndTheNumberPattern) {
    const KindCase& c = GetParam();
    if (c.kind < 0)
        EXPECT_THROW(OutputKindOf(c.path), UsageError);
    else
        EXPECT_EQ(int(OutputKindOf(c.path)), c.kind);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OutputKinds,
    testing::Values(KindCase{"out.mp4", int(OutputKind::Video)},
                    KindCase{"dir/OUT.MKV", int(OutputKind::Video)},
                    KindCase{"a.b.mov", int(OutputKind::Video)},
                    KindCase{"frames/out_%03d.png", int(OutputKind::ImageSequence)},
                    KindCase{"out%d.PNG", int(OutputKind::ImageSequence)},
                    KindCase{"still.png", int(OutputKind::SingleImage)},
                    KindCase{"100%.png", int(OutputKind::SingleImage)}, KindCase{"clip.avi", -1},
                    KindCase{"noextension", -1}, KindCase{"out.png.txt", -1}, KindCase{"", -1}));

TEST_F(ClipFiles, AnUnwritablePlaceIsReportedBeforeAnyFrame) {
    std::ofstream(dir_ / "file") << "a file, not a folder";
    for (OutputKind kind :
         {OutputKind::Video, OutputKind::ImageSequence, OutputKind::SingleImage}) {
        const std::string path = dir_ / (kind == OutputKind::ImageSequence ? "file/o_%02d.png"
                                         : kind == OutputKind::Video       ? "file/o.mp4"
                                                                           : "file/o.png");
        try {
            OpenFrameWriter(kind, OutputSettings{path, 16, 16, {25, 1}, false, {}});
            ADD_FAILURE() << "opened " << path;
        } catch (const HostError& error) {
            // A sequence names its first file, the others the path as given.
            EXPECT_NE(std::string(error.what()).find("cannot write '" + (dir_ / "file/o")),
                      std::string::npos)
                << error.what();
        }
    }
}

// 4:2:0 H.264 cannot leave a column out of a picture one pixel wide; FFV1 takes it.
TEST_F(ClipFiles, APictureOnePixelWideIsRefusedByH264WithAdvice) {
    try {
        OpenFrameWriter(OutputKind::Video,
                        OutputSettings{dir_ / "thin.mp4", 1, 16, {25, 1}, false, {}});
        ADD_FAILURE() << "a 1 x 16 H.264 output was opened";
    } catch (const HostError& error) {
        EXPECT_NE(std::string(error.what()).find("--codec ffv1"), std::string::npos)
            << error.what();
    }
    OutputSettings lossless{dir_ / "thin.mkv", 1, 16, {25, 1}, false, {}};
    lossless.codec = VideoCodecNamed("ffv1");
    EXPECT_EQ(OpenFrameWriter(OutputKind::Video, lossless)->Width(), 1);
}

TEST_F(ClipFiles, AnUnfinishedVideoLeavesNothingBehindAndAFinishedOneNoTraces) {
    Picture picture(16, 16);
    PaintFlat(picture, 100);
    {
        auto writer = OpenFrameWriter(
            OutputKind::Video, OutputSettings{dir_ / "broken.mp4", 16, 16, {25, 1}, false, {}});
        writer->Write(picture.view, nullptr);
    }
    {
        auto writer = OpenFrameWriter(
            OutputKind::Video, OutputSettings{dir_ / "whole.mkv", 16, 16, {25, 1}, false, {}});
        writer->Write(picture.view, nullptr);
        writer->Finish();
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.Path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"whole.mkv"});
}

TEST_F(ClipFiles, AnUnfinishedSequenceLeavesNoneOfItsImages) {
    Picture picture(16, 16);
    PaintFlat(picture, 100);
    {
        auto writer =
            OpenFrameWriter(OutputKind::ImageSequence,
                            OutputSettings{dir_ / "broken_%02d.png", 16, 16, {25, 1}, false, {}});
        writer->Write(picture.view, nullptr);
        writer->Write(picture.view, nullptr);
        EXPECT_TRUE(fs::exists(dir_ / "broken_01.png")); // each image lands as it is written
    }
    EXPECT_TRUE(fs::is_empty(dir_.Path()));
}

TEST_F(ClipFiles, PicturesOfTheWrongSizeAreRefused) {
    auto writer = OpenFrameWriter(OutputKind::SingleImage,
                                  OutputSettings{dir_ / "one.png", 16, 16, {25, 1}, false, {}});
    Picture wrong(16, 15);
    EXPECT_THROW(writer->Write(wrong.view, nullptr), HostError);
}

TEST(DemoClip, IsFourSecondsOfMovingPicturesWithATone) {
    auto clip = OpenDemoClip();
    const ClipInfo& info = clip->Info();
    EXPECT_EQ(info.width, 720);
    EXPECT_EQ(info.height, 480);
    EXPECT_EQ(info.rate.num / info.rate.den, 30);
    EXPECT_EQ(info.frameCount, 120);
    ASSERT_TRUE(info.hasSound);
    Picture first(720, 480), later(720, 480);
    FrameScaler scaler;
    scaler.Convert(clip->Picture(0), first.view, 1);
    scaler.Convert(clip->Picture(60), later.view, 1);
    EXPECT_NE(first.bytes, later.bytes);
    scaler.Convert(clip->Picture(0), later.view, 1);
    EXPECT_EQ(first.bytes, later.bytes); // the same frame is the same picture every time
    AudioBlock block(info.sound.channels, LargestShare(info.sound.sampleRate, info.rate));
    clip->ReadSound(45, block);
    EXPECT_EQ(block.Length(), 1600);
    EXPECT_GT(Rms(block), 0.1);
    EXPECT_THROW(clip->Picture(120), HostError);
}

} // namespace
} // namespace reelhost
