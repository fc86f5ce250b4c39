// A whole request sequence with the N-th allocation failing, for every N until none fails: each
// request answers a defined result, nothing stays lent or allocated, and no request reports
// success with a picture other than the one it gives when nothing fails. Also from a process-new
// plug-in whose first call reads an existing saved configuration.
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

// The same without the describe: a host may begin a render as its first call.
const std::vector<Request> kSequenceWithoutDescribe(kSequence.begin() + 1, kSequence.end());

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

// The host's settings of every sweep: a fade-in, so that one frame is blended.
void SetUpHost(TestHost& host) {
    host.params.startFrame = 100;
    host.params.frameCount = 30;
    host.params.getInfo.bestThumbOffset = 7;
    host.filterInfo.fadeInFrames = 10;
}

// Each request on a cleared output, with what it answered and drew; no frame stays lent and no
// render record stays behind.
std::vector<Outcome> RunSequence(HostPluginEntry entry, TestHost& host,
                                 const std::vector<Request>& sequence) {
    std::vector<Outcome> outcomes;
    for (const Request& request : sequence) {
        Clear(host.Output());
        host.params.renderFrame = request.renderFrame;
        const int32_t result = host.Send(entry, request.selector);
        outcomes.push_back({result, Picture(host.Output())});
        EXPECT_EQ(host.LiveFrames(), 0u) << request.name << ": a frame is still lent";
    }
    EXPECT_EQ(host.params.clientData, nullptr);
    return outcomes;
}

const std::set<int32_t> kDefinedResults = {kPluginOK, kPluginBadParams, kPluginOutOfMemory,
                                           kPluginFailed};

class AllocationSweep : public testing::Test {
  protected:
    void SetUp() override {
        // A configuration that changes the region's pixels, so a frame left unrendered shows.
        const PluginDataRec config = ConfigWith(RelRect{0.25, 0.75, 0.2, 0.9}, 80, 65);
        ASSERT_TRUE(SaveConfig(&config));
        SetUpHost(host_);
        // The first call reads the configuration; a failure there is fatal by design.
        ASSERT_EQ(host_.Send(plugin_.entry, kPlugGetInfo), kPluginOK);
        baselineBlocks_ = host_.LiveBlocks();
    }

    std::vector<Outcome> RunSequence() {
        const std::vector<Outcome> outcomes = ::RunSequence(plugin_.entry, host_, kSequence);
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

    long failing = 1;
    for (;; ++failing) {
        SCOPED_TRACE(testing::Message() << "allocation " << failing << " fails");
        MemTestFailAllocation(failing);
        const std::vector<Outcome> outcomes = RunSequence();
        if (MemTestFailAllocation(0) > 0) break; // the sequence made fewer allocations
        for (size_t i = 0; i < kSequence.size(); ++i) {
            SCOPED_TRACE(kSequence[i].name);
            EXPECT_TRUE(kDefinedResults.count(outcomes[i].result)) << outcomes[i].result;
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

// A process-new plug-in for each run, so that its first call reads the saved configuration
// (region and sliders 70 and 60) while the N-th allocation fails. A record that cannot be read
// then is still the user's: no request may answer success with the defaults' pictures.
class FirstCallSweep : public testing::TestWithParam<const std::vector<Request>*> {
  protected:
    void SetUp() override { ASSERT_TRUE(SaveConfig(&saved_)); }

    // The sequence on a new plug-in with allocation `failing` failing (0: none); `finished` is
    // set when the sequence made fewer allocations.
    std::vector<Outcome> Run(long failing, bool* finished = nullptr) {
        PluginInstance plugin;
        TestHost host{kWidth, kHeight};
        SetUpHost(host);
        MemTestFailAllocation(failing);
        const std::vector<Outcome> outcomes = RunSequence(plugin.entry, host, *GetParam());
        const long waiting = MemTestFailAllocation(0);
        if (finished) *finished = waiting > 0;
        // The global configuration, made by the first call and kept for the process's life.
        EXPECT_EQ(host.LiveBlocks(), 1u) << "blocks left allocated";
        if (failing == 0) {
            // So allocation 1 is the configuration block, whose failure is fatal by design.
            EXPECT_EQ(host.calls.front().name, "NewPtrClear");
            EXPECT_EQ(host.calls.front().args, std::vector<int64_t>{kPluginDataSize});
        }
        return outcomes;
    }

    const PluginDataRec saved_ = ConfigWith(RelRect{0.25, 0.75, 0.2, 0.9}, 70, 60);
    TempPreferences prefs_;
};

TEST_P(FirstCallSweep, ASuccessAlwaysShowsTheSavedConfiguration) {
    const std::vector<Request>& sequence = *GetParam();
    const std::vector<Outcome> reference = Run(0);
    for (const Outcome& outcome : reference)
        ASSERT_EQ(outcome.result, kPluginOK);
    {
        TempPreferences noSavedConfiguration;
        const std::vector<Outcome> defaults = Run(0);
        for (size_t i = 0; i < sequence.size(); ++i) {
            const HYPluginSelector selector = sequence[i].selector;
            if (selector == kPlugDoFrame || selector == kPlugFilePlaceHolder) {
                ASSERT_NE(reference[i].picture, defaults[i].picture)
                    << sequence[i].name << " must tell the saved configuration from the defaults";
            }
        }
    }

    long failing = 2;
    for (bool finished = false;; ++failing) {
        SCOPED_TRACE(testing::Message() << "allocation " << failing << " fails");
        const std::vector<Outcome> outcomes = Run(failing, &finished);
        if (finished) break;
        PluginDataRec stored{};
        EXPECT_EQ(ReadConfigRecord(&stored), kConfigRead);
        EXPECT_EQ(stored.Sliders[0], saved_.Sliders[0]) << "the saved configuration was lost";
        EXPECT_EQ(stored.Sliders[1], saved_.Sliders[1]) << "the saved configuration was lost";
        for (size_t i = 0; i < sequence.size(); ++i) {
            SCOPED_TRACE(sequence[i].name);
            EXPECT_TRUE(kDefinedResults.count(outcomes[i].result)) << outcomes[i].result;
            if (outcomes[i].result == kPluginOK) {
                EXPECT_EQ(outcomes[i].picture, reference[i].picture) << "success, wrong picture";
            }
        }
    }
    EXPECT_GT(failing, 8) << "the sweep must have reached the frames";
}

INSTANTIATE_TEST_SUITE_P(Sequences, FirstCallSweep,
                         testing::Values(&kSequence, &kSequenceWithoutDescribe),
                         [](const auto& info) {
                             return info.param == &kSequence ? "DescribeFirst" : "BeginFirst";
                         });

} // namespace
