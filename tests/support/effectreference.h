// What the effect must make of an RGBA frame for a region and two slider values, worked out from
// the formula independently of the plug-in, for the tests of every host's glue.
#pragma once

#include "configs.h"
#include "pixelkernel_testing.h"
#include "prefsloader.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace effectref {

// What the parameters ask for: the region's edges as fractions, and slider values 0..100.
struct Setting {
    double left = 0, top = 0, right = 1, bottom = 1;
    int gainSlider = 50, offsetSlider = 50;

    double Gain() const { return gainSlider / 100.0; }
    double Offset() const { return offsetSlider / 100.0; }
};

// A pixel edge from a fraction of the frame, truncated toward zero, kept inside the frame.
inline int Edge(double fraction, int span) {
    const double pixels = std::trunc(span * fraction);
    return pixels < 0 ? 0 : pixels > span ? span : int(pixels);
}

// The effect on an RGBA frame: the formula on red, green and blue inside the region, alpha
// and everything outside as they were.
inline std::vector<uint8_t> Expected(const std::vector<uint8_t>& frame, int width, int height,
                                     const Setting& s) {
    const ChannelTable table = kerneltest::FormulaTable(s.gainSlider, s.offsetSlider);
    const int left = Edge(s.left, width), right = Edge(s.right, width);
    const int top = Edge(s.top, height), bottom = Edge(s.bottom, height);
    std::vector<uint8_t> out = frame;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            uint8_t* pixel = out.data() + (size_t(y) * width + x) * 4;
            for (int c = 0; c < 3; ++c)
                pixel[c] = table.map[pixel[c]];
        }
    }
    return out;
}

// Saves the setting as the configuration window's OK does, through the effect's own code.
inline bool SaveSetting(const Setting& s) {
    const PluginDataRec config =
        ConfigWith(RelRect{s.left, s.right, s.top, s.bottom}, s.gainSlider, s.offsetSlider);
    return SaveConfig(&config);
}

} // namespace effectref
