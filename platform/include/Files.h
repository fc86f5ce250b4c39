// File specifications and references (the platform's File Manager, as far as it is used).
#pragma once

#include "MacTypes.h"

PLATFORM_EXPORTS_BEGIN

// A file named by its folder (vRefNum, parID from FindFolder) and its name.
struct FSSpec {
    int16_t vRefNum;
    int32_t parID;
    Str63 name;
};

// A reference to an existing file: its full path, zero-terminated.
struct FSRef {
    char path[4096];
};

enum : int8_t {
    fsCurPerm = 0,
    fsRdPerm = 1,
    fsWrPerm = 2,
    fsRdWrPerm = 3,
};

// Fills *fileSpec for `fileName` in folder (vRefNum, dirID). noErr when the file exists, fnfErr
// when it does not (fileSpec still filled, ready for creation), dirNFErr for an unknown folder,
// paramErr for a name that is empty or holds '/' or ':'.
OSErr FSMakeFSSpec(int16_t vRefNum, int32_t dirID, ConstStr255Param fileName, FSSpec* fileSpec);

// The full path an FSSpec names, zero-terminated into path (size bytes); false if it does
// not fit or the folder is unknown.
Boolean FSpGetPath(const FSSpec* fileSpec, char* path, long size);

// Gives the file a new name in its folder, never replacing another file: dupFNErr when the
// name is taken, fnfErr when the file is gone, paramErr for a bad name, ioErr otherwise.
OSErr FSpRename(const FSSpec* fileSpec, ConstStr255Param newName);

// Removes the file: fnfErr when it is gone, ioErr when it cannot be removed.
OSErr FSpDelete(const FSSpec* fileSpec);

PLATFORM_EXPORTS_END
