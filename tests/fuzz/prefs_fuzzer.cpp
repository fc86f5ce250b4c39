// Fuzzes the saved configuration's read and save over any preferences file, with allocations
// and file writes failing at any step. A read changes nothing on disk and agrees with a plain
// walk of the file; a failed save leaves every file byte for byte as it was; a save that
// succeeds reads back, keeps every other resource and the file's mode, and keeps a damaged
// file aside.
//
// Input: 8 control bytes, then the preferences file (absent when bit 0 of byte 2 is clear).
//   byte 0       the read's failing allocation (0: none)
//   byte 1       the save's failure: bits 6-7 kind (1 allocation, 2 write), bits 0-2 which - 1
//   byte 2       bit 0: the file exists
//   bytes 3..7   the configuration saved: gain, offset (16-bit), video format
#include "DataHandling.h"
#include "MacMemory.h"
#include "PlatformTestHooks.h"
#include "fuzz_checks.h"
#include "filebytes.h"
#include "prefsfile.h"
#include "prefsloader.h"
#include "resources/rsrclayout.h"
#include "rsrcimage.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using filebytes::Bytes;

constexpr size_t kControlBytes = 8;
constexpr uint32_t kPrefType = 0x50726566; // 'Pref'
constexpr mode_t kOldMode = 0640;
constexpr mode_t kNewFileMode = 0644;

struct FileState {
    Bytes bytes;
    mode_t mode;
    bool operator==(const FileState&) const = default;
};
using Folder = std::map<std::string, FileState>;

Folder Snapshot() {
    Folder folder;
    for (const auto& entry : fs::directory_iterator(ScratchFolder())) {
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        folder[entry.path().filename()] = {filebytes::ReadBytes(entry.path()),
                                           info.st_mode & 07777};
    }
    return folder;
}

std::string PrefsPath() {
    return ScratchFolder() + "/vorel-Prefs";
}

uint32_t Native32(const Bytes& record, size_t at) {
    uint32_t value;
    std::memcpy(&value, record.data() + at, 4);
    return value;
}

// The record a read must find: the first "Pref" 1 of the file, when it has the size and
// version of this machine's records.
std::optional<Bytes> ValidRecord(const std::vector<rsrcimage::Resource>& resources) {
    const auto record = std::find_if(resources.begin(), resources.end(), [](const auto& r) {
        return r.type == kPrefType && r.id == 1;
    });
    if (record == resources.end() || record->data.size() < kConfigSaveSize ||
        Native32(record->data, 0) != kConfigSaveSize ||
        Native32(record->data, 4) != CConfigSaveVersion)
        return std::nullopt;
    return record->data;
}

// The fields of the stored form: everything before its text, which is never read back.
constexpr size_t kFieldBytes = 134;

bool SameFields(const Bytes& a, const Bytes& b) {
    return a.size() >= kFieldBytes && b.size() >= kFieldBytes &&
           std::equal(a.begin(), a.begin() + kFieldBytes, b.begin());
}

// The old file's resources, as the platform reads them; nothing when the file is absent or
// damaged (nothing is then kept but the file itself, aside).
std::optional<std::vector<rsrcimage::Resource>> Resources(const std::optional<Bytes>& file) {
    if (!file || !ParseResourceFile(*file)) return std::nullopt;
    return rsrcimage::Walk(*file);
}

void CheckRead(const std::optional<Bytes>& file, uint8_t failingAllocation) {
    PluginDataRec config{};
    ResetConfig(&config);
    config.Sliders[5] = 12345; // a value no read may leave behind unless it read a record
    const PluginDataRec before = config;
    const Folder folderBefore = Snapshot();
    MemTestFailAllocation(failingAllocation);
    const ConfigReadResult result = ReadConfigRecord(&config);
    const bool failed = failingAllocation && MemTestFailAllocation(0) == 0;
    Check(Snapshot() == folderBefore, "a read changes nothing on disk");

    const auto resources = Resources(file);
    const std::optional<Bytes> record = resources ? ValidRecord(*resources) : std::nullopt;
    if (result == kConfigRead) {
        Check(record && SameFields(prefsfile::StoredRecord(config), *record),
              "a read gives the stored fields");
        return;
    }
    Check(std::memcmp(&config, &before, sizeof config) == 0, "a failed read changes nothing");
    if (result == kConfigUnreadable)
        Check(failed, "a record is unreadable only when something failed");
    else
        Check(!record || failed, "a valid record is read");
}

