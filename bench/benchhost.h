// A minimal host that times frame requests through the plug-in's entry point.
//
// GetFrame lends one ready image, Blit is reelhost's own blend, the other callbacks answer success.
#pragma once

#include "benchframes.h"

#include "HostPluginAPI.h"

class BenchHost {
  public:
    // Begins a render of `frameCount` frames of `size` with the host's fade-in length; the
    // effect uses `gainSlider` and `offsetSlider` over the whole frame.
    BenchHost(FrameSize size, int32_t frameCount, int32_t fadeInFrames, int16_t gainSlider,
              int16_t offsetSlider);
    // Ends the render.
    ~BenchHost();
    BenchHost(const BenchHost&) = delete;
    BenchHost& operator=(const BenchHost&) = delete;

    // One frame request; the plug-in's result.
    int32_t RenderFrame(int32_t renderFrame);
    bool Began() const { return began_; }

    // The host's fade: src blended over dst with `opacity`, as reelhost draws it.
    static HYPluginResult Blit(PixMapHandle src, PixMapHandle dst, const Rect* srcRect,
                               const Rect* dstRect, int16_t opacity);

  private:
    static HYPluginResult GetFrame(void* instance, int32_t frameIndex, GWorldPtr* outImage,
                                   int16_t width, int16_t height, uint8_t quality,
                                   int16_t* outVolume, void** outCookie);
    static HYPluginResult ReleaseFrame(void* instance, void* cookie);
    static HYPluginResult MixAudio(void* instance, void* cookie, int16_t volume);
    static HYPluginResult GetFilterInfo(void* instance, _HYPluginFilterInfo** outInfo);
    static HYPluginResult ReleaseFilterInfo(void* instance, _HYPluginFilterInfo* info);

    FrameSize size_;
    GWorldPtr source_; // the one frame every GetFrame lends
    _HYPluginFilterInfo filterInfo_{};
    _HYProcs procs_{};
    _PluginParams params_{};
    bool began_ = false;
};
