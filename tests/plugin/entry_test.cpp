// The bundle through its exported entry point, as a host drives it: checks, describe, renders.
#include "configs.h"
#include "filebytes.h"
#include "pixelkernel_testing.h"
#include "pluginloader.h"
#include "testhost.h"
#include "threadcount.h"

#include "DataHandling.h"
#include "MacMemory.h"
#include "PlatformTestHooks.h"
#include "prefsloader.h"

#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <stdexcept>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace {

using Names = std::vector<std::string>;

class Entry : public testing::Test {
  protected:
    TempPreferences prefs_;
    PluginInstance plugin_;
    TestHost host_;
    int32_t Send(HYPluginSelector selector) { return host_.Send(plugin_.entry, selector); }
};

TEST_F(Entry, NullBlockOrOldInterfaceIsRefusedBeforeAnyInitialisation) {
    EXPECT_EQ(plugin_.entry(0, nullptr), kPluginBadParams);
    host_.params.interfaceVersion = 3;
    EXPECT_EQ(Send(kPlugGetInfo), kPluginAppIsTooOld);
    EXPECT_TRUE(host_.calls.empty());
    EXPECT_FALSE(std::filesystem::exists(prefs_.PrefsFile()));

    host_.params.interfaceVersion = 4;
    EXPECT_EQ(Send(kPlugGetInfo), kPluginOK);
    EXPECT_EQ(host_.CountCalls("NewPtrClear"), 1);
    EXPECT_EQ(host_.LastCall("NewPtrClear")->args[0], 128);
    EXPECT_TRUE(std::filesystem::exists(prefs_.PrefsFile()));
}

TEST_F(Entry, AnOldHostIsToldSoEvenWithoutCallbacks) {
    host_.params.interfaceVersion = 3;
    host_.params.procs = nullptr;
    EXPECT_EQ(Send(kPlugGetInfo), kPluginAppIsTooOld);
    host_.params.interfaceVersion = 4;
    EXPECT_EQ(Send(kPlugGetInfo), kPluginBadParams);
    EXPECT_FALSE(std::filesystem::exists(prefs_.PrefsFile()));
}

TEST_F(Entry, NothingThrownInsideReachesTheHost) {
    ASSERT_EQ(Send(kPlugInitialize), kPluginOK);
    host_.throws["GetFrame"] = std::make_exception_ptr(std::runtime_error("host fault"));
    EXPECT_EQ(Send(kPlugDoFrame), kPluginFailed);
    host_.throws["GetFrame"] = std::make_exception_ptr(std::bad_alloc());
    EXPECT_EQ(Send(kPlugDoFrame), kPluginOutOfMemory);
    host_.throws.clear();
    EXPECT_EQ(Send(kPlugDoFrame), kPluginOK);
    EXPECT_EQ(Send(kPlugTerminate), kPluginOK);
}

TEST_F(Entry, ConfigurationIsAllocatedOnlyOnce) {
    Send(kPlugGetInfo);
    Send(kPlugGetInfo);
    Send(3);
    EXPECT_EQ(host_.CountCalls("NewPtrClear"), 1);
}

TEST_F(Entry, UnknownSelectorsDoNothing) {
    for (HYPluginSelector s : {0, 3, 4, 7, 10, 200}) {
        EXPECT_EQ(Send(s), kPluginOK) << int(s);
    }
    EXPECT_EQ(host_.CallNames(), Names{"NewPtrClear"});
    EXPECT_EQ(host_.params.clientData, nullptr);
}

