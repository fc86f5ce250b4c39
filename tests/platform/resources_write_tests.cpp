// Tests of writing resource files back: the saved-configuration sequence, atomic replacement,
// failed writes that must leave the old file, and what is (not) rewritten.
#include "Files.h"
#include "Folders.h"
#include "resources_testing.h"
#include "PlatformTestHooks.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <sys/stat.h>

using namespace rsrctest;

namespace {

constexpr ResType kPref = FOUR_CHAR_CODE("Pref");
constexpr ResType kText = FOUR_CHAR_CODE("TEXT");
constexpr Size kRecordSize = 392;

class ResourceWriteTest : public ResourceFileTest {
  protected:
    void SetUp() override {
        ResourceFileTest::SetUp();
        const char* old = std::getenv("XDG_CONFIG_HOME");
        savedConfigHome_ = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    }

    void TearDown() override {
        if (savedConfigHome_)
            ::setenv("XDG_CONFIG_HOME", savedConfigHome_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        ResourceFileTest::TearDown();
    }

    // The preferences file as the saved configuration names it; true when it exists.
    bool PrefsSpec(FSSpec& fileSpec) {
        int16_t volume = 0;
        int32_t folder = 0;
        EXPECT_EQ(
            FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &volume, &folder),
            noErr);
        return FSMakeFSSpec(volume, folder, PString("vorel-Prefs"), &fileSpec) == noErr;
    }

    // The saved configuration's write: create when missing, open, drop the old record and
    // write, then add the new one, write and close. False where that sequence gives up.
    bool SaveRecord(uint8_t fill) {
        FSSpec fileSpec;
        if (!PrefsSpec(fileSpec)) {
            FSpCreateResFile(&fileSpec, FOUR_CHAR_CODE("vore"), kPref, 0);
            if (ResError() != noErr) return false;
        }
        const ResFileRefNum file = FSpOpenResFile(&fileSpec, fsCurPerm);
        UseResFile(file);
        if (ResError() != noErr) return false;
        if (Handle old = Get1Resource(kPref, 1)) {
            RemoveResource(old);
            DisposeHandle(old);
            UpdateResFile(file);
        }
        Handle record = NewHandleClear(kRecordSize);
        std::memset(*record, fill, kRecordSize);
        AddResource(record, kPref, 1, PString("Config Settings"));
        UpdateResFile(file);
        ReleaseResource(record);
        CloseResFile(file);
        return ResError() == noErr;
    }

    // The saved configuration's read: the record's first byte, or -1 when there is none.
    int ReadRecord() {
        FSSpec fileSpec;
        if (!PrefsSpec(fileSpec)) return -1;
        const ResFileRefNum file = FSpOpenResFile(&fileSpec, fsCurPerm);
        UseResFile(file);
        if (ResError() != noErr) return -1;
        Handle record = Get1Resource(kPref, 1);
        if (record) DetachResource(record);
        CloseResFile(file);
        const int first = record ? uint8_t((*record)[0]) : -1;
        DisposeHandle(record);
        return first;
    }

    std::string PrefsPath() const { return PathOf("vorel-Prefs"); }

    std::optional<std::string> savedConfigHome_;
};

TEST_F(ResourceWriteTest, SavingTwiceLeavesOneRecordAndKeepsOtherResources) {
    ASSERT_TRUE(SaveRecord(0x11));
    ASSERT_GT(OpenResFileAtPath(PrefsPath().c_str(), fsRdWrPerm), 0);
    Add(kText, 5, {'o', 't', 'h', 'e', 'r'}, "Someone else's");
    CloseResFile(CurResFile());

    ASSERT_TRUE(SaveRecord(0x22));
    EXPECT_EQ(ReadRecord(), 0x22);
    ASSERT_GT(OpenResFileAtPath(PrefsPath().c_str(), fsRdPerm), 0);
    EXPECT_EQ(Count1Resources(kPref), 1);
    EXPECT_EQ(BytesOf(Get1Resource(kText, 5)), (Bytes{'o', 't', 'h', 'e', 'r'}));
    // One 392-byte record, one 5-byte one, and their names: nothing left over from the first save.
    const size_t expected = 256 + (4 + 392) + (4 + 5) + 30 + 8 * 2 + 12 * 2 + 16 + 15;
    EXPECT_EQ(ReadBytes(PrefsPath()).size(), expected);
}

TEST_F(ResourceWriteTest, ReadingWithoutAFileFindsNoRecordAndCreatesNothing) {
    EXPECT_EQ(ReadRecord(), -1);
    EXPECT_FALSE(fs::exists(PrefsPath()));
    EXPECT_EQ(CurResFile(), 0);
}

// Whether the file that `fd` has open is still the one at `path`.
bool StillInPlace(int fd, const std::string& path) {
    struct stat held, current;
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &current) == 0 && held.st_nlink > 0 &&
           held.st_ino == current.st_ino;
}

