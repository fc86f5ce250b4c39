// The saved configuration: a 392-byte record, resource "Pref" 1 of the file "vorel-Prefs" in
// the Preferences folder, in the byte order of the machine that wrote it.
#pragma once

#include "PluginDefines.h"

typedef Handle ConfigSaveH;

constexpr uint32_t kConfigSaveSize = 392; // the whole stored record, on little-endian machines
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
ConfigReadResult ReadConfigRecord(PluginDataPtr TheConfig);
