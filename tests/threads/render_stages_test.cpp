// reelhost's render under load: many frames through its reading, request and writing threads,
// in order and whole, and (under ThreadSanitizer) without a race, also when the render is
// stopped or a stage fails part way.
#include "fake_clip.h"
#include "host_error.h"
#include "render.h"

#include <gtest/gtest.h>

#include <atomic>

namespace reelhost {
namespace {

using testing_support::FakeChannel;
using testing_support::FakeClip;
using testing_support::FakeLevel;

constexpr int kWidth = 24, kHeight = 16, kFrames = 80;
constexpr int32_t kEffectStart = 20, kEffectFrames = 40;

std::atomic<int> gTerminations{0};

// Copies each source frame with red inverted and passes its sound on.
int32_t InvertingEntry(int32_t, _PluginParams* p) {
    if (p->selector == kPlugTerminate) ++gTerminations;
    if (p->selector != kPlugDoFrame) return kPluginOK;
    GWorldPtr source = nullptr;
    void* cookie = nullptr;
    HYPluginResult result = p->procs->GetFrame(p->instance, p->startFrame + p->renderFrame, &source,
                                               kWidth, kHeight, kDVHighQuality, nullptr, &cookie);
    if (result == kPluginOK) {
        const PixelView in = ViewOf(source), out = ViewOf(p->frame);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                std::copy_n(in.Pixel(x, y), kBytesPerPixel, out.Pixel(x, y));
                out.Pixel(x, y)[kRedByte] = uint8_t(255 - in.Pixel(x, y)[kRedByte]);
            }
        result = p->procs->MixAudio(p->instance, cookie, 256);
    }
    const HYPluginResult released = p->procs->ReleaseFrame(p->instance, cookie);
    return result != kPluginOK ? result : released;
}

// Notes each frame's corner pixel and sound; fails at frame `failAt` when asked.
class NotingWriter : public ArgbFrameWriter {
  public:
    void WriteArgb(const PixelView& picture, const AudioBlock* sound) override {
        if (int(reds.size()) == failAt) throw HostError("disk full");
        reds.push_back(picture.Pixel(kWidth - 1, kHeight - 1)[kRedByte]);
        levels.push_back(sound ? sound->Plane(1)[0] : -1.0f);
    }
    void Finish() override {}
    std::string Description() const override { return "notes"; }
    int Width() const override { return kWidth; }
    int Height() const override { return kHeight; }

    int failAt = -1;
    std::vector<uint8_t> reds;
    std::vector<float> levels;
};

class RenderStagesUnderLoad : public testing::Test {
  protected:
    RenderOutcome Run(const std::function<bool()>& stop) {
        gTerminations = 0;
        session_.EnableSound(true);
        PluginCaller caller(InvertingEntry, session_);
        RenderPlan plan;
        plan.start = kEffectStart;
        plan.frameCount = kEffectFrames;
        plan.endWritten = kFrames;
        plan.width = kWidth;
        plan.height = kHeight;
        ProgressMeter meter(ProgressStyle::Quiet, stderr, kFrames);
        return RunRender(caller, clip_, session_, writer_, plan, meter, stop);
    }

    // Written frame `frame` is the clip's own, inverted where the effect covers it.
    void ExpectWrittenInOrder(size_t count) {
        ASSERT_EQ(writer_.reds.size(), count);
        for (size_t frame = 0; frame < count; ++frame) {
            const uint8_t red = FakeChannel(int64_t(frame), kWidth - 1, kHeight - 1, kRedByte);
            const bool inEffect = frame >= kEffectStart && frame < kEffectStart + kEffectFrames;
            EXPECT_EQ(writer_.reds[frame], inEffect ? uint8_t(255 - red) : red) << frame;
            EXPECT_FLOAT_EQ(writer_.levels[frame], FakeLevel(int64_t(frame), 1)) << frame;
        }
    }

    FakeClip clip_{kWidth, kHeight, kFrames};
    HostSession session_{clip_, {}};
    NotingWriter writer_;
};

TEST_F(RenderStagesUnderLoad, WriteEveryFrameInOrder) {
    const RenderOutcome outcome = Run([] { return false; });
    EXPECT_EQ(outcome.framesWritten, kFrames);
    ExpectWrittenInOrder(kFrames);
    EXPECT_EQ(session_.LentFrames(), 0);
    EXPECT_EQ(gTerminations, 1);
}

TEST_F(RenderStagesUnderLoad, StoppedPartWayWriteWhatWasRendered) {
    int asked = 0;
    const RenderOutcome outcome = Run([&] { return ++asked > 30; });
    EXPECT_TRUE(outcome.interrupted);
    EXPECT_EQ(outcome.framesWritten, 30);
    ExpectWrittenInOrder(30);
    EXPECT_EQ(gTerminations, 1);
}

TEST_F(RenderStagesUnderLoad, AFailedWriteStopsEveryStage) {
    writer_.failAt = 45;
    try {
        Run([] { return false; });
        ADD_FAILURE() << "the render did not fail";
    } catch (const HostError& error) {
        EXPECT_STREQ(error.what(), "disk full");
    }
    ExpectWrittenInOrder(45);
    EXPECT_EQ(session_.LentFrames(), 0);
    EXPECT_EQ(gTerminations, 1);
}

} // namespace
} // namespace reelhost
