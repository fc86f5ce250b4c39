// The clip preview control: shows the preview with the region, and drags the region.
#pragma once

#include "CarbonEvents.h"

void RegisterClipCtrl(void);
void UnregisterClipCtrl(void);
OSStatus ClipCtrlControlHandler(EventHandlerCallRef MyHandler, EventRef TheEvent, void* UserData);
