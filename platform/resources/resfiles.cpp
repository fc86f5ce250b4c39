// The Resource Manager: a chain of open resource files, their maps in memory, written back whole.
#include "Resources.h"
#include "MacMemory.h"
#include "resources/diskfile.h"
#include "resources/rsrclayout.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct HandleDisposer {
    void operator()(Handle h) const { DisposeHandle(h); }
};
// A handle the map owns; released from it by DetachResource and RemoveResource.
using OwnedHandle = std::unique_ptr<char*, HandleDisposer>;

// One resource of an open file. Its data is in `bytes` until someone asks for the resource;
// from then on `handle` holds it, and `bytes` is empty, until the handle is released or
// detached and its contents are taken back.
struct MapEntry {
    ResourceInfo info;
    std::vector<uint8_t> bytes;
    OwnedHandle handle;
};

struct OpenFile {
    ResFileRefNum refNum;
    std::string path; // canonical, so that a file opened twice is recognised
    unsigned mode;    // permission bits when it was read, kept by every write
    bool writable;
    bool changed;
    std::vector<MapEntry> entries;
};

struct Location {
    OpenFile* file;
    std::vector<MapEntry>::iterator entry;
};

constexpr ResType kStringListType = FOUR_CHAR_CODE("STR#");
constexpr ResFileRefNum kNoFile = 0;
constexpr ResFileRefNum kOpenFailed = -1;
// Reference numbers are positive 16-bit numbers, so no more files than that can be open.
constexpr size_t kMaxOpenFiles = INT16_MAX;

std::vector<OpenFile> gChain; // in opening order: the latest opened is last
ResFileRefNum gCurrent = kNoFile;
ResFileRefNum gLastRefNum = kNoFile;
OSErr gResError = noErr;

// Records the result of the call being made, and returns `value` for the caller to return.
template <class T> T Answer(OSErr err, T value) {
    gResError = err;
    return value;
}

void Report(OSErr err) {
    gResError = err;
}

// The text of a resource name, which is stored as a length byte and then its characters.
std::string TextOf(ConstStr255Param name) {
    return {reinterpret_cast<const char*>(name + 1), name[0]};
}

std::vector<OpenFile>::iterator FindFile(ResFileRefNum refNum) {
    return std::find_if(gChain.begin(), gChain.end(),
                        [&](const OpenFile& f) { return f.refNum == refNum; });
}

OpenFile* CurrentFile() {
    auto file = FindFile(gCurrent);
    return file == gChain.end() ? nullptr : &*file;
}

MapEntry* FindEntry(OpenFile& file, ResType type, int16_t id) {
    auto entry = std::find_if(file.entries.begin(), file.entries.end(), [&](const MapEntry& e) {
        return e.info.type == type && e.info.id == id;
    });
    return entry == file.entries.end() ? nullptr : &*entry;
}

std::optional<Location> Locate(Handle h) {
    if (!h) return std::nullopt;
    for (OpenFile& file : gChain) {
        auto entry = std::find_if(file.entries.begin(), file.entries.end(),
                                  [&](const MapEntry& e) { return e.handle.get() == h; });
        if (entry != file.entries.end()) return Location{&file, entry};
    }
    return std::nullopt;
}

std::span<const uint8_t> HandleBytes(Handle h) {
    return {reinterpret_cast<const uint8_t*>(*h), size_t(GetHandleSize(h))};
}

std::span<const uint8_t> DataOf(const MapEntry& entry) {
    return entry.handle ? HandleBytes(entry.handle.get()) : std::span<const uint8_t>(entry.bytes);
}

// The resource's handle, made from its bytes the first time; null when memory runs out.
Handle LoadedHandle(MapEntry& entry) {
    if (entry.handle) return Answer(noErr, entry.handle.get());
    Handle h = NewHandleClear(Size(entry.bytes.size()));
    if (!h) return Answer(memFullErr, Handle(nullptr));
    std::copy(entry.bytes.begin(), entry.bytes.end(), *h);
    entry.handle.reset(h);
    std::vector<uint8_t>().swap(entry.bytes);
    return Answer(noErr, h);
}

