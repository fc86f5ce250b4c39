// The about window: the effect's name and version, modal over the configuration window.
#pragma once

#include "CarbonEvents.h"

// Shows the about window and returns once it has been closed, with the caller's port current.
void ShowAbout(void);
OSStatus AboutDialogHandler(EventHandlerCallRef NextHandler, EventRef TheEvent, void* UserData);
