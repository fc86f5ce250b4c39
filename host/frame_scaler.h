// Converting decoded pictures into the host's A,R,G,B images at any size, with swscale.
#pragma once

#include "ffmpeg_holders.h"
#include "pixel_view.h"
#include "yuv_pixels.h"

namespace reelhost {

// swscale's method for a frame quality when a picture is resized: a fast one for
// kDVLowQuality, a sharp one otherwise.
int ScalerFlagsFor(uint8_t quality);

// Tells `context` the matrix and range of its YUV sides (null for an RGB side, which keeps full
// range). swscale otherwise assumes limited-range BT.601.
void SetColours(SwsContext& context, const YuvColours* source, const YuvColours* target);

// True for RGB formats, and for values FFmpeg does not describe.
bool IsRgb(AVPixelFormat format);

// The JPEG formats are their plain counterparts at full range.
AVPixelFormat WithoutJpegRange(AVPixelFormat format);

// Full range when `range` says so or `format` is one of the JPEG formats.
bool IsFullRange(AVPixelFormat format, AVColorRange range);

// The matrix and range a decoded picture says it has.
YuvColours ColoursOf(const AVFrame& picture);

// Keeps one swscale context and reuses it while sizes, formats and quality stay the same,
// so a render sets it up once.
class FrameScaler {
  public:
    // Fills the whole of `target` with `picture`, converted and scaled. Throws HostError
    // when swscale cannot convert the picture's format.
    void Convert(const AVFrame& picture, const PixelView& target, uint8_t quality);

  private:
    struct Setup {
        int width = 0, height = 0, format = -1;
        int targetWidth = 0, targetHeight = 0, flags = 0;
        int colorspace = -1, range = -1;
        bool operator==(const Setup&) const = default;
    };

    SwsPtr context_;
    Setup setup_;
};

} // namespace reelhost
