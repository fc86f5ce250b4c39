// The render loop against a scripted plug-in: request order, parameters, pass-through frames,
// sound, refusals and stopping, all with the end request sent on every path.
#include "fake_clip.h"
#include "gworld.h"
#include "host_error.h"
#include "render.h"

#include <gtest/gtest.h>

#include <optional>

namespace reelhost {
namespace {

using testing_support::FakeChannel;
using testing_support::FakeClip;
using testing_support::FakeLevel;

struct Request {
    int32_t which;
    HYPluginSelector selector;
    int32_t startFrame, renderFrame, frameCount, selectedFrames;
    Boolean proxy;
    Rect frameRect;
};

// What the scripted plug-in does, and what it saw. One at a time: the entry is a plain
// function, so it finds its script through this pointer.
struct Script {
    std::optional<int32_t> failAtRenderFrame; // asks for a frame outside the clip there
    int32_t lookBack = 0;                     // asks for the frame this many before its own
    bool refuseBegin = false;
    std::vector<Request> requests;
    int clientDataMarker = 0;
};
Script* gScript = nullptr;

// Inverts red, green and blue of each source frame into the output, keeps alpha, and passes
// the frame's sound on unless the render is a proxy.
int32_t ScriptedEntry(int32_t which, _PluginParams* p) {
    gScript->requests.push_back({which, p->selector, p->startFrame, p->renderFrame, p->frameCount,
                                 p->getInfo2.selectedFrames, p->proxyOnly, p->frameRect});
    switch (p->selector) {
    case kPlugInitialize:
        p->clientData = &gScript->clientDataMarker;
        return gScript->refuseBegin ? kPluginFailed : kPluginOK;
    case kPlugTerminate:
        p->clientData = nullptr;
        return kPluginOK;
    case kPlugDoFrame:
        break;
    default:
        return kPluginOK;
    }
    const int16_t width = p->frameRect.right, height = p->frameRect.bottom;
    const bool failing = gScript->failAtRenderFrame == p->renderFrame;
    GWorldPtr source = nullptr;
    void* cookie = nullptr;
    const HYPluginResult got = p->procs->GetFrame(
        p->instance, failing ? 100000 : p->startFrame + p->renderFrame - gScript->lookBack, &source,
        width, height, p->proxyOnly ? kDVLowQuality : kDVHighQuality, nullptr, &cookie);
    if (got != kPluginOK) return got;
    const PixelView in = ViewOf(source), out = ViewOf(p->frame);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            out.Pixel(x, y)[kAlphaByte] = in.Pixel(x, y)[kAlphaByte];
            for (int c = kRedByte; c <= kBlueByte; ++c)
                out.Pixel(x, y)[c] = uint8_t(255 - in.Pixel(x, y)[c]);
        }
    HYPluginResult result = kPluginOK;
    if (!p->proxyOnly) result = p->procs->MixAudio(p->instance, cookie, 256);
    const HYPluginResult released = p->procs->ReleaseFrame(p->instance, cookie);
    return result != kPluginOK ? result : released;
}

// Keeps a copy of every frame and the first sample of its sound; can fail on request.
class RecordingWriter : public ArgbFrameWriter {
  public:
    void WriteArgb(const PixelView& picture, const AudioBlock* sound) override {
        if (failAt == int(pictures.size())) throw HostError("disk full");
        std::vector<uint8_t> copy;
        for (int y = 0; y < picture.Height(); ++y)
            copy.insert(copy.end(), picture.Pixel(0, y), picture.Pixel(0, y) + 4 * picture.Width());
        pictures.push_back(std::move(copy));
        levels.push_back(sound && sound->Length() > 0 ? sound->Plane(0)[0] : -1.0f);
        lengths.push_back(sound ? sound->Length() : -1);
    }
    void Finish() override {}
    std::string Description() const override { return "recording"; }
    int Width() const override { return 8; } // the clip's size
    int Height() const override { return 6; }

    int failAt = -1;
    std::vector<std::vector<uint8_t>> pictures;
    std::vector<float> levels;
    std::vector<int> lengths;
};

class Render : public testing::Test {
  protected:
    void SetUp() override { gScript = &script_; }
    void TearDown() override { gScript = nullptr; }

