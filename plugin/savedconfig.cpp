// The saved configuration read under one process-wide lock, for glues whose hosts call on
// several threads.
#include "savedconfig.h"

#include "DataHandling.h"
#include "prefsloader.h"

#include <mutex>

namespace {

std::mutex gPrefsLock;

} // namespace

bool ReadSavedConfigGuarded(PluginDataPtr config) {
    std::lock_guard<std::mutex> prefs(gPrefsLock);
    ResetConfig(config);
    return ReadConfig(config);
}
