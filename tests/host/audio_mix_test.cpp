// Sound by frame: exact shares of samples per frame, mixing at a volume, silence by default.
#include "audio_mix.h"

#include <gtest/gtest.h>

namespace reelhost {
namespace {

struct ShareCase {
    const char* name;
    int sampleRate;
    FrameRate rate;
};

class FrameShares : public testing::TestWithParam<ShareCase> {};

TEST_P(FrameShares, PartitionTheSoundWithoutGapsOrDrift) {
    const ShareCase& c = GetParam();
    const int largest = LargestShare(c.sampleRate, c.rate);
    int64_t next = 0;
    constexpr int64_t kFrames = 30 * 60 * 10; // ten minutes at 30 fps
    for (int64_t frame = 0; frame < kFrames; ++frame) {
        const SampleSpan span = ShareOfFrame(frame, c.sampleRate, c.rate);
        ASSERT_EQ(span.first, next) << "frame " << frame;
        ASSERT_GE(span.count, largest - 1) << "frame " << frame;
        ASSERT_LE(span.count, largest) << "frame " << frame;
        next += span.count;
    }
    // After N frames exactly N / fps seconds of sound, to the sample (rounded down).
    EXPECT_EQ(next, kFrames * c.sampleRate * c.rate.den / c.rate.num);
}

INSTANTIATE_TEST_SUITE_P(Rates, FrameShares,
                         testing::Values(ShareCase{"Demo48kAt30", 48000, {30, 1}},
                                         ShareCase{"Cd44kAtNtsc", 44100, {30000, 1001}},
                                         ShareCase{"Phone8kAtPal", 8000, {25, 1}},
                                         ShareCase{"Film48kAt23976", 48000, {24000, 1001}},
                                         ShareCase{"OddRate11025At7", 11025, {7, 1}}),
                         [](const testing::TestParamInfo<ShareCase>& info) {
                             return info.param.name;
                         });

TEST(FrameShares, NtscFramesAtCdRateAlternateLengths) {
    // 44100 * 1001 / 30000 = 1471.47 samples per frame: frames start at samples 0, 1471,
    // 2942 and 4414, so shares of 1471, 1471, 1472.
    EXPECT_EQ(ShareOfFrame(0, 44100, {30000, 1001}).count, 1471);
    EXPECT_EQ(ShareOfFrame(1, 44100, {30000, 1001}).count, 1471);
    EXPECT_EQ(ShareOfFrame(2, 44100, {30000, 1001}).first, 2942);
    EXPECT_EQ(ShareOfFrame(2, 44100, {30000, 1001}).count, 1472);
    EXPECT_EQ(LargestShare(44100, {30000, 1001}), 1472);
}

AudioBlock Constant(int channels, int length, float value) {
    AudioBlock block(channels, length);
    block.Silence(length);
    for (int c = 0; c < channels; ++c)
        std::fill_n(block.Plane(c), length, value * float(c + 1));
    return block;
}

struct VolumeCase {
    const char* name;
    int volume;
    float expectedGain;
};

class MixVolumes : public testing::TestWithParam<VolumeCase> {};

TEST_P(MixVolumes, ScaleBy256ths) {
    const VolumeCase& c = GetParam();
    AudioBlock target(2, 100);
    target.Silence(100);
    MixInto(target, Constant(2, 100, 0.25f), c.volume);
    for (int channel = 0; channel < 2; ++channel)
        for (int i = 0; i < 100; ++i)
            ASSERT_FLOAT_EQ(target.Plane(channel)[i], 0.25f * float(channel + 1) * c.expectedGain);
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, MixVolumes,
    testing::Values(VolumeCase{"Full", 256, 1.0f}, VolumeCase{"Half", 128, 0.5f},
                    VolumeCase{"Muted", 0, 0.0f}, VolumeCase{"OneStep", 1, 1.0f / 256},
                    VolumeCase{"Double", 512, 2.0f}),
    [](const testing::TestParamInfo<VolumeCase>& info) { return info.param.name; });

TEST(MixAudioBlocks, AddsToWhatIsThereOverTheCommonPart) {
    AudioBlock target = Constant(2, 10, 0.1f);
    const AudioBlock shorter = Constant(1, 6, 0.2f);
    MixInto(target, shorter, 256);
    EXPECT_FLOAT_EQ(target.Plane(0)[5], 0.1f + 0.2f);
    EXPECT_FLOAT_EQ(target.Plane(0)[6], 0.1f); // beyond the source's length
    EXPECT_FLOAT_EQ(target.Plane(1)[0], 0.2f); // a channel the source lacks
}

TEST(MixAudioBlocks, SilenceClearsEarlierSoundAndStaysWithinCapacity) {
    AudioBlock block = Constant(2, 50, 0.5f);
    block.Silence(30);
    EXPECT_EQ(block.Length(), 30);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 30; ++i)
            ASSERT_EQ(block.Plane(c)[i], 0.0f);
    block.Silence(500);
    EXPECT_EQ(block.Length(), 50);
    block.Silence(-3);
    EXPECT_EQ(block.Length(), 0);
}

struct FormatCase {
    const char* name;
    int rate, channels, expectedRate, expectedChannels;
};

class MixFormats : public testing::TestWithParam<FormatCase> {};

TEST_P(MixFormats, KeepCommonRatesAndMonoAndMixDownTheRest) {
    const FormatCase& c = GetParam();
    const SoundFormat format = MixFormatFor(c.rate, c.channels);
    EXPECT_EQ(format.sampleRate, c.expectedRate);
    EXPECT_EQ(format.channels, c.expectedChannels);
}

INSTANTIATE_TEST_SUITE_P(Inputs, MixFormats,
                         testing::Values(FormatCase{"MonoCd", 44100, 1, 44100, 1},
                                         FormatCase{"Surround", 96000, 6, 96000, 2},
                                         FormatCase{"OddRate", 37800, 2, 48000, 2},
                                         FormatCase{"NoRateNoChannels", 0, 0, 48000, 2}),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                             return info.param.name;
                         });

} // namespace
} // namespace reelhost
