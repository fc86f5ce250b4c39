// The host's side of the plug-in interface for one clip: the _HYProcs callbacks and their state.
#pragma once

#include "audio_mix.h"
#include "clip_source.h"
#include "frame_pool.h"
#include "frame_scaler.h"
#include "frame_slot.h"

#include "HostPluginAPI.h"

#include <array>
#include <memory>
#include <string>

namespace reelhost {

// The host's own effect settings, as the user gave them on the command line.
struct HostSettings {
    std::array<float, kHostSliderCount> sliders{0.5f, 0.5f, 0.5f};
    int32_t fadeInFrames = 0;
    int32_t fadeOutFrames = 0;
};

// Serves the plug-in's callbacks from `clip`. The callbacks run on the caller's thread during
// a request; the clip must outlive the session. Every callback answers a result code and
// never lets an exception reach the plug-in; LastProblem() says what went wrong.
class HostSession {
  public:
    HostSession(ClipSource& clip, const HostSettings& settings);
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    void* Instance() { return this; }
    _HYProcs* Procs() { return &procs_; }

    // Output sound: when on (and the clip has sound), each output frame gets a block of
    // silence that MixAudio mixes the plug-in's frames into.
    void EnableSound(bool on);
    bool SoundOn() const { return soundOn_; }
    // Begins output frame `index`: `sound` (by default the session's own block) becomes
    // silence of that frame's length, and MixAudio mixes into it until the next call.
    void StartOutputFrame(int64_t index) { StartOutputFrame(index, output_); }
    void StartOutputFrame(int64_t index, AudioBlock& sound);
    // Mixes the sound of `movieFrame` into the current output frame (the host's own copy).
    void MixSourceSound(int64_t movieFrame, int volume);
    const AudioBlock& OutputSound() const { return *outputTarget_; }

    // While the clip is shared (another thread reads it in order for a render), frames and
    // sound that offers do not answer come from a second reader of the clip, opened when first
    // needed; a clip that cannot be read twice then fails those requests.
    void ShareClip(bool shared);

    // Offers `slot`, a frame the host already read, for the next request: GetFrame lends its
    // image as it is when asked for its frame at its size and quality, MixAudio mixes its
    // sound, and a slot that could not be read makes GetFrame fail with its words. The slot
    // must outlive the offer.
    void Offer(FrameSlot& slot);
    // Ends the offer after the request. An image the plug-in did not give back stays lent: the
    // frame pool takes it over and the slot is left without one. Throws HostError when the
    // plug-in then holds too many frames.
    void Withdraw();

    // What went wrong first since the last ClearProblem: later failures in the same request
    // (such as giving back the frame that never came) do not hide it.
    const std::string& LastProblem() const { return lastProblem_; }
    void ClearProblem() { lastProblem_.clear(); }
    int LentFrames() const { return pool_.LentCount() + (offerCookie_ ? 1 : 0); }
    bool FilterInfoLent() const { return filterInfoLends_ > 0; }

    // The callbacks with an instance, as the plug-in reaches them through Procs(); Blit has
    // none and is served by Procs()->Blit alone.
    HYPluginResult GetFrame(int32_t frameIndex, GWorldPtr* outImage, int16_t width, int16_t height,
                            uint8_t quality, int16_t* outVolume, void** outCookie);
    HYPluginResult ReleaseFrame(void* cookie);
    HYPluginResult MixAudio(void* cookie, int16_t volume);
    HYPluginResult GetFilterInfo(_HYPluginFilterInfo** outInfo);
    HYPluginResult ReleaseFilterInfo(_HYPluginFilterInfo* info);

    // Records why a request failed, unless something failed before it; answers `result` so
    // callers can return it.
    HYPluginResult Refuse(HYPluginResult result, const std::string& why);

  private:
    ClipSource& Reader();
    // True when the offered slot answers this request as it is.
    bool OfferServes(int32_t frameIndex, int16_t width, int16_t height, uint8_t quality) const;
    ClipSource& clip_;
    HostSettings settings_;
    _HYProcs procs_{};
    FramePool pool_;
    FrameScaler scaler_;
    _HYPluginFilterInfo filterInfo_{};
    int filterInfoLends_ = 0;
    bool soundOn_ = false;
    AudioBlock output_;
    AudioBlock* outputTarget_ = &output_;
    AudioBlock source_;
    bool clipShared_ = false;
    std::unique_ptr<ClipSource> otherReader_;
    FrameSlot* offered_ = nullptr;
    void* offerCookie_ = nullptr; // while the offered image is lent out
    std::string lastProblem_;
};

// "kPluginFailed (6)" for a result code; "result 42" for one the interface does not name.
std::string ResultName(int32_t result);

} // namespace reelhost
