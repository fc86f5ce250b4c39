// Saves an effect as the plug-in's configuration, so that the reelhost runs that follow render it.
#pragma once

#include "stock_graph.h"

#include "DataHandling.h"
#include "prefsloader.h"

#include <cstdint>
#include <stdexcept>

inline void SaveEffectAsConfiguration(const stockgraph::Effect& effect) {
    PluginDataRec config{};
    ResetConfig(&config);
    config.StartRel = RelRect{effect.left, effect.right, effect.top, effect.bottom};
    config.Sliders[0] = int16_t(effect.gainSlider);
    config.Sliders[1] = int16_t(effect.offsetSlider);
    if (!SaveConfig(&config)) throw std::runtime_error("cannot save the effect's settings");
}
