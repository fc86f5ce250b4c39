// The built-in demo clip, generated frame by frame so that a render needs no input file.
#include "clip_source.h"
#include "ffmpeg_holders.h"
#include "host_error.h"
#include "pixel_view.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace reelhost {
namespace {

constexpr int kDemoWidth = 720;
constexpr int kDemoHeight = 480;
constexpr FrameRate kDemoRate{30, 1};
constexpr int64_t kDemoFrames = 4 * 30; // four seconds
constexpr SoundFormat kDemoSound{48000, 2};
constexpr int kDiscRadius = 48;
constexpr int kStepStripHeight = 40; // grey steps along the bottom edge
constexpr int kGreySteps = 16;
constexpr int kSweepWidth = 12;
constexpr double kToneHz = 440.0;
constexpr double kBeepHz = 880.0; // a short beep at the start of every second, to check sync
constexpr double kBeepSeconds = 0.1;
constexpr float kToneLevel = 0.25f;

class DemoClip final : public ClipSource {
  public:
    DemoClip() : picture_(MakePicture(AV_PIX_FMT_ARGB, kDemoWidth, kDemoHeight)) {
        info_.name = "the built-in demo clip (720 x 480, 30 fps, 4 s)";
        info_.width = kDemoWidth;
        info_.height = kDemoHeight;
        info_.rate = kDemoRate;
        info_.frameCount = kDemoFrames;
        info_.hasSound = true;
        info_.sound = kDemoSound;
        info_.format.pixelFormat = AV_PIX_FMT_ARGB;
        info_.format.matrix = AVCOL_SPC_RGB;
        info_.format.range = AVCOL_RANGE_JPEG;
    }

    const ClipInfo& Info() const override { return info_; }

    const AVFrame& Picture(int64_t index) override {
        if (index < 0 || index >= kDemoFrames)
            throw HostError("frame " + std::to_string(index) + " is outside " + info_.name);
        MakeReusable(*picture_); // a render may still hold the previous picture
        Draw(int(index));
        return *picture_;
    }

    void ReadSound(int64_t index, AudioBlock& block) override {
        const SampleSpan span = ShareOfFrame(index, kDemoSound.sampleRate, kDemoRate);
        block.Silence(span.count);
        for (int i = 0; i < block.Length(); ++i) {
            const float sample = ToneAt(span.first + i);
            for (int c = 0; c < block.Channels(); ++c)
                block.Plane(c)[i] = sample;
        }
    }

    std::unique_ptr<ClipSource> OpenAnother() const override {
        return std::make_unique<DemoClip>();
    }

  private:
    static float ToneAt(int64_t n) {
        const double t = double(n) / kDemoSound.sampleRate;
        double value = std::sin(2 * std::numbers::pi * kToneHz * t);
        if (std::fmod(t, 1.0) < kBeepSeconds) value += std::sin(2 * std::numbers::pi * kBeepHz * t);
        return kToneLevel * float(value);
    }

    void Draw(int frame) {
        // The disc follows a Lissajous path; the dark bar sweeps once across the clip.
        const double phase = 2 * std::numbers::pi * frame / kDemoFrames;
        const int discX =
            kDemoWidth / 2 + int((kDemoWidth / 2 - 2 * kDiscRadius) * std::sin(phase));
        const int discY = kDemoHeight / 2 + int((kDemoHeight / 3) * std::sin(2 * phase));
        const int sweepX = frame * kDemoWidth / int(kDemoFrames);
        for (int y = 0; y < kDemoHeight; ++y) {
            uint8_t* p = picture_->data[0] + std::ptrdiff_t(y) * picture_->linesize[0];
            for (int x = 0; x < kDemoWidth; ++x, p += kBytesPerPixel) {
                p[kAlphaByte] = 255;
                if (y >= kDemoHeight - kStepStripHeight) {
                    const int step = x * kGreySteps / kDemoWidth;
                    p[kRedByte] = p[kGreenByte] = p[kBlueByte] =
                        uint8_t(step * 255 / (kGreySteps - 1));
                } else if (x >= sweepX && x < sweepX + kSweepWidth) {
                    p[kRedByte] = p[kGreenByte] = p[kBlueByte] = 16;
                } else if ((x - discX) * (x - discX) + (y - discY) * (y - discY) <=
                           kDiscRadius * kDiscRadius) {
                    p[kRedByte] = 250;
                    p[kGreenByte] = 245;
                    p[kBlueByte] = 230;
                } else {
                    p[kRedByte] = uint8_t(x * 255 / (kDemoWidth - 1));
                    p[kGreenByte] = uint8_t(y * 255 / (kDemoHeight - 1));
                    p[kBlueByte] = uint8_t(frame * 4 + (x + y) / 4);
                }
            }
        }
    }

    ClipInfo info_;
    FramePtr picture_;
};

} // namespace

std::unique_ptr<ClipSource> OpenDemoClip() {
    return std::make_unique<DemoClip>();
}

} // namespace reelhost