// What the file must hold after saving `record` into a file of `resources`: the first "Pref" 1
// takes the new bytes and name in place; without one, the record is added.
std::vector<rsrcimage::Resource> AfterSave(std::vector<rsrcimage::Resource> resources,
                                           const Bytes& record) {
    const auto stored = std::find_if(resources.begin(), resources.end(), [](const auto& r) {
        return r.type == kPrefType && r.id == 1;
    });
    if (stored != resources.end()) {
        stored->data = record;
        stored->name = "Config Settings";
    } else {
        resources.push_back({kPrefType, 1, "Config Settings", 0, record});
    }
    return rsrcimage::GroupedByType(rsrcimage::AsStored(resources));
}

void CheckSave(const std::optional<Bytes>& file, const PluginDataRec& config, uint8_t failure) {
    const Folder before = Snapshot();
    const long which = (failure & 7) + 1;
    const int kind = failure >> 6;
    if (kind == 1) MemTestFailAllocation(which);
    if (kind == 2) ResTestFailWrite(which);
    const bool saved = SaveConfig(&config);
    const bool allocationFailed = MemTestFailAllocation(0) == 0 && kind == 1;
    const bool writeFailed = ResTestFailWrite(0) == 0 && kind == 2;
    const bool failed = allocationFailed || writeFailed;

    if (!saved) {
        Check(failed, "a save fails only when something failed");
        Check(Snapshot() == before, "a failed save leaves every file as it was");
        return;
    }
    const Bytes record = prefsfile::StoredRecord(config);
    PluginDataRec back{};
    Check(ReadConfigRecord(&back) == kConfigRead &&
              SameFields(prefsfile::StoredRecord(back), record),
          "a saved configuration reads back");

    Folder after = Snapshot();
    const auto resources = Resources(file);
    const std::vector<rsrcimage::Resource> expected =
        AfterSave(resources.value_or(std::vector<rsrcimage::Resource>{}), record);
    Check(rsrcimage::Walk(after["vorel-Prefs"].bytes) == expected,
          "the file holds the new record and every other resource");
    Check(after["vorel-Prefs"].mode == (resources ? kOldMode : kNewFileMode),
          "the file keeps its mode");
    after.erase("vorel-Prefs");
    if (file && !resources) {
        // A damaged file is kept aside, whole.
        Check(after.size() == 1 && after.begin()->first.starts_with("vorel-Prefs.damaged-") &&
                  after.begin()->second.bytes == *file,
              "a damaged file is kept aside");
        return;
    }
    Check(after.empty(), "a save leaves no other file behind");
}

void EmptyScratchFolder() {
    for (const auto& entry : fs::directory_iterator(ScratchFolder()))
        fs::remove(entry.path());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("XDG_CONFIG_HOME", ScratchFolder().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kControlBytes) return 0;
    EmptyScratchFolder();
    std::optional<Bytes> file;
    if (data[2] & 1) {
        file.emplace(data + kControlBytes, data + size);
        WriteScratchFile(PrefsPath(), *file);
        ::chmod(PrefsPath().c_str(), kOldMode);
    }
    CheckRead(file, data[0]);

    PluginDataRec config{};
    ResetConfig(&config);
    config.Sliders[0] = int16_t(data[3] | data[4] << 8);
    config.Sliders[1] = int16_t(data[5] | data[6] << 8);
    config.MediaType = data[7];
    CheckSave(file, config, data[1]);
    return 0;
}
