// The saved configuration: a 392-byte record (390 on big-endian machines), resource "Pref" 1 of
// the file "vorel-Prefs" in the Preferences folder, in the byte order of the machine that wrote
// it.
#pragma once

#include "PluginDefines.h"

#include <bit>

typedef Handle ConfigSaveH;

// The whole stored record. Big-endian builds store it without the two final padding bytes, so
// each byte order's size test refuses the other's record.
constexpr uint32_t kConfigSaveSize = std::endian::native == std::endian::big ? 390 : 392;
constexpr uint32_t CConfigSaveVersion = 3;

Boolean Config2Save(const PluginDataRec* TheConfig, ConfigSaveH TheSaveConfig);
Boolean Save2Config(PluginDataPtr TheConfig, ConfigSaveH TheSaveConfig);
Boolean SaveConfig(const PluginDataRec* TheConfig);
Boolean ReadConfig(PluginDataPtr TheConfig);

// What reading the saved configuration found. A record that could not be read for a passing
// reason (memory, an I/O error) is still the user's, and must not be written over.
enum ConfigReadResult : int16_t {
    kConfigRead,    // a valid record, copied into the configuration
    kConfigMissing, // no usable record: no file, a damaged file, no record, another size or version
    kConfigUnreadable, // the configuration is untouched and the stored record unknown
};
// With kConfigUnreadable, *why (when given) says what stopped the read: memFullErr when memory
// ran out, paramErr for a null configuration, otherwise the file error.
ConfigReadResult ReadConfigRecord(PluginDataPtr TheConfig, OSErr* why = nullptr);
