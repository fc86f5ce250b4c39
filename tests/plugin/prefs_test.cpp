// The saved configuration: the stored bytes, validity tests, and safety of the file.
#include "DataHandling.h"
#include "MacMemory.h"
#include "Resources.h"
#include "configglue.h"
#include "pluginloader.h"
#include "filebytes.h"
#include "prefsfile.h"
#include "prefsloader.h"
#include "PlatformTestHooks.h"
#include "rsrcimage.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <regex>
#include <vector>

namespace {

namespace fs = std::filesystem;

using filebytes::ReadBytes;
using filebytes::WriteBytes;

PluginDataRec Sample() {
    PluginDataRec config{};
    ResetConfig(&config);
    config.StartRel = RelRect{0.125, 0.75, -0.25, 1.5};
    config.EndRel = RelRect{0.5, 0.5, 0.5, 0.5};
    config.Sliders[0] = 73;
    config.Sliders[1] = -12;
    config.Sliders[5] = 999;
    config.Colors[2] = RGBColor{1, 2, 3};
    config.FrameStartColor = RGBColor{4, 5, 6};
    config.FrameEndColor = RGBColor{7, 8, 9};
    config.MediaType = 3;
    return config;
}

constexpr uint32_t kPrefType = FOUR_CHAR_CODE("Pref");

rsrcimage::Resource PrefRecord(const PluginDataRec& config, const char* name = "Config Settings") {
    return {kPrefType, 1, name, 0, prefsfile::StoredRecord(config)};
}

// The files of the preferences folder other than the preferences file itself.
std::vector<std::string> OtherFiles(const TempPreferences& prefs) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(prefs.Dir()))
        if (entry.path().filename() != "vorel-Prefs") names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

PluginDataRec ReadBack() {
    PluginDataRec back{};
    EXPECT_TRUE(ReadConfig(&back));
    return back;
}

// Opens the preferences file read-only and hands its record to `check`.
template <typename Check> void WithStoredRecord(const TempPreferences& prefs, Check check) {
    const ResFileRefNum saved = CurResFile();
    const ResFileRefNum file = OpenResFileAtPath(prefs.PrefsFile().c_str(), fsRdPerm);
    ASSERT_NE(file, -1);
    UseResFile(file);
    EXPECT_EQ(Count1Resources(FOUR_CHAR_CODE("Pref")), 1);
    Handle h = Get1Resource(FOUR_CHAR_CODE("Pref"), 1);
    ASSERT_NE(h, nullptr);
    check(h);
    CloseResFile(file);
    UseResFile(saved);
}

class Prefs : public testing::Test {
  protected:
    TempPreferences prefs_;
};

TEST_F(Prefs, RecordBytesAreTheDocumentedLayout) {
    const PluginDataRec config = Sample();
    Handle h = NewHandleClear(kConfigSaveSize);
    ASSERT_TRUE(Config2Save(&config, h));
    const uint8_t* b = reinterpret_cast<const uint8_t*>(*h);
    // Size and version in the writer's byte order: 392 and 3 little-endian, 390 and 3 big-endian.
    const uint8_t littleHead[] = {0x88, 0x01, 0, 0, 0x03, 0, 0, 0};
    const uint8_t bigHead[] = {0, 0, 0x01, 0x86, 0, 0, 0, 0x03};
    const uint8_t* head = std::endian::native == std::endian::big ? bigHead : littleHead;
    EXPECT_EQ(GetHandleSize(h), std::endian::native == std::endian::big ? 390 : 392);
    EXPECT_EQ(std::memcmp(b, head, sizeof littleHead), 0);
    double d;
    std::memcpy(&d, b + 8, 8);
    EXPECT_EQ(d, 0.125); // StartRel.Left first, then Right, Top, Bottom
    std::memcpy(&d, b + 8 + 24, 8);
    EXPECT_EQ(d, 1.5);
    uint16_t u;
    std::memcpy(&u, b + 72 + 2 * 6 + 4, 2); // Colors[3].blue: colours come before sliders
    EXPECT_EQ(u, 3);
    int16_t s;
    std::memcpy(&s, b + 108 + 2, 2);
    EXPECT_EQ(s, -12);
    std::memcpy(&u, b + 120, 2);
    EXPECT_EQ(u, 4);
    std::memcpy(&u, b + 126 + 4, 2);
    EXPECT_EQ(u, 9);
    std::memcpy(&s, b + 132, 2);
    EXPECT_EQ(s, 3);
    const char misc[] = "Config save for Brindle iMovie plug-in";
    EXPECT_EQ(b[134], sizeof misc - 1);
    EXPECT_EQ(std::memcmp(b + 135, misc, sizeof misc - 1), 0);
    for (size_t i = 135 + sizeof misc - 1; i < kConfigSaveSize; ++i)
        ASSERT_EQ(b[i], 0) << i;
    DisposeHandle(h);
}

