// The configuration's defaults, its video format, the dialog workspace and the edited region.
#pragma once

#include "Controls.h"
#include "MacWindows.h"
#include "PluginDefines.h"
#include "pixelkernels_workers.h"

// What the configuration window and its preview share while the window is open.
struct PluginWorkSpace {
    PluginDataPtr TheConfig;     // the configuration being edited
    _PluginParams* iMovieParams; // the custom-button request's block, to fetch further frames
    GWorldPtr SourceClip;        // the frame being shown; later frames are copied into it
    GWorldPtr TheFXClip;         // the preview: SourceClip with the effect, same size
    int32_t CurrFrameIndex;      // frame slider position, from 0
    int32_t MinFrameIndex;       // host frame number of slider position 0
    int32_t MaxFrameIndex;       // last slider position
    int16_t ActiveRel;           // the region being edited: 1 is the start region
    ControlRef TheFrameCtrl;     // the clip preview control
    ControlRef Sliders[kSliderCount];
    ControlRef ClipSlider;
    ControlRef Colors[kColorCount];
    WindowRef TheWindow;
    RowWorkers* PreviewWorkers; // the preview's helpers, owned by one run of the window
};

extern PluginDataPtr gTheConfig;
extern PluginWorkSpace gConfigWorkSpace;

void ResetConfig(PluginDataPtr theConfig);
int16_t GetMediaFormat(const PluginDataRec* theData); // 1 for null
RelRect GetCurrentRel(void);
void PutCurrentRel(const RelRect& theRel);
