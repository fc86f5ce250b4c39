// Finding, registering and opening the bundle, through the platform's bundles and dlopen.
#include "plugin_bundle.h"
#include "host_error.h"

#include "CFBundle.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace reelhost {
namespace {

constexpr const char* kBundleName = "lumashift.bundle";

struct CFReleaser {
    void operator()(const void* object) const { CFRelease(object); }
};
template <typename T> using CFHolder = std::unique_ptr<std::remove_pointer_t<T>, CFReleaser>;

std::string Utf8Of(CFStringRef text) {
    char buffer[1024] = {};
    if (!text || !CFStringGetCString(text, buffer, sizeof buffer, kCFStringEncodingUTF8)) return {};
    return buffer;
}

std::string PathOf(CFURLRef url) {
    char buffer[4096] = {};
    if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<uint8_t*>(buffer),
                                          sizeof buffer))
        return {};
    return buffer;
}

// The bundle's per-processor folders that hold `program`, for an error that says what the
// bundle does offer: "aarch64, powerpc", or "none".
std::string ProcessorFolders(const std::string& bundlePath, const std::string& program) {
    std::vector<std::string> folders;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(bundlePath + "/Contents", error)) {
        const std::string name = entry.path().filename().string();
        if (name != "Resources" && std::filesystem::is_regular_file(entry.path() / program, error))
            folders.push_back(name);
    }
    std::sort(folders.begin(), folders.end());
    std::string list;
    for (const std::string& folder : folders)
        list += (list.empty() ? "" : ", ") + folder;
    return list.empty() ? "none" : list;
}

CFHolder<CFStringRef> MakeString(const char* text, CFStringEncoding encoding) {
    return CFHolder<CFStringRef>(CFStringCreateWithCString(kCFAllocatorDefault, text, encoding));
}

} // namespace

PluginBundle::PluginBundle(const std::string& bundlePath) : path_(bundlePath) {
    std::error_code ignored;
    if (!std::filesystem::is_directory(bundlePath, ignored))
        throw HostError("no plug-in bundle at '" + bundlePath + "'");
    CFHolder<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const uint8_t*>(bundlePath.c_str()),
        CFIndex(bundlePath.size()), true));
    bundle_ = url ? CFBundleCreate(kCFAllocatorDefault, url.get()) : nullptr;
    if (!bundle_)
        throw HostError("'" + bundlePath +
                        "' is not a plug-in bundle: Contents/Info is missing or names no "
                        "CFBundleIdentifier");
    identifier_ = Utf8Of(CFBundleGetIdentifier(bundle_));

    CFHolder<CFURLRef> program(CFBundleCopyExecutableURL(bundle_));
    programPath_ = program ? PathOf(program.get()) : std::string();
    if (programPath_.empty()) {
        const std::string program = InfoValue("CFBundleExecutable");
        throw HostError("the bundle '" + bundlePath + "' has no program '" + program +
                        "' for this processor (" PLATFORM_PROCESSOR_FOLDER
                        "); it holds programs for: " +
                        ProcessorFolders(bundlePath, program));
    }
    // Kept loaded for the process: the platform keeps types the plug-in registers.
    library_ = dlopen(programPath_.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library_)
        throw HostError("cannot load the plug-in program '" + programPath_ + "': " + dlerror());
    entry_ = reinterpret_cast<HostPluginEntry>(dlsym(library_, "main"));
    if (!entry_)
        throw HostError("the plug-in program '" + programPath_ + "' exports no entry point 'main'");
    resources_ = CFBundleOpenBundleResourceMap(bundle_);
    if (resources_ < 0)
        warning_ = "the bundle '" + bundlePath +
                   "' has no resource file; the effect's labels will be empty";
}

PluginBundle::~PluginBundle() {
    if (resources_ >= 0) CloseResFile(resources_);
    if (library_) dlclose(library_);
    if (bundle_) CFRelease(bundle_);
}

std::string PluginBundle::InfoValue(const char* key) const {
    CFHolder<CFStringRef> name = MakeString(key, kCFStringEncodingUTF8);
    return name ? Utf8Of(CFBundleGetValueForInfoDictionaryKey(bundle_, name.get())) : "";
}

std::string DefaultBundlePath() {
    std::error_code err;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", err);
    return (err ? std::filesystem::path(".") : self.parent_path()) / kBundleName;
}

std::string PluginText(const char* field, size_t fieldSize) {
    const std::string raw(field, strnlen(field, fieldSize));
    CFHolder<CFStringRef> text = MakeString(raw.c_str(), kCFStringEncodingMacRoman);
    const std::string converted = Utf8Of(text.get());
    return converted.empty() ? raw : converted;
}

} // namespace reelhost
