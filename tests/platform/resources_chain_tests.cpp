// Tests of open resource files: the search chain, the current file, who owns each handle,
// what read-only files refuse, the answers of ResError, and string lists.
#include "resources_testing.h"
#include "PlatformTestHooks.h"

#include <sys/stat.h>

using namespace rsrctest;

namespace {

constexpr ResType kStrList = FOUR_CHAR_CODE("STR#");
constexpr ResType kText = FOUR_CHAR_CODE("TEXT");

class ResourceChainTest : public ResourceFileTest {
  protected:
    // A file holding 'TEXT' `id` with `text`, written and still open (current).
    ResFileRefNum FileWithText(const std::string& leaf, int16_t id, const std::string& text) {
        const ResFileRefNum file = CreateAndOpen(leaf);
        Add(kText, id, Bytes(text.begin(), text.end()));
        UpdateResFile(file);
        EXPECT_EQ(ResError(), noErr);
        return file;
    }

    std::string TextFound(int16_t id) {
        Handle h = GetResource(kText, id);
        const Bytes bytes = BytesOf(h);
        return h ? std::string(bytes.begin(), bytes.end()) : "<none>";
    }
};

TEST_F(ResourceChainTest, LatestOpenedFileIsSearchedFirst) {
    const ResFileRefNum first = FileWithText("first.rsrc", 128, "first");
    FileWithText("second.rsrc", 128, "second");
    Add(kText, 200, {'s'});
    const ResFileRefNum third = FileWithText("third.rsrc", 300, "third");

    EXPECT_EQ(CurResFile(), third);
    EXPECT_EQ(TextFound(128), "second");
    EXPECT_EQ(TextFound(300), "third");
    // Files opened after the current one are not searched.
    UseResFile(first);
    EXPECT_EQ(TextFound(128), "first");
    EXPECT_EQ(TextFound(200), "<none>");
    EXPECT_EQ(ResError(), resNotFound);
    // Get1Resource looks in the current file only.
    UseResFile(third);
    EXPECT_EQ(Get1Resource(kText, 128), nullptr);
    EXPECT_EQ(ResError(), resNotFound);
    EXPECT_EQ(Count1Resources(kText), 1);
}

TEST_F(ResourceChainTest, ClosingGivesTheCurrentFileBackToTheChain) {
    const ResFileRefNum a = CreateAndOpen("a.rsrc");
    const ResFileRefNum b = CreateAndOpen("b.rsrc");
    const ResFileRefNum c = CreateAndOpen("c.rsrc");
    EXPECT_TRUE(a != b && b != c && a != c);
    // Opening an open file answers its number and makes it current.
    EXPECT_EQ(OpenResFileAtPath((folder_.string() + "/./b.rsrc").c_str(), fsRdPerm), b);
    EXPECT_EQ(CurResFile(), b);
    UseResFile(c);
    CloseResFile(c);
    EXPECT_EQ(CurResFile(), b);
    // Closing a file that is not current leaves the current file alone.
    UseResFile(a);
    CloseResFile(b);
    EXPECT_EQ(CurResFile(), a);
    CloseResFile(a);
    EXPECT_EQ(ResError(), noErr);
    EXPECT_EQ(CurResFile(), 0);
    EXPECT_EQ(GetResource(kText, 1), nullptr);
    EXPECT_EQ(ResError(), resFNotFound);
}

TEST_F(ResourceChainTest, UnknownReferenceNumbersAreRefused) {
    const ResFileRefNum a = CreateAndOpen("a.rsrc");
    for (ResFileRefNum bad : {ResFileRefNum(0), ResFileRefNum(-1), ResFileRefNum(a + 1)}) {
        UseResFile(bad);
        EXPECT_EQ(ResError(), resFNotFound);
        EXPECT_EQ(CurResFile(), a);
        UpdateResFile(bad);
        EXPECT_EQ(ResError(), resFNotFound);
        CloseResFile(bad);
        EXPECT_EQ(ResError(), resFNotFound);
    }
}

TEST_F(ResourceChainTest, MissingFileAndBadArgumentsFailToOpen) {
    EXPECT_EQ(OpenResFileAtPath(PathOf("missing.rsrc").c_str(), fsRdPerm), -1);
    EXPECT_EQ(ResError(), fnfErr);
    EXPECT_EQ(OpenResFileAtPath(nullptr, fsRdPerm), -1);
    EXPECT_EQ(ResError(), paramErr);
    CreateResFileAtPath(PathOf("a.rsrc").c_str());
    EXPECT_EQ(OpenResFileAtPath(PathOf("a.rsrc").c_str(), 7), -1);
    EXPECT_EQ(ResError(), paramErr);
    EXPECT_EQ(OpenResFileAtPath(folder_.c_str(), fsRdPerm), -1);
    EXPECT_EQ(ResError(), notAFileErr);
    EXPECT_EQ(CurResFile(), 0);
}

TEST_F(ResourceChainTest, DetachedHandleOutlivesItsFile) {
    const ResFileRefNum file = FileWithText("a.rsrc", 1, "kept");
    Handle h = Get1Resource(kText, 1);
    ASSERT_NE(h, nullptr);
    DetachResource(h);
    EXPECT_EQ(ResError(), noErr);
    // The resource stays in the file; asking again gives a new handle.
    Handle again = Get1Resource(kText, 1);
    EXPECT_NE(again, h);
    EXPECT_EQ(BytesOf(again), BytesOf(h));
    CloseResFile(file);
    EXPECT_EQ(BytesOf(h), (Bytes{'k', 'e', 'p', 't'}));
    DisposeHandle(h);
}

TEST_F(ResourceChainTest, ReleasedResourceComesBackWithWhatItHeld) {
    FileWithText("a.rsrc", 1, "abc");
    Handle h = Get1Resource(kText, 1);
    EXPECT_EQ(Get1Resource(kText, 1), h); // one handle per resource while it is in memory
    (*h)[0] = 'X';
    ReleaseResource(h);
    EXPECT_EQ(ResError(), noErr);
    EXPECT_EQ(BytesOf(Get1Resource(kText, 1)), (Bytes{'X', 'b', 'c'}));
}

TEST_F(ResourceChainTest, RemovedResourceBelongsToTheCaller) {
    const ResFileRefNum file = FileWithText("a.rsrc", 1, "gone");
    Handle h = Get1Resource(kText, 1);
    RemoveResource(h);
    EXPECT_EQ(ResError(), noErr);
    EXPECT_EQ(Get1Resource(kText, 1), nullptr);
    CloseResFile(file);
    EXPECT_EQ(BytesOf(h), (Bytes{'g', 'o', 'n', 'e'}));
    DisposeHandle(h);
    ASSERT_GT(OpenResFileAtPath(PathOf("a.rsrc").c_str(), fsRdPerm), 0);
    EXPECT_EQ(Count1Resources(kText), 0);
}

TEST_F(ResourceChainTest, HandlesThatAreNotResourcesAreRefused) {
    CreateAndOpen("a.rsrc");
    Handle stranger = MakeHandle({1, 2});
    int16_t id = 77;
    GetResInfo(stranger, &id, nullptr, nullptr);
    EXPECT_EQ(ResError(), resNotFound);
    EXPECT_EQ(id, 77);
    DetachResource(stranger);
    EXPECT_EQ(ResError(), resNotFound);
    ReleaseResource(stranger);
    EXPECT_EQ(ResError(), resNotFound);
    RemoveResource(stranger);
    EXPECT_EQ(ResError(), rmvResFailed);
    RemoveResource(nullptr);
    EXPECT_EQ(ResError(), rmvResFailed);
    EXPECT_EQ(BytesOf(stranger), (Bytes{1, 2}));
    DisposeHandle(stranger);
}

TEST_F(ResourceChainTest, RefusedAdditionsLeaveTheHandleWithTheCaller) {
    const ResFileRefNum file = CreateAndOpen("a.rsrc");
    Add(kText, 1, {1});
    Handle added = Get1Resource(kText, 1);
    Handle duplicate = MakeHandle({2});
    AddResource(duplicate, kText, 1, nullptr);
    EXPECT_EQ(ResError(), addResFailed);
    AddResource(added, kText, 2, nullptr); // already a resource
    EXPECT_EQ(ResError(), addResFailed);
    AddResource(nullptr, kText, 3, nullptr);
    EXPECT_EQ(ResError(), addResFailed);
    CloseResFile(file);
    AddResource(duplicate, kText, 4, nullptr); // no file open
    EXPECT_EQ(ResError(), addResFailed);
    DisposeHandle(duplicate);
    ASSERT_GT(OpenResFileAtPath(PathOf("a.rsrc").c_str(), fsRdPerm), 0);
    EXPECT_EQ(Count1Resources(kText), 1);
}

TEST_F(ResourceChainTest, ReadOnlyFilesAreNeverChanged) {
    FileWithText("a.rsrc", 1, "fixed");
    CloseResFile(CurResFile());
    const Bytes before = ReadBytes(PathOf("a.rsrc"));
    // Opened at a path with the current permission, a file is read-only.
    const ResFileRefNum file = OpenResFileAtPath(PathOf("a.rsrc").c_str(), fsCurPerm);
    ASSERT_GT(file, 0);
    Handle extra = MakeHandle({9});
    AddResource(extra, kText, 2, nullptr);
    EXPECT_EQ(ResError(), addResFailed);
    DisposeHandle(extra);
    Handle h = Get1Resource(kText, 1);
    RemoveResource(h);
    EXPECT_EQ(ResError(), rmvResFailed);
    EXPECT_EQ(Get1Resource(kText, 1), h);
    (*h)[0] = 'F';
    UpdateResFile(file);
    EXPECT_EQ(ResError(), noErr);
    CloseResFile(file);
    EXPECT_EQ(ReadBytes(PathOf("a.rsrc")), before);
    // A locked file refuses write permission, even to root, whom the system would let write.
    ASSERT_EQ(::chmod(PathOf("a.rsrc").c_str(), 0444), 0);
    EXPECT_EQ(OpenResFileAtPath(PathOf("a.rsrc").c_str(), fsRdWrPerm), -1);
    EXPECT_EQ(ResError(), ioErr);
}

TEST_F(ResourceChainTest, LoadingFailsCleanlyWhenMemoryRunsOut) {
    FileWithText("a.rsrc", 1, "data");
    ReleaseResource(Get1Resource(kText, 1));
    MemTestFailAllocation(1);
    EXPECT_EQ(Get1Resource(kText, 1), nullptr);
    EXPECT_EQ(ResError(), memFullErr);
    MemTestFailAllocation(0);
    EXPECT_EQ(BytesOf(Get1Resource(kText, 1)), (Bytes{'d', 'a', 't', 'a'}));
}

// GetIndString over lists whose data is well formed or damaged.
struct IndStringCase {
    const char* label;
    Bytes list;
    int16_t index;
    std::string expected;
};

// Named in test output by its label rather than its bytes.
void PrintTo(const IndStringCase& c, std::ostream* os) {
    *os << c.label;
}

class GetIndStringTest : public ResourceFileTest,
                         public ::testing::WithParamInterface<IndStringCase> {};

TEST_P(GetIndStringTest, AnswersTheEntryOrEmptyText) {
    CreateAndOpen("strings.rsrc");
    Add(kStrList, 128, GetParam().list);
    Str255 text;
    std::memset(text, 0xAA, sizeof text);
    GetIndString(text, 128, GetParam().index);
    EXPECT_EQ(TextOf(text), GetParam().expected);
}

Bytes WithCount(Bytes list, unsigned count) {
    list[0] = uint8_t(count >> 8);
    list[1] = uint8_t(count);
    return list;
}

const Bytes kThree = StringListData({"On", "", "Off"});

INSTANTIATE_TEST_SUITE_P(
    Lists, GetIndStringTest,
    ::testing::Values(
        IndStringCase{"First", kThree, 1, "On"}, IndStringCase{"EmptyEntry", kThree, 2, ""},
        IndStringCase{"Last", kThree, 3, "Off"}, IndStringCase{"IndexZero", kThree, 0, ""},
        IndStringCase{"IndexPastCount", kThree, 4, ""},
        IndStringCase{"NegativeIndex", kThree, -1, ""},
        IndStringCase{"LongEntry", StringListData({std::string(255, 'w')}), 1,
                      std::string(255, 'w')},
        IndStringCase{"CountBeyondData", WithCount(kThree, 5), 4, ""},
        IndStringCase{"NegativeCount", WithCount(kThree, 0xFFFF), 1, ""},
        IndStringCase{"LengthPastEnd", Bytes{0, 1, 9, 'a', 'b'}, 1, ""},
        IndStringCase{"EarlierEntryPastEnd", Bytes{0, 2, 9, 'a', 1, 'b'}, 2, ""},
        IndStringCase{"NoCount", Bytes{0}, 1, ""}, IndStringCase{"NoData", Bytes{}, 1, ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ResourceFileTest, GetIndStringSearchesTheChainAndAnswersEmptyForMissingLists) {
    CreateAndOpen("lower.rsrc");
    Add(kStrList, 17000, StringListData({"Group"}));
    CreateAndOpen("upper.rsrc");
    Str255 text;
    GetIndString(text, 17000, 1);
    EXPECT_EQ(TextOf(text), "Group");
    GetIndString(text, 129, 1);
    EXPECT_EQ(TextOf(text), "");
    EXPECT_EQ(ResError(), resNotFound);
}

} // namespace
