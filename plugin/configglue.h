// The configuration side of the host glue: the record's size and copy, first initialisation,
// the configuration window's request and the render's entry into the effect.
#pragma once

#include "PluginDefines.h"
#include "pixelkernels_workers.h"

void pGetConfigSize(Size* theSize);
void pCopyConfig(const PluginDataRec* source, PluginDataPtr dest); // same-size blocks only
void InitCore(void);
// Defaults, then the saved configuration, saved back; noErr. A saved configuration that exists
// but could not be read for now (memFullErr, or ioErr from its file) is still the user's: the
// answer is then that error, and the defaults are neither saved nor to be used in its place.
OSErr InitMyPlugIn(PluginDataPtr* theData);
OSErr InitPluginData(PluginDataPtr theConfig);

// Runs the configuration window over the frame image theGW.
void ConfigurePlugIn(PluginDataPtr theData, GWorldPtr theGW, _PluginParams* params,
                     int32_t firstFrameIndex, int32_t numberOfFrames);

// Renders theSource into theTarget with the configuration myConfig, its rows shared among the
// render's `workers` (null: the calling thread alone).
void DoEffect(const PluginDataRec* myConfig, GWorldPtr theSource, GWorldPtr theTarget,
              int32_t currentFrameIndex, int32_t totalFrames, RowWorkers* workers);