TEST_F(Prefs, SaveThenReadGivesTheSameConfiguration) {
    const PluginDataRec config = Sample();
    ASSERT_TRUE(SaveConfig(&config));
    PluginDataRec back{};
    ASSERT_TRUE(ReadConfig(&back));
    EXPECT_EQ(std::memcmp(&back.StartRel, &config.StartRel, sizeof(RelRect) * 2), 0);
    EXPECT_EQ(std::memcmp(back.Sliders, config.Sliders, sizeof config.Sliders), 0);
    EXPECT_EQ(std::memcmp(back.Colors, config.Colors, sizeof config.Colors), 0);
    EXPECT_EQ(back.FrameEndColor.green, 8);
    EXPECT_EQ(back.MediaType, 3);
}

TEST_F(Prefs, WrongSizeOrVersionIsIgnored) {
    const PluginDataRec config = Sample();
    // The other byte order's record size, and an older version.
    const uint32_t otherSize = std::endian::native == std::endian::big ? 392 : 390;
    for (auto [offset, value] : {std::pair<size_t, uint32_t>{0, otherSize}, {4, 2}}) {
        Handle h = NewHandleClear(kConfigSaveSize);
        ASSERT_TRUE(Config2Save(&config, h));
        std::memcpy(*h + offset, &value, 4);
        PluginDataRec target{};
        ResetConfig(&target);
        const PluginDataRec before = target;
        EXPECT_FALSE(Save2Config(&target, h));
        EXPECT_EQ(std::memcmp(&target, &before, sizeof target), 0);
        DisposeHandle(h);
    }
    Handle shortRecord = NewHandleClear(100);
    const uint32_t size = kConfigSaveSize;
    std::memcpy(*shortRecord, &size, 4);
    PluginDataRec target{};
    EXPECT_FALSE(Save2Config(&target, shortRecord));
    EXPECT_FALSE(Save2Config(nullptr, shortRecord));
    EXPECT_FALSE(Config2Save(&target, nullptr));
    DisposeHandle(shortRecord);
}

TEST_F(Prefs, AbsurdStoredValuesAreCopiedUnchanged) {
    PluginDataRec config = Sample();
    config.Sliders[0] = -32768;
    config.StartRel.Left = 1e308;
    ASSERT_TRUE(SaveConfig(&config));
    PluginDataRec back{};
    ASSERT_TRUE(ReadConfig(&back));
    EXPECT_EQ(back.Sliders[0], -32768);
    EXPECT_EQ(back.StartRel.Left, 1e308);
}

TEST_F(Prefs, FirstInitialisationStoresTheDefaults) {
    EXPECT_FALSE(fs::exists(prefs_.PrefsFile()));
    PluginDataRec config{};
    EXPECT_FALSE(ReadConfig(&config));
    InitPluginData(&config);
    EXPECT_EQ(config.Sliders[0], 50);
    ASSERT_TRUE(fs::exists(prefs_.PrefsFile()));
    WithStoredRecord(prefs_, [](Handle h) {
        int16_t id;
        ResType type;
        Str255 name;
        GetResInfo(h, &id, &type, name);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(name + 1), name[0]), "Config Settings");
        EXPECT_EQ(GetHandleSize(h), Size(kConfigSaveSize));
    });
}

TEST_F(Prefs, InitialisationReadsTheSavedConfigurationOverTheDefaults) {
    const PluginDataRec saved = Sample();
    ASSERT_TRUE(SaveConfig(&saved));
    PluginDataRec config{};
    InitPluginData(&config);
    EXPECT_EQ(config.Sliders[0], 73);
    EXPECT_EQ(config.MediaType, 3);
}

