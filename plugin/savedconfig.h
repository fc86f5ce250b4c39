// The saved configuration as the glues for other hosts read it, from any thread.
#pragma once

#include "PluginDefines.h"

// Resets `config` to the defaults, then reads the configuration window's saved configuration
// into it; false when there is none to read. The Resource Manager's state is process-wide and
// not safe on two threads at once, so every such read takes one process-wide lock.
bool ReadSavedConfigGuarded(PluginDataPtr config);
