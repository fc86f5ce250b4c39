// Regions held as fractions of a frame, and their conversion to and from pixels.
#pragma once

#include "PluginDefines.h"

void InitRelRect(RelRect* theRel);
Rect Rel2Rect(const RelRect& theRel, const Rect& theFrame);
RelRect Rect2Rel(const Rect& theRect, const Rect& theFrame);
// The effect's region in theFrame: the same for every frame index and count.
Rect CalcTweenRect(const PluginDataRec* theConfig, const Rect& theFrame, int32_t currentFrameIndex,
                   int32_t maxFrames);
