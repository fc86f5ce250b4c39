// A clip made up in memory for the host's tests: known pictures and known sound per frame.
#pragma once

#include "clip_source.h"
#include "ffmpeg_holders.h"
#include "host_error.h"
#include "pixel_view.h"

#include <stdexcept>

namespace reelhost::testing_support {

// Stereo 8000 Hz at 25 fps: 320 samples per frame.
constexpr SoundFormat kFakeSound{8000, 2};
constexpr FrameRate kFakeRate{25, 1};

// Channel `c` of pixel (x, y) of frame `frame`: every value differs with frame and position.
inline uint8_t FakeChannel(int64_t frame, int x, int y, int c) {
    switch (c) {
    case kAlphaByte:
        return uint8_t(255 - frame);
    case kRedByte:
        return uint8_t(x * 4 + frame);
    case kGreenByte:
        return uint8_t(y * 4);
    default:
        return uint8_t((x ^ y) + frame * 3);
    }
}
// The sound level of frame `frame` in channel `c`.
inline float FakeLevel(int64_t frame, int c) {
    return 0.01f * float(frame + 1) * float(c + 1);
}

class FakeClip : public ClipSource {
  public:
    FakeClip(int width, int height, int64_t frames, bool sound = true) : picture_(MakeFrame()) {
        info_.name = "the fake clip";
        info_.width = width;
        info_.height = height;
        info_.rate = kFakeRate;
        info_.frameCount = frames;
        info_.hasSound = sound;
        info_.sound = kFakeSound;
        picture_->format = AV_PIX_FMT_ARGB;
        picture_->width = width;
        picture_->height = height;
        if (av_frame_get_buffer(picture_.get(), 0) < 0) throw std::bad_alloc();
    }

    const ClipInfo& Info() const override { return info_; }

    const AVFrame& Picture(int64_t index) override {
        if (index < 0 || index >= info_.frameCount)
            throw HostError("no frame " + std::to_string(index));
        for (int y = 0; y < info_.height; ++y)
            for (int x = 0; x < info_.width; ++x)
                for (int c = 0; c < kBytesPerPixel; ++c)
                    picture_->data[0][y * picture_->linesize[0] + x * 4 + c] =
                        FakeChannel(index, x, y, c);
        ++pictures;
        return *picture_;
    }

    void ReadSound(int64_t index, AudioBlock& block) override {
        block.Silence(ShareOfFrame(index, kFakeSound.sampleRate, kFakeRate).count);
        for (int c = 0; c < block.Channels(); ++c)
            std::fill_n(block.Plane(c), block.Length(), FakeLevel(index, c));
    }

    std::unique_ptr<ClipSource> OpenAnother() const override {
        if (!reopenable) throw HostError(info_.name + " can be read only in order");
        ++reopened;
        return std::make_unique<FakeClip>(info_.width, info_.height, info_.frameCount,
                                          info_.hasSound);
    }

    int pictures = 0;
    bool reopenable = true;   // false: a clip read from a pipe
    mutable int reopened = 0; // second readers opened

  private:
    ClipInfo info_;
    FramePtr picture_;
};

} // namespace reelhost::testing_support
