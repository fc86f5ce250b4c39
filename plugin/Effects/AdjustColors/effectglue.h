// The host glue: entry point, one handler per request, and the per-frame driver.
#pragma once

#include "PluginDefines.h"
#include "pixelkernels_workers.h"

// The per-render record kept in the host's clientData from begin to end. It owns what its
// frames reuse, made at its begin and ended at its end: the helper threads that share out the
// effect's rows, and the pixel buffers of each frame's images (which zero only what a frame
// leaves unwritten). A record the host hands to another begin keeps both.
struct _EffectData {
    int32_t frameCount;        // not set; stays 0
    int32_t effectSourceCount; // 1 from begin on; nothing reads it
    float sliderValues[kHostSliderCount];
    int32_t fadeInFrames; // after clamping against the effect's frame count
    int32_t fadeOutFrames;
    GWorldPtr effectGWorld;      // one frame's temporary image; null between frames
    PluginDataPtr coreData;      // this render's own copy of the configuration
    RowWorkers* rowWorkers;      // null: the render's rows run on the host's thread alone
    PixelReserveRef framePixels; // null: each image has buffers of its own
};

extern PluginDataPtr gCoreData;
extern Boolean gCoreInited;
extern int32_t gMostRecentStartFrame;
extern int32_t gMostRecentFrameCount;

// The entry point behind the bundle's exported `main`.
int32_t PlugInMain(int32_t which, _PluginParams* params);

HYPluginResult EffectGetInfos(int16_t which, _PluginParams* params);
void SetFilterParamInfos(_PluginParams* params);
HYPluginResult EffectBegins(int16_t which, _PluginParams* params);
HYPluginResult EffectDrives(int16_t which, _PluginParams* params);
HYPluginResult EffectEnds(int16_t which, _PluginParams* params);
HYPluginResult MakeEffectPlaceHolders(int16_t which, _PluginParams* params);
HYPluginResult CustomButtons(int16_t which, _PluginParams* params);

HYPluginResult ApplyEffect(GWorldPtr sourceFrame, _PluginParams* params);
void ApplyLineArtEffect(GWorldPtr sourceFrame, GWorldPtr targetFrame, _PluginParams* params);
// Opacity 0..255 of the untouched frame over the rendered one, or -1 when no fade applies.
int16_t FadeOpacity(int32_t renderFrame, int32_t frameCount, int32_t fadeInFrames,
                    int32_t fadeOutFrames);
