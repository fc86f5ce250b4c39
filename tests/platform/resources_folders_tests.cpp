// Tests of the Preferences folder (XDG_CONFIG_HOME, HOME), folder numbers and FSSpec
// records, and opening resource files through them.
#include "DateTimeUtils.h"
#include "Files.h"
#include "Folders.h"
#include "resources_testing.h"

#include <ctime>
#include <optional>
#include <sys/stat.h>

using namespace rsrctest;

namespace {

// Sets or clears an environment variable for one test and puts it back afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class FoldersTest : public ResourceFileTest {
  protected:
    // The path of the Preferences folder as FindFolder answers it, or the error.
    std::string PreferencesFolder(Boolean create = kDontCreateFolder) {
        int16_t volume = 0;
        int32_t folder = 0;
        const OSErr err =
            FindFolder(kOnSystemDisk, kPreferencesFolderType, create, &volume, &folder);
        if (err != noErr) return "error " + std::to_string(err);
        FSSpec fileSpec;
        EXPECT_EQ(FSMakeFSSpec(volume, folder, PString("probe"), &fileSpec), fnfErr);
        char path[4096];
        EXPECT_TRUE(FSpGetPath(&fileSpec, path, sizeof path));
        const std::string full(path);
        return full.substr(0, full.size() - std::string("/probe").size());
    }

    int32_t FolderNumber() {
        int16_t volume = 0;
        int32_t folder = 0;
        EXPECT_EQ(
            FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &volume, &folder),
            noErr);
        return folder;
    }
};

TEST_F(FoldersTest, PreferencesFolderIsXdgConfigHome) {
    ScopedEnv config("XDG_CONFIG_HOME", folder_.c_str());
    ScopedEnv home("HOME", "/nonexistent-home");
    EXPECT_EQ(PreferencesFolder(), folder_.string());
}

TEST_F(FoldersTest, PreferencesFolderFallsBackToHomeConfig) {
    fs::create_directory(folder_ / ".config");
    ScopedEnv home("HOME", folder_.c_str());
    for (const char* config : {static_cast<const char*>(nullptr), "", "relative/config"}) {
        ScopedEnv xdg("XDG_CONFIG_HOME", config);
        EXPECT_EQ(PreferencesFolder(), (folder_ / ".config").string())
            << (config ? config : "unset");
    }
}

TEST_F(FoldersTest, EnvironmentIsReadAtEachCall) {
    fs::create_directory(folder_ / "one");
    fs::create_directory(folder_ / "two");
    ScopedEnv config("XDG_CONFIG_HOME", (folder_ / "one").c_str());
    const int32_t one = FolderNumber();
    ::setenv("XDG_CONFIG_HOME", (folder_ / "two/").c_str(), 1);
    EXPECT_EQ(PreferencesFolder(), (folder_ / "two").string());
    EXPECT_NE(FolderNumber(), one);
    ::setenv("XDG_CONFIG_HOME", (folder_ / "one").c_str(), 1);
    EXPECT_EQ(FolderNumber(), one); // one folder, one number
}

TEST_F(FoldersTest, MissingFolderIsMadeOnlyWhenAskedFor) {
    const fs::path nested = folder_ / "a" / "b";
    ScopedEnv config("XDG_CONFIG_HOME", nested.c_str());
    EXPECT_EQ(PreferencesFolder(kDontCreateFolder), "error " + std::to_string(fnfErr));
    EXPECT_FALSE(fs::exists(nested));
    EXPECT_EQ(PreferencesFolder(kCreateFolder), nested.string());
    EXPECT_TRUE(fs::is_directory(nested));
}

TEST_F(FoldersTest, NoHomeAtAllIsNotFound) {
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", nullptr);
    EXPECT_EQ(PreferencesFolder(), "error " + std::to_string(fnfErr));
}

TEST_F(FoldersTest, UnknownFolderTypeAndMissingOutputsAreParamErr) {
    ScopedEnv config("XDG_CONFIG_HOME", folder_.c_str());
    int16_t volume;
    int32_t folder;
    EXPECT_EQ(FindFolder(kOnSystemDisk, FOUR_CHAR_CODE("desk"), 0, &volume, &folder), paramErr);
    EXPECT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, 0, nullptr, &folder), paramErr);
    EXPECT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, 0, &volume, nullptr), paramErr);
}

TEST_F(FoldersTest, FSSpecOfExistingAndMissingFiles) {
    ScopedEnv config("XDG_CONFIG_HOME", folder_.c_str());
    const int32_t folder = FolderNumber();
    WriteBytes(folder_ / "there", {1});
    FSSpec fileSpec{};
    EXPECT_EQ(FSMakeFSSpec(0, folder, PString("there"), &fileSpec), noErr);
    EXPECT_EQ(fileSpec.parID, folder);
    EXPECT_EQ(TextOf(fileSpec.name), "there");
    EXPECT_EQ(FSMakeFSSpec(0, folder, PString("not-there"), &fileSpec), fnfErr);
    EXPECT_EQ(TextOf(fileSpec.name), "not-there"); // filled, ready for creation
    EXPECT_EQ(FSMakeFSSpec(0, -7, PString("there"), &fileSpec), dirNFErr);
    EXPECT_EQ(FSMakeFSSpec(0, folder + 1000, PString("there"), &fileSpec), dirNFErr);
    EXPECT_EQ(FSMakeFSSpec(0, folder, PString("there"), nullptr), paramErr);
    EXPECT_EQ(FSMakeFSSpec(0, folder, nullptr, &fileSpec), paramErr);
}

