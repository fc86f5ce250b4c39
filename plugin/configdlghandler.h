// The configuration window's controller: opens the layout for the video format, fills its
// controls from the configuration, handles its commands, and stores or restores at the end.
#pragma once

#include "CarbonEvents.h"
#include "PluginDefines.h"

// How the last run of the window's modal loop ended.
enum : int16_t {
    kItemHitUndecided = -1,
    kItemHitReopen = 0,
    kItemHitAccepted = 1,
    kItemHitCancelled = 2,
};

void DoConfig(PluginDataPtr TheConfig);
void SetupDialog(WindowRef TheWindow, PluginDataPtr TheConfig);
void SetupColors(WindowRef TheWindow, PluginDataPtr TheConfig);
void Config2Dlg(PluginDataPtr TheConfig);
OSStatus TheDialogHandler(EventHandlerCallRef NextHandler, EventRef TheEvent, void* UserData);
