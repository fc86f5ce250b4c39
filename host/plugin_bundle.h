// Loading an effect bundle and calling its entry point.
#pragma once

#include "HostPluginAPI.h"
#include "Resources.h"

#include <string>

struct OpaqueCFBundle;

namespace reelhost {

// A loaded bundle: registered with the platform by its identifier, its program for this
// processor opened, and its resource file in the resource chain (the plug-in reads its
// string lists from it). Lives as long as the plug-in may be called.
class PluginBundle {
  public:
    // Throws HostError naming the path for a missing bundle, Info, program or entry point.
    explicit PluginBundle(const std::string& bundlePath);
    ~PluginBundle();
    PluginBundle(const PluginBundle&) = delete;
    PluginBundle& operator=(const PluginBundle&) = delete;

    // The entry point, valid while the bundle lives.
    HostPluginEntry Entry() const { return entry_; }

    const std::string& Path() const { return path_; }
    const std::string& Identifier() const { return identifier_; }
    const std::string& ProgramPath() const { return programPath_; }
    // An Info value (e.g. "CFBundleName"), or empty.
    std::string InfoValue(const char* key) const;
    // Non-empty when the bundle has no resource file: the plug-in will miss its texts.
    const std::string& Warning() const { return warning_; }

  private:
    std::string path_;
    std::string identifier_;
    std::string programPath_;
    std::string warning_;
    OpaqueCFBundle* bundle_ = nullptr;
    void* library_ = nullptr;
    HostPluginEntry entry_ = nullptr;
    ResFileRefNum resources_ = -1;
};

// The bundle beside the running program: <its folder>/lumashift.bundle.
std::string DefaultBundlePath();

// Text the plug-in wrote into a fixed field, in Mac OS Roman, as UTF-8; stops at the first
// zero byte or the end of the field.
std::string PluginText(const char* field, size_t fieldSize);

} // namespace reelhost
