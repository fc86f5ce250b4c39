// Bundles on disk: reading Contents/Info, the process-wide registry by identifier, and the
// paths of a bundle's resources, program and resource file.
#include "corefoundation/cfinternal.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

// Info values are kept as strings so that lookups can answer them without a new reference.
using InfoDictionary = std::map<std::string, CFStringHolder, std::less<>>;

struct OpaqueCFBundle : CFObject {
    fs::path root; // absolute, so that the bundle's paths survive a change of current folder
    InfoDictionary info;
};

namespace {

constexpr std::string_view kIdentifierKey = "CFBundleIdentifier";
constexpr std::string_view kExecutableKey = "CFBundleExecutable";
// Far above any real Info file; a larger one is treated as unreadable rather than loaded.
constexpr std::uintmax_t kMaxInfoBytes = 1 << 20;

// The folder of this build's processor among the bundle's per-processor programs, named by
// the build (x86_64, aarch64, powerpc).
constexpr const char* kProcessorFolder = PLATFORM_PROCESSOR_FOLDER;

// Loaded bundles by identifier, each holding one reference. Never destroyed, so that a bundle
// is still found while other libraries shut down.
std::map<std::string, CFBundleRef, std::less<>>& Registry() {
    static auto* registry = new std::map<std::string, CFBundleRef, std::less<>>;
    return *registry;
}

std::string_view Trim(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\f\v";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::optional<std::string> ReadInfoText(const fs::path& file) {
    std::error_code error;
    if (!fs::is_regular_file(file, error)) return std::nullopt;
    const std::uintmax_t size = fs::file_size(file, error);
    if (error || size > kMaxInfoBytes) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) return std::nullopt;
    return text.str();
}

// `key = value` lines, both trimmed; blank lines, lines starting with '#', lines without '='
// and values that are not UTF-8 are skipped. A later line for a key wins.
InfoDictionary ParseInfo(std::string_view text) {
    InfoDictionary info;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        const std::string_view entry = Trim(line);
        const size_t equals = entry.find('=');
        if (entry.empty() || entry.front() == '#' || equals == std::string_view::npos) continue;
        const std::string_view key = Trim(entry.substr(0, equals));
        CFStringHolder value(CFStringCreateWithUTF8(Trim(entry.substr(equals + 1))));
        if (!key.empty() && value) info.insert_or_assign(std::string(key), std::move(value));
    }
    return info;
}

// The Info value for key, not retained; null when the bundle has none.
CFStringRef InfoValue(CFBundleRef bundle, std::string_view key) {
    if (!bundle) return nullptr;
    const auto found = bundle->info.find(key);
    return found == bundle->info.end() ? nullptr : found->second.get();
}

// A single name within its folder: not empty, no folder separator, not "." or "..".
bool IsPlainName(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos && name != "." && name != "..";
}

// A relative folder path that stays inside the folder it is taken from.
bool StaysInside(std::string_view subPath) {
    const fs::path path(subPath);
    if (path.is_absolute()) return false;
    for (const fs::path& part : path)
        if (part == "..") return false;
    return true;
}

CFURLRef CreateURLIfExists(const fs::path& path) {
    std::error_code error;
    if (!fs::exists(path, error)) return nullptr;
    return CFURLCreateWithPath(path.string(), fs::is_directory(path, error));
}

void Register(CFBundleRef bundle, const std::string& identifier) {
    CFRetain(bundle);
    CFBundleRef& slot = Registry()[identifier];
    CFBundleRef replaced = slot;
    slot = bundle;
    CFRelease(replaced);
}

} // namespace

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL) {
    if (!bundleURL) return nullptr;
    const auto infoText = ReadInfoText(fs::path(CFURLPath(bundleURL)) / "Contents" / "Info");
    if (!infoText) return nullptr;
    InfoDictionary info = ParseInfo(*infoText);
    const auto identifier = info.find(kIdentifierKey);
    if (identifier == info.end() || identifier->second->utf8.empty()) return nullptr;

    auto* bundle = new OpaqueCFBundle;
    std::error_code error;
    bundle->root = fs::absolute(CFURLPath(bundleURL), error);
    if (error) bundle->root = CFURLPath(bundleURL);
    bundle->info = std::move(info);
    Register(bundle, CFStringUTF8(InfoValue(bundle, kIdentifierKey)));
    return bundle;
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID) {
    if (!bundleID) return nullptr;
    const auto found = Registry().find(CFStringUTF8(bundleID));
    return found == Registry().end() ? nullptr : found->second;
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
    return InfoValue(bundle, kIdentifierKey);
}

CFStringRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
    return key ? InfoValue(bundle, CFStringUTF8(key)) : nullptr;
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName,
                                 CFStringRef resourceType, CFStringRef subDirName) {
    if (!bundle || !resourceName) return nullptr;
    std::string fileName = CFStringUTF8(resourceName);
    const std::string& type = CFStringUTF8(resourceType);
    if (!type.empty()) fileName += "." + type;
    const std::string& subDir = CFStringUTF8(subDirName);
    if (!IsPlainName(fileName) || !StaysInside(subDir)) return nullptr;
    return CreateURLIfExists(bundle->root / "Contents" / "Resources" / subDir / fileName);
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle) {
    const std::string& executable = CFStringUTF8(InfoValue(bundle, kExecutableKey));
    if (!IsPlainName(executable)) return nullptr;
    return CreateURLIfExists(bundle->root / "Contents" / kProcessorFolder / executable);
}

ResFileRefNum CFBundleOpenBundleResourceMap(CFBundleRef bundle) {
    const std::string& executable = CFStringUTF8(InfoValue(bundle, kExecutableKey));
    if (!IsPlainName(executable)) return -1;
    // Named after the program without its loadable-module suffix: lumashift.so, lumashift.rsrc.
    const std::string stem = fs::path(executable).stem().string();
    const fs::path file = bundle->root / "Contents" / "Resources" / (stem + ".rsrc");
    return OpenResFileAtPath(file.c_str(), fsRdPerm);
}
