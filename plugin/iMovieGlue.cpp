// Fetching host frames into the configuration window's image.
#include "iMovieGlue.h"

#include "commonprocs.h"

namespace {
constexpr int16_t kLowQualityMaxHeight = 259; // proxies above this height still look rough
}

uint8_t FrameQuality(const _PluginParams* params, int16_t height) {
    return params->proxyOnly && height <= kLowQualityMaxHeight ? kDVLowQuality : kDVHighQuality;
}

int16_t GetFrameIntoGW(GWorldPtr theGW, _PluginParams* params, int32_t frameIndex,
                       int16_t /*disposeAfterUse*/) {
    const Rect dstRect = GetPortRect(theGW);
    const int16_t width = int16_t(dstRect.right - dstRect.left);
    const int16_t height = int16_t(dstRect.bottom - dstRect.top);
    const int64_t index = int64_t(frameIndex) + params->startFrame;
    if (index < 0 || index > INT32_MAX) return -1;

    GWorldPtr image = nullptr;
    int16_t volume = 0;
    void* cookie = nullptr;
    int16_t result = params->procs->GetFrame(params->instance, int32_t(index), &image, width,
                                             height, FrameQuality(params, height), &volume, &cookie);
    if (image) {
        const Rect srcRect = GetPortRect(image);
        CopyBits(GetPortBitMapForCopyBits(image), GetPortBitMapForCopyBits(theGW), &srcRect,
                 &dstRect, srcCopy, nullptr);
        result = params->procs->ReleaseFrame(params->instance, cookie);
    }
    return result;
}
