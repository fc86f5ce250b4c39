// Entry point, request handlers and the frame driver of the host glue.
#include "effectglue.h"

#include "DataHandling.h"
#include "Resources.h"
#include "commonprocs.h"
#include "configglue.h"
#include "iMovieGlue.h"

#include <algorithm>
#include <cstring>
#include <new>

PluginDataPtr gCoreData = nullptr;
Boolean gCoreInited = false;
int32_t gMostRecentStartFrame = 0;
int32_t gMostRecentFrameCount = 0;

namespace {

// Describe answer.
constexpr uint32_t kEffectFlags = 0x0380;
constexpr uint32_t kCustomButtonFlag = 0x1000;
constexpr int32_t kBaseMemoryNeeded = 50000;
constexpr float kHostSliderDefault = 0.5f;

// Resource string lists of the describe answer.
constexpr int16_t kSliderLabelList = 128;
constexpr int16_t kSliderRangeList = 129;
constexpr int16_t kButtonTitleList = 130;
constexpr int16_t kGroupNameList = 17000;

constexpr int16_t kMinimumInterfaceVersion = 4;
constexpr int16_t kFullVolume = 256;

struct FrameSize {
    int16_t width, height;
};

// The frame fetched for the configuration window, by video format.
FrameSize WindowFrameSize(int16_t mediaType) {
    switch (mediaType) {
    case kMediaPAL:
        return {720, 576};
    case kMediaHD:
        return {960, 540};
    default:
        return {720, 480};
    }
}

// Entry `index` of a string list as zero-terminated text, cut to fit `size` bytes.
void CopyListEntry(int16_t list, int16_t index, char* field, size_t size) {
    Str255 text;
    GetIndString(text, list, index);
    const size_t length = std::min<size_t>(text[0], size - 1);
    std::memcpy(field, text + 1, length);
    field[length] = '\0';
}

_EffectData* EffectDataOf(const _PluginParams* params) {
    return static_cast<_EffectData*>(params->clientData);
}

PluginDataPtr NewConfigBlock(const _PluginParams* params) {
    Size size;
    pGetConfigSize(&size);
    return reinterpret_cast<PluginDataPtr>(params->procs->NewPtrClear(size));
}

void ClampFades(_EffectData* data, int32_t frameCount) {
    const int32_t half = frameCount / 2;
    int32_t& in = data->fadeInFrames;
    int32_t& out = data->fadeOutFrames;
    if (in != 0 && out != 0) {
        in = std::min(in, half);
        out = std::min(out, half);
    } else if (in != 0) {
        in = std::min(in, frameCount);
    } else if (out != 0) {
        out = std::min(out, frameCount);
    }
}

// Saves the current port and device and makes `port` current until the scope ends.
class PortSwitch {
  public:
    explicit PortSwitch(CGrafPtr port) {
        GetGWorld(&savedPort_, &savedDevice_);
        SetGWorld(port, nullptr);
    }
    ~PortSwitch() { SetGWorld(savedPort_, savedDevice_); }
    PortSwitch(const PortSwitch&) = delete;
    PortSwitch& operator=(const PortSwitch&) = delete;

  private:
    CGrafPtr savedPort_;
    GDHandle savedDevice_;
};

Rect MovedToOrigin(Rect r) {
    OffsetRect(&r, int16_t(-r.left), int16_t(-r.top));
    return r;
}

void CopyWholeImage(GWorldPtr from, GWorldPtr to, const Rect& fromRect, const Rect& toRect) {
    CopyBits(GetPortBitMapForCopyBits(from), GetPortBitMapForCopyBits(to), &fromRect, &toRect,
             srcCopy, nullptr);
}

// The part of an image over `rect` that a plain copy of `rect` from `from` fills: where `from`
// has pixels. The rest of a frame's image must read zero, as a new image's pixels do.
Rect FilledByCopyFrom(GWorldPtr from, const Rect& rect) {
    const Rect fromBounds = GetPortRect(from);
    Rect filled;
    SectRect(&rect, &fromBounds, &filled);
    return filled;
}

// The effect maps every pixel of a frame that has its working image's bounds and byte order
// (the region through the formula, the rest copied); any other frame it leaves alone.
bool EffectFillsItsImage(GWorldPtr sourceFrame, const Rect& bounds) {
    return bounds.top == 0 && bounds.left == 0 &&
           GetPixPixelFormat(GetGWorldPixMap(sourceFrame)) == k32ARGBPixelFormat;
}

HYPluginResult Dispatch(int16_t which, _PluginParams* params) {
    switch (params->selector) {
    case kPlugGetInfo:
        return EffectGetInfos(which, params);
    case kPlugInitialize:
        return EffectBegins(which, params);
    case kPlugFilePlaceHolder:
        return MakeEffectPlaceHolders(which, params);
    case kPlugDoFrame:
        return EffectDrives(which, params);
    case kPlugTerminate:
        return EffectEnds(which, params);
    case kPlugCustomButtonClick:
        return CustomButtons(which, params);
    default:
        return kPluginOK;
    }
}

} // namespace

