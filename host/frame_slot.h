// One frame on its way through a render: its pictures and its sound.
#pragma once

#include "audio_mix.h"
#include "changed_pixels.h"
#include "ffmpeg_holders.h"
#include "gworld.h"
#include "picture_composer.h"

#include "HostPluginAPI.h"

#include <cstdint>
#include <string>

namespace reelhost {

// Slots go round a render's stages: filled from the clip, offered to the plug-in, written.
struct FrameSlot {
    GWorldHolder image;            // none until first filled, or after the plug-in kept it
    bool hasPicture = false;       // `image` holds this frame, as read or as rendered
    FramePtr source = MakeFrame(); // the clip's decoded picture, when the output takes it; or empty
    ChangedPixels changed; // of a rendered frame with a source: what differs from the lent one
    AudioBlock sound;      // the frame's share of sound, when the output carries sound
    int64_t movieFrame = -1;
    uint8_t quality = kDVHighQuality; // what the picture was converted at
    bool resized = false;             // the clip's picture was scaled to make it
    std::string failure;              // why the frame could not be read; nothing else is set

    bool HasSource() const { return source->data[0] != nullptr; }
    // What the writer makes the output picture of.
    PictureSources Sources() const {
        const PixelView rendered = hasPicture ? ViewOf(image.get()) : PixelView{};
        AVFrame* kept = HasSource() ? source.get() : nullptr;
        return {rendered, kept, kept && hasPicture ? &changed : nullptr};
    }
};

} // namespace reelhost
