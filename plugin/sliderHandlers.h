// The effect sliders, the frame slider and the preview refresh of the configuration window.
#pragma once

#include "Controls.h"
#include "MacWindows.h"

// Finds the six sliders and the frame slider of a freshly opened window, installs their
// action procedures and shows the record's values. A missing slider ends the application.
void SetupSliders(WindowRef TheWindow);
void KillSliders(void);

// Action procedures: called while the user drags the control; ThePart is not used.
void Slider1Action(ControlRef TheControl, ControlPartCode ThePart);
void Slider2Action(ControlRef TheControl, ControlPartCode ThePart);
void Slider3Action(ControlRef TheControl, ControlPartCode ThePart);
void Slider4Action(ControlRef TheControl, ControlPartCode ThePart);
void Slider5Action(ControlRef TheControl, ControlPartCode ThePart);
void Slider6Action(ControlRef TheControl, ControlPartCode ThePart);
void ClipSliderAction(ControlRef TheControl, ControlPartCode ThePart);

// Renders the preview from SourceClip and the record and makes the clip control redraw it.
void ReRenderAndBlit(void);
// Fetches frame-slider position TheVal (host frame TheVal + MinFrameIndex), then ReRenderAndBlit.
void AccessRenderAndBlit(int32_t TheVal);

// Text of "Lgnd" SliderNumber for a slider value: sliders 1 and 2 as the percentage away from
// neutral ((value - 50) x 2), the others as the value, each followed by "%".
void SliderValueText(int16_t SliderNumber, int32_t TheValue, Str255 TheText);
void ShowSliderValue(WindowRef TheWindow, int16_t SliderNumber, int32_t TheValue);
// Sets "ClpM" 1 to the frame-slider position, "/" and MaxFrameIndex.
void ShowFrameNumber(WindowRef TheWindow, int32_t TheFrame);
