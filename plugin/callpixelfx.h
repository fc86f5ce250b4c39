// The two ways into the pixel loop: a host render and the configuration window's preview.
#pragma once

#include "PluginDefines.h"
#include "pixelkernels_workers.h"

// The render's way in: the region of theConfig on dest, its rows shared among the owner's
// `workers` (null: the calling thread alone).
void DoCorePixelEffect(GWorldPtr source, GWorldPtr dest, const PluginDataRec* theConfig,
                       int32_t currentFrameIndex, int32_t maxFrames, RowWorkers* workers);
// The preview: the workspace's configuration, frame slider position and the window's workers.
void CallPixelEffect(GWorldPtr source, GWorldPtr dest);