// The map keeps what the handle holds now, for later writes and later requests.
void TakeBackBytes(MapEntry& entry) {
    const std::span<const uint8_t> data = HandleBytes(entry.handle.get());
    entry.bytes.assign(data.begin(), data.end());
}

ResFileRefNum NextFreeRefNum() {
    do {
        gLastRefNum = gLastRefNum == INT16_MAX ? 1 : ResFileRefNum(gLastRefNum + 1);
    } while (FindFile(gLastRefNum) != gChain.end());
    return gLastRefNum;
}

// A file may be written when its permission bits allow it, even for a user (such as root)
// whom the system would let write anyway: a locked file stays locked.
bool FileAllowsWriting(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && (info.st_mode & 0222) != 0 &&
           ::access(path.c_str(), W_OK) == 0;
}

bool IsPermission(int8_t permission) {
    return permission >= fsCurPerm && permission <= fsRdWrPerm;
}

// Whether a file opened with `permission` is written back; nothing when writing is asked for
// and the file is locked. fsCurPerm means "whatever the file allows" for FSpOpenResFile (the
// saved configuration opens with it and then writes) and read-only for OpenResFileAtPath.
std::optional<bool> OpensForWriting(int8_t permission, bool currentMayWrite,
                                    const std::string& path) {
    switch (permission) {
    case fsRdPerm:
        return false;
    case fsCurPerm:
        return currentMayWrite && FileAllowsWriting(path);
    default:
        return FileAllowsWriting(path) ? std::optional(true) : std::nullopt;
    }
}

std::vector<MapEntry> EntriesOf(std::vector<ParsedResource> resources) {
    std::vector<MapEntry> entries;
    entries.reserve(resources.size());
    for (ParsedResource& resource : resources)
        entries.push_back({std::move(resource.info), std::move(resource.data), nullptr});
    return entries;
}

ResFileRefNum OpenResourceFile(const char* path, int8_t permission, bool currentMayWrite) {
    if (!path || !*path || !IsPermission(permission)) return Answer(paramErr, kOpenFailed);
    std::unique_ptr<char, decltype(&std::free)> canonical(::realpath(path, nullptr), std::free);
    if (!canonical) return Answer(errno == ENOENT ? fnfErr : ioErr, kOpenFailed);
    const std::string where(canonical.get());

    const std::optional<bool> writable = OpensForWriting(permission, currentMayWrite, where);
    if (!writable) return Answer(ioErr, kOpenFailed);
    auto open = std::find_if(gChain.begin(), gChain.end(),
                             [&](const OpenFile& f) { return f.path == where; });
    if (open != gChain.end()) {
        open->writable = open->writable || *writable;
        gCurrent = open->refNum;
        return Answer(noErr, open->refNum);
    }

    if (gChain.size() == kMaxOpenFiles) return Answer(ioErr, kOpenFailed);
    std::vector<uint8_t> bytes;
    unsigned mode = 0;
    if (const OSErr err = ReadWholeFile(where, kMaxResourceFileSize, bytes, mode))
        return Answer(err, kOpenFailed);
    std::optional<std::vector<ParsedResource>> resources = ParseResourceFile(bytes);
    if (!resources) return Answer(mapReadErr, kOpenFailed);
    gChain.push_back(
        {NextFreeRefNum(), where, mode, *writable, false, EntriesOf(std::move(*resources))});
    gCurrent = gChain.back().refNum;
    return Answer(noErr, gCurrent);
}

