// Resource files in the classic layout, stored as ordinary files (the Resource Manager).
//
// An open file is read whole into memory; UpdateResFile and CloseResFile write it back by
// replacing the file atomically (new file beside it, flushed, renamed), keeping every
// resource the file holds. Reading survives any bytes: a damaged file fails to open with
// mapReadErr and is never read out of bounds.
//
// Ownership: a handle from GetResource/Get1Resource belongs to the resource map until
// DetachResource (then the caller disposes of it with DisposeHandle) or RemoveResource (then
// the caller owns it too). AddResource gives the handle to the map. Main thread only.
#pragma once

#include "Files.h"
#include "MacTypes.h"

PLATFORM_EXPORTS_BEGIN

typedef int16_t ResFileRefNum;

void FSpCreateResFile(const FSSpec* fileSpec, OSType creator, OSType fileType, int16_t scriptTag);
ResFileRefNum FSpOpenResFile(const FSSpec* fileSpec, int8_t permission); // -1 on failure
// Opens a resource file by path, read-only unless permission asks for writing; -1 on failure.
ResFileRefNum OpenResFileAtPath(const char* path, int8_t permission);
// Creates an empty resource file at path (an existing file is left alone: dupFNErr).
OSErr CreateResFileAtPath(const char* path);
void CloseResFile(ResFileRefNum refNum);
void UpdateResFile(ResFileRefNum refNum);
void UseResFile(ResFileRefNum refNum);
ResFileRefNum CurResFile(void);
OSErr ResError(void);

Handle GetResource(ResType type, int16_t id);  // current file, then the files opened before it
Handle Get1Resource(ResType type, int16_t id); // current file only
int16_t Count1Resources(ResType type);
void GetResInfo(Handle h, int16_t* id, ResType* type, Str255 name);
void AddResource(Handle data, ResType type, int16_t id, ConstStr255Param name);
void RemoveResource(Handle h);
void DetachResource(Handle h);
void ReleaseResource(Handle h);
// Gives the resource the ID and, unless name is null, the name; resAttrErr for a read-only
// file or an ID that another resource of its type has.
void SetResInfo(Handle h, int16_t id, ConstStr255Param name);
// Marks the resource's data as changed, so that the next write of its file stores what the
// handle holds now (its size included); resAttrErr for a read-only file.
void ChangedResource(Handle h);

// Entry `index` (from 1) of string list `strListID` ('STR#') through the resource chain;
// empty text when the list or the entry is missing or damaged.
void GetIndString(Str255 theString, int16_t strListID, int16_t index);

PLATFORM_EXPORTS_END
