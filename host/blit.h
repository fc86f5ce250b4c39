// Drawing one image over another with an opacity: the host's Blit service.
#pragma once

#include "pixel_view.h"

#include "HostPluginAPI.h"

#include <vector>

namespace reelhost {

// One channel of `src` drawn over `dst` at `opacity` 0 (dst kept) to 255 (src kept), rounded
// to the nearest value.
constexpr uint8_t BlendChannel(uint8_t src, uint8_t dst, int opacity) {
    return uint8_t((src * opacity + dst * (255 - opacity) + 127) / 255);
}

// Draws srcRect of src over dstRect of dst, every channel (alpha too) blended with
// BlendChannel. Opacity outside 0..255 is clamped. When the rectangles differ in size each
// destination pixel takes the source pixel that CopyBits would copy there (ScaledSourcePixel).
// Destination pixels outside dst, or whose source pixel lies outside src, are left alone; empty or
// inverted rectangles draw nothing. Keeps its column table between calls so that a render allocates
// it once.
class Blitter {
  public:
    void Draw(const PixelView& src, const PixelView& dst, const Rect& srcRect, const Rect& dstRect,
              int opacity);

  private:
    std::vector<int> sourceColumns_;
};

// The host's Blit callback: srcRect of src drawn over dstRect of dst by a Blitter that serves
// the process. Blit carries no instance and needs nothing but scratch space, and requests come
// one at a time on one thread. kPluginBadParams for a missing argument.
HYPluginResult BlitImages(PixMapHandle src, PixMapHandle dst, const Rect* srcRect,
                          const Rect* dstRect, int16_t opacity);

} // namespace reelhost
