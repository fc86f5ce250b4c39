// The stored record of a configuration exactly as a save writes it, for tests.
#pragma once

#include "MacMemory.h"
#include "prefsloader.h"

#include <cstdint>
#include <vector>

namespace prefsfile {

using Bytes = std::vector<uint8_t>;

// Empty when the record cannot be made (no memory).
inline Bytes StoredRecord(const PluginDataRec& config) {
    Handle h = NewHandleClear(kConfigSaveSize);
    if (!h) return {};
    Config2Save(&config, h);
    Bytes bytes(*h, *h + kConfigSaveSize);
    DisposeHandle(h);
    return bytes;
}

} // namespace prefsfile
