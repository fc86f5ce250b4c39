// The brightness effect: gain and offset on each colour channel inside a region, clamped.
#pragma once

#include "PluginDefines.h"
#include "pixelkernels.h"

// The byte each channel value becomes for the configuration's gain and offset sliders, worked
// out with the double-precision formula: the truth every kernel is held to.
ChannelTable MakeChannelTable(int16_t gainSlider, int16_t offsetSlider);

// Renders source into dest (null: in place) inside activeRect; the rest of dest becomes a copy
// of source when copyRest is true and stays untouched otherwise. Alpha is never changed, wherever
// the images' pixel format keeps it. Images of different width, height or pixel format leave
// dest untouched. Rows are shared among `workers`, lent by the caller's owner
// (pixelkernels_workers.h); null runs them all on the calling thread.
void ThePixelEffect(GWorldPtr source, GWorldPtr dest, Rect activeRect, Boolean copyRest,
                    const PluginDataRec* theConfig, int32_t currFrame, int32_t totalFrames,
                    RowWorkers* workers);
// The same, on the calling thread alone.
void ThePixelEffect(GWorldPtr source, GWorldPtr dest, Rect activeRect, Boolean copyRest,
                    const PluginDataRec* theConfig, int32_t currFrame, int32_t totalFrames);
// ThePixelEffect with the rest copied: dest receives a whole frame.
void PixelDrive(GWorldPtr source, GWorldPtr dest, Rect theRect, const PluginDataRec* theConfig,
                int32_t currentFrame, int32_t numFrames, RowWorkers* workers);