TEST_F(Entry, DescribeAnswersTheEffectAndKeepsTheHostsFlags) {
    host_.params.getInfo.pluginFlags = 0x80000001u;
    host_.params.getInfo2.selectedFrames = 42;
    host_.params.getInfo.minSpeedFrames = 9;
    ASSERT_EQ(Send(kPlugGetInfo), kPluginOK);
    const _PluginParams& p = host_.params;
    EXPECT_EQ(p.getInfo.pluginType, 105);
    EXPECT_EQ(p.getInfo.pluginFlags, 0x80000001u | 0x1380u);
    EXPECT_EQ(p.getInfo.framesToBeRendered, 42);
    EXPECT_EQ(p.getInfo.takeFromClipAfter, 42);
    EXPECT_EQ(p.getInfo.takeFromClipBefore, 0);
    EXPECT_EQ(p.getInfo.minSpeedFrames, 0);
    EXPECT_EQ(p.getInfo2.baseMemoryNeeded, 50000);
    for (const _HYPluginFilterSliderInfo& s : p.getInfo2.filterSliders) {
        EXPECT_EQ(s.defaultValue, 0.5f);
        EXPECT_GT(std::strlen(s.label), 0u);
        EXPECT_GT(std::strlen(s.minLabel), 0u);
        EXPECT_GT(std::strlen(s.maxLabel), 0u);
    }
    EXPECT_GT(std::strlen(p.getInfo3.buttonTitle), 0u);
    EXPECT_LT(std::strlen(p.getInfo3.buttonTitle), 32u);
    EXPECT_GT(std::strlen(p.getInfo2.group), 0u);
}

struct FadeClampCase {
    const char* name;
    int32_t frameCount, in, out, wantIn, wantOut;
};

class FadeClamp : public testing::TestWithParam<FadeClampCase> {};

TEST_P(FadeClamp, AgainstTheFrameCount) {
    TempPreferences prefs;
    PluginInstance plugin;
    TestHost host;
    const FadeClampCase& c = GetParam();
    host.params.frameCount = c.frameCount;
    host.filterInfo.fadeInFrames = c.in;
    host.filterInfo.fadeOutFrames = c.out;
    ASSERT_EQ(host.Send(plugin.entry, kPlugInitialize), kPluginOK);
    // The record's fields in order: frameCount, effectSourceCount, three floats, fades.
    const auto* data = static_cast<const int32_t*>(host.params.clientData);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data[0], 0);
    EXPECT_EQ(data[1], 1);
    EXPECT_EQ(data[5], c.wantIn);
    EXPECT_EQ(data[6], c.wantOut);
    host.Send(plugin.entry, kPlugTerminate);
}

INSTANTIATE_TEST_SUITE_P(Begin, FadeClamp,
                         testing::Values(FadeClampCase{"BothOverHalf", 10, 8, 8, 5, 5},
                                         FadeClampCase{"OddCountHalvesDown", 9, 8, 8, 4, 4},
                                         FadeClampCase{"InOnlyToCount", 10, 12, 0, 10, 0},
                                         FadeClampCase{"OutOnlyKept", 10, 0, 3, 0, 3},
                                         FadeClampCase{"NegativeKept", 10, -4, 0, -4, 0}),
                         [](const testing::TestParamInfo<FadeClampCase>& info) {
                             return info.param.name;
                         });

TEST_F(Entry, BeginCopiesTheConfigurationAndEndReleasesEverything) {
    host_.filterInfo.sliderValues[1] = 0.25f;
    ASSERT_EQ(Send(kPlugInitialize), kPluginOK);
    EXPECT_EQ(host_.CallNames(), (Names{"NewPtrClear", "NewPtrClear", "NewPtrClear",
                                        "GetFilterInfo", "ReleaseFilterInfo"}));
    const auto* floats =
        reinterpret_cast<const float*>(static_cast<const int32_t*>(host_.params.clientData) + 2);
    EXPECT_EQ(floats[1], 0.25f);
    const size_t withRender = host_.LiveBlocks();
    EXPECT_EQ(Send(kPlugTerminate), kPluginOK);
    EXPECT_EQ(host_.params.clientData, nullptr);
    EXPECT_EQ(host_.LiveBlocks(), withRender - 2); // the record and its configuration copy
    EXPECT_EQ(Send(kPlugTerminate), kPluginOK);    // nothing to end: fine
}

TEST_F(Entry, BeginReusingAClientDataDoesNotLeakTheEarlierCopy) {
    ASSERT_EQ(Send(kPlugInitialize), kPluginOK);
    const size_t once = host_.LiveBlocks();
    ASSERT_EQ(Send(kPlugInitialize), kPluginOK);
    EXPECT_EQ(host_.LiveBlocks(), once);
    Send(kPlugTerminate);
}