OSErr WriteOut(OpenFile& file) {
    std::vector<ResourceToWrite> resources;
    resources.reserve(file.entries.size());
    for (const MapEntry& entry : file.entries)
        resources.push_back({&entry.info, DataOf(entry)});
    const std::optional<std::vector<uint8_t>> bytes = SerializeResourceFile(resources);
    if (!bytes) return ioErr; // more than the layout can address
    if (const OSErr err = ReplaceFile(file.path, *bytes, file.mode)) return err;
    file.changed = false;
    return noErr;
}

// Entry `index` (from 1) of a 'STR#' list: a count, then that many length-prefixed strings.
std::optional<std::span<const uint8_t>> IndexedString(std::span<const uint8_t> list, int index) {
    if (list.size() < 2 || index < 1 || index > int16_t(list[0] << 8 | list[1])) return {};
    size_t at = 2;
    for (int i = 1;; ++i) {
        if (at >= list.size() || list[at] >= list.size() - at) return {};
        if (i == index) return list.subspan(at + 1, list[at]);
        at += 1 + list[at];
    }
}

std::optional<std::string> SpecPath(const FSSpec* fileSpec) {
    char path[sizeof(FSRef::path)];
    if (!fileSpec || !FSpGetPath(fileSpec, path, sizeof path)) return std::nullopt;
    return std::string(path);
}

} // namespace

OSErr CreateResFileAtPath(const char* path) {
    if (!path || !*path) return Answer(paramErr, paramErr);
    const std::vector<uint8_t> empty = *SerializeResourceFile({});
    const OSErr err = CreateFileExclusive(path, empty);
    return Answer(err, err);
}

// The creator and file type have no place in a file on this platform, so they are not kept;
// nor is the script of the name, which is used as bytes.
void FSpCreateResFile(const FSSpec* fileSpec, OSType, OSType, int16_t) {
    const std::optional<std::string> path = SpecPath(fileSpec);
    if (!path) return Report(fileSpec ? dirNFErr : paramErr);
    CreateResFileAtPath(path->c_str());
}

ResFileRefNum FSpOpenResFile(const FSSpec* fileSpec, int8_t permission) {
    const std::optional<std::string> path = SpecPath(fileSpec);
    if (!path) return Answer(fileSpec ? dirNFErr : paramErr, kOpenFailed);
    return OpenResourceFile(path->c_str(), permission, true);
}

ResFileRefNum OpenResFileAtPath(const char* path, int8_t permission) {
    return OpenResourceFile(path, permission, false);
}

void CloseResFile(ResFileRefNum refNum) {
    auto file = FindFile(refNum);
    if (file == gChain.end()) return Report(resFNotFound);
    // The file closes even when writing fails: the caller learns of it from ResError.
    const OSErr err = file->changed ? WriteOut(*file) : OSErr(noErr);
    gChain.erase(file);
    if (gCurrent == refNum) gCurrent = gChain.empty() ? kNoFile : gChain.back().refNum;
    gResError = err;
}

void UpdateResFile(ResFileRefNum refNum) {
    auto file = FindFile(refNum);
    if (file == gChain.end()) return Report(resFNotFound);
    gResError = file->changed ? WriteOut(*file) : OSErr(noErr);
}

void UseResFile(ResFileRefNum refNum) {
    if (FindFile(refNum) == gChain.end()) return Report(resFNotFound);
    gCurrent = refNum;
    gResError = noErr;
}

ResFileRefNum CurResFile(void) {
    return gCurrent;
}

OSErr ResError(void) {
    return gResError;
}

Handle GetResource(ResType type, int16_t id) {
    auto current = FindFile(gCurrent);
    if (current == gChain.end()) return Answer(resFNotFound, Handle(nullptr));
    for (auto file = std::make_reverse_iterator(current + 1); file != gChain.rend(); ++file)
        if (MapEntry* entry = FindEntry(*file, type, id)) return LoadedHandle(*entry);
    return Answer(resNotFound, Handle(nullptr));
}

