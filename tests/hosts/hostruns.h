// Shared by the tests that run real hosts and editors' renderers: a scratch folder, one host
// command line with the installed plug-in, clips of random frames, and what the effect must make
// of a whole clip.
#pragma once

#include "frei0rtesting.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace hosttest {

using frei0rtest::Setting;

constexpr int kFrames = 3;
constexpr size_t kRgbaAlphaByte = 3; // frei0r frames are R, G, B, A in memory

// A scratch folder for one test, with the frames it renders and the hosts' logs.
class Workdir {
  public:
    Workdir() {
        char pattern[] = "/tmp/glimmerdusk-hosts-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~Workdir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    Workdir(const Workdir&) = delete;
    Workdir& operator=(const Workdir&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// Runs one host command line with the installed plug-in on the frei0r path and a private
// GStreamer registry, within a time limit. The output goes to the folder's log.
inline ::testing::AssertionResult RunHost(const Workdir& dir, const std::string& command) {
    const std::string line = "FREI0R_PATH='" LUMASHIFT_TEST_PREFIX "/lib/frei0r-1' GST_REGISTRY='" +
                             (dir / "registry.bin") + "' timeout 120 " + command + " >'" +
                             (dir / "log.txt") + "' 2>&1";
    if (std::system(line.c_str()) == 0) return ::testing::AssertionSuccess();
    std::ifstream log(dir / "log.txt");
    return ::testing::AssertionFailure() << command << "\nfailed:\n"
                                         << std::string(std::istreambuf_iterator<char>(log), {});
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Whether a clip's alpha is random or every pixel is opaque. An editor that lays a clip over its
// black background blends a pixel that is not opaque with the black, whatever the effect did.
enum class Alpha { Random, Opaque };

// A clip of random RGBA frames, as raw bytes in `path`.
inline std::vector<uint8_t> WriteClip(const std::string& path, int width, int height,
                                      int frames = kFrames, Alpha alpha = Alpha::Random) {
    std::vector<uint8_t> clip;
    for (int f = 0; f < frames; ++f) {
        const std::vector<uint8_t> frame =
            frei0rtest::RandomFrame(width, height, uint32_t(f * 31 + width));
        clip.insert(clip.end(), frame.begin(), frame.end());
    }
    if (alpha == Alpha::Opaque)
        for (size_t i = kRgbaAlphaByte; i < clip.size(); i += 4)
            clip[i] = 255;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(clip.data()), std::streamsize(clip.size()));
    return clip;
}

// The effect over a clip, with the setting each frame asks for.
inline std::vector<uint8_t> ExpectedClip(const std::vector<uint8_t>& clip, int width, int height,
                                         const std::function<Setting(int)>& settingAt) {
    const size_t frameBytes = size_t(width) * height * 4;
    std::vector<uint8_t> out;
    for (size_t at = 0; at < clip.size(); at += frameBytes) {
        const std::vector<uint8_t> frame(clip.begin() + long(at),
                                         clip.begin() + long(at + frameBytes));
        const std::vector<uint8_t> done =
            frei0rtest::Expected(frame, width, height, settingAt(int(at / frameBytes)));
        out.insert(out.end(), done.begin(), done.end());
    }
    return out;
}

inline std::vector<uint8_t> ExpectedClip(const std::vector<uint8_t>& clip, int width, int height,
                                         const Setting& s) {
    return ExpectedClip(clip, width, height, [&](int) { return s; });
}

inline std::string Size(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

inline std::string RawInput(const std::string& path, int width, int height) {
    return "-f rawvideo -pix_fmt rgba -s " + Size(width, height) + " -r 25 -i '" + path + "'";
}

constexpr const char* kFfmpeg = "ffmpeg -nostdin -hide_banner -loglevel error -y";
constexpr const char* kRawOutput = "-f rawvideo -pix_fmt rgba";

// MLT reads the clip through FFmpeg: a lossless FFV1 file of the same frames, in.mkv.
inline std::vector<uint8_t> WriteMltClip(const Workdir& dir, int width, int height,
                                         int frames = kFrames, Alpha alpha = Alpha::Random) {
    const std::vector<uint8_t> clip = WriteClip(dir / "in.raw", width, height, frames, alpha);
    EXPECT_TRUE(RunHost(dir, std::string(kFfmpeg) + " " + RawInput(dir / "in.raw", width, height) +
                                 " -c:v ffv1 -pix_fmt bgra '" + (dir / "in.mkv") + "'"));
    return clip;
}

// melt's output: the frames as raw RGBA bytes in out.raw.
inline std::string MeltRawOutput(const Workdir& dir) {
    return "-consumer 'avformat:" + (dir / "out.raw") + "' f=rawvideo vcodec=rawvideo pix_fmt=rgba";
}

} // namespace hosttest
