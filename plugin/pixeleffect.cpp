// The brightness effect: one exact table per call, run by the fastest kernel that reproduces it.
#include "pixeleffect.h"

#include "pixellib.h"

#include <algorithm>

namespace {

constexpr double kChannelMax = 255.0; // a channel's top value and the offset's full scale
constexpr double kChannelMin = 0.0;

// The exact double-precision result for one channel value, truncated toward zero.
uint8_t ApplyGainAndOffset(int channel, double gain, double offset) {
    double v = channel * gain;
    v = v + offset;
    if (v < kChannelMin) v = kChannelMin;
    if (v > kChannelMax) v = kChannelMax;
    return uint8_t(v);
}

struct ImageAccess {
    GWorldPtr world;
    Ptr base;
    int32_t rowBytes;
    Rect bounds;
    uint32_t savedState;
    OSType pixelFormat;
    int32_t alphaByte;
};

ImageAccess OpenImage(GWorldPtr world) {
    ImageAccess image{world,
                      nullptr,
                      0,
                      {},
                      0,
                      GetPixPixelFormat(GetGWorldPixMap(world)),
                      GetAlphaByteOfGWorld(world)};
    GetPixInfoFromGWorld(world, &image.base, &image.rowBytes, &image.bounds, &image.savedState);
    return image;
}

// The loop maps dest from source only for images of one size and one known byte order.
bool ImagesAgree(const ImageAccess& src, const ImageAccess& dst) {
    return src.bounds.right == dst.bounds.right && src.bounds.bottom == dst.bounds.bottom &&
           src.pixelFormat == dst.pixelFormat && src.alphaByte >= 0;
}

void CloseImage(const ImageAccess& image) {
    SetPixelsState(GetGWorldPixMap(image.world), image.savedState);
}

// Rows and columns the loop may visit: up to the bounds' bottom and right, as the effect is
// defined, but never past the pixel storage of either image.
int LoopExtent(int boundsEnd, int srcSpan, int dstSpan) {
    return std::clamp(boundsEnd, 0, std::min(srcSpan, dstSpan));
}

// The processor's vector instruction sets, asked once per process.
const CpuFeatures& ThisProcessor() {
    static const CpuFeatures cpu = DetectCpuFeatures();
    return cpu;
}

} // namespace

ChannelTable MakeChannelTable(int16_t gainSlider, int16_t offsetSlider) {
    const double gain = 1.0 + double((int32_t(gainSlider) - kNeutralSlider) * 2) / kSliderSpan;
    const double offset =
        double((int32_t(offsetSlider) - kNeutralSlider) * 2 * int32_t(kChannelMax)) / kSliderSpan;
    ChannelTable table;
    for (int v = 0; v < 256; ++v)
        table.map[v] = ApplyGainAndOffset(v, gain, offset);
    return table;
}

void ThePixelEffect(GWorldPtr source, GWorldPtr dest, Rect activeRect, Boolean copyRest,
                    const PluginDataRec* theConfig, int32_t, int32_t, RowWorkers* workers) {
    if (!dest) dest = source;
    if (!source || !theConfig) return;

    const ImageAccess src = OpenImage(source);
    const ImageAccess dst = OpenImage(dest);
    if (ImagesAgree(src, dst)) {
        const ChannelTable table = MakeChannelTable(theConfig->Sliders[0], theConfig->Sliders[1]);
        const int rows = LoopExtent(src.bounds.bottom, src.bounds.bottom - src.bounds.top,
                                    dst.bounds.bottom - dst.bounds.top);
        const int cols = LoopExtent(src.bounds.right, src.bounds.right - src.bounds.left,
                                    dst.bounds.right - dst.bounds.left);
        // The region clipped once to the visited pixels; an empty or inverted one maps nothing.
        const PixelBox region =
            IntersectPixelBoxes(PixelBoxOf(activeRect), PixelBox{0, 0, rows, cols});

        const FramePlanes planes = {reinterpret_cast<const uint8_t*>(src.base),
                                    src.rowBytes,
                                    reinterpret_cast<uint8_t*>(dst.base),
                                    dst.rowBytes,
                                    rows,
                                    cols};
        const PixelKernel kernel = ChoosePixelKernel(table, src.alphaByte, theConfig->Sliders[0],
                                                     theConfig->Sliders[1], ThisProcessor());
        RowWorkers callerOnly(0);
        MapFrame(kernel, planes, EmptyPixelBox(region) ? PixelBox{} : region, copyRest,
                 workers ? *workers : callerOnly);
    }
    CloseImage(dst);
    CloseImage(src);
}

void ThePixelEffect(GWorldPtr source, GWorldPtr dest, Rect activeRect, Boolean copyRest,
                    const PluginDataRec* theConfig, int32_t currFrame, int32_t totalFrames) {
    ThePixelEffect(source, dest, activeRect, copyRest, theConfig, currFrame, totalFrames, nullptr);
}

void PixelDrive(GWorldPtr source, GWorldPtr dest, Rect theRect, const PluginDataRec* theConfig,
                int32_t currentFrame, int32_t numFrames, RowWorkers* workers) {
    ThePixelEffect(source, dest, theRect, true, theConfig, currentFrame, numFrames, workers);
}
