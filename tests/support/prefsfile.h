// The preferences file as tests see it: whole-file bytes, and the stored record of a
// configuration exactly as a save writes it.
#pragma once

#include "MacMemory.h"
#include "prefsloader.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace prefsfile {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

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
