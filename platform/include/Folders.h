// Well-known folders (the platform's Folder Manager).
#pragma once

#include "MacTypes.h"

PLATFORM_EXPORTS_BEGIN

enum : int16_t { kOnSystemDisk = -32768 };
enum : OSType { kPreferencesFolderType = FOUR_CHAR_CODE("pref") };
enum : Boolean { kDontCreateFolder = 0, kCreateFolder = 1 };

// The Preferences folder is $XDG_CONFIG_HOME, or $HOME/.config when that is unset or empty.
// Answers a volume and folder number for FSMakeFSSpec. fnfErr when the folder does not exist
// and createFolder is false (or cannot be made); paramErr for an unknown folder type.
OSErr FindFolder(int16_t vRefNum, OSType folderType, Boolean createFolder, int16_t* foundVRefNum,
                 int32_t* foundDirID);

PLATFORM_EXPORTS_END
