// The input clip as the host sees it: numbered pictures and frame-aligned sound.
#pragma once

#include "audio_mix.h"
#include "picture_format.h"

#include <cstdint>
#include <memory>
#include <string>

struct AVFrame;

namespace reelhost {

struct ClipInfo {
    std::string name; // for messages: the path, or a description of the built-in clip
    int width = 0;
    int height = 0;
    FrameRate rate;
    int64_t frameCount = 0;
    bool hasSound = false;
    SoundFormat sound;        // the format ReadSound delivers, when hasSound
    std::string soundProblem; // why a clip with a sound stream reads as silent, if it does
    PictureFormat format;
    std::string rateNote; // how frames of varying length became frames at `rate`, if they did
};

class ClipSource {
  public:
    virtual ~ClipSource() = default;
    virtual const ClipInfo& Info() const = 0;
    // The decoded picture of frame `index` (from 0), owned by the source and valid until the
    // next call. Throws HostError for a frame outside the clip or one that cannot be decoded.
    virtual const AVFrame& Picture(int64_t index) = 0;
    // Fills `block` with the sound of frame `index` (its ShareOfFrame) in Info().sound,
    // silence where the clip has none. The block must hold LargestShare samples.
    virtual void ReadSound(int64_t index, AudioBlock& block) = 0;
    // A second reader of the same clip with the same Info(), independent of this one, so that
    // another thread can read it meanwhile. Throws HostError when it cannot be opened.
    virtual std::unique_ptr<ClipSource> OpenAnother() const = 0;
};

// A block that holds the sound of any one frame of `info`.
inline AudioBlock FrameSoundBlock(const ClipInfo& info) {
    return AudioBlock(info.sound.channels, LargestShare(info.sound.sampleRate, info.rate));
}

// Opens a file or image sequence FFmpeg reads; throws HostError naming the path.
std::unique_ptr<ClipSource> OpenClipFile(const std::string& path);
// The generated demo clip: 720 x 480 at 30 fps with moving shapes, colour ramps and a tone.
std::unique_ptr<ClipSource> OpenDemoClip();

} // namespace reelhost