Handle Get1Resource(ResType type, int16_t id) {
    OpenFile* file = CurrentFile();
    if (!file) return Answer(resFNotFound, Handle(nullptr));
    MapEntry* entry = FindEntry(*file, type, id);
    return entry ? LoadedHandle(*entry) : Answer(resNotFound, Handle(nullptr));
}

int16_t Count1Resources(ResType type) {
    OpenFile* file = CurrentFile();
    if (!file) return Answer(resFNotFound, int16_t(0));
    const auto count = std::count_if(file->entries.begin(), file->entries.end(),
                                     [&](const MapEntry& e) { return e.info.type == type; });
    return Answer(noErr, int16_t(std::min<long>(count, INT16_MAX)));
}

void GetResInfo(Handle h, int16_t* id, ResType* type, Str255 name) {
    const std::optional<Location> found = Locate(h);
    if (!found) return Report(resNotFound);
    const ResourceInfo& info = found->entry->info;
    if (id) *id = info.id;
    if (type) *type = info.type;
    if (name) {
        name[0] = uint8_t(info.name.size());
        std::memcpy(name + 1, info.name.data(), info.name.size());
    }
    gResError = noErr;
}

// Adds to the current file. Refused (addResFailed, the handle stays the caller's) with no
// current file, a read-only file, a handle that is already a resource, or a type and ID that
// the file already holds.
void AddResource(Handle data, ResType type, int16_t id, ConstStr255Param name) {
    OpenFile* file = CurrentFile();
    if (!file || !file->writable || !data || Locate(data) || FindEntry(*file, type, id))
        return Report(addResFailed);
    file->entries.push_back(
        {{type, id, name ? TextOf(name) : std::string(), 0}, {}, OwnedHandle(data)});
    file->changed = true;
    gResError = noErr;
}

// The handle becomes the caller's; the resource leaves the map. Refused for a read-only file.
void RemoveResource(Handle h) {
    const std::optional<Location> found = Locate(h);
    if (!found || !found->file->writable) return Report(rmvResFailed);
    found->entry->handle.release();
    found->file->entries.erase(found->entry);
    found->file->changed = true;
    gResError = noErr;
}

// The handle becomes the caller's; the resource stays in the file with the data it holds now.
void DetachResource(Handle h) {
    const std::optional<Location> found = Locate(h);
    if (!found) return Report(resNotFound);
    TakeBackBytes(*found->entry);
    found->entry->handle.release();
    gResError = noErr;
}

void SetResInfo(Handle h, int16_t id, ConstStr255Param name) {
    const std::optional<Location> found = Locate(h);
    if (!found) return Report(resNotFound);
    OpenFile& file = *found->file;
    ResourceInfo& info = found->entry->info;
    if (!file.writable || (id != info.id && FindEntry(file, info.type, id)))
        return Report(resAttrErr);
    info.id = id;
    if (name) info.name = TextOf(name);
    file.changed = true;
    gResError = noErr;
}

// The data itself needs no copy: a loaded resource is written from its handle.
void ChangedResource(Handle h) {
    const std::optional<Location> found = Locate(h);
    if (!found) return Report(resNotFound);
    if (!found->file->writable) return Report(resAttrErr);
    found->file->changed = true;
    gResError = noErr;
}

// Frees the handle; the next request for the resource makes a new one from what it held.
void ReleaseResource(Handle h) {
    const std::optional<Location> found = Locate(h);
    if (!found) return Report(resNotFound);
    TakeBackBytes(*found->entry);
    found->entry->handle.reset();
    gResError = noErr;
}

void GetIndString(Str255 theString, int16_t strListID, int16_t index) {
    if (!theString) return;
    theString[0] = 0;
    Handle list = GetResource(kStringListType, strListID);
    if (!list) return;
    const std::optional<std::span<const uint8_t>> text = IndexedString(HandleBytes(list), index);
    if (!text) return;
    theString[0] = uint8_t(text->size());
    std::memcpy(theString + 1, text->data(), text->size());
}
