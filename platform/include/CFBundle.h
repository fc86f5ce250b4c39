// Bundles and file URLs (the platform's Core Foundation bundles).
//
// A bundle is a folder NAME.bundle with Contents/Info (key = value lines, at least
// CFBundleIdentifier and CFBundleExecutable), Contents/<processor>/<executable> and
// Contents/Resources/. CFBundleCreate registers the bundle by its identifier for the life of
// the process, as the platform does for loaded bundles. Main thread only.
#pragma once

#include "CFString.h"
#include "Files.h"
#include "Resources.h"

PLATFORM_EXPORTS_BEGIN

typedef const struct OpaqueCFURL* CFURLRef;
typedef struct OpaqueCFBundle* CFBundleRef;

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef alloc, const uint8_t* buffer,
                                                 CFIndex bufLen, Boolean isDirectory);
Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, uint8_t* buffer,
                                         CFIndex maxBufLen);
Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef); // false when the file does not exist

// Reads Contents/Info and registers the bundle; null (nothing registered) when the folder or
// its Info is missing or names no identifier. Owned by the caller; the registry keeps its own
// reference. A second bundle with an identifier already registered replaces the first.
CFBundleRef CFBundleCreate(CFAllocatorRef alloc, CFURLRef bundleURL);
CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID); // not retained; null if none
CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);             // not retained
// Contents/Info value for key, or null; not retained.
CFStringRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);
// Contents/Resources/[subDir/]name.type when it exists, else null; owned by the caller.
CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName,
                                 CFStringRef resourceType, CFStringRef subDirName);
// The program for this machine's processor, Contents/<processor>/<executable>, or null.
CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle);
// Opens Contents/Resources/<executable without suffix>.rsrc read-only into the resource chain; -1
// if none.
ResFileRefNum CFBundleOpenBundleResourceMap(CFBundleRef bundle);

PLATFORM_EXPORTS_END
