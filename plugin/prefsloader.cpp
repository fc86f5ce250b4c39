// Reading and writing the saved configuration through the resource file calls.
#include "prefsloader.h"

#include "DateTimeUtils.h"
#include "Files.h"
#include "Folders.h"
#include "MacMemory.h"
#include "Resources.h"
#include "commonprocs.h"

#include <cstdio>
#include <cstring>

namespace {

// Offsets of the stored record's fields. Each value is stored in the writer's byte order.
enum : size_t {
    kOffSize = 0,
    kOffVersion = 4,
    kOffStartRel = 8,
    kOffEndRel = 40,
    kOffColors = 72,
    kOffSliders = 108,
    kOffFrameStartColor = 120,
    kOffFrameEndColor = 126,
    kOffMediaType = 132,
    kOffMiscString = 134,
};

constexpr ResType kPrefType = FOUR_CHAR_CODE("Pref");
constexpr int16_t kPrefID = 1;
constexpr const char* kPrefsFileName = "vorel-Prefs";
constexpr const char* kRecordName = "Config Settings";
constexpr const char* kMiscText = "Config save for Brindle iMovie plug-in";
constexpr OSType kPrefsCreator = FOUR_CHAR_CODE("Brnd");
// Damaged files set aside within one second get numbered names; past this many, the save fails.
constexpr int kSetAsideAttempts = 100;

template <typename T> void Put(uint8_t* record, size_t offset, T value) {
    std::memcpy(record + offset, &value, sizeof value);
}

template <typename T> T Get(const uint8_t* record, size_t offset) {
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

void PutRelRect(uint8_t* record, size_t offset, const RelRect& r) {
    Put(record, offset, r.Left);
    Put(record, offset + 8, r.Right);
    Put(record, offset + 16, r.Top);
    Put(record, offset + 24, r.Bottom);
}

RelRect GetRelRect(const uint8_t* record, size_t offset) {
    return RelRect{Get<double>(record, offset), Get<double>(record, offset + 8),
                   Get<double>(record, offset + 16), Get<double>(record, offset + 24)};
}

void PutColor(uint8_t* record, size_t offset, const RGBColor& c) {
    Put(record, offset, c.red);
    Put(record, offset + 2, c.green);
    Put(record, offset + 4, c.blue);
}

RGBColor GetColor(const uint8_t* record, size_t offset) {
    return RGBColor{Get<uint16_t>(record, offset), Get<uint16_t>(record, offset + 2),
                    Get<uint16_t>(record, offset + 4)};
}

uint8_t* RecordBytes(ConfigSaveH h) {
    return reinterpret_cast<uint8_t*>(*h);
}

// The preferences file's FSSpec; noErr or fnfErr leave it usable. A missing Preferences folder
// is dirNFErr, so that it is never taken for a missing file.
OSErr PrefsFileSpec(FSSpec* fileSpec) {
    int16_t vRefNum;
    int32_t dirID;
    if (FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &dirID))
        return dirNFErr;
    Str255 name;
    CToText(kPrefsFileName, name);
    return FSMakeFSSpec(vRefNum, dirID, name, fileSpec);
}

// Opens the preferences file and makes it current; -1 when that fails, with ResError telling why.
ResFileRefNum OpenPrefsFile(const FSSpec& fileSpec, int8_t permission) {
    const ResFileRefNum file = FSpOpenResFile(&fileSpec, permission);
    if (file == -1 || ResError() != noErr) return -1;
    UseResFile(file);
    return ResError() == noErr ? file : ResFileRefNum(-1);
}

// Puts a copy of `record` into the open, current file as "Pref" 1 named "Config Settings". A
// record already there takes the new bytes in place and is never removed, so a failure at any
// step leaves the map as it was, and closing the file then writes nothing.
bool PutRecord(Handle record) {
    const Size size = GetHandleSize(record);
    Str255 name;
    CToText(kRecordName, name);
    Handle stored = Get1Resource(kPrefType, kPrefID);
    if (stored) {
        if (SetHandleSize(stored, size) != noErr) return false;
        std::memcpy(*stored, *record, size_t(size));
        SetResInfo(stored, kPrefID, name);
        if (ResError() != noErr) return false;
        ChangedResource(stored);
        return ResError() == noErr;
    }
    // A record that is there but could not be loaded must not get a twin.
    if (ResError() != resNotFound) return false;
    Handle added = NewHandleClear(size);
    if (!added) return false;
    std::memcpy(*added, *record, size_t(size));
    AddResource(added, kPrefType, kPrefID, name);
    if (ResError() == noErr) return true;
    DisposeHandle(added);
    return false;
}

// Puts the record into the existing preferences file, which is written once, as it closes: that
// write's result is the answer, and a failed write leaves the file on disk as it was. mapReadErr
// when the file cannot be read as a resource file.
OSErr StoreInFile(const FSSpec& fileSpec, Handle record) {
    const ResFileRefNum file = OpenPrefsFile(fileSpec, fsRdWrPerm);
    if (file == -1) return ResError();
    const bool put = PutRecord(record);
    CloseResFile(file);
    return put ? ResError() : OSErr(addResFailed);
}

// Creates the preferences file holding the record. A save that fails leaves no file behind, as
// there was none before.
bool StoreInNewFile(const FSSpec& fileSpec, Handle record) {
    FSpCreateResFile(&fileSpec, kPrefsCreator, kPrefType, 0);
    if (ResError() != noErr) return false;
    if (StoreInFile(fileSpec, record) == noErr) return true;
    FSpDelete(&fileSpec);
    return false;
}

// Renames the file to "vorel-Prefs.damaged-YYYYMMDD-HHMMSS" (with "-2", "-3", ... when that
// name is taken) so that what it holds is kept for its owner; its new name in `asideName`.
bool SetAside(const FSSpec& fileSpec, Str255 asideName) {
    DateTimeRec now;
    GetTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%s.damaged-%04d%02d%02d-%02d%02d%02d", kPrefsFileName,
                  now.year, now.month, now.day, now.hour, now.minute, now.second);
    for (int attempt = 1; attempt <= kSetAsideAttempts; ++attempt) {
        char name[80];
        if (attempt == 1)
            std::snprintf(name, sizeof name, "%s", stamp);
        else
            std::snprintf(name, sizeof name, "%s-%d", stamp, attempt);
        CToText(name, asideName);
        const OSErr err = FSpRename(&fileSpec, asideName);
        if (err != dupFNErr) return err == noErr;
    }
    return false;
}

