// Maps the configured region onto the destination and runs the pixel loop.
#include "callpixelfx.h"

#include "DataHandling.h"
#include "commonprocs.h"
#include "pixeleffect.h"
#include "relrects.h"

void DoCorePixelEffect(GWorldPtr source, GWorldPtr dest, const PluginDataRec* theConfig,
                       int32_t currentFrameIndex, int32_t maxFrames, RowWorkers* workers) {
    const Rect region = CalcTweenRect(theConfig, GetPortRect(dest), currentFrameIndex, maxFrames);
    PixelDrive(source, dest, region, theConfig, currentFrameIndex, maxFrames, workers);
}

void CallPixelEffect(GWorldPtr source, GWorldPtr dest) {
    const PluginWorkSpace& ws = gConfigWorkSpace;
    DoCorePixelEffect(source, dest, ws.TheConfig, ws.CurrFrameIndex, ws.MaxFrameIndex,
                      ws.PreviewWorkers);
}
