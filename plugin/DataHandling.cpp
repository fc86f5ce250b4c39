// The configuration's defaults and the region the window edits.
#include "DataHandling.h"

#include "commonprocs.h"
#include "relrects.h"

PluginDataPtr gTheConfig = nullptr;
PluginWorkSpace gConfigWorkSpace = {};

void ResetConfig(PluginDataPtr theConfig) {
    InitRelRect(&theConfig->StartRel);
    InitRelRect(&theConfig->EndRel);
    for (RGBColor& color : theConfig->Colors) color = SetRGBColor(0, 0, 0);
    theConfig->Sliders[0] = kNeutralSlider;
    theConfig->Sliders[1] = kNeutralSlider;
    for (int n = 2; n < kSliderCount; ++n) theConfig->Sliders[n] = 0;
    theConfig->FrameStartColor = SetRGBColor(-1, 0, 0);
    theConfig->MediaType = kMediaNTSC;
}

int16_t GetMediaFormat(const PluginDataRec* theData) {
    return theData ? theData->MediaType : int16_t(kMediaNTSC);
}

RelRect GetCurrentRel(void) { return gConfigWorkSpace.TheConfig->StartRel; }

void PutCurrentRel(const RelRect& theRel) { gConfigWorkSpace.TheConfig->StartRel = theRel; }
