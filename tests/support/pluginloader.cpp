// Fresh plug-in instances, the bundle's resources, and a private Preferences folder.
#include "pluginloader.h"

#include "Resources.h"

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::string BundleProgramPath() {
    return std::string(LUMASHIFT_BUNDLE_DIR) + "/Contents/" PLATFORM_PROCESSOR_FOLDER
                                               "/lumashift.so";
}

void OpenBundleResources() {
    static const ResFileRefNum file = OpenResFileAtPath(
        (std::string(LUMASHIFT_BUNDLE_DIR) + "/Contents/Resources/lumashift.rsrc").c_str(),
        fsRdPerm);
    ASSERT_NE(file, -1) << "the bundle's resource file did not open";
}

PluginInstance::PluginInstance() {
    static std::atomic<int> counter{0};
    copyPath_ = (fs::temp_directory_path() / ("lumashift-test-" + std::to_string(getpid()) + "-" +
                                              std::to_string(counter++) + ".so"))
                    .string();
    fs::copy_file(BundleProgramPath(), copyPath_, fs::copy_options::overwrite_existing);
    handle_ = dlopen(copyPath_.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle_, nullptr) << dlerror();
    if (handle_) entry = reinterpret_cast<HostPluginEntry>(dlsym(handle_, "main"));
    EXPECT_NE(entry, nullptr);
    OpenBundleResources();
}

PluginInstance::~PluginInstance() {
    if (handle_) dlclose(handle_);
    fs::remove(copyPath_);
}

TempPreferences::TempPreferences() {
    char pattern[] = "/tmp/lumashift-prefs-XXXXXX";
    dir_ = mkdtemp(pattern);
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
        hadValue_ = true;
        oldValue_ = old;
    }
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
}

TempPreferences::~TempPreferences() {
    if (hadValue_)
        setenv("XDG_CONFIG_HOME", oldValue_.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(dir_);
}
