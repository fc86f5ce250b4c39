// The saved configuration: a 392-byte record, resource "Pref" 1 of the file "vorel-Prefs" in
// the Preferences folder, in the byte order of the machine that wrote it.
#pragma once

#include "PluginDefines.h"

typedef Handle ConfigSaveH;

constexpr uint32_t kConfigSaveSize = 392;   // the whole stored record, on little-endian machines
constexpr uint32_t CConfigSaveVersion = 3;

Boolean Config2Save(const PluginDataRec* TheConfig, ConfigSaveH TheSaveConfig);
Boolean Save2Config(PluginDataPtr TheConfig, ConfigSaveH TheSaveConfig);
Boolean SaveConfig(const PluginDataRec* TheConfig);
Boolean ReadConfig(PluginDataPtr TheConfig);
