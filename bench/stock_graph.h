// The effect written as a graph of FFmpeg's stock filters, for comparing reelhost with one
// ffmpeg command that computes the same picture.
#pragma once

#include <string>

namespace stockgraph {

// The effect's settings: its region in fractions of the frame, and its two sliders (50 is
// neutral; the first sets the gain, the second the offset).
struct Effect {
    double left = 0, right = 1, top = 0, bottom = 1;
    int gainSlider = 50;
    int offsetSlider = 50;
};

// The region in pixels of a width x height frame: each edge the fraction times the side,
// truncated, as the effect maps it.
struct Region {
    int x = 0, y = 0, width = 0, height = 0;
};
Region RegionOf(const Effect& effect, int width, int height);

// A -filter_complex graph from [0:v] to [v] in `outputFormat` (an FFmpeg pixel format name):
// the picture in A,R,G,B, the region cropped out, every colour channel mapped through the
// effect's formula (gain, offset, clamped, truncated) by lutrgb, and laid back over the rest.
// The overlay replaces pixels only where the picture is opaque, as video is.
std::string FilterGraph(const Effect& effect, int width, int height,
                        const std::string& outputFormat);

} // namespace stockgraph
