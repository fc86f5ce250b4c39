// Tests of strlistc, the string-list compiler: sources compiled and read back, its error
// messages with file and line, atomic replacement of the output, and the bundle's own lists.
#include "resources_testing.h"

#include <sys/wait.h>

using namespace rsrctest;

namespace {

constexpr ResType kStrList = FOUR_CHAR_CODE("STR#");

const std::string kCompiler = std::string(LUMASHIFT_BUILD_DIR) + "/tools/strlistc";

struct RunResult {
    int status;
    std::string errors;
};

class StrlistcTest : public ResourceFileTest {
  protected:
    void SetUp() override {
        ResourceFileTest::SetUp();
        ASSERT_TRUE(fs::exists(kCompiler)) << kCompiler << " is missing: build the strlistc target";
    }

    RunResult Compile(const std::string& source, const std::string& output) {
        const std::string errors = PathOf("stderr.txt");
        const std::string command =
            "'" + kCompiler + "' '" + source + "' '" + output + "' 2>'" + errors + "'";
        const int raw = std::system(command.c_str());
        const Bytes text = ReadBytes(errors);
        fs::remove(errors);
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(text.begin(), text.end())};
    }

    RunResult CompileText(const std::string& text) {
        WriteBytes(PathOf("src.txt"), Bytes(text.begin(), text.end()));
        return Compile(PathOf("src.txt"), PathOf("out.rsrc"));
    }

    std::string Entry(int16_t list, int16_t index) {
        Str255 text;
        GetIndString(text, list, index);
        return TextOf(text);
    }

    int EntryCount(int16_t list) {
        const Bytes data = BytesOf(Get1Resource(kStrList, list));
        return data.size() < 2 ? -1 : data[0] << 8 | data[1];
    }

    std::string ListName(int16_t list) {
        Str255 name;
        GetResInfo(Get1Resource(kStrList, list), nullptr, nullptr, name);
        return TextOf(name);
    }
};

TEST_F(StrlistcTest, CompilesListsWithCommentsBlankEntriesAndMacRomanText) {
    const RunResult run = CompileText("# a comment before the lists\n"
                                      "\n"
                                      "STR# 128 Slider labels\n"
                                      "First\n"
                                      "\n"
                                      "## a comment inside a list\n"
                                      "# not a comment here\n"
                                      "  spaced  \r\n"
                                      "STR#\t-2   Café…  \n"
                                      "Fête…\n"
                                      "STR# 300\n");
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_GT(OpenResFileAtPath(PathOf("out.rsrc").c_str(), fsRdPerm), 0);
    EXPECT_EQ(Count1Resources(kStrList), 3);
    EXPECT_EQ(EntryCount(128), 4);
    EXPECT_EQ(Entry(128, 1), "First");
    EXPECT_EQ(Entry(128, 2), "");
    EXPECT_EQ(Entry(128, 3), "# not a comment here");
    EXPECT_EQ(Entry(128, 4), "  spaced  ");
    EXPECT_EQ(ListName(128), "Slider labels");
    EXPECT_EQ(Entry(-2, 1), "F\x90te\xC9"); // Mac OS Roman: ê is 0x90, … is 0xC9
    EXPECT_EQ(ListName(-2), "Caf\x8E\xC9");
    EXPECT_EQ(EntryCount(300), 0);
    EXPECT_EQ(ListName(300), "");
}

TEST_F(StrlistcTest, ReplacesAnExistingOutputWholeAndLeavesNothingElse) {
    WriteBytes(PathOf("out.rsrc"), Bytes(1000, 0x77));
    ASSERT_EQ(CompileText("STR# 1 x\nnew\n").status, 0);
    ASSERT_GT(OpenResFileAtPath(PathOf("out.rsrc").c_str(), fsRdPerm), 0);
    EXPECT_EQ(Entry(1, 1), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 2);
}

struct SourceErrorCase {
    const char* label;
    std::string source;
    std::string message; // expected in standard error, after "src.txt:"
};

// Named in test output by its label rather than its bytes.
void PrintTo(const SourceErrorCase& c, std::ostream* os) {
    *os << c.label;
}

class StrlistcErrorTest : public StrlistcTest,
                          public ::testing::WithParamInterface<SourceErrorCase> {};

