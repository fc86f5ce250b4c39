// A whole request sequence with the N-th allocation failing, for every N until none fails: each
// request answers a defined result, nothing stays lent or allocated, and no request reports
// success with a picture other than the one it gives when nothing fails.
#include "DataHandling.h"
#include "configs.h"
#include "PlatformTestHooks.h"
#include "pluginloader.h"
#include "prefsloader.h"
#include "testhost.h"

#include <gtest/gtest.h>

#include <iostream>
#include <set>
#include <vector>

namespace {

constexpr int16_t kWidth = 40, kHeight = 30;
constexpr uint32_t kUnwritten = 0x12345678; // what the output holds before a request draws

struct Request {
    const char* name;
    HYPluginSelector selector;
    int32_t renderFrame;
};

// Describe, begin (with a fade-in), a plain frame, a fade frame, end, and the placeholder.
const std::vector<Request> kSequence = {
    {"describe", kPlugGetInfo, 0},     {"begin", kPlugInitialize, 0},
    {"plain frame", kPlugDoFrame, 20}, {"fade frame", kPlugDoFrame, 3},
    {"end", kPlugTerminate, 0},        {"placeholder", kPlugFilePlaceHolder, 0},
};

struct Outcome {
    int32_t result;
    std::vector<uint32_t> picture;
};

std::vector<uint32_t> Picture(GWorldPtr image) {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            pixels.push_back(PixelAt(image, x, y));
    return pixels;
}

void Clear(GWorldPtr image) {
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            SetPixelAt(image, x, y, kUnwritten);
}

class AllocationSweep : public testing::Test {
  protected:
    void SetUp() override {
        // A configuration that changes the region's pixels, so a frame left unrendered shows.
        const PluginDataRec config = ConfigWith(RelRect{0.25, 0.75, 0.2, 0.9}, 80, 65);
        ASSERT_TRUE(SaveConfig(&config));
        host_.params.startFrame = 100;
        host_.params.frameCount = 30;
        host_.params.getInfo.bestThumbOffset = 7;
        host_.filterInfo.fadeInFrames = 10;
        // The first call reads the configuration; a failure there is fatal by design.
        ASSERT_EQ(host_.Send(plugin_.entry, kPlugGetInfo), kPluginOK);
        baselineBlocks_ = host_.LiveBlocks();
    }

    std::vector<Outcome> RunSequence() {
        std::vector<Outcome> outcomes;
        for (const Request& request : kSequence) {
            Clear(host_.Output());
            host_.params.renderFrame = request.renderFrame;
            const int32_t result = host_.Send(plugin_.entry, request.selector);
            outcomes.push_back({result, Picture(host_.Output())});
            EXPECT_EQ(host_.LiveFrames(), 0u) << request.name << ": a frame is still lent";
        }
        EXPECT_EQ(host_.params.clientData, nullptr);
        EXPECT_EQ(host_.LiveBlocks(), baselineBlocks_) << "blocks left allocated";
        return outcomes;
    }

    TempPreferences prefs_;
    PluginInstance plugin_;
    TestHost host_{kWidth, kHeight};
    size_t baselineBlocks_ = 0;
};

TEST_F(AllocationSweep, EveryFailingAllocationGivesADefinedAnswerAndNoFalseSuccess) {
    const std::vector<Outcome> reference = RunSequence();
    for (const Outcome& outcome : reference)
        ASSERT_EQ(outcome.result, kPluginOK);
    ASSERT_NE(reference[2].picture, reference[3].picture) << "the fade frame must differ";

    const std::set<int32_t> defined = {kPluginOK, kPluginBadParams, kPluginOutOfMemory,
                                       kPluginFailed};
    long failing = 1;
    for (;; ++failing) {
        SCOPED_TRACE(testing::Message() << "allocation " << failing << " fails");
        MemTestFailAllocation(failing);
        const std::vector<Outcome> outcomes = RunSequence();
        if (MemTestFailAllocation(0) > 0) break; // the sequence made fewer allocations
        for (size_t i = 0; i < kSequence.size(); ++i) {
            SCOPED_TRACE(kSequence[i].name);
            EXPECT_TRUE(defined.count(outcomes[i].result)) << outcomes[i].result;
            if (outcomes[i].result == kPluginOK) {
                EXPECT_EQ(outcomes[i].picture, reference[i].picture) << "success, wrong picture";
            }
        }
    }
    // One allocation per request is far too few: the sweep must have reached the frames.
    EXPECT_GT(failing, 8);
    std::cout << "[ sweep    ] allocations failed in turn: 1 to " << failing - 1 << "\n";
    RecordProperty("largest_failing_allocation", int(failing - 1));
}

} // namespace