TEST_F(Entry, BeginFailures) {
    host_.failures["GetFilterInfo"] = 77;
    EXPECT_EQ(Send(kPlugInitialize), 77);
    EXPECT_NE(host_.params.clientData, nullptr); // left for the end request to release
    EXPECT_EQ(Send(kPlugTerminate), kPluginOK);
    host_.failures.clear();

    host_.filterInfoMissing = true;
    EXPECT_EQ(Send(kPlugInitialize), kPluginOK);
    EXPECT_EQ(host_.CountCalls("ReleaseFilterInfo"), 1); // only for the first, lent record
    Send(kPlugTerminate);
}

TEST_F(Entry, BeginOutOfMemory) {
    Send(kPlugGetInfo);
    host_.failures["NewPtrClear"] = 0;
    EXPECT_EQ(Send(kPlugInitialize), kPluginOutOfMemory);
    EXPECT_EQ(host_.params.clientData, nullptr);
}

// A host may ignore a failed begin and ask for frames anyway: they are refused, and nothing
// ends the host.
TEST_F(Entry, FramesAfterAFailedBeginAreRefused) {
    Send(kPlugGetInfo);
    const size_t blocks = host_.LiveBlocks();
    MemTestFailAllocation(2); // the render's record, then its configuration copy
    EXPECT_EQ(Send(kPlugInitialize), kPluginOutOfMemory);
    MemTestFailAllocation(0);
    EXPECT_EQ(Send(kPlugDoFrame), kPluginBadParams);
    Send(kPlugTerminate);

    host_.failures["GetFilterInfo"] = 77;
    EXPECT_EQ(Send(kPlugInitialize), 77);
    host_.failures.clear();
    EXPECT_EQ(Send(kPlugDoFrame), kPluginBadParams);
    EXPECT_EQ(Send(kPlugTerminate), kPluginOK);
    EXPECT_EQ(host_.CountCalls("GetFrame"), 0);
    EXPECT_EQ(host_.LiveBlocks(), blocks);
}

TEST_F(Entry, FrameWithoutABeginIsBadParams) {
    EXPECT_EQ(Send(kPlugDoFrame), kPluginBadParams);
    EXPECT_EQ(host_.CountCalls("GetFrame"), 0);
}

// One frame rendered; answers the output pixel at (x, y) against the source pixel there.
class Frames : public Entry {
  protected:
    void SetUp() override {
        host_.params.startFrame = 100;
        host_.params.frameCount = 30;
    }
    int32_t RenderFrame(int32_t renderFrame, int32_t fadeIn = 0, int32_t fadeOut = 0) {
        host_.filterInfo.fadeInFrames = fadeIn;
        host_.filterInfo.fadeOutFrames = fadeOut;
        host_.calls.clear();
        Send(kPlugInitialize);
        host_.params.renderFrame = renderFrame;
        const int32_t result = Send(kPlugDoFrame);
        Send(kPlugTerminate);
        return result;
    }
    int BlitOpacity() const {
        const HostCall* blit = host_.LastCall("Blit");
        return blit ? int(blit->args[8]) : -1;
    }
    // Saves a configuration for the plug-in to read at its first request: full offset, so
    // that a processed pixel is white and cannot pass for the source.
    static void SaveWhiteningConfiguration() {
        PluginDataRec config{};
        ResetConfig(&config);
        config.Sliders[1] = 100;
        ASSERT_TRUE(SaveConfig(&config));
    }
};

// The host's blend of `top` over `bottom`, one byte.
uint8_t BlendedByte(uint32_t top, uint32_t bottom, int opacity) {
    return uint8_t(((top & 0xFF) * opacity + (bottom & 0xFF) * (255 - opacity) + 127) / 255);
}

TEST_F(Frames, NeutralConfigurationCopiesTheSourceExactly) {
    ASSERT_EQ(RenderFrame(3), kPluginOK);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(PixelAt(host_.Output(), x, y), TestHost::SourcePixel(103, x, y));
    const HostCall* get = host_.LastCall("GetFrame");
    ASSERT_NE(get, nullptr);
    EXPECT_EQ(get->args, (std::vector<int64_t>{103, 64, 48, kDVHighQuality}));
    EXPECT_EQ(host_.LastCall("MixAudio")->args[1], 256);
    EXPECT_EQ(host_.LiveFrames(), 0u);
}

