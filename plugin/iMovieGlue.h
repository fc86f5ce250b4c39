// Frames fetched from the host for the configuration window, and the quality rule for fetches.
#pragma once

#include "HostPluginAPI.h"

// Low quality only for a proxy render of a small frame (259 pixels high or less).
uint8_t FrameQuality(const _PluginParams* params, int16_t height);

// Copies host frame frameIndex + startFrame into theGW at its size. -1 for a negative frame
// number, else the host's result. Images the host lends are given back with ReleaseFrame; the
// host keeps ownership of them, so disposeAfterUse asks for nothing more.
int16_t GetFrameIntoGW(GWorldPtr theGW, _PluginParams* params, int32_t frameIndex,
                       int16_t disposeAfterUse);