TEST_F(Prefs, TwoSavesLeaveOneRecordAndOtherResourcesStay) {
    // Another resource in the same file must survive every save.
    ASSERT_EQ(CreateResFileAtPath(prefs_.PrefsFile().c_str()), noErr);
    const ResFileRefNum file = OpenResFileAtPath(prefs_.PrefsFile().c_str(), fsRdWrPerm);
    ASSERT_NE(file, -1);
    UseResFile(file);
    Handle other = NewHandleClear(3);
    std::memcpy(*other, "abc", 3);
    const unsigned char name[] = {4, 'n', 'o', 't', 'e'};
    AddResource(other, FOUR_CHAR_CODE("TEXT"), 128, name);
    CloseResFile(file);

    PluginDataRec config = Sample();
    ASSERT_TRUE(SaveConfig(&config));
    config.Sliders[0] = 11;
    ASSERT_TRUE(SaveConfig(&config));
    WithStoredRecord(prefs_, [](Handle h) {
        int16_t s;
        std::memcpy(&s, *h + 108, 2);
        EXPECT_EQ(s, 11);
        Handle note = Get1Resource(FOUR_CHAR_CODE("TEXT"), 128);
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(std::memcmp(*note, "abc", 3), 0);
    });
}

TEST_F(Prefs, ARecordUnderAnotherNameIsStillRead) {
    ASSERT_EQ(CreateResFileAtPath(prefs_.PrefsFile().c_str()), noErr);
    const ResFileRefNum file = OpenResFileAtPath(prefs_.PrefsFile().c_str(), fsRdWrPerm);
    UseResFile(file);
    const PluginDataRec config = Sample();
    Handle h = NewHandleClear(kConfigSaveSize);
    Config2Save(&config, h);
    const unsigned char name[] = {5, 'o', 't', 'h', 'e', 'r'};
    AddResource(h, FOUR_CHAR_CODE("Pref"), 1, name);
    CloseResFile(file);
    PluginDataRec back{};
    EXPECT_TRUE(ReadConfig(&back));
    EXPECT_EQ(back.Sliders[0], 73);
}

TEST_F(Prefs, AFailedWriteKeepsTheEarlierRecord) {
    const PluginDataRec first = Sample();
    ASSERT_TRUE(SaveConfig(&first));
    const std::vector<uint8_t> before = ReadBytes(prefs_.PrefsFile());
    PluginDataRec second = first;
    second.Sliders[0] = 1;
    ResTestFailWrite(1);
    EXPECT_FALSE(SaveConfig(&second));
    ResTestFailWrite(0);
    EXPECT_EQ(ReadBytes(prefs_.PrefsFile()), before);
    PluginDataRec back{};
    ASSERT_TRUE(ReadConfig(&back));
    EXPECT_EQ(back.Sliders[0], 73);
}

TEST_F(Prefs, OutOfMemoryForTheNewRecordLeavesTheFileUntouched) {
    const PluginDataRec first = Sample();
    ASSERT_TRUE(SaveConfig(&first));
    const std::vector<uint8_t> before = ReadBytes(prefs_.PrefsFile());
    MemTestFailAllocation(1);
    EXPECT_FALSE(SaveConfig(&first));
    MemTestFailAllocation(0);
    EXPECT_EQ(ReadBytes(prefs_.PrefsFile()), before);
}