namespace {

// The global configuration holds the saved one, or the defaults where none is stored.
bool lgCoreDataLoaded = false;

// Makes the global configuration on the first accepted call and loads it. A saved configuration
// that exists but cannot be read for now (memory, a failing read) leaves it unloaded, and the
// next request reads it again.
OSErr LoadCoreData(const _PluginParams* params) {
    if (!gCoreData) gCoreData = NewConfigBlock(params);
    if (lgCoreDataLoaded) return noErr;
    const OSErr err = InitMyPlugIn(&gCoreData);
    lgCoreDataLoaded = err == noErr;
    return err;
}

// A begin copies the configuration (as the placeholder's does), the custom button shows it.
bool UsesCoreData(HYPluginSelector selector) {
    return selector == kPlugInitialize || selector == kPlugFilePlaceHolder ||
           selector == kPlugCustomButtonClick;
}

HYPluginResult CheckedRequest(int32_t which, _PluginParams* params) {
    if (!params) return kPluginBadParams;
    // An old host is told so before anything else of its block is looked at.
    if (params->interfaceVersion < kMinimumInterfaceVersion) return kPluginAppIsTooOld;
    if (!params->procs) return kPluginBadParams;
    if (!gCoreInited) {
        InitCore();
        gCoreInited = true;
    }
    // Rendering or showing the defaults in place of an unread saved configuration would be a
    // wrong picture answered as success.
    const OSErr loadErr = LoadCoreData(params);
    if (loadErr != noErr && UsesCoreData(params->selector))
        return loadErr == memFullErr ? kPluginOutOfMemory : kPluginFailed;
    return Dispatch(int16_t(which), params);
}

} // namespace

int32_t PlugInMain(int32_t which, _PluginParams* params) {
    // The host is not C++: nothing thrown inside (by the standard library, the toolkit or a
    // host callback) may unwind into it.
    try {
        return CheckedRequest(which, params);
    } catch (const std::bad_alloc&) {
        return kPluginOutOfMemory;
    } catch (...) {
        return kPluginFailed;
    }
}

HYPluginResult EffectGetInfos(int16_t, _PluginParams* params) {
    _HYPluginGetInfo& info = params->getInfo;
    info.pluginType = kPluginFilterType;
    info.framesToBeRendered = 0;
    info.takeFromClipBefore = 0;
    info.takeFromClipAfter = 0;
    info.minSpeedFrames = 0;
    info.maxSpeedFrames = 0;
    info.mustTakeFromSingleClips = false;
    info.pluginFlags |= kEffectFlags;
    params->getInfo2.baseMemoryNeeded = kBaseMemoryNeeded;
    info.takeFromClipBefore = 0;
    info.takeFromClipAfter = params->getInfo2.selectedFrames;
    info.framesToBeRendered = params->getInfo2.selectedFrames;
    SetFilterParamInfos(params);
    return kPluginOK;
}

void SetFilterParamInfos(_PluginParams* params) {
    for (int i = 0; i < kHostSliderCount; ++i) {
        _HYPluginFilterSliderInfo& slider = params->getInfo2.filterSliders[i];
        slider.defaultValue = kHostSliderDefault;
        CopyListEntry(kSliderLabelList, int16_t(i + 1), slider.label, sizeof slider.label);
        CopyListEntry(kSliderRangeList, int16_t(2 * i + 1), slider.minLabel,
                      sizeof slider.minLabel);
        CopyListEntry(kSliderRangeList, int16_t(2 * i + 2), slider.maxLabel,
                      sizeof slider.maxLabel);
    }
    params->getInfo.pluginFlags |= kCustomButtonFlag;
    CopyListEntry(kButtonTitleList, 1, params->getInfo3.buttonTitle,
                  sizeof params->getInfo3.buttonTitle);
    CopyListEntry(kGroupNameList, 1, params->getInfo2.group, sizeof params->getInfo2.group);
}

