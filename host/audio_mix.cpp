// Frame shares of a clip's sound and mixing at a volume.
#include "audio_mix.h"

#include <algorithm>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace reelhost {
namespace {

// First sample of frame `frame`: frame * sampleRate / fps, rounded down.
int64_t FirstSampleOf(int64_t frame, int sampleRate, FrameRate rate) {
    return av_rescale_rnd(frame, int64_t(sampleRate) * rate.den, rate.num, AV_ROUND_DOWN);
}

} // namespace

SampleSpan ShareOfFrame(int64_t frame, int sampleRate, FrameRate rate) {
    const int64_t first = FirstSampleOf(frame, sampleRate, rate);
    return {first, int(FirstSampleOf(frame + 1, sampleRate, rate) - first)};
}

int LargestShare(int sampleRate, FrameRate rate) {
    // Shares differ by at most one sample: the rounded-up quotient bounds them all.
    return int(av_rescale_rnd(sampleRate, rate.den, rate.num, AV_ROUND_UP));
}

SoundFormat MixFormatFor(int sampleRate, int channels) {
    // The rates an AAC stream can carry; anything else is resampled to 48000.
    static constexpr int kCommonRates[] = {96000, 88200, 64000, 48000, 44100, 32000,
                                           24000, 22050, 16000, 12000, 11025, 8000};
    const bool common = std::find(std::begin(kCommonRates), std::end(kCommonRates), sampleRate) !=
                        std::end(kCommonRates);
    return {common ? sampleRate : 48000, channels == 1 ? 1 : 2};
}

AudioBlock::AudioBlock(int channels, int capacity)
    : channels_(std::max(channels, 0)), capacity_(std::max(capacity, 0)),
      samples_(size_t(channels_) * size_t(capacity_)), planes_(size_t(channels_)) {
    for (int c = 0; c < channels_; ++c)
        planes_[size_t(c)] = reinterpret_cast<uint8_t*>(Plane(c));
}

void AudioBlock::Silence(int length) {
    length_ = std::clamp(length, 0, capacity_);
    for (int c = 0; c < channels_; ++c)
        std::fill_n(Plane(c), length_, 0.0f);
}

void MixInto(AudioBlock& target, const AudioBlock& source, int volume) {
    const float gain = float(volume) / 256.0f;
    const int channels = std::min(target.Channels(), source.Channels());
    const int length = std::min(target.Length(), source.Length());
    for (int c = 0; c < channels; ++c) {
        float* out = target.Plane(c);
        const float* in = source.Plane(c);
        for (int i = 0; i < length; ++i)
            out[i] += in[i] * gain;
    }
}

} // namespace reelhost