TEST_F(Frames, AFrameWhoseBoundsDoNotStartAtTheOriginPassesUnprocessed) {
    // The effect leaves such a frame alone, so the output is the unprocessed source where the
    // two overlap, and nothing was drawn from outside the source's pixels. The effect would
    // turn a pixel it processed white.
    ASSERT_NO_FATAL_FAILURE(SaveWhiteningConfiguration());
    host_.frameOrigin = Point{10, 20};
    ASSERT_EQ(RenderFrame(3), kPluginOK);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(PixelAt(host_.Output(), x, y),
                      x >= 20 && y >= 10 ? TestHost::SourcePixel(103, x, y) : 0u)
                << x << "," << y;
}

TEST_F(Frames, WhatAFrameLeavesUnwrittenIsZeroAfterAnEarlierFrameOfTheRender) {
    // The render's first frame turns its image white; the second, whose bounds do not start at
    // the origin, reuses that image's pixels and must not show them where it writes nothing.
    ASSERT_NO_FATAL_FAILURE(SaveWhiteningConfiguration());
    ASSERT_EQ(Send(kPlugInitialize), kPluginOK);
    host_.params.renderFrame = 2;
    ASSERT_EQ(Send(kPlugDoFrame), kPluginOK);
    host_.frameOrigin = Point{10, 20};
    host_.params.renderFrame = 3;
    ASSERT_EQ(Send(kPlugDoFrame), kPluginOK);
    Send(kPlugTerminate);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(PixelAt(host_.Output(), x, y),
                      x >= 20 && y >= 10 ? TestHost::SourcePixel(103, x, y) : 0u)
                << x << "," << y;
}

TEST_F(Frames, CallOrderOfAPlainFrame) {
    RenderFrame(3);
    EXPECT_EQ(host_.CallNames(), (Names{"NewPtrClear", "NewPtrClear", "NewPtrClear",
                                        "GetFilterInfo", "ReleaseFilterInfo", "GetFrame",
                                        "MixAudio", "ReleaseFrame", "DisposePtr", "DisposePtr"}));
}

struct FadeCase {
    const char* name;
    int32_t fadeIn, fadeOut, renderFrame, opacity; // -1: no fade
};

class FadeOpacities : public Frames, public testing::WithParamInterface<FadeCase> {};

TEST_P(FadeOpacities, BlendTheUntouchedFrameOver) {
    const FadeCase& c = GetParam();
    ASSERT_EQ(RenderFrame(c.renderFrame, c.fadeIn, c.fadeOut), kPluginOK);
    EXPECT_EQ(BlitOpacity(), c.opacity);
}

INSTANTIATE_TEST_SUITE_P(
    Fades, FadeOpacities,
    testing::Values(FadeCase{"InFirst", 10, 0, 0, 255}, FadeCase{"InMiddle", 10, 0, 5, 127},
                    FadeCase{"InLast", 10, 0, 9, 25}, FadeCase{"InOver", 10, 0, 10, -1},
                    FadeCase{"OutBefore", 0, 10, 20, -1}, FadeCase{"OutFirst", 0, 10, 21, 25},
                    FadeCase{"OutMiddle", 0, 10, 25, 127}, FadeCase{"OutLast", 0, 10, 29, 229},
                    FadeCase{"ThreeOne", 3, 0, 1, 170}, FadeCase{"ThreeTwo", 3, 0, 2, 85},
                    FadeCase{"NegativeInNeverFades", -5, 0, 0, -1},
                    FadeCase{"PastTheEndWithoutFadeOut", 10, 0, 35, 0},
                    FadeCase{"NegativeOutStaysInRange", 0, -5, 40, 0}),
    [](const testing::TestParamInfo<FadeCase>& info) { return info.param.name; });

TEST_F(Frames, FadedFrameIsTheBlendOfSourceOverEffect) {
    // The effect at full offset makes the whole frame white; half-way through a fade-in the
    // untouched source is laid over it at opacity 127.
    ASSERT_NO_FATAL_FAILURE(SaveWhiteningConfiguration());
    ASSERT_EQ(RenderFrame(5, 10, 0), kPluginOK);
    ASSERT_EQ(BlitOpacity(), 127);
    constexpr uint32_t kWhite = 0xFFFFFFFF;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            const uint32_t source = TestHost::SourcePixel(105, x, y);
            uint32_t want = 0;
            for (int shift = 24; shift >= 0; shift -= 8)
                want |= uint32_t(BlendedByte(source >> shift, kWhite >> shift, 127)) << shift;
            ASSERT_EQ(PixelAt(host_.Output(), x, y), want) << x << "," << y;
        }
    }
    EXPECT_EQ(host_.CountCalls("Blit"), 1);
}

