// Configurations for tests: the defaults with the two sliders, and the region, set.
#pragma once

#include "DataHandling.h"

#include <cstdint>

inline PluginDataRec ConfigWith(int gain, int offset) {
    PluginDataRec config{};
    ResetConfig(&config);
    config.Sliders[0] = int16_t(gain);
    config.Sliders[1] = int16_t(offset);
    return config;
}

inline PluginDataRec ConfigWith(const RelRect& region, int gain, int offset) {
    PluginDataRec config = ConfigWith(gain, offset);
    config.StartRel = region;
    return config;
}
