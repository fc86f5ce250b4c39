// The platform's offscreen images as owned holders and pixel views.
#pragma once

#include "pixel_view.h"

#include "QuickDraw.h"

#include <memory>

namespace reelhost {

struct GWorldDisposer {
    void operator()(GrafPort* world) const { DisposeGWorld(world); }
};
// An image the host made and disposes of.
using GWorldHolder = std::unique_ptr<GrafPort, GWorldDisposer>;

// A new 32-bit image with bounds (0, 0, height, width), locked (images never move). Throws
// HostError when the size is not 1 to 32767 on each side or memory runs out.
GWorldHolder MakeImage(int width, int height);

// The pixels behind a pixel map or an image; an empty view for null.
PixelView ViewOf(PixMapHandle map);
PixelView ViewOf(GWorldPtr world);

} // namespace reelhost