TEST_F(Frames, ASavedConfigurationRendersByTheFormula) {
    // The whole frame, both sliders away from neutral: on every processor each colour byte
    // follows the formula and alpha stays.
    const PluginDataRec config = ConfigWith(RelRect{0, 1, 0, 1}, 70, 35);
    ASSERT_TRUE(SaveConfig(&config));
    ASSERT_EQ(RenderFrame(2), kPluginOK);
    const ChannelTable table = kerneltest::FormulaTable(70, 35);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            const uint32_t source = TestHost::SourcePixel(102, x, y);
            uint32_t want = source & 0xFF000000;
            for (int shift = 16; shift >= 0; shift -= 8)
                want |= uint32_t(table.map[(source >> shift) & 0xFF]) << shift;
            ASSERT_EQ(PixelAt(host_.Output(), x, y), want) << x << "," << y;
        }
    }
}

// What stops a saved configuration from being read for now: memory running out, or a failing
// read of its file. The first call allocates the configuration before it reads, so its read's
// allocation is the second.
struct PassingFailure {
    const char* name;
    long (*seam)(long n);
    long firstCall, laterCalls; // the seam's n for the read on the first call and on later ones
    int32_t answer;
};

class PassingReadFailures : public Frames, public testing::WithParamInterface<PassingFailure> {};

// The saved configuration is still the user's: each request that needs it fails with the
// failure's result instead of using the defaults, nothing is drawn or written over it, and the
// next request reads again.
TEST_P(PassingReadFailures, FailWhatNeedsTheSavedConfigurationUntilItIsRead) {
    const PassingFailure& failure = GetParam();
    SaveWhiteningConfiguration();
    const filebytes::Bytes saved = filebytes::ReadBytes(prefs_.PrefsFile());
    SetPixelAt(host_.Output(), 0, 0, 0x12345678);
    host_.params.renderFrame = 2;
    const std::pair<HYPluginSelector, int32_t> requests[] = {
        {kPlugGetInfo, kPluginOK}, // describing needs no configuration
        {kPlugInitialize, failure.answer},
        {kPlugFilePlaceHolder, failure.answer},
        {kPlugCustomButtonClick, failure.answer},
    };
    long n = failure.firstCall;
    for (const auto& [selector, answer] : requests) {
        SCOPED_TRACE(int(selector));
        failure.seam(std::exchange(n, failure.laterCalls));
        EXPECT_EQ(Send(selector), answer);
        EXPECT_EQ(failure.seam(0), 0) << "the read was not reached";
    }
    EXPECT_EQ(host_.params.clientData, nullptr);
    EXPECT_EQ(host_.CountCalls("GetFrame"), 0);
    EXPECT_EQ(PixelAt(host_.Output(), 0, 0), 0x12345678u) << "nothing drawn";
    EXPECT_EQ(filebytes::ReadBytes(prefs_.PrefsFile()), saved) << "nothing written over it";

    ASSERT_EQ(RenderFrame(2), kPluginOK);
    EXPECT_EQ(PixelAt(host_.Output(), 0, 0) & 0xFFFFFF, 0xFFFFFFu) << "the saved configuration";
}

INSTANTIATE_TEST_SUITE_P(
    Failures, PassingReadFailures,
    testing::Values(PassingFailure{"Memory", MemTestFailAllocation, 2, 1, kPluginOutOfMemory},
                    PassingFailure{"FileRead", ResTestFailRead, 1, 1, kPluginFailed}),
    [](const testing::TestParamInfo<PassingFailure>& info) { return info.param.name; });

// A folder where the file should be is no configuration at all: the defaults render, and the
// folder is left where it is.
TEST_F(Frames, AFolderInTheSavedConfigurationsPlaceRendersTheDefaultsAndStays) {
    namespace fs = std::filesystem;
    ASSERT_TRUE(fs::create_directory(prefs_.PrefsFile()));
    ASSERT_EQ(RenderFrame(3), kPluginOK);
    EXPECT_EQ(PixelAt(host_.Output(), 0, 0), TestHost::SourcePixel(103, 0, 0))
        << "the neutral defaults";
    EXPECT_TRUE(fs::is_directory(prefs_.PrefsFile()));
}

