// The two ways into the pixel loop: a host render and the configuration window's preview.
#pragma once

#include "PluginDefines.h"

void DoCorePixelEffect(GWorldPtr source, GWorldPtr dest, const PluginDataRec* theConfig,
                       int32_t currentFrameIndex, int32_t maxFrames);
// The preview: the workspace's configuration and frame slider position.
void CallPixelEffect(GWorldPtr source, GWorldPtr dest);