struct BadNameCase {
    const char* label;
    std::string name;
};

// Named in test output by its label rather than its bytes.
void PrintTo(const BadNameCase& c, std::ostream* os) {
    *os << c.label;
}

class BadFileNameTest : public FoldersTest, public ::testing::WithParamInterface<BadNameCase> {};

TEST_P(BadFileNameTest, IsParamErr) {
    ScopedEnv config("XDG_CONFIG_HOME", folder_.c_str());
    FSSpec fileSpec;
    EXPECT_EQ(FSMakeFSSpec(0, FolderNumber(), PString(GetParam().name), &fileSpec), paramErr);
}

INSTANTIATE_TEST_SUITE_P(Names, BadFileNameTest,
                         ::testing::Values(BadNameCase{"Empty", ""}, BadNameCase{"Slash", "a/b"},
                                           BadNameCase{"Colon", "a:b"}, BadNameCase{"Dot", "."},
                                           BadNameCase{"DotDot", ".."},
                                           BadNameCase{"Zero", std::string("a\0b", 3)},
                                           BadNameCase{"Longer63", std::string(64, 'x')}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(FoldersTest, PathMustFitTheBuffer) {
    ScopedEnv config("XDG_CONFIG_HOME", folder_.c_str());
    FSSpec fileSpec;
    FSMakeFSSpec(0, FolderNumber(), PString(std::string(63, 'n')), &fileSpec);
    const std::string expected = (folder_ / std::string(63, 'n')).string();
    std::vector<char> path(expected.size() + 1, 'z');
    ASSERT_TRUE(FSpGetPath(&fileSpec, path.data(), long(path.size())));
    EXPECT_EQ(std::string(path.data()), expected);
    EXPECT_FALSE(FSpGetPath(&fileSpec, path.data(), long(expected.size())));
    EXPECT_FALSE(FSpGetPath(nullptr, path.data(), long(path.size())));
    fileSpec.parID = -1;
    EXPECT_FALSE(FSpGetPath(&fileSpec, path.data(), long(path.size())));
}

TEST_F(FoldersTest, RenamingNeverReplacesAFileAndDeletingRemovesOne) {
    ScopedEnv config("XDG_CONFIG_HOME", folder_.c_str());
    const int32_t folder = FolderNumber();
    WriteBytes(folder_ / "old", {1});
    WriteBytes(folder_ / "taken", {2});
    FSSpec old{};
    ASSERT_EQ(FSMakeFSSpec(0, folder, PString("old"), &old), noErr);
    EXPECT_EQ(FSpRename(&old, PString("taken")), dupFNErr);
    EXPECT_EQ(ReadBytes(folder_ / "taken"), Bytes{2});
    EXPECT_EQ(FSpRename(&old, PString("a/b")), paramErr);
    EXPECT_EQ(FSpRename(&old, PString("new")), noErr);
    EXPECT_EQ(ReadBytes(folder_ / "new"), Bytes{1});
    EXPECT_FALSE(fs::exists(folder_ / "old"));
    EXPECT_EQ(FSpRename(&old, PString("again")), fnfErr);

    FSSpec renamed{};
    ASSERT_EQ(FSMakeFSSpec(0, folder, PString("new"), &renamed), noErr);
    EXPECT_EQ(FSpDelete(&renamed), noErr);
    EXPECT_FALSE(fs::exists(folder_ / "new"));
    EXPECT_EQ(FSpDelete(&renamed), fnfErr);
    EXPECT_EQ(FSpDelete(nullptr), paramErr);
    renamed.parID = -3;
    EXPECT_EQ(FSpDelete(&renamed), dirNFErr);
}

TEST(DateTime, GetTimeIsTheLocalCalendarTime) {
    const std::time_t before = std::time(nullptr);
    DateTimeRec now{};
    GetTime(&now);
    std::tm local{};
    ::localtime_r(&before, &local);
    // Within the same minute of the same day, unless the clock turned over in between.
    EXPECT_EQ(now.year, local.tm_year + 1900);
    EXPECT_EQ(now.month, local.tm_mon + 1);
    EXPECT_EQ(now.day, local.tm_mday);
    EXPECT_EQ(now.dayOfWeek, local.tm_wday + 1);
    EXPECT_LE(now.hour * 60 + now.minute - (local.tm_hour * 60 + local.tm_min), 1);
    EXPECT_LT(now.second, 61);
    GetTime(nullptr); // nothing to fill: no crash
}

TEST_F(FoldersTest, FSSpecsOfUnknownFoldersFail) {
    FSSpec fileSpec{};
    fileSpec.parID = -3;
    fileSpec.name[0] = 1;
    fileSpec.name[1] = 'x';
    FSpCreateResFile(&fileSpec, 0, 0, 0);
    EXPECT_EQ(ResError(), dirNFErr);
    EXPECT_EQ(FSpOpenResFile(&fileSpec, fsCurPerm), -1);
    EXPECT_EQ(ResError(), dirNFErr);
    EXPECT_EQ(FSpOpenResFile(nullptr, fsCurPerm), -1);
    EXPECT_EQ(ResError(), paramErr);
}

} // namespace