HYPluginResult EffectBegins(int16_t, _PluginParams* params) {
    _HYProcs* procs = params->procs;
    if (!params->clientData) params->clientData = procs->NewPtrClear(sizeof(_EffectData));
    _EffectData* data = EffectDataOf(params);
    if (!data) return kPluginOutOfMemory;

    // A reused record may still hold an earlier render's copy and image.
    if (data->coreData) procs->DisposePtr(reinterpret_cast<Ptr>(data->coreData));
    DisposeGWorld(data->effectGWorld);
    data->effectGWorld = nullptr;
    data->coreData = NewConfigBlock(params);
    if (!data->coreData) return kPluginOutOfMemory;
    pCopyConfig(gCoreData, data->coreData);
    data->effectSourceCount = 1;
    // Without them the render still runs, on one thread and with buffers made afresh.
    if (!data->rowWorkers) data->rowWorkers = NewRowWorkers();
    if (!data->framePixels) data->framePixels = NewPixelReserve();

    _HYPluginFilterInfo* info = nullptr;
    const HYPluginResult result = procs->GetFilterInfo(params->instance, &info);
    if (info) {
        data->fadeInFrames = info->fadeInFrames;
        data->fadeOutFrames = info->fadeOutFrames;
        std::copy(info->sliderValues, info->sliderValues + kHostSliderCount, data->sliderValues);
        procs->ReleaseFilterInfo(params->instance, info);
    }
    ClampFades(data, params->frameCount);
    // Without the host's settings the render cannot be right: its frames are refused (the
    // record stays for the end request to release).
    if (result != kPluginOK) {
        procs->DisposePtr(reinterpret_cast<Ptr>(data->coreData));
        data->coreData = nullptr;
    }
    return result;
}

HYPluginResult EffectEnds(int16_t, _PluginParams* params) {
    _EffectData* data = EffectDataOf(params);
    if (!data) return kPluginOK;
    DisposeGWorld(data->effectGWorld);
    DisposePixelReserve(data->framePixels);
    DisposeRowWorkers(data->rowWorkers);
    if (data->coreData) params->procs->DisposePtr(reinterpret_cast<Ptr>(data->coreData));
    params->procs->DisposePtr(reinterpret_cast<Ptr>(data));
    params->clientData = nullptr;
    return kPluginOK;
}

HYPluginResult MakeEffectPlaceHolders(int16_t which, _PluginParams* params) {
    PortSwitch port(params->frame);
    // A private copy whose clientData starts null, so the host's own record is never touched.
    _PluginParams local = *params;
    local.renderFrame = local.getInfo.bestThumbOffset;
    local.clientData = nullptr;

    local.selector = kPlugInitialize;
    HYPluginResult result = EffectBegins(which, &local);
    if (result == kPluginOK) {
        local.selector = kPlugDoFrame;
        result = EffectDrives(which, &local);
    }
    // Also after a failed begin that made its record, so nothing is left behind.
    local.selector = kPlugTerminate;
    EffectEnds(which, &local);
    return result;
}

HYPluginResult CustomButtons(int16_t, _PluginParams* params) {
    const int32_t frame = params->renderFrame + gMostRecentStartFrame;
    const FrameSize size = WindowFrameSize(GetMediaFormat(gCoreData));
    GWorldPtr image = nullptr;
    int16_t volume = 0;
    void* cookie = nullptr;
    const HYPluginResult fetched = params->procs->GetFrame(
        params->instance, frame, &image, size.width, size.height, kDVHighQuality, &volume, &cookie);
    // The window shows this frame; without one there is nothing to configure against.
    if (fetched == kPluginOK && image)
        ConfigurePlugIn(gCoreData, image, params, frame, gMostRecentFrameCount);
    else
        Notify("The host could not supply a frame, so the configuration window cannot open.");
    params->procs->ReleaseFrame(params->instance, cookie);
    if (fetched != kPluginOK) return fetched;
    return image ? kPluginOK : kPluginFailed;
}

int16_t FadeOpacity(int32_t renderFrame, int32_t frameCount, int32_t fadeInFrames,
                    int32_t fadeOutFrames) {
    const bool hasFade = fadeInFrames > 0 || fadeOutFrames != 0;
    const bool inFadeIn = renderFrame < fadeInFrames;
    const bool inFadeOut = int64_t(renderFrame) > int64_t(frameCount) - fadeOutFrames;
    if (!hasFade || !(inFadeIn || inFadeOut)) return -1;
    const double numerator = inFadeIn ? double(renderFrame) : double(frameCount) - renderFrame;
    const double divisor = inFadeIn ? double(fadeInFrames) : double(fadeOutFrames);
    // No fade length to divide by means the fade is over: the effect shows fully.
    const double fraction = divisor == 0 ? 1.0 : numerator / divisor;
    const double opacity = std::clamp(255.0 * (1.0 - fraction), 0.0, 255.0);
    return int16_t(opacity);
}

