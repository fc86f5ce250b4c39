// Reading and writing the saved configuration through the resource file calls.
#include "prefsloader.h"

#include "Files.h"
#include "Folders.h"
#include "MacMemory.h"
#include "Resources.h"
#include "commonprocs.h"

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

// The preferences file's FSSpec; noErr or fnfErr leave it usable.
OSErr PrefsFileSpec(FSSpec* fileSpec) {
    int16_t vRefNum;
    int32_t dirID;
    OSErr err =
        FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &dirID);
    if (err != noErr) return err;
    Str255 name;
    CToText(kPrefsFileName, name);
    return FSMakeFSSpec(vRefNum, dirID, name, fileSpec);
}

// Opens the preferences file and makes it current; -1 when that fails.
ResFileRefNum OpenPrefsFile(const FSSpec& fileSpec, int8_t permission) {
    const ResFileRefNum file = FSpOpenResFile(&fileSpec, permission);
    if (file == -1 || ResError() != noErr) return -1;
    UseResFile(file);
    return ResError() == noErr ? file : ResFileRefNum(-1);
}

// Puts the new record in place of the old one in the open file. The old record is only dropped
// once the new one is in the map, so the file is never written without a record.
bool ReplaceRecord(Handle newRecord) {
    Handle oldRecord = Get1Resource(kPrefType, kPrefID);
    if (oldRecord) RemoveResource(oldRecord);
    Str255 name;
    CToText(kRecordName, name);
    AddResource(newRecord, kPrefType, kPrefID, name);
    if (ResError() != noErr) {
        if (oldRecord) AddResource(oldRecord, kPrefType, kPrefID, name);
        return false;
    }
    DisposeHandle(oldRecord);
    return true;
}

// Puts `record`, which this call takes over, into the preferences file. The file is written
// once, as it closes: that write's result is the answer, and a failed write leaves the file on
// disk as it was.
bool StoreRecord(const FSSpec& fileSpec, Handle record) {
    const ResFileRefNum file = OpenPrefsFile(fileSpec, fsRdWrPerm);
    if (file == -1) {
        DisposeHandle(record);
        return false;
    }
    if (!ReplaceRecord(record)) {
        DisposeHandle(record);
        CloseResFile(file);
        return false;
    }
    ReleaseResource(record);
    CloseResFile(file);
    return ResError() == noErr;
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
    if (specErr == fnfErr) {
        FSpCreateResFile(&fileSpec, FOUR_CHAR_CODE("Brnd"), kPrefType, 0);
        if (ResError() != noErr) return false;
    } else if (specErr != noErr) {
        return false;
    }

    // The new record is complete before the file is touched.
    Handle record = NewHandleClear(kConfigSaveSize);
    if (!record || !Config2Save(TheConfig, record)) {
        DisposeHandle(record);
        return false;
    }

    const ResFileRefNum saved = CurResFile();
    const bool written = StoreRecord(fileSpec, record);
    UseResFile(saved);
    return written;
}

Boolean ReadConfig(PluginDataPtr TheConfig) {
    if (!TheConfig) return false;
    FSSpec fileSpec;
    if (PrefsFileSpec(&fileSpec) != noErr) return false;
    const ResFileRefNum saved = CurResFile();
    const ResFileRefNum file = OpenPrefsFile(fileSpec, fsRdPerm);
    if (file == -1) {
        UseResFile(saved);
        return false;
    }
    Handle record = Get1Resource(kPrefType, kPrefID);
    if (record) DetachResource(record);
    CloseResFile(file);
    UseResFile(saved);
    if (!record) return false;
    const Boolean copied = Save2Config(TheConfig, record);
    DisposeHandle(record);
    return copied;
}
