// The _HYProcs callbacks: frames, blending, sound and the host's settings, served to the plug-in.
#include "host_session.h"
#include "blit.h"
#include "host_error.h"

#include "MacMemory.h"

#include <new>
#include <utility>

namespace reelhost {
namespace {

// Runs a callback body for the session behind `instance`, turning exceptions into results:
// nothing may unwind through the plug-in's frames.
template <typename Body> HYPluginResult Guarded(void* instance, Body body) {
    auto* session = static_cast<HostSession*>(instance);
    if (!session) return kPluginBadParams;
    try {
        return body(*session);
    } catch (const std::bad_alloc&) {
        return session->Refuse(kPluginOutOfMemory, "the host ran out of memory");
    } catch (const std::exception& error) {
        return session->Refuse(kPluginFailed, error.what());
    }
}

std::string CookieText(const void* cookie) {
    return std::to_string(reinterpret_cast<uintptr_t>(cookie));
}

} // namespace

std::string ResultName(int32_t result) {
    const char* name = nullptr;
    switch (result) {
    case kPluginOK:
        name = "kPluginOK";
        break;
    case kPluginBadParams:
        name = "kPluginBadParams";
        break;
    case kPluginOutOfMemory:
        name = "kPluginOutOfMemory";
        break;
    case kPluginFailed:
        name = "kPluginFailed";
        break;
    case kPluginAppIsTooOld:
        name = "kPluginAppIsTooOld";
        break;
    default:
        return "result " + std::to_string(result);
    }
    return std::string(name) + " (" + std::to_string(result) + ")";
}

HostSession::HostSession(ClipSource& clip, const HostSettings& settings)
    : clip_(clip), settings_(settings) {
    procs_.NewPtrClear = ::NewPtrClear;
    procs_.DisposePtr = ::DisposePtr;
    procs_.GetFrame = [](void* instance, int32_t frameIndex, GWorldPtr* outImage, int16_t width,
                         int16_t height, uint8_t quality, int16_t* outVolume, void** outCookie) {
        return Guarded(instance, [&](HostSession& s) {
            return s.GetFrame(frameIndex, outImage, width, height, quality, outVolume, outCookie);
        });
    };
    procs_.ReleaseFrame = [](void* instance, void* cookie) {
        return Guarded(instance, [&](HostSession& s) { return s.ReleaseFrame(cookie); });
    };
    procs_.Blit = BlitImages;
    procs_.MixAudio = [](void* instance, void* cookie, int16_t volume) {
        return Guarded(instance, [&](HostSession& s) { return s.MixAudio(cookie, volume); });
    };
    procs_.GetFilterInfo = [](void* instance, _HYPluginFilterInfo** outInfo) {
        return Guarded(instance, [&](HostSession& s) { return s.GetFilterInfo(outInfo); });
    };
    procs_.ReleaseFilterInfo = [](void* instance, _HYPluginFilterInfo* info) {
        return Guarded(instance, [&](HostSession& s) { return s.ReleaseFilterInfo(info); });
    };
}

HYPluginResult HostSession::Refuse(HYPluginResult result, const std::string& why) {
    if (lastProblem_.empty()) lastProblem_ = why;
    return result;
}

void HostSession::EnableSound(bool on) {
    soundOn_ = on && clip_.Info().hasSound;
    if (soundOn_ && output_.Capacity() == 0) {
        output_ = FrameSoundBlock(clip_.Info());
        source_ = FrameSoundBlock(clip_.Info());
    }
}

void HostSession::StartOutputFrame(int64_t index, AudioBlock& sound) {
    outputTarget_ = &sound;
    if (!soundOn_) return;
    const ClipInfo& info = clip_.Info();
    if (sound.Capacity() == 0) sound = FrameSoundBlock(info);
    sound.Silence(ShareOfFrame(index, info.sound.sampleRate, info.rate).count);
}

void HostSession::MixSourceSound(int64_t movieFrame, int volume) {
    if (!soundOn_) return;
    Reader().ReadSound(movieFrame, source_);
    MixInto(*outputTarget_, source_, volume);
}

void HostSession::ShareClip(bool shared) {
    clipShared_ = shared;
}

ClipSource& HostSession::Reader() {
    if (!clipShared_) return clip_;
    if (!otherReader_) otherReader_ = clip_.OpenAnother();
    return *otherReader_;
}

void HostSession::Offer(FrameSlot& slot) {
    offered_ = &slot;
    offerCookie_ = nullptr;
}

void HostSession::Withdraw() {
    FrameSlot* slot = std::exchange(offered_, nullptr);
    void* cookie = std::exchange(offerCookie_, nullptr);
    if (cookie) pool_.AdoptLent(std::move(slot->image), cookie, slot->movieFrame);
}

bool HostSession::OfferServes(int32_t frameIndex, int16_t width, int16_t height,
                              uint8_t quality) const {
    if (!offered_ || offerCookie_ || offered_->movieFrame != frameIndex || !offered_->image)
        return false;
    const PixelView view = ViewOf(offered_->image.get());
    // Without resizing, the quality makes no difference to the picture.
    return view.Width() == width && view.Height() == height &&
           (!offered_->resized || ScalerFlagsFor(quality) == ScalerFlagsFor(offered_->quality));
}

HYPluginResult HostSession::GetFrame(int32_t frameIndex, GWorldPtr* outImage, int16_t width,
                                     int16_t height, uint8_t quality, int16_t* outVolume,
                                     void** outCookie) {
    if (!outImage || !outCookie)
        return Refuse(kPluginBadParams, "GetFrame was given no place for the image or cookie");
    if (width <= 0 || height <= 0)
        return Refuse(kPluginBadParams, "GetFrame was asked for a frame of " +
                                            std::to_string(width) + " x " + std::to_string(height) +
                                            " pixels");
    if (offered_ && offered_->movieFrame == frameIndex && !offered_->failure.empty())
        return Refuse(kPluginFailed, offered_->failure);
    if (OfferServes(frameIndex, width, height, quality)) {
        offerCookie_ = pool_.NewCookie();
        *outCookie = offerCookie_;
        *outImage = offered_->image.get();
        if (outVolume) *outVolume = kFullVolume;
        return kPluginOK;
    }
    // A frame outside the clip throws, and becomes kPluginFailed with the clip's words.
    const AVFrame& picture = Reader().Picture(frameIndex);
    FramePool::PooledImage& pooled = pool_.Acquire(width, height);
    scaler_.Convert(picture, ViewOf(pooled.image.get()), quality);
    *outCookie = pool_.Lend(pooled, frameIndex);
    *outImage = pooled.image.get();
    if (outVolume) *outVolume = kFullVolume;
    return kPluginOK;
}

HYPluginResult HostSession::ReleaseFrame(void* cookie) {
    if (cookie && cookie == offerCookie_) {
        offerCookie_ = nullptr;
        return kPluginOK;
    }
    if (!pool_.GiveBack(cookie))
        return Refuse(kPluginBadParams, "ReleaseFrame was given cookie " + CookieText(cookie) +
                                            ", which names no frame the plug-in holds");
    return kPluginOK;
}

HYPluginResult HostSession::MixAudio(void* cookie, int16_t volume) {
    const bool offered = cookie && cookie == offerCookie_;
    const FramePool::PooledImage* pooled = offered ? nullptr : pool_.Find(cookie);
    if (!offered && !pooled)
        return Refuse(kPluginBadParams, "MixAudio was given cookie " + CookieText(cookie) +
                                            ", which names no frame the plug-in holds");
    if (volume < 0)
        return Refuse(kPluginBadParams, "MixAudio was given volume " + std::to_string(volume));
    if (!offered)
        MixSourceSound(pooled->movieFrame, volume);
    else if (soundOn_)
        MixInto(*outputTarget_, offered_->sound, volume);
    return kPluginOK;
}

HYPluginResult HostSession::GetFilterInfo(_HYPluginFilterInfo** outInfo) {
    if (!outInfo)
        return Refuse(kPluginBadParams, "GetFilterInfo was given no place for the record");
    if (filterInfoLends_ == 0) {
        // Fresh values for every lending: a plug-in that wrote into the record changes nothing.
        for (int i = 0; i < kHostSliderCount; ++i)
            filterInfo_.sliderValues[i] = settings_.sliders[size_t(i)];
        filterInfo_.fadeInFrames = settings_.fadeInFrames;
        filterInfo_.fadeOutFrames = settings_.fadeOutFrames;
    }
    ++filterInfoLends_;
    *outInfo = &filterInfo_;
    return kPluginOK;
}

HYPluginResult HostSession::ReleaseFilterInfo(_HYPluginFilterInfo* info) {
    if (info != &filterInfo_ || filterInfoLends_ == 0)
        return Refuse(kPluginBadParams, "ReleaseFilterInfo was given a record the host did "
                                        "not lend");
    --filterInfoLends_;
    return kPluginOK;
}

} // namespace reelhost
