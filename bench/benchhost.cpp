// The benchmark host's callbacks and the begin and end requests around a run of frames.
#include "benchhost.h"

#include "DataHandling.h"
#include "effectglue.h"

#include "blit.h"

#include "MacMemory.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// The plug-in reads and writes its saved configuration in the preferences folder; point that
// at a folder of our own for the run, removed at exit.
class PrivatePreferences {
  public:
    PrivatePreferences() {
        char pattern[] = "/tmp/lumashift-bench-XXXXXX";
        if (mkdtemp(pattern)) {
            folder_ = pattern;
            setenv("XDG_CONFIG_HOME", pattern, 1);
        }
    }
    ~PrivatePreferences() {
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }

  private:
    std::string folder_;
};

} // namespace

BenchHost::BenchHost(FrameSize size, int32_t frameCount, int32_t fadeInFrames, int16_t gainSlider,
                     int16_t offsetSlider)
    : size_(size), source_(KeptFrame(size, kSourceFrame)) {
    static PrivatePreferences preferences;
    procs_ = {NewPtrClear, DisposePtr, GetFrame,      ReleaseFrame,
              Blit,        MixAudio,   GetFilterInfo, ReleaseFilterInfo};
    filterInfo_ = {{0.5f, 0.5f, 0.5f}, fadeInFrames, 0};
    params_.interfaceVersion = kHostInterfaceVersion;
    params_.instance = this;
    params_.procs = &procs_;
    params_.frameCount = frameCount;
    params_.frameRect = {0, 0, size.height, size.width};
    params_.frame = KeptFrame(size, kDestFrame);

    params_.selector = kPlugInitialize;
    began_ = PlugInMain(kPlugInitialize, &params_) == kPluginOK && params_.clientData;
    if (!began_) return;
    // The render's own copy of the configuration: defaults (the whole frame) and our sliders.
    PluginDataPtr config = static_cast<_EffectData*>(params_.clientData)->coreData;
    ResetConfig(config);
    config->Sliders[0] = gainSlider;
    config->Sliders[1] = offsetSlider;
}

BenchHost::~BenchHost() {
    params_.selector = kPlugTerminate;
    PlugInMain(kPlugTerminate, &params_);
}

int32_t BenchHost::RenderFrame(int32_t renderFrame) {
    params_.selector = kPlugDoFrame;
    params_.renderFrame = renderFrame;
    return PlugInMain(kPlugDoFrame, &params_);
}

HYPluginResult BenchHost::GetFrame(void* instance, int32_t, GWorldPtr* outImage, int16_t width,
                                   int16_t height, uint8_t, int16_t* outVolume, void** outCookie) {
    const BenchHost* host = static_cast<BenchHost*>(instance);
    if (width != host->size_.width || height != host->size_.height) return kPluginFailed;
    *outImage = host->source_;
    *outVolume = 256;
    *outCookie = host->source_;
    return kPluginOK;
}

HYPluginResult BenchHost::ReleaseFrame(void*, void*) {
    return kPluginOK;
}

HYPluginResult BenchHost::Blit(PixMapHandle src, PixMapHandle dst, const Rect* srcRect,
                               const Rect* dstRect, int16_t opacity) {
    return reelhost::BlitImages(src, dst, srcRect, dstRect, opacity);
}

HYPluginResult BenchHost::MixAudio(void*, void*, int16_t) {
    return kPluginOK;
}

HYPluginResult BenchHost::GetFilterInfo(void* instance, _HYPluginFilterInfo** outInfo) {
    *outInfo = &static_cast<BenchHost*>(instance)->filterInfo_;
    return kPluginOK;
}

HYPluginResult BenchHost::ReleaseFilterInfo(void*, _HYPluginFilterInfo*) {
    return kPluginOK;
}