TEST_F(Frames, ProxyQualityAndSound) {
    host_.params.proxyOnly = true;
    host_.params.frameRect = Rect{0, 0, 240, 64};
    RenderFrame(0);
    EXPECT_EQ(host_.LastCall("GetFrame")->args[3], kDVLowQuality);
    EXPECT_EQ(host_.CountCalls("MixAudio"), 0);
    host_.params.frameRect = Rect{0, 0, 260, 64};
    RenderFrame(0);
    EXPECT_EQ(host_.LastCall("GetFrame")->args[3], kDVHighQuality);
    EXPECT_EQ(host_.CountCalls("MixAudio"), 0);
}

TEST_F(Frames, NegativeFrameNumberFetchesNothing) {
    host_.params.startFrame = 0;
    EXPECT_EQ(RenderFrame(-1), kPluginOK);
    EXPECT_EQ(host_.CountCalls("GetFrame"), 0);
    EXPECT_EQ(host_.CountCalls("ReleaseFrame"), 0);
}

TEST_F(Frames, FailuresArePassedBackAndTheFrameIsAlwaysGivenBack) {
    host_.failures["GetFrame"] = 21;
    EXPECT_EQ(RenderFrame(1), 21);
    EXPECT_EQ(host_.CountCalls("ReleaseFrame"), 1);
    EXPECT_EQ(PixelAt(host_.Output(), 0, 0), 0u); // nothing drawn
    host_.failures.clear();

    host_.failures["ReleaseFrame"] = 22;
    EXPECT_EQ(RenderFrame(1), 22);
    host_.failures["MixAudio"] = 23;
    EXPECT_EQ(RenderFrame(1), 23); // the first failure wins over ReleaseFrame's
    host_.failures.clear();

    host_.failures["Blit"] = 24;
    EXPECT_EQ(RenderFrame(1, 10, 0), 24);
    EXPECT_EQ(host_.CountCalls("MixAudio"), 0);
    host_.failures.clear();

    host_.frameWithoutImage = true;
    EXPECT_EQ(RenderFrame(1), kPluginFailed);
    EXPECT_EQ(host_.CountCalls("ReleaseFrame"), 1);
    EXPECT_EQ(host_.LiveFrames(), 0u);
}

TEST_F(Frames, OutOfMemoryForTheFramesImages) {
    Send(kPlugGetInfo);
    // The effect's temporary image: the platform's allocation fails, the host hears it.
    host_.filterInfo.fadeInFrames = 0;
    Send(kPlugInitialize);
    host_.params.renderFrame = 12;
    MemTestFailAllocation(2); // the host's frame is the first image, the effect's the second
    EXPECT_EQ(Send(kPlugDoFrame), kPluginOutOfMemory);
    MemTestFailAllocation(0);
    Send(kPlugTerminate);

    // The clean copy of a fade frame.
    host_.filterInfo.fadeInFrames = 10;
    Send(kPlugInitialize);
    host_.params.renderFrame = 2;
    MemTestFailAllocation(2);
    EXPECT_EQ(Send(kPlugDoFrame), kPluginFailed);
    MemTestFailAllocation(0);
    Send(kPlugTerminate);
    EXPECT_EQ(host_.LiveFrames(), 0u);
}

TEST_F(Frames, AFadeFrameTheEffectCouldNotRenderAnswersThatFailure) {
    Send(kPlugGetInfo);
    host_.filterInfo.fadeInFrames = 10;
    Send(kPlugInitialize);
    host_.params.renderFrame = 2;
    host_.calls.clear();
    MemTestFailAllocation(3); // the host's frame, the clean copy, then the effect's image
    EXPECT_EQ(Send(kPlugDoFrame), kPluginOutOfMemory);
    MemTestFailAllocation(0);
    EXPECT_EQ(host_.CountCalls("Blit"), 0) << "nothing rendered to fade";
    EXPECT_EQ(host_.CountCalls("MixAudio"), 0);
    EXPECT_EQ(host_.LiveFrames(), 0u);
    Send(kPlugTerminate);
}

