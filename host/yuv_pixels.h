// Exact conversions between 8-bit planar YUV pictures and the host's A,R,G,B pixels at the same
// size: each value the correctly rounded result of the colour matrix, in a few integer steps.
#pragma once

#include "ffmpeg_holders.h"
#include "pixel_view.h"

namespace reelhost {

// How a YUV picture's numbers stand for colours: its matrix, and full range (0 to 255) or the
// video range (16 to 235 for Y, 16 to 240 for U and V).
struct YuvColours {
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED; // unspecified reads as BT.601, as swscale does
    bool fullRange = false;
};

// True when these converters take pictures of `format` (8-bit planar 4:2:0, 4:2:2 or 4:4:4,
// even in both directions where the colour planes are halved) with this matrix.
bool HandlesExactly(AVPixelFormat format, int width, int height, AVColorSpace matrix);

// `picture` into `target` of the same size, alpha 255. Each pixel takes the colour sample that
// covers it. The caller has checked HandlesExactly.
void YuvToArgb(const AVFrame& picture, const YuvColours& colours, const PixelView& target);

// `source` into `picture` of the same size: Y of each pixel, U and V of the mean of the pixels
// each colour sample covers. Alpha is dropped. The caller has checked HandlesExactly.
void ArgbToYuv(const PixelView& source, const YuvColours& colours, AVFrame& picture);

} // namespace reelhost