TEST_F(ResourceWriteTest, WriteReplacesTheFileInsteadOfChangingIt) {
    ASSERT_TRUE(SaveRecord(1));
    const Bytes before = ReadBytes(PrefsPath());
    // Holding the old file open keeps its inode from being reused by the new one.
    const int old = ::open(PrefsPath().c_str(), O_RDONLY);
    ASSERT_GE(old, 0);
    ASSERT_TRUE(SaveRecord(2));
    EXPECT_FALSE(StillInPlace(old, PrefsPath()));
    Bytes oldBytes(before.size() + 1);
    EXPECT_EQ(::pread(old, oldBytes.data(), oldBytes.size(), 0), ssize_t(before.size()));
    oldBytes.pop_back();
    EXPECT_EQ(oldBytes, before);
    ::close(old);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(ResourceWriteTest, UnchangedFileIsNotRewritten) {
    ASSERT_TRUE(SaveRecord(1));
    const int held = ::open(PrefsPath().c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    EXPECT_EQ(ReadRecord(), 1);
    const ResFileRefNum file = OpenResFileAtPath(PrefsPath().c_str(), fsRdWrPerm);
    UpdateResFile(file);
    CloseResFile(file);
    EXPECT_TRUE(StillInPlace(held, PrefsPath()));
    ::close(held);
}

TEST_F(ResourceWriteTest, ReplacementKeepsTheFileMode) {
    ASSERT_TRUE(SaveRecord(1));
    ASSERT_EQ(::chmod(PrefsPath().c_str(), 0640), 0);
    ASSERT_TRUE(SaveRecord(2));
    struct stat info;
    ASSERT_EQ(::stat(PrefsPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(ResourceWriteTest, ReplacementKeepsTheModeOfAFileGoneMeanwhile) {
    ASSERT_TRUE(SaveRecord(1));
    ASSERT_EQ(::chmod(PrefsPath().c_str(), 0640), 0);
    const ResFileRefNum file = OpenResFileAtPath(PrefsPath().c_str(), fsRdWrPerm);
    ASSERT_GT(file, 0);
    Add(kText, 9, {9});
    // Its mode can no longer be read where it was: the one it had when opened is kept.
    fs::rename(PrefsPath(), PathOf("moved"));
    CloseResFile(file);
    ASSERT_EQ(ResError(), noErr);
    struct stat info;
    ASSERT_EQ(::stat(PrefsPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// Temporary files that writers killed before their rename left behind are removed by the next
// write of the same file; a live writer's (it holds a lock on it) and other files are not.
TEST_F(ResourceWriteTest, AbandonedTemporaryFilesAreRemovedByTheNextWrite) {
    ASSERT_TRUE(SaveRecord(1));
    const std::vector<std::string> abandoned = {".vorel-Prefs.AbCd12", ".vorel-Prefs.000000"};
    const std::vector<std::string> kept = {".vorel-Prefs.live01",  ".vorel-Prefs.AbCd1",
                                           ".vorel-Prefs.AbCd123", ".vorel-Prefs.Ab-d12",
                                           ".other.AbCd12",        "vorel-Prefs.AbCd12"};
    for (const auto* names : {&abandoned, &kept})
        for (const std::string& name : *names)
            WriteBytes(PathOf(name), {1});
    const int live = ::open(PathOf(".vorel-Prefs.live01").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);

    ASSERT_TRUE(SaveRecord(2));
    for (const std::string& name : abandoned)
        EXPECT_FALSE(fs::exists(PathOf(name))) << name;
    for (const std::string& name : kept)
        EXPECT_TRUE(fs::exists(PathOf(name))) << name;
    ::close(live);
    EXPECT_EQ(ReadRecord(), 2);
}

TEST_F(ResourceWriteTest, WritingThroughALinkReplacesTheFileItLinksTo) {
    ASSERT_TRUE(SaveRecord(1));
    fs::create_directory(folder_ / "real");
    fs::rename(PrefsPath(), folder_ / "real" / "prefs");
    fs::create_symlink(folder_ / "real" / "prefs", PrefsPath());
    ASSERT_TRUE(SaveRecord(2));
    EXPECT_TRUE(fs::is_symlink(PrefsPath()));
    EXPECT_EQ(ReadRecord(), 2);
}

TEST_F(ResourceWriteTest, CreationRefusesExistingFilesAndMissingFolders) {
    ASSERT_TRUE(SaveRecord(7));
    const Bytes before = ReadBytes(PrefsPath());
    EXPECT_EQ(CreateResFileAtPath(PrefsPath().c_str()), dupFNErr);
    EXPECT_EQ(ResError(), dupFNErr);
    FSSpec fileSpec;
    ASSERT_TRUE(PrefsSpec(fileSpec));
    FSpCreateResFile(&fileSpec, 0, kPref, 0);
    EXPECT_EQ(ResError(), dupFNErr);
    EXPECT_EQ(ReadBytes(PrefsPath()), before);
    EXPECT_EQ(CreateResFileAtPath(PathOf("nowhere/file.rsrc").c_str()), dirNFErr);
    EXPECT_EQ(CreateResFileAtPath(""), paramErr);
}

// A save writes the file without the old record, then with the new one, and closing writes
// again whatever a failed write left unwritten. One failed write anywhere is made good by the
// next, and no temporary file is left behind.
struct FailedSaveCase {
    const char* label;
    long failingWrite;
};

// Named in test output by its label rather than its bytes.
void PrintTo(const FailedSaveCase& c, std::ostream* os) {
    *os << c.label;
}

class FailedSaveTest : public ResourceWriteTest,
                       public ::testing::WithParamInterface<FailedSaveCase> {};

TEST_P(FailedSaveTest, NextWriteMakesItGood) {
    ASSERT_TRUE(SaveRecord(0x33));
    ResTestFailWrite(GetParam().failingWrite);
    EXPECT_TRUE(SaveRecord(0x44));
    EXPECT_EQ(ReadRecord(), 0x44);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(SaveSteps, FailedSaveTest,
                         ::testing::Values(FailedSaveCase{"RemovingTheOldRecord", 1},
                                           FailedSaveCase{"AddingTheNewRecord", 2}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(ResourceWriteTest, FailedUpdateKeepsTheChangesForTheNextWrite) {
    CreateAndOpen("a.rsrc");
    const Bytes empty = ReadBytes(PathOf("a.rsrc"));
    Add(kText, 1, {1, 2, 3});
    ResTestFailWrite(1);
    UpdateResFile(CurResFile());
    EXPECT_EQ(ResError(), ioErr);
    EXPECT_EQ(ReadBytes(PathOf("a.rsrc")), empty);
    CloseResFile(CurResFile());
    EXPECT_EQ(ResError(), noErr);
    ASSERT_GT(OpenResFileAtPath(PathOf("a.rsrc").c_str(), fsRdPerm), 0);
    EXPECT_EQ(BytesOf(Get1Resource(kText, 1)), (Bytes{1, 2, 3}));
}

TEST_F(ResourceWriteTest, FailedCloseStillClosesAndReports) {
    const ResFileRefNum file = CreateAndOpen("a.rsrc");
    const Bytes empty = ReadBytes(PathOf("a.rsrc"));
    Add(kText, 1, {1});
    ResTestFailWrite(1);
    CloseResFile(file);
    EXPECT_EQ(ResError(), ioErr);
    EXPECT_EQ(CurResFile(), 0);
    EXPECT_EQ(ReadBytes(PathOf("a.rsrc")), empty);
}

TEST_F(ResourceWriteTest, ChangedResourcesAreWrittenWithTheirNewBytesIdAndName) {
    CreateAndOpen("a.rsrc");
    Add(kText, 1, {1, 2, 3}, "one");
    Add(kText, 2, {4});
    CloseResFile(CurResFile());

    ASSERT_GT(OpenResFileAtPath(PathOf("a.rsrc").c_str(), fsRdWrPerm), 0);
    Handle h = Get1Resource(kText, 1);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(SetHandleSize(h, 5), noErr);
    std::memcpy(*h, "fives", 5);
    ChangedResource(h);
    EXPECT_EQ(ResError(), noErr);
    SetResInfo(h, 2, nullptr);
    EXPECT_EQ(ResError(), resAttrErr) << "ID 2 is taken";
    SetResInfo(h, 3, PString("three"));
    EXPECT_EQ(ResError(), noErr);
    Handle loose = MakeHandle({1});
    ChangedResource(loose);
    EXPECT_EQ(ResError(), resNotFound);
    SetResInfo(loose, 4, nullptr);
    EXPECT_EQ(ResError(), resNotFound);
    DisposeHandle(loose);
    CloseResFile(CurResFile());
    ASSERT_EQ(ResError(), noErr);

    ASSERT_GT(OpenResFileAtPath(PathOf("a.rsrc").c_str(), fsRdPerm), 0);
    EXPECT_EQ(Get1Resource(kText, 1), nullptr);
    Handle changed = Get1Resource(kText, 3);
    EXPECT_EQ(BytesOf(changed), (Bytes{'f', 'i', 'v', 'e', 's'}));
    Str255 name;
    GetResInfo(changed, nullptr, nullptr, name);
    EXPECT_EQ(TextOf(name), "three");
    EXPECT_EQ(BytesOf(Get1Resource(kText, 2)), Bytes{4});
    // A file opened read-only takes no changes.
    ChangedResource(changed);
    EXPECT_EQ(ResError(), resAttrErr);
    SetResInfo(changed, 3, PString("x"));
    EXPECT_EQ(ResError(), resAttrErr);
}

TEST_F(ResourceWriteTest, FailedCreationLeavesNoFile) {
    ResTestFailWrite(1);
    EXPECT_EQ(CreateResFileAtPath(PathOf("a.rsrc").c_str()), ioErr);
    EXPECT_EQ(ResError(), ioErr);
    EXPECT_TRUE(fs::is_empty(folder_));
}

} // namespace