    RenderOutcome Run(
        RenderPlan plan, std::function<bool()> stop = [] { return false; }) {
        session_.EnableSound(true);
        PluginCaller caller(ScriptedEntry, session_);
        caller_ = &caller;
        ProgressMeter meter(ProgressStyle::Quiet, stderr, plan.endWritten - plan.firstWritten);
        RenderOutcome outcome = RunRender(caller, clip_, session_, writer_, plan, meter, stop);
        clientDataAfter_ = caller.Params().clientData;
        return outcome;
    }
    std::string RunExpectingError(RenderPlan plan) {
        try {
            Run(plan);
        } catch (const HostError& error) {
            return error.what();
        }
        ADD_FAILURE() << "the render did not fail";
        return {};
    }
    static RenderPlan Plan(int32_t start, int32_t frames, int64_t first, int64_t end,
                           bool proxy = false) {
        RenderPlan plan;
        plan.start = start;
        plan.frameCount = frames;
        plan.firstWritten = first;
        plan.endWritten = end;
        plan.proxy = proxy;
        plan.width = 8;
        plan.height = 6;
        return plan;
    }
    long CountOf(HYPluginSelector selector) const {
        return std::count_if(script_.requests.begin(), script_.requests.end(),
                             [&](const Request& r) { return r.selector == selector; });
    }
    std::vector<HYPluginSelector> Selectors() const {
        std::vector<HYPluginSelector> selectors;
        for (const Request& r : script_.requests)
            selectors.push_back(r.selector);
        return selectors;
    }
    // True when written frame `index` is movie frame `movieFrame`, inverted or not.
    bool WrittenAs(size_t index, int64_t movieFrame, bool inverted) const {
        const std::vector<uint8_t>& p = writer_.pictures.at(index);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x)
                for (int c = 0; c < 4; ++c) {
                    const uint8_t source = FakeChannel(movieFrame, x, y, c);
                    const uint8_t expected =
                        inverted && c != kAlphaByte ? uint8_t(255 - source) : source;
                    if (p[size_t((y * 8 + x) * 4 + c)] != expected) return false;
                }
        return true;
    }

    Script script_;
    FakeClip clip_{8, 6, 10};
    HostSession session_{clip_, {}};
    RecordingWriter writer_;
    PluginCaller* caller_ = nullptr;
    void* clientDataAfter_ = nullptr;
};

TEST_F(Render, SendsDescribeBeginOneFramePerFrameThenEndWithTheRightParameters) {
    Run(Plan(2, 5, 0, 10));
    const std::vector<HYPluginSelector> expected = {kPlugGetInfo, kPlugInitialize, kPlugDoFrame,
                                                    kPlugDoFrame, kPlugDoFrame,    kPlugDoFrame,
                                                    kPlugDoFrame, kPlugTerminate};
    EXPECT_EQ(Selectors(), expected);
    for (const Request& r : script_.requests) {
        EXPECT_EQ(r.which, r.selector);
        EXPECT_EQ(r.startFrame, 2);
        EXPECT_EQ(r.frameCount, 5);
        EXPECT_EQ(r.selectedFrames, 5); // already set when the effect is described
        EXPECT_EQ(r.frameRect.top, 0);
        EXPECT_EQ(r.frameRect.left, 0);
        EXPECT_EQ(r.frameRect.bottom, 6);
        EXPECT_EQ(r.frameRect.right, 8);
    }
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(script_.requests[size_t(2 + i)].renderFrame, i);
    EXPECT_EQ(clientDataAfter_, nullptr);
    EXPECT_EQ(session_.LentFrames(), 0);
}

TEST_F(Render, FramesOutsideTheEffectPassThroughUnchangedWithTheirSound) {
    const RenderOutcome outcome = Run(Plan(2, 5, 0, 10));
    EXPECT_FALSE(outcome.interrupted);
    ASSERT_EQ(outcome.framesWritten, 10);
    ASSERT_EQ(writer_.pictures.size(), 10u);
    for (int64_t frame = 0; frame < 10; ++frame) {
        const bool inEffect = frame >= 2 && frame < 7;
        EXPECT_TRUE(WrittenAs(size_t(frame), frame, inEffect)) << "frame " << frame;
        EXPECT_EQ(writer_.lengths[size_t(frame)], 320);
        EXPECT_FLOAT_EQ(writer_.levels[size_t(frame)], FakeLevel(frame, 0)) << "frame " << frame;
    }
}

// The reading thread has the clip to itself during a render: the frames the plug-in asks for
// in order are the ones it read ahead, and any other frame comes from one second reader.
TEST_F(Render, FramesAskedForInOrderAreReadOnceFromTheClip) {
    Run(Plan(2, 5, 0, 10));
    EXPECT_EQ(clip_.pictures, 10);
    EXPECT_EQ(clip_.reopened, 0);
}

