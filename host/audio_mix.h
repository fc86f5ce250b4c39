// Sound in frame-sized pieces: which samples belong to a movie frame, and mixing them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace reelhost {

// A frame rate as frames per `den` seconds: 30000/1001 and 30/1 alike.
struct FrameRate {
    int num = 30;
    int den = 1;
};

// The samples that make up frame `frame`: [first, first + count). Consecutive frames share
// the samples out exactly, so a clip's sound never drifts against its pictures.
struct SampleSpan {
    int64_t first = 0;
    int count = 0;
};
SampleSpan ShareOfFrame(int64_t frame, int sampleRate, FrameRate rate);
// The largest share any one frame gets at this rate.
int LargestShare(int sampleRate, FrameRate rate);

// Planar float samples, one plane per channel, allocated once at the largest size needed;
// Resize within that capacity never allocates.
class AudioBlock {
  public:
    AudioBlock() = default;
    AudioBlock(int channels, int capacity);
    AudioBlock(AudioBlock&&) = default;
    AudioBlock& operator=(AudioBlock&&) = default;
    AudioBlock(const AudioBlock&) = delete; // the plane pointers would point into the original
    AudioBlock& operator=(const AudioBlock&) = delete;

    int Channels() const { return channels_; }
    int Capacity() const { return capacity_; }
    int Length() const { return length_; }
    float* Plane(int channel) { return samples_.data() + size_t(channel) * size_t(capacity_); }
    const float* Plane(int channel) const {
        return samples_.data() + size_t(channel) * size_t(capacity_);
    }
    // Plane pointers for FFmpeg calls that take uint8_t** (valid until the block moves).
    uint8_t** Planes() { return planes_.data(); }
    void* const* ConstPlanes() const { return reinterpret_cast<void* const*>(planes_.data()); }

    // Makes the block `length` samples of silence (clamped to the capacity).
    void Silence(int length);

  private:
    int channels_ = 0;
    int capacity_ = 0;
    int length_ = 0;
    std::vector<float> samples_;
    std::vector<uint8_t*> planes_;
};

// How the host carries sound: the clip's own rate when it is a common one (48000 otherwise),
// mono kept, anything wider mixed down to stereo.
struct SoundFormat {
    int sampleRate = 48000;
    int channels = 2;
};
SoundFormat MixFormatFor(int sampleRate, int channels);

// MixAudio's volume for sound at its own level.
constexpr int kFullVolume = 256;

// Adds `source` into `target` at volume / 256 (256 is unchanged, 0 adds nothing), over the
// samples and channels both blocks have.
void MixInto(AudioBlock& target, const AudioBlock& source, int volume);

} // namespace reelhost