// A file that cannot be read as a resource file would refuse every save: it is kept aside under
// another name and a new file is started. If that fails, the damaged file goes back in place.
bool StoreReplacingDamagedFile(const FSSpec& fileSpec, Handle record) {
    Str255 asideName;
    if (!SetAside(fileSpec, asideName)) return false;
    if (StoreInNewFile(fileSpec, record)) return true;
    FSSpec aside = fileSpec;
    std::memcpy(aside.name, asideName, size_t(asideName[0]) + 1);
    FSpRename(&aside, fileSpec.name);
    return false;
}

// Puts the record into the preferences file, whatever state the file is in.
bool StoreRecord(const FSSpec& fileSpec, bool fileExists, Handle record) {
    if (!fileExists) return StoreInNewFile(fileSpec, record);
    const OSErr err = StoreInFile(fileSpec, record);
    if (err == mapReadErr) return StoreReplacingDamagedFile(fileSpec, record);
    return err == noErr;
}

} // namespace

Boolean Config2Save(const PluginDataRec* TheConfig, ConfigSaveH TheSaveConfig) {
    if (!TheConfig || !TheSaveConfig || GetHandleSize(TheSaveConfig) < Size(kConfigSaveSize))
        return false;
    uint8_t* record = RecordBytes(TheSaveConfig);
    Put<uint32_t>(record, kOffSize, kConfigSaveSize);
    Put<uint32_t>(record, kOffVersion, CConfigSaveVersion);
    PutRelRect(record, kOffStartRel, TheConfig->StartRel);
    PutRelRect(record, kOffEndRel, TheConfig->EndRel);
    for (int n = 0; n < kColorCount; ++n)
        PutColor(record, kOffColors + 6 * n, TheConfig->Colors[n]);
    for (int n = 0; n < kSliderCount; ++n)
        Put<int16_t>(record, kOffSliders + 2 * n, TheConfig->Sliders[n]);
    PutColor(record, kOffFrameStartColor, TheConfig->FrameStartColor);
    PutColor(record, kOffFrameEndColor, TheConfig->FrameEndColor);
    Put<int16_t>(record, kOffMediaType, TheConfig->MediaType);
    CToText(kMiscText, record + kOffMiscString);
    return true;
}

