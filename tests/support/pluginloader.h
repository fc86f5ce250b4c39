// Loads a fresh copy of the built plug-in, so each test starts from a process-new plug-in.
#pragma once

#include "HostPluginAPI.h"

#include <string>

class PluginInstance {
  public:
    PluginInstance(); // copies the bundle's program to a unique file and loads it
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    HostPluginEntry entry = nullptr;

  private:
    void* handle_ = nullptr;
    std::string copyPath_;
};

// The bundle's resource file in the resource chain (once per process), as a host provides it.
void OpenBundleResources();
std::string BundleProgramPath();

// Points the Preferences folder at a fresh temporary folder for the life of the object.
class TempPreferences {
  public:
    TempPreferences();
    ~TempPreferences();
    std::string PrefsFile() const { return dir_ + "/vorel-Prefs"; }
    const std::string& Dir() const { return dir_; }

  private:
    std::string dir_;
    std::string oldValue_;
    bool hadValue_ = false;
};