HYPluginResult EffectDrives(int16_t, _PluginParams* params) {
    _EffectData* data = EffectDataOf(params);
    // No render was begun, or its begin failed (a host may ignore that answer).
    if (!data || !data->coreData) return kPluginBadParams;
    _HYProcs* procs = params->procs;
    PortSwitch port(params->frame);

    const int16_t width = int16_t(params->frameRect.right - params->frameRect.left);
    const int16_t height = int16_t(params->frameRect.bottom - params->frameRect.top);
    const int64_t index = int64_t(params->startFrame) + params->renderFrame;
    gMostRecentStartFrame = params->startFrame;
    gMostRecentFrameCount = params->frameCount;
    if (index < 0 || index > INT32_MAX) return kPluginOK;

    GWorldPtr source = nullptr;
    int16_t volume = 0;
    void* cookie = nullptr;
    HYPluginResult result = procs->GetFrame(params->instance, int32_t(index), &source, width,
                                            height, FrameQuality(params, height), &volume, &cookie);
    GWorldPtr cleanCopy = nullptr;
    bool cleanCopyFailed = false;
    if (result == kPluginOK && !source) result = kPluginFailed;
    if (result == kPluginOK) {
        Rect srcRect = {0, 0, height, width};
        const int16_t opacity = FadeOpacity(params->renderFrame, params->frameCount,
                                            data->fadeInFrames, data->fadeOutFrames);
        if (opacity >= 0) {
            const Rect filled = FilledByCopyFrom(source, srcRect);
            cleanCopyFailed =
                NewGWorldFromReserve(&cleanCopy, &srcRect, data->framePixels, &filled) != noErr ||
                !cleanCopy;
            if (!cleanCopyFailed) CopyWholeImage(source, cleanCopy, srcRect, srcRect);
        }
        if (!cleanCopyFailed) {
            result = ApplyEffect(source, params);
            // A frame the effect could not render is not faded: its failure is the answer.
            if (result == kPluginOK && cleanCopy) {
                srcRect = GetPortRect(source);
                result = procs->Blit(GetGWorldPixMap(cleanCopy), GetGWorldPixMap(params->frame),
                                     &srcRect, &params->frameRect, opacity);
            }
            if (result == kPluginOK && !params->proxyOnly)
                result = procs->MixAudio(params->instance, cookie, kFullVolume);
        }
    }

    const HYPluginResult released = procs->ReleaseFrame(params->instance, cookie);
    if (result == kPluginOK) result = released;
    DisposeGWorld(cleanCopy);
    if (result == kPluginOK && cleanCopyFailed) result = kPluginFailed;
    return result;
}

HYPluginResult ApplyEffect(GWorldPtr sourceFrame, _PluginParams* params) {
    _EffectData* data = EffectDataOf(params);
    const Rect bounds = GetPortRect(sourceFrame);
    const Rect srcRect = MovedToOrigin(bounds);
    // Only a frame the effect leaves untouched needs the unprocessed copy first.
    const bool effectFills = EffectFillsItsImage(sourceFrame, bounds);
    const Rect filled = effectFills ? srcRect : FilledByCopyFrom(sourceFrame, srcRect);
    const OSErr status =
        NewGWorldFromReserve(&data->effectGWorld, &srcRect, data->framePixels, &filled);
    if (status == noErr && data->effectGWorld) {
        if (!effectFills) CopyWholeImage(sourceFrame, data->effectGWorld, srcRect, srcRect);
        ApplyLineArtEffect(sourceFrame, data->effectGWorld, params);
        CopyWholeImage(data->effectGWorld, params->frame, srcRect, params->frameRect);
    }
    DisposeGWorld(data->effectGWorld);
    data->effectGWorld = nullptr;
    if (status == memFullErr) return kPluginOutOfMemory;
    return status == noErr ? kPluginOK : kPluginFailed;
}

void ApplyLineArtEffect(GWorldPtr sourceFrame, GWorldPtr targetFrame, _PluginParams* params) {
    PortSwitch port(targetFrame);
    const _EffectData* data = EffectDataOf(params);
    DoEffect(data->coreData, sourceFrame, targetFrame, params->renderFrame, params->frameCount,
             data->rowWorkers);
}
