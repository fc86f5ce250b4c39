// One frame on its way through a render: its picture at the output's size and its sound.
#pragma once

#include "audio_mix.h"
#include "gworld.h"

#include "HostPluginAPI.h"

#include <cstdint>
#include <string>

namespace reelhost {

// Slots go round a render's stages: filled from the clip, offered to the plug-in, written.
struct FrameSlot {
    GWorldHolder image; // none until first filled, or after the plug-in kept it
    AudioBlock sound;   // the frame's share of sound, when the output carries sound
    int64_t movieFrame = -1;
    uint8_t quality = kDVHighQuality; // what the picture was converted at
    bool resized = false;             // the clip's picture was scaled to make it
    std::string failure;              // why the frame could not be read; nothing else is set
};

} // namespace reelhost
