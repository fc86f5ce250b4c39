// The stock filter graph: format, split, crop, lutrgb, overlay, format.
#include "stock_graph.h"

#include <cmath>
#include <cstdio>

namespace stockgraph {
namespace {

int Edge(double fraction, int side) {
    return int(std::trunc(side * fraction));
}

// Digits enough that FFmpeg's expression parser reads back the very same double.
std::string Exact(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The effect's formula for one channel value `val`: val * gain + offset in doubles, clamped to
// 0..255, truncated. Truncating before clamping gives the same byte.
std::string ChannelExpression(const Effect& effect) {
    const double gain = 1 + ((effect.gainSlider - 50) * 2) / 100.0;
    const double offset = ((effect.offsetSlider - 50) * 2 * 255) / 100.0;
    return "'clip(trunc(val*" + Exact(gain) + "+" + Exact(offset) + "),0,255)'";
}

} // namespace

Region RegionOf(const Effect& effect, int width, int height) {
    const int left = Edge(effect.left, width), right = Edge(effect.right, width);
    const int top = Edge(effect.top, height), bottom = Edge(effect.bottom, height);
    return {left, top, right - left, bottom - top};
}

std::string FilterGraph(const Effect& effect, int width, int height,
                        const std::string& outputFormat) {
    const Region region = RegionOf(effect, width, height);
    if (region.width <= 0 || region.height <= 0)
        return "[0:v]format=argb,format=" + outputFormat + "[v]";
    const std::string at = std::to_string(region.x) + ":" + std::to_string(region.y);
    const std::string channel = ChannelExpression(effect);
    return "[0:v]format=argb,split[all][part];[part]crop=" + std::to_string(region.width) + ":" +
           std::to_string(region.height) + ":" + at + ",lutrgb=r=" + channel + ":g=" + channel +
           ":b=" + channel + "[done];[all][done]overlay=" + at +
           ":format=rgb,format=" + outputFormat + "[v]";
}

} // namespace stockgraph