TEST_P(StrlistcErrorTest, FailsWithFileAndLineAndKeepsTheOldOutput) {
    WriteBytes(PathOf("out.rsrc"), Bytes{'o', 'l', 'd'});
    const RunResult run = CompileText(GetParam().source);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.errors.find("src.txt:" + GetParam().message), std::string::npos) << run.errors;
    EXPECT_EQ(ReadBytes(PathOf("out.rsrc")), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, StrlistcErrorTest,
    ::testing::Values(
        SourceErrorCase{"TextBeforeFirstHeader", "# fine\nstray\nSTR# 1 x\n", "2:"},
        SourceErrorCase{"MissingID", "STR#\n", "1:"},
        SourceErrorCase{"IDNotANumber", "STR# 12a x\n", "1:"},
        SourceErrorCase{"IDOutOfRange", "STR# 1 a\nok\nSTR# 32768 b\n", "3:"},
        SourceErrorCase{"DuplicateID", "STR# 5 a\nSTR# 5 b\n", "2:"},
        SourceErrorCase{"InvalidUTF8", "STR# 1 a\nok\nbad \xFF byte\n", "3:"},
        SourceErrorCase{"NotInMacRoman", "STR# 1 a\n\xE6\xBC\xA2\n", "2:"},
        SourceErrorCase{"EntryOver255Bytes",
                        "STR# 1 a\n" + std::string(255, 'e') + "\n" + std::string(128, 'e') +
                            "\xC3\xA9" + std::string(127, 'e') + "\n",
                        "3:"},
        SourceErrorCase{"NameOver255Bytes", "STR# 1 " + std::string(256, 'n') + "\n", "1:"},
        SourceErrorCase{"LaterFaultAfterGoodLists", "STR# 1 a\nx\nSTR# 2 b\ny\nSTR# 1 c\n", "5:"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(StrlistcTest, ReportsEveryFaultNotJustTheFirst) {
    const RunResult run = CompileText("stray\nSTR# x\nSTR# 2\n\xFF\n");
    EXPECT_NE(run.status, 0);
    for (const char* place : {"src.txt:1:", "src.txt:2:", "src.txt:4:"})
        EXPECT_NE(run.errors.find(place), std::string::npos) << place << " in " << run.errors;
}

TEST_F(StrlistcTest, UsageAndUnreadableSourceAreErrors) {
    EXPECT_EQ(std::system(("'" + kCompiler + "' 2>/dev/null").c_str()) >> 8, 2);
    EXPECT_NE(Compile(PathOf("missing.txt"), PathOf("out.rsrc")).status, 0);
    EXPECT_FALSE(fs::exists(PathOf("out.rsrc")));
    WriteBytes(PathOf("src.txt"), Bytes{'S', 'T', 'R', '#', ' ', '1', '\n'});
    EXPECT_NE(Compile(PathOf("src.txt"), PathOf("no/such/folder/out.rsrc")).status, 0);
}

// The bundle's lists: what the host's describe request reads, within the host's fields.
TEST_F(StrlistcTest, BundleStringsHoldEveryListTheHostReads) {
    const RunResult run =
        Compile(std::string(LUMASHIFT_SOURCE_DIR) + "/plugin/Resources/strings.txt",
                PathOf("lumashift.rsrc"));
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_GT(OpenResFileAtPath(PathOf("lumashift.rsrc").c_str(), fsRdPerm), 0);
    EXPECT_EQ(Count1Resources(kStrList), 4);
    EXPECT_EQ(EntryCount(128), 3);
    EXPECT_EQ(EntryCount(129), 6);
    EXPECT_EQ(EntryCount(130), 1);
    EXPECT_EQ(EntryCount(17000), 1);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_FALSE(Entry(128, int16_t(i)).empty());
        EXPECT_LE(Entry(128, int16_t(i)).size(), 127u);
    }
    for (int i = 1; i <= 6; ++i)
        EXPECT_LE(Entry(129, int16_t(i)).size(), 127u);
    EXPECT_FALSE(Entry(130, 1).empty());
    EXPECT_LE(Entry(130, 1).size(), 31u);
    EXPECT_FALSE(Entry(17000, 1).empty());
    EXPECT_LE(Entry(17000, 1).size(), 127u);
}

} // namespace