TEST_F(Prefs, DamagedFilesReadAsNoRecordAndAreReplacedOnSave) {
    const PluginDataRec config = Sample();
    ASSERT_TRUE(SaveConfig(&config));
    const std::vector<uint8_t> good = ReadBytes(prefs_.PrefsFile());
    // Too short to be resource files at all: no record can be read from them.
    const std::vector<std::vector<uint8_t>> truncated = {
        {}, {0, 0, 1}, std::vector<uint8_t>(good.begin(), good.begin() + long(good.size() / 2))};
    std::vector<std::vector<uint8_t>> damaged = truncated;
    std::mt19937 rng(42);
    for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> mutant = good;
        for (int k = 0; k < 4; ++k)
            mutant[rng() % mutant.size()] = uint8_t(rng());
        damaged.push_back(mutant);
    }
    PluginDataRec saved = Sample();
    saved.Sliders[0] = 12;
    int unread = 0, keptAside = 0;
    for (size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "damaged file " << i);
        const std::vector<uint8_t>& bytes = damaged[i];
        WriteBytes(prefs_.PrefsFile(), bytes);
        PluginDataRec back{};
        ResetConfig(&back);
        if (!ReadConfig(&back)) {
            ++unread;
            EXPECT_EQ(back.Sliders[0], 50) << "a failed read changed the record";
        } else {
            EXPECT_GE(i, truncated.size()) << "a record read from a truncated file";
        }
        // Every save succeeds: a file that still opens as a resource file takes the record,
        // any other is kept aside unchanged and a new one started.
        const ResFileRefNum file = OpenResFileAtPath(prefs_.PrefsFile().c_str(), fsRdPerm);
        if (file != -1) CloseResFile(file);
        ASSERT_TRUE(SaveConfig(&saved));
        EXPECT_EQ(ReadBack().Sliders[0], 12);
        const std::vector<std::string> aside = OtherFiles(prefs_);
        if (file == -1) {
            ++keptAside;
            ASSERT_EQ(aside.size(), 1u);
            EXPECT_EQ(ReadBytes(prefs_.Dir() + "/" + aside[0]), bytes);
            fs::remove(prefs_.Dir() + "/" + aside[0]);
        } else {
            EXPECT_TRUE(aside.empty()) << "a resource file was put aside";
        }
    }
    // Both paths ran: some damage hides the record, some leaves a file a save can repair.
    EXPECT_GE(unread, int(truncated.size()));
    EXPECT_GE(keptAside, int(truncated.size()));
    EXPECT_LT(keptAside, int(damaged.size()));
    // A file that cannot be read as a resource file is kept aside, and a new one holds the
    // defaults.
    WriteBytes(prefs_.PrefsFile(), {1, 2, 3});
    PluginDataRec fresh{};
    InitPluginData(&fresh);
    EXPECT_EQ(fresh.Sliders[0], 50);
    EXPECT_EQ(ReadBack().Sliders[0], 50);
    const std::vector<std::string> aside = OtherFiles(prefs_);
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadBytes(prefs_.Dir() + "/" + aside[0]), (std::vector<uint8_t>{1, 2, 3}));
}

// --- Nothing lost -----------------------------------------------------------------------------

TEST_F(Prefs, ASaveIntoAFileWithTwoRecordsReplacesTheOneThatIsRead) {
    PluginDataRec shadowed = Sample();
    shadowed.Sliders[0] = 11;
    const rsrcimage::Resource note{FOUR_CHAR_CODE("TEXT"), 128, "note", 0, {'a', 'b', 'c'}};
    WriteBytes(prefs_.PrefsFile(),
               rsrcimage::Build({PrefRecord(Sample()), PrefRecord(shadowed, "older"), note}));
    ASSERT_EQ(ReadBack().Sliders[0], 73) << "the first record is the one read";

    PluginDataRec edited = Sample();
    edited.Sliders[0] = 42;
    EXPECT_TRUE(SaveConfig(&edited));
    EXPECT_EQ(ReadBack().Sliders[0], 42);
    const auto stored = rsrcimage::Walk(ReadBytes(prefs_.PrefsFile()));
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, (std::vector<rsrcimage::Resource>{PrefRecord(edited),
                                                         PrefRecord(shadowed, "older"), note}));
}

TEST_F(Prefs, ARecordThatCannotBeLoadedNowIsNotWrittenOver) {
    const PluginDataRec saved = Sample();
    ASSERT_TRUE(SaveConfig(&saved));
    const std::vector<uint8_t> before = ReadBytes(prefs_.PrefsFile());
    for (long failing : {1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << "allocation " << failing << " fails");
        PluginDataRec config{};
        MemTestFailAllocation(failing);
        InitPluginData(&config);
        MemTestFailAllocation(0);
        EXPECT_EQ(ReadBytes(prefs_.PrefsFile()), before);
    }
    // The record is loaded first: its failure leaves the defaults in use, not in the file.
    PluginDataRec config{};
    MemTestFailAllocation(1);
    EXPECT_EQ(ReadConfigRecord(&config), kConfigUnreadable);
    MemTestFailAllocation(0);
    EXPECT_EQ(config.Sliders[0], 0) << "the configuration is untouched";
    EXPECT_EQ(ReadBack().Sliders[0], 73);
}

