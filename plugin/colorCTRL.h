// The colour box control: a framed colour swatch whose click opens the colour picker.
#pragma once

#include "CarbonEvents.h"

void RegisterColorBox(void);
void UnregisterColorBox(void);
OSStatus ColorBoxControlHandler(EventHandlerCallRef MyHandler, EventRef TheEvent, void* UserData);
void ColorBoxDraw(const Rect& TheRect, const RGBColor& TheColor);
// Runs the picker; true when the user chose a colour, which is then in OutColor.
Boolean UseColorPicker(Point Where, ConstStr255Param Prompt, const RGBColor& InColor,
                       RGBColor* OutColor);
