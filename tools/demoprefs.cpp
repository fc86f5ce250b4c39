// Saves the demo's configuration (a brightened centre region) into the Preferences folder,
// through the effect's own saving code, so `make demo` shows the effect without a window.
#include "DataHandling.h"
#include "prefsloader.h"

#include <cstdio>

int main() {
    PluginDataRec config{};
    ResetConfig(&config);
    config.StartRel = RelRect{0.2, 0.8, 0.25, 0.75}; // the middle of the frame
    config.Sliders[0] = 70;                          // gain 1.4
    config.Sliders[1] = 60;                          // offset +25.5
    if (!SaveConfig(&config)) {
        std::fprintf(stderr, "demoprefs: could not save the demo configuration (is "
                             "XDG_CONFIG_HOME a writable folder?)\n");
        return 1;
    }
    return 0;
}