TEST_F(Prefs, WhatIsReadIsToldApart) {
    PluginDataRec config{};
    EXPECT_EQ(ReadConfigRecord(&config), kConfigMissing) << "no file";
    WriteBytes(prefs_.PrefsFile(), {9, 9, 9});
    EXPECT_EQ(ReadConfigRecord(&config), kConfigMissing) << "a damaged file";
    WriteBytes(prefs_.PrefsFile(), rsrcimage::Build({}));
    EXPECT_EQ(ReadConfigRecord(&config), kConfigMissing) << "no record";
    rsrcimage::Resource wrongVersion = PrefRecord(Sample());
    wrongVersion.data[4] = 2;
    WriteBytes(prefs_.PrefsFile(), rsrcimage::Build({wrongVersion}));
    EXPECT_EQ(ReadConfigRecord(&config), kConfigMissing) << "another version";
    WriteBytes(prefs_.PrefsFile(), rsrcimage::Build({PrefRecord(Sample())}));
    EXPECT_EQ(ReadConfigRecord(&config), kConfigRead);
    EXPECT_EQ(ReadConfigRecord(nullptr), kConfigUnreadable);
}

TEST_F(Prefs, ADamagedFileIsKeptAsideAndANewOneStarted) {
    const std::regex asideName(R"(vorel-Prefs\.damaged-\d{8}-\d{6}(-\d+)?)");
    const std::vector<uint8_t> first = {'n', 'o', 't', ' ', 'a', ' ', 'f', 'i', 'l', 'e'};
    WriteBytes(prefs_.PrefsFile(), first);
    const PluginDataRec config = Sample();
    ASSERT_TRUE(SaveConfig(&config));
    EXPECT_EQ(ReadBack().Sliders[0], 73);
    std::vector<std::string> aside = OtherFiles(prefs_);
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_TRUE(std::regex_match(aside[0], asideName)) << aside[0];
    EXPECT_EQ(ReadBytes(prefs_.Dir() + "/" + aside[0]), first);

    // A second damaged file within the same second gets a name of its own.
    WriteBytes(prefs_.PrefsFile(), {2});
    ASSERT_TRUE(SaveConfig(&config));
    aside = OtherFiles(prefs_);
    ASSERT_EQ(aside.size(), 2u);
    for (const std::string& name : aside)
        EXPECT_TRUE(std::regex_match(name, asideName)) << name;
    EXPECT_EQ(ReadBytes(prefs_.Dir() + "/" + aside[0]), first);
}

TEST_F(Prefs, ASaveThatFailsAfterSettingADamagedFileAsidePutsItBack) {
    const std::vector<uint8_t> damaged = {1, 2, 3};
    const PluginDataRec config = Sample();
    for (long failing : {1, 2}) {
        SCOPED_TRACE(testing::Message() << "write " << failing << " fails");
        WriteBytes(prefs_.PrefsFile(), damaged);
        ResTestFailWrite(failing); // creating the new file, then writing its record
        EXPECT_FALSE(SaveConfig(&config));
        ResTestFailWrite(0);
        EXPECT_EQ(ReadBytes(prefs_.PrefsFile()), damaged);
        EXPECT_TRUE(OtherFiles(prefs_).empty());
    }
}

TEST_F(Prefs, AFailedFirstSaveLeavesNoFile) {
    const PluginDataRec config = Sample();
    for (long failing : {1, 2}) {
        ResTestFailWrite(failing);
        EXPECT_FALSE(SaveConfig(&config));
        ResTestFailWrite(0);
        EXPECT_FALSE(fs::exists(prefs_.PrefsFile())) << "write " << failing << " failed";
        EXPECT_TRUE(OtherFiles(prefs_).empty());
    }
}

TEST_F(Prefs, NullConfigurationIsRefused) {
    EXPECT_FALSE(SaveConfig(nullptr));
    EXPECT_FALSE(ReadConfig(nullptr));
}

} // namespace
