// The host's callbacks on their own: frames at any size and quality, lending, sound, settings.
#include "fake_clip.h"
#include "gworld.h"
#include "host_session.h"

#include "MacMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>

namespace reelhost {
namespace {

using testing_support::FakeChannel;
using testing_support::FakeClip;
using testing_support::FakeLevel;

class Session : public testing::Test {
  protected:
    HYPluginResult Get(int32_t index, int16_t width, int16_t height, uint8_t quality = 1) {
        image_ = nullptr;
        cookie_ = nullptr;
        volume_ = 0;
        return procs_.GetFrame(session_.Instance(), index, &image_, width, height, quality,
                               &volume_, &cookie_);
    }
    HYPluginResult Release(void* cookie) {
        return procs_.ReleaseFrame(session_.Instance(), cookie);
    }

    FakeClip clip_{40, 30, 10};
    HostSettings settings_{{0.25f, 0.5f, 1.0f}, 7, 3};
    HostSession session_{clip_, settings_};
    _HYProcs& procs_ = *session_.Procs();
    GWorldPtr image_ = nullptr;
    void* cookie_ = nullptr;
    int16_t volume_ = 0;
};

struct SizeCase {
    const char* name;
    int16_t width, height;
};

class FrameSizes : public Session, public testing::WithParamInterface<SizeCase> {};

TEST_P(FrameSizes, ComeBackAtTheRequestedSizeWithBoundsAtTheOrigin) {
    const SizeCase& c = GetParam();
    for (uint8_t quality : {kDVLowQuality, kDVHighQuality}) {
        ASSERT_EQ(Get(3, c.width, c.height, quality), kPluginOK);
        ASSERT_NE(image_, nullptr);
        const PixelView view = ViewOf(image_);
        EXPECT_EQ(view.bounds.top, 0);
        EXPECT_EQ(view.bounds.left, 0);
        EXPECT_EQ(view.Width(), c.width);
        EXPECT_EQ(view.Height(), c.height);
        EXPECT_GE(view.rowBytes, 4L * c.width);
        EXPECT_EQ(volume_, 256);
        // Alpha is the same everywhere in the fake frame, so any scaling keeps it, give or
        // take the scaler's rounding.
        EXPECT_NEAR(view.Pixel(c.width - 1, c.height - 1)[kAlphaByte],
                    FakeChannel(3, 0, 0, kAlphaByte), 1);
        EXPECT_EQ(Release(cookie_), kPluginOK);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameSizes,
                         testing::Values(SizeCase{"Native", 40, 30}, SizeCase{"Half", 20, 15},
                                         SizeCase{"Double", 80, 60},
                                         SizeCase{"OddAndSkewed", 33, 7},
                                         SizeCase{"OnePixel", 1, 1}, SizeCase{"Wide", 1000, 2}),
                         [](const testing::TestParamInfo<SizeCase>& info) {
                             return info.param.name;
                         });

TEST_F(Session, NativeSizeIsAnExactCopyOfTheClipsPicture) {
    for (uint8_t quality : {kDVLowQuality, kDVHighQuality}) {
        ASSERT_EQ(Get(6, 40, 30, quality), kPluginOK);
        const PixelView view = ViewOf(image_);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                for (int c = 0; c < kBytesPerPixel; ++c)
                    ASSERT_EQ(view.Pixel(x, y)[c], FakeChannel(6, x, y, c))
                        << x << "," << y << " channel " << c;
        Release(cookie_);
    }
}

TEST(ScalerQuality, LowQualityIsTheFastScalerAndHighASharpOne) {
    EXPECT_TRUE(ScalerFlagsFor(kDVLowQuality) & (SWS_FAST_BILINEAR | SWS_POINT));
    EXPECT_TRUE(ScalerFlagsFor(kDVHighQuality) & (SWS_BICUBIC | SWS_LANCZOS));
    EXPECT_EQ(ScalerFlagsFor(7), ScalerFlagsFor(kDVHighQuality)); // unknown values: high
}

TEST_F(Session, TheTwoQualitiesScaleDifferently) {
    // Shrinking a fine pattern: the fast and the sharp scaler cannot agree on every pixel.
    ASSERT_EQ(Get(2, 17, 13, kDVLowQuality), kPluginOK);
    const PixelView low = ViewOf(image_);
    GWorldPtr lowImage = image_;
    void* lowCookie = cookie_;
    ASSERT_EQ(Get(2, 17, 13, kDVHighQuality), kPluginOK);
    ASSERT_NE(image_, lowImage);
    const PixelView high = ViewOf(image_);
    int differing = 0;
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 17; ++x)
            differing += !std::equal(low.Pixel(x, y), low.Pixel(x, y) + 4, high.Pixel(x, y));
    EXPECT_GT(differing, 0);
    Release(lowCookie);
    Release(cookie_);
}

struct BadFrameCase {
    const char* name;
    int32_t index;
    int16_t width, height;
    HYPluginResult expected;
};

class BadFrameRequests : public Session, public testing::WithParamInterface<BadFrameCase> {};

TEST_P(BadFrameRequests, AreRefusedWithoutLendingAnything) {
    const BadFrameCase& c = GetParam();
    EXPECT_EQ(Get(c.index, c.width, c.height), c.expected);
    EXPECT_EQ(image_, nullptr);
    EXPECT_EQ(cookie_, nullptr);
    EXPECT_EQ(session_.LentFrames(), 0);
    EXPECT_FALSE(session_.LastProblem().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, BadFrameRequests,
    testing::Values(BadFrameCase{"BeforeTheClip", -1, 40, 30, kPluginFailed},
                    BadFrameCase{"JustAfterTheClip", 10, 40, 30, kPluginFailed},
                    BadFrameCase{"FarAfterTheClip", INT32_MAX, 40, 30, kPluginFailed},
                    BadFrameCase{"NoWidth", 0, 0, 30, kPluginBadParams},
                    BadFrameCase{"NegativeHeight", 0, 40, -30, kPluginBadParams}),
    [](const testing::TestParamInfo<BadFrameCase>& info) { return info.param.name; });

TEST_F(Session, GetFrameWithoutPlacesForTheResultsIsRefused) {
    void* cookie = nullptr;
    GWorldPtr image = nullptr;
    EXPECT_EQ(procs_.GetFrame(session_.Instance(), 0, nullptr, 4, 4, 1, nullptr, &cookie),
              kPluginBadParams);
    EXPECT_EQ(procs_.GetFrame(session_.Instance(), 0, &image, 4, 4, 1, nullptr, nullptr),
              kPluginBadParams);
    // The volume is optional.
    EXPECT_EQ(procs_.GetFrame(session_.Instance(), 0, &image, 4, 4, 1, nullptr, &cookie),
              kPluginOK);
    EXPECT_EQ(Release(cookie), kPluginOK);
}

TEST_F(Session, CallbacksWithoutAnInstanceAreRefused) {
    GWorldPtr image = nullptr;
    void* cookie = nullptr;
    _HYPluginFilterInfo* info = nullptr;
    EXPECT_EQ(procs_.GetFrame(nullptr, 0, &image, 4, 4, 1, nullptr, &cookie), kPluginBadParams);
    EXPECT_EQ(procs_.ReleaseFrame(nullptr, cookie), kPluginBadParams);
    EXPECT_EQ(procs_.MixAudio(nullptr, cookie, 256), kPluginBadParams);
    EXPECT_EQ(procs_.GetFilterInfo(nullptr, &info), kPluginBadParams);
    EXPECT_EQ(procs_.ReleaseFilterInfo(nullptr, info), kPluginBadParams);
}

TEST_F(Session, ReleasedFramesAreReusedAndReleasingTwiceIsAnError) {
    ASSERT_EQ(Get(1, 40, 30), kPluginOK);
    GWorldPtr first = image_;
    void* firstCookie = cookie_;
    EXPECT_EQ(session_.LentFrames(), 1);
    EXPECT_EQ(Release(firstCookie), kPluginOK);
    EXPECT_EQ(session_.LentFrames(), 0);
    EXPECT_EQ(Release(firstCookie), kPluginBadParams);

    // The same image comes back under a new cookie; the old cookie stays dead.
    ASSERT_EQ(Get(2, 40, 30), kPluginOK);
    EXPECT_EQ(image_, first);
    EXPECT_NE(cookie_, firstCookie);
    EXPECT_EQ(Release(firstCookie), kPluginBadParams);
    EXPECT_EQ(session_.LentFrames(), 1);
    EXPECT_EQ(Release(cookie_), kPluginOK);
}

TEST_F(Session, UnknownCookiesAreErrorsNotCrashes) {
    int somewhere = 0;
    for (void* cookie : {static_cast<void*>(nullptr), static_cast<void*>(&somewhere),
                         reinterpret_cast<void*>(uintptr_t(12345))})
        EXPECT_EQ(Release(cookie), kPluginBadParams);
    EXPECT_NE(session_.LastProblem().find("cookie"), std::string::npos);
}

// A plug-in gives back even the frame it did not get, with the null cookie it started from;
// the problem the host reports is still why the frame did not come.
TEST_F(Session, TheFirstProblemOfARequestIsTheOneReported) {
    session_.ClearProblem();
    EXPECT_EQ(Get(10, 40, 30), kPluginFailed);
    EXPECT_EQ(Release(cookie_), kPluginBadParams);
    EXPECT_NE(session_.LastProblem().find("frame 10"), std::string::npos) << session_.LastProblem();
    session_.ClearProblem(); // the next request starts afresh
    EXPECT_EQ(Release(nullptr), kPluginBadParams);
    EXPECT_NE(session_.LastProblem().find("cookie 0"), std::string::npos) << session_.LastProblem();
}

TEST_F(Session, APlugInThatNeverGivesFramesBackIsStoppedNotFed) {
    std::set<GWorldPtr> images;
    int lent = 0;
    while (Get(lent % 10, 40, 30) == kPluginOK && lent < 100) {
        images.insert(image_);
        ++lent;
    }
    EXPECT_EQ(lent, 8);
    EXPECT_EQ(images.size(), 8u);
    EXPECT_NE(session_.LastProblem().find("without giving them back"), std::string::npos);
}

// The render's frames already read, lent as they are while offered.
class OfferedFrames : public Session {
  protected:
    void SetUp() override {
        session_.EnableSound(true);
        slot_.image = MakeImage(40, 30);
        slot_.movieFrame = 4;
        slot_.sound = FrameSoundBlock(clip_.Info());
        slot_.sound.Silence(320);
        std::fill_n(slot_.sound.Plane(0), 320, 0.75f);
        session_.StartOutputFrame(4);
        session_.Offer(slot_);
        picturesBefore_ = clip_.pictures;
    }

    FrameSlot slot_;
    int picturesBefore_ = 0;
};

TEST_F(OfferedFrames, AreLentWithoutReadingTheClipAndMixTheirOwnSound) {
    ASSERT_EQ(Get(4, 40, 30), kPluginOK);
    EXPECT_EQ(image_, slot_.image.get());
    EXPECT_EQ(clip_.pictures, picturesBefore_);
    EXPECT_EQ(session_.LentFrames(), 1);
    ASSERT_EQ(procs_.MixAudio(session_.Instance(), cookie_, 128), kPluginOK);
    EXPECT_FLOAT_EQ(session_.OutputSound().Plane(0)[0], 0.375f);
    EXPECT_EQ(Release(cookie_), kPluginOK);
    EXPECT_EQ(Release(cookie_), kPluginBadParams); // once only
    session_.Withdraw();
    EXPECT_NE(slot_.image, nullptr);
    EXPECT_EQ(session_.LentFrames(), 0);
}

TEST_F(OfferedFrames, OtherFramesAndSizesComeFromTheClip) {
    for (const auto& [index, width] : {std::pair{5, 40}, std::pair{4, 20}}) {
        ASSERT_EQ(Get(index, int16_t(width), 30), kPluginOK);
        EXPECT_NE(image_, slot_.image.get());
        // Alpha is the same all over a fake frame, so it survives scaling too.
        EXPECT_NEAR(ViewOf(image_).Pixel(0, 0)[kAlphaByte], FakeChannel(index, 0, 0, kAlphaByte),
                    1);
        Release(cookie_);
    }
    EXPECT_EQ(clip_.pictures, picturesBefore_ + 2);
}

TEST_F(OfferedFrames, ThatCouldNotBeReadFailWithTheirReason) {
    slot_.failure = "frame 4 cannot be decoded: the disk is on fire";
    EXPECT_EQ(Get(4, 40, 30), kPluginFailed);
    EXPECT_EQ(session_.LastProblem(), slot_.failure);
    EXPECT_EQ(session_.LentFrames(), 0);
}

TEST_F(OfferedFrames, KeptPastTheRequestStayLentAndAliveInTheHostsCare) {
    ASSERT_EQ(Get(4, 40, 30), kPluginOK);
    const PixelView kept = ViewOf(image_);
    session_.Withdraw();
    EXPECT_EQ(slot_.image, nullptr); // the slot gets a new image; the plug-in keeps this one
    EXPECT_EQ(session_.LentFrames(), 1);
    kept.Pixel(39, 29)[kRedByte] = 7; // still the plug-in's to touch
    EXPECT_EQ(Release(cookie_), kPluginOK);
    EXPECT_EQ(session_.LentFrames(), 0);
}

class SessionSound : public Session {
  protected:
    void SetUp() override {
        session_.EnableSound(true);
        ASSERT_TRUE(session_.SoundOn());
        session_.StartOutputFrame(4);
    }
    void ExpectOutputLevel(float level) {
        const AudioBlock& out = session_.OutputSound();
        ASSERT_EQ(out.Length(), 320);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < out.Length(); ++i)
                ASSERT_FLOAT_EQ(out.Plane(c)[i], level * float(c + 1))
                    << "channel " << c << " sample " << i;
    }
};

TEST_F(SessionSound, AFrameNobodyMixesIsSilent) {
    ExpectOutputLevel(0.0f);
}

TEST_F(SessionSound, MixingAddsTheFramesShareAtTheVolume) {
    ASSERT_EQ(Get(4, 40, 30), kPluginOK);
    ASSERT_EQ(procs_.MixAudio(session_.Instance(), cookie_, 256), kPluginOK);
    ExpectOutputLevel(FakeLevel(4, 0));
    ASSERT_EQ(procs_.MixAudio(session_.Instance(), cookie_, 128), kPluginOK);
    ExpectOutputLevel(FakeLevel(4, 0) * 1.5f);
    Release(cookie_);
}

TEST_F(SessionSound, TheNextOutputFrameStartsSilentAgain) {
    ASSERT_EQ(Get(4, 40, 30), kPluginOK);
    ASSERT_EQ(procs_.MixAudio(session_.Instance(), cookie_, 256), kPluginOK);
    Release(cookie_);
    session_.StartOutputFrame(5);
    ExpectOutputLevel(0.0f);
}

TEST_F(SessionSound, MixingNeedsALentFrameAndAVolumeOfZeroOrMore) {
    ASSERT_EQ(Get(4, 40, 30), kPluginOK);
    EXPECT_EQ(procs_.MixAudio(session_.Instance(), cookie_, -1), kPluginBadParams);
    Release(cookie_);
    EXPECT_EQ(procs_.MixAudio(session_.Instance(), cookie_, 256), kPluginBadParams);
    ExpectOutputLevel(0.0f);
}

TEST(SessionWithoutSound, MixingSucceedsAndAddsNothing) {
    FakeClip silent(8, 8, 3, false);
    HostSession session(silent, {});
    session.EnableSound(true);
    EXPECT_FALSE(session.SoundOn());
    GWorldPtr image = nullptr;
    void* cookie = nullptr;
    _HYProcs& procs = *session.Procs();
    ASSERT_EQ(procs.GetFrame(session.Instance(), 0, &image, 8, 8, 1, nullptr, &cookie), kPluginOK);
    EXPECT_EQ(procs.MixAudio(session.Instance(), cookie, 256), kPluginOK);
    EXPECT_EQ(session.OutputSound().Length(), 0);
    EXPECT_EQ(procs.ReleaseFrame(session.Instance(), cookie), kPluginOK);
}

TEST_F(Session, FilterInfoCarriesTheHostSettingsAndIsLentUntilReleased) {
    _HYPluginFilterInfo* info = nullptr;
    ASSERT_EQ(procs_.GetFilterInfo(session_.Instance(), &info), kPluginOK);
    ASSERT_NE(info, nullptr);
    EXPECT_FLOAT_EQ(info->sliderValues[0], 0.25f);
    EXPECT_FLOAT_EQ(info->sliderValues[1], 0.5f);
    EXPECT_FLOAT_EQ(info->sliderValues[2], 1.0f);
    EXPECT_EQ(info->fadeInFrames, 7);
    EXPECT_EQ(info->fadeOutFrames, 3);
    EXPECT_TRUE(session_.FilterInfoLent());

    _HYPluginFilterInfo stranger{};
    EXPECT_EQ(procs_.ReleaseFilterInfo(session_.Instance(), &stranger), kPluginBadParams);
    EXPECT_EQ(procs_.ReleaseFilterInfo(session_.Instance(), nullptr), kPluginBadParams);
    info->fadeInFrames = 99; // a plug-in scribbling on the lent record
    EXPECT_EQ(procs_.ReleaseFilterInfo(session_.Instance(), info), kPluginOK);
    EXPECT_FALSE(session_.FilterInfoLent());
    EXPECT_EQ(procs_.ReleaseFilterInfo(session_.Instance(), info), kPluginBadParams);

    ASSERT_EQ(procs_.GetFilterInfo(session_.Instance(), &info), kPluginOK);
    EXPECT_EQ(info->fadeInFrames, 7);
    EXPECT_EQ(procs_.ReleaseFilterInfo(session_.Instance(), info), kPluginOK);
    EXPECT_EQ(procs_.GetFilterInfo(session_.Instance(), nullptr), kPluginBadParams);
}

TEST_F(Session, MemoryCallbacksAreThePlatformsSizedBlocks) {
    Ptr block = procs_.NewPtrClear(48);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GetPtrSize(block), 48);
    EXPECT_TRUE(std::all_of(block, block + 48, [](char c) { return c == 0; }));
    procs_.DisposePtr(block);
}

struct ResultCase {
    int32_t result;
    const char* expected;
};

class ResultNames : public testing::TestWithParam<ResultCase> {};

TEST_P(ResultNames, NameTheCodeAndItsValue) {
    EXPECT_EQ(ResultName(GetParam().result), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Codes, ResultNames,
                         testing::Values(ResultCase{6, "kPluginFailed (6)"},
                                         ResultCase{3, "kPluginBadParams (3)"},
                                         ResultCase{4, "kPluginOutOfMemory (4)"},
                                         ResultCase{10, "kPluginAppIsTooOld (10)"},
                                         ResultCase{42, "result 42"}));

} // namespace
} // namespace reelhost