Boolean Save2Config(PluginDataPtr TheConfig, ConfigSaveH TheSaveConfig) {
    // A resource shorter than the record cannot be one, whatever its first bytes say.
    if (!TheConfig || !TheSaveConfig || GetHandleSize(TheSaveConfig) < Size(kConfigSaveSize))
        return false;
    const uint8_t* record = RecordBytes(TheSaveConfig);
    if (Get<uint32_t>(record, kOffSize) != kConfigSaveSize) return false;
    if (Get<uint32_t>(record, kOffVersion) != CConfigSaveVersion) return false;
    TheConfig->StartRel = GetRelRect(record, kOffStartRel);
    TheConfig->EndRel = GetRelRect(record, kOffEndRel);
    for (int n = 0; n < kColorCount; ++n)
        TheConfig->Colors[n] = GetColor(record, kOffColors + 6 * n);
    for (int n = 0; n < kSliderCount; ++n)
        TheConfig->Sliders[n] = Get<int16_t>(record, kOffSliders + 2 * n);
    TheConfig->FrameStartColor = GetColor(record, kOffFrameStartColor);
    TheConfig->FrameEndColor = GetColor(record, kOffFrameEndColor);
    TheConfig->MediaType = Get<int16_t>(record, kOffMediaType);
    return true;
}

Boolean SaveConfig(const PluginDataRec* TheConfig) {
    if (!TheConfig) return false;
    FSSpec fileSpec;
    const OSErr specErr = PrefsFileSpec(&fileSpec);
    if (specErr != noErr && specErr != fnfErr) return false;

    // The new record is complete before the file is touched.
    Handle record = NewHandleClear(kConfigSaveSize);
    if (!record || !Config2Save(TheConfig, record)) {
        DisposeHandle(record);
        return false;
    }
    const ResFileRefNum saved = CurResFile();
    const bool written = StoreRecord(fileSpec, specErr == noErr, record);
    UseResFile(saved);
    DisposeHandle(record);
    return written;
}

ConfigReadResult ReadConfigRecord(PluginDataPtr TheConfig, OSErr* why) {
    OSErr unused;
    OSErr& reason = why ? *why : unused;
    reason = noErr;
    if (!TheConfig) {
        reason = paramErr;
        return kConfigUnreadable;
    }
    FSSpec fileSpec;
    if (PrefsFileSpec(&fileSpec) != noErr) return kConfigMissing;
    const ResFileRefNum saved = CurResFile();
    const ResFileRefNum file = OpenPrefsFile(fileSpec, fsRdPerm);
    if (file == -1) {
        // A damaged file holds no record that could ever be read.
        const OSErr openErr = ResError();
        UseResFile(saved);
        if (openErr == mapReadErr || openErr == fnfErr) return kConfigMissing;
        reason = openErr;
        return kConfigUnreadable;
    }
    Handle record = Get1Resource(kPrefType, kPrefID);
    const OSErr getErr = ResError();
    if (record) DetachResource(record);
    CloseResFile(file);
    UseResFile(saved);
    if (!record && getErr == resNotFound) return kConfigMissing;
    if (!record) {
        reason = getErr;
        return kConfigUnreadable;
    }
    const Boolean copied = Save2Config(TheConfig, record);
    DisposeHandle(record);
    return copied ? kConfigRead : kConfigMissing;
}

Boolean ReadConfig(PluginDataPtr TheConfig) {
    return ReadConfigRecord(TheConfig) == kConfigRead;
}