TEST_F(Frames, PlaceholderRendersTheBestThumbnailOnAPrivateCopy) {
    int marker = 0;
    host_.params.clientData = &marker;
    host_.params.getInfo.bestThumbOffset = 7;
    ASSERT_EQ(Send(kPlugFilePlaceHolder), kPluginOK);
    EXPECT_EQ(host_.params.clientData, &marker);
    EXPECT_EQ(host_.LastCall("GetFrame")->args[0], 107);
    EXPECT_EQ(PixelAt(host_.Output(), 5, 5), TestHost::SourcePixel(107, 5, 5));
    host_.params.clientData = nullptr;

    const size_t blocks = host_.LiveBlocks();
    host_.failures["GetFilterInfo"] = 9;
    EXPECT_EQ(Send(kPlugFilePlaceHolder), 9);
    EXPECT_EQ(host_.LiveBlocks(), blocks); // the failed begin's record was released
}

TEST_F(Frames, FramesRememberTheLatestStartAndCountForTheWindow) {
    // The custom button asks for renderFrame + the latest startFrame at the window's size.
    RenderFrame(2);
    host_.frameWithoutImage = true; // no window can open without a frame: a notice, no window
    host_.params.renderFrame = 4;
    host_.calls.clear();
    EXPECT_EQ(Send(kPlugCustomButtonClick), kPluginFailed);
    const HostCall* get = host_.LastCall("GetFrame");
    ASSERT_NE(get, nullptr);
    EXPECT_EQ(get->args, (std::vector<int64_t>{104, 720, 480, kDVHighQuality}));
    EXPECT_EQ(host_.CountCalls("ReleaseFrame"), 1);
}

// A frame large enough for the effect to share its rows among helper threads, on a machine
// counted as four processors: each render's record owns three helpers.
class EffectThreads : public testing::Test {
  protected:
    static constexpr int kHelpers = 3;
    PretendProcessors processors_{4};
    TempPreferences prefs_;
    int before_ = ProcessThreads();
    std::optional<PluginInstance> plugin_{std::in_place};
    TestHost host_{1280, 720};
    int32_t Send(HYPluginSelector selector) { return host_.Send(plugin_->entry, selector); }
};

TEST_F(EffectThreads, HelpersStartWithAFrameAndEndWithTheRender) {
    ASSERT_EQ(Send(kPlugInitialize), kPluginOK);
    EXPECT_EQ(ProcessThreads(), before_) << "none before a frame needs them";
    ASSERT_EQ(Send(kPlugDoFrame), kPluginOK);
    EXPECT_EQ(ProcessThreads(), before_ + kHelpers);
    ASSERT_EQ(Send(kPlugDoFrame), kPluginOK);
    EXPECT_EQ(ProcessThreads(), before_ + kHelpers) << "kept between the render's frames";
    ASSERT_EQ(Send(kPlugTerminate), kPluginOK);
    EXPECT_EQ(ProcessThreads(), before_);
}

TEST_F(EffectThreads, APlaceholderDuringARenderEndsOnlyItsOwnHelpers) {
    ASSERT_EQ(Send(kPlugInitialize), kPluginOK);
    ASSERT_EQ(Send(kPlugDoFrame), kPluginOK);
    ASSERT_EQ(Send(kPlugFilePlaceHolder), kPluginOK);
    EXPECT_EQ(ProcessThreads(), before_ + kHelpers) << "the render's helpers are still its own";
    ASSERT_EQ(Send(kPlugTerminate), kPluginOK);
    EXPECT_EQ(ProcessThreads(), before_);
}

TEST_F(EffectThreads, HelpersEndWhenTheProgramIsUnloaded) {
    ASSERT_EQ(Send(kPlugInitialize), kPluginOK);
    ASSERT_EQ(Send(kPlugDoFrame), kPluginOK);
    EXPECT_EQ(ProcessThreads(), before_ + kHelpers);
    plugin_.reset(); // a host that unloads the program in the middle of a render
    EXPECT_EQ(ProcessThreads(), before_);
    // Loaded again, the program ends that render, so that nothing else of it is left behind.
    plugin_.emplace();
    EXPECT_EQ(Send(kPlugTerminate), kPluginOK);
}

} // namespace
