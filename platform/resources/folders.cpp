// The Preferences folder, folder numbers, FSSpec records and the files they name (Folders.h,
// Files.h).
#include "Files.h"
#include "Folders.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// There is one volume; its number is what FindFolder answers, and every number means it.
constexpr int16_t kSystemVolumeRefNum = -1;
// Folder numbers are handed out from here, as indexes into the folder table plus this base.
constexpr int32_t kFirstFolderID = 100;
constexpr size_t kMaxLeafNameLength = sizeof(Str63) - 1;

// Folders named so far, by number; numbers stay valid for the life of the process.
std::mutex gFolderMutex;
std::vector<std::string> gFolders;

int32_t FolderNumberFor(const std::string& path) {
    std::lock_guard lock(gFolderMutex);
    for (size_t i = 0; i < gFolders.size(); ++i)
        if (gFolders[i] == path) return kFirstFolderID + int32_t(i);
    gFolders.push_back(path);
    return kFirstFolderID + int32_t(gFolders.size() - 1);
}

std::optional<std::string> FolderPath(int32_t folderID) {
    std::lock_guard lock(gFolderMutex);
    if (folderID < kFirstFolderID || size_t(folderID - kFirstFolderID) >= gFolders.size())
        return std::nullopt;
    return gFolders[size_t(folderID - kFirstFolderID)];
}

// An absolute path from the environment without trailing slashes, so that one folder has one
// number; nothing when unset, empty or relative.
std::optional<std::string> AbsolutePathFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return std::nullopt;
    std::string path(value);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string PathInFolder(const std::string& folder, std::string_view leaf) {
    return (folder == "/" ? "" : folder) + "/" + std::string(leaf);
}

// XDG_CONFIG_HOME, else $HOME/.config; a relative XDG_CONFIG_HOME is ignored, as XDG asks.
std::optional<std::string> PreferencesFolderPath() {
    if (auto config = AbsolutePathFromEnvironment("XDG_CONFIG_HOME")) return config;
    if (auto home = AbsolutePathFromEnvironment("HOME")) return *home + "/.config";
    return std::nullopt;
}

bool IsFolder(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Makes the folder and any missing parents, private to the user as XDG asks.
bool MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return IsFolder(path);
    }
}

// A name for one file in a folder: 1 to 63 bytes, none of them '/', ':' or zero, and not
// "." or "..", which would name folders. The bytes are used on disk unchanged.
std::optional<std::string_view> LeafName(const unsigned char* name) {
    if (!name || name[0] == 0 || name[0] > kMaxLeafNameLength) return std::nullopt;
    const std::string_view leaf(reinterpret_cast<const char*>(name + 1), name[0]);
    if (leaf.find_first_of(std::string_view("/:\0", 3)) != std::string_view::npos || leaf == "." ||
        leaf == "..")
        return std::nullopt;
    return leaf;
}

} // namespace

OSErr FindFolder(int16_t, OSType folderType, Boolean createFolder, int16_t* foundVRefNum,
                 int32_t* foundDirID) {
    if (folderType != kPreferencesFolderType || !foundVRefNum || !foundDirID) return paramErr;
    const std::optional<std::string> path = PreferencesFolderPath();
    if (!path) return fnfErr;
    if (!IsFolder(*path) && !(createFolder && MakeFolders(*path))) return fnfErr;
    *foundVRefNum = kSystemVolumeRefNum;
    *foundDirID = FolderNumberFor(*path);
    return noErr;
}

OSErr FSMakeFSSpec(int16_t, int32_t dirID, ConstStr255Param fileName, FSSpec* fileSpec) {
    const std::optional<std::string_view> leaf = LeafName(fileName);
    if (!fileSpec || !leaf) return paramErr;
    const std::optional<std::string> folder = FolderPath(dirID);
    if (!folder) return dirNFErr;
    fileSpec->vRefNum = kSystemVolumeRefNum;
    fileSpec->parID = dirID;
    std::memcpy(fileSpec->name, fileName, leaf->size() + 1);
    struct stat info;
    return ::stat(PathInFolder(*folder, *leaf).c_str(), &info) == 0 ? noErr : fnfErr;
}

Boolean FSpGetPath(const FSSpec* fileSpec, char* path, long size) {
    if (!fileSpec || !path || size <= 0) return false;
    const std::optional<std::string_view> leaf = LeafName(fileSpec->name);
    const std::optional<std::string> folder = FolderPath(fileSpec->parID);
    if (!leaf || !folder) return false;
    const std::string full = PathInFolder(*folder, *leaf);
    if (full.size() >= size_t(size)) return false;
    std::memcpy(path, full.c_str(), full.size() + 1);
    return true;
}

namespace {

// The file's path, or nothing (with the error to answer) when the FSSpec names no file.
std::optional<std::string> PathOfSpec(const FSSpec* fileSpec, OSErr& err) {
    char path[sizeof(FSRef::path)];
    if (!fileSpec || !LeafName(fileSpec->name)) {
        err = paramErr;
        return std::nullopt;
    }
    if (!FSpGetPath(fileSpec, path, sizeof path)) {
        err = dirNFErr;
        return std::nullopt;
    }
    return std::string(path);
}

OSErr FileErrorFromErrno() {
    if (errno == EEXIST) return dupFNErr;
    return errno == ENOENT ? fnfErr : ioErr;
}

} // namespace

OSErr FSpRename(const FSSpec* fileSpec, ConstStr255Param newName) {
    OSErr err = noErr;
    const std::optional<std::string> from = PathOfSpec(fileSpec, err);
    if (!from) return err;
    FSSpec renamed = *fileSpec;
    if (!LeafName(newName)) return paramErr;
    std::memcpy(renamed.name, newName, size_t(newName[0]) + 1);
    const std::optional<std::string> to = PathOfSpec(&renamed, err);
    if (!to) return err;
    // A file system that cannot rename without replacing fails here rather than risk a file.
    if (::renameat2(AT_FDCWD, from->c_str(), AT_FDCWD, to->c_str(), RENAME_NOREPLACE) != 0)
        return FileErrorFromErrno();
    return noErr;
}

OSErr FSpDelete(const FSSpec* fileSpec) {
    OSErr err = noErr;
    const std::optional<std::string> path = PathOfSpec(fileSpec, err);
    if (!path) return err;
    return ::unlink(path->c_str()) == 0 ? OSErr(noErr) : FileErrorFromErrno();
}