TEST_F(Render, FramesAskedForOutOfOrderComeFromOneSecondReader) {
    script_.lookBack = 2;
    Run(Plan(2, 5, 0, 10));
    EXPECT_EQ(clip_.reopened, 1);
    EXPECT_EQ(clip_.pictures, 10); // the reading thread's frames only
    ASSERT_EQ(writer_.pictures.size(), 10u);
    for (int64_t frame = 2; frame < 7; ++frame) {
        EXPECT_TRUE(WrittenAs(size_t(frame), frame - 2, true)) << "frame " << frame;
        EXPECT_FLOAT_EQ(writer_.levels[size_t(frame)], FakeLevel(frame - 2, 0))
            << "frame " << frame;
    }
}

TEST_F(Render, AClipThatCannotBeReadTwiceRefusesOutOfOrderFramesSayingWhy) {
    clip_.reopenable = false;
    script_.lookBack = 1;
    const std::string message = RunExpectingError(Plan(2, 5, 0, 10));
    EXPECT_NE(message.find("frame 2 (frame 0 of the effect)"), std::string::npos) << message;
    EXPECT_NE(message.find("can be read only in order"), std::string::npos) << message;
    EXPECT_EQ(Selectors().back(), kPlugTerminate);
}

TEST_F(Render, AProxyRenderIsSilentWhereThePlugInMixesNothing) {
    Run(Plan(0, 4, 0, 6, true));
    for (int64_t frame = 0; frame < 6; ++frame)
        EXPECT_FLOAT_EQ(writer_.levels[size_t(frame)], frame < 4 ? 0.0f : FakeLevel(frame, 0))
            << "frame " << frame;
    for (const Request& r : script_.requests)
        EXPECT_TRUE(r.proxy);
}

TEST_F(Render, ASingleImageRendersOnlyTheEffectsFirstFrame) {
    Run(Plan(3, 4, 3, 4));
    EXPECT_EQ(CountOf(kPlugDoFrame), 1);
    ASSERT_EQ(writer_.pictures.size(), 1u);
    EXPECT_TRUE(WrittenAs(0, 3, true));
}

TEST_F(Render, ARefusedFrameNamesTheFrameTheResultAndTheCauseAndStillEnds) {
    script_.failAtRenderFrame = 2;
    const std::string message = RunExpectingError(Plan(3, 4, 0, 10));
    EXPECT_NE(message.find("frame 5 (frame 2 of the effect)"), std::string::npos) << message;
    EXPECT_NE(message.find("kPluginFailed (6)"), std::string::npos) << message;
    EXPECT_NE(message.find("100000"), std::string::npos) << message;
    EXPECT_EQ(Selectors().back(), kPlugTerminate);
    EXPECT_EQ(writer_.pictures.size(), 5u); // frames 0 to 4 were written before it
}

TEST_F(Render, ARefusedBeginStillGetsItsEndRequest) {
    script_.refuseBegin = true;
    const std::string message = RunExpectingError(Plan(0, 3, 0, 3));
    EXPECT_NE(message.find("to begin the render: kPluginFailed (6)"), std::string::npos) << message;
    const std::vector<HYPluginSelector> expected = {kPlugGetInfo, kPlugInitialize, kPlugTerminate};
    EXPECT_EQ(Selectors(), expected);
    EXPECT_TRUE(writer_.pictures.empty());
}

TEST_F(Render, AFailedWriteStillEndsTheRender) {
    writer_.failAt = 1;
    EXPECT_NE(RunExpectingError(Plan(0, 3, 0, 3)).find("disk full"), std::string::npos);
    EXPECT_EQ(Selectors().back(), kPlugTerminate);
    EXPECT_EQ(session_.LentFrames(), 0);
}

TEST_F(Render, StoppingFinishesTheCurrentFrameAndEnds) {
    int checks = 0;
    const RenderOutcome outcome = Run(Plan(0, 10, 0, 10), [&] { return ++checks > 3; });
    EXPECT_TRUE(outcome.interrupted);
    EXPECT_EQ(outcome.framesWritten, 3);
    EXPECT_EQ(writer_.pictures.size(), 3u);
    EXPECT_EQ(Selectors().back(), kPlugTerminate);
    EXPECT_EQ(CountOf(kPlugDoFrame), 3);
}

} // namespace
} // namespace reelhost
