// Tests of the bytes a resource file holds on disk: the worked example, the empty file, round
// trips of mixed resources, and the size rules of a clean file.
#include "resources_testing.h"

using namespace rsrctest;

namespace {

constexpr ResType kPref = FOUR_CHAR_CODE("Pref");
constexpr ResType kStrList = FOUR_CHAR_CODE("STR#");
constexpr ResType kText = FOUR_CHAR_CODE("TEXT");
constexpr ResType kIcon = FOUR_CHAR_CODE("ICN#");

void Append(Bytes& out, std::initializer_list<uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// The classic layout's worked example: 'Pref' 1 "Config Settings" holding DE AD BE EF.
Bytes WorkedExample() {
    Bytes file;
    const std::initializer_list<uint8_t> header = {0, 0, 1, 0, 0, 0, 1, 8,
                                                   0, 0, 0, 8, 0, 0, 0, 0x42};
    Append(file, header);
    file.resize(0x100, 0);
    Append(file, {0, 0, 0, 4, 0xDE, 0xAD, 0xBE, 0xEF});
    Append(file, header);
    Append(file, {0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x1C, 0x00, 0x32});
    Append(file, {0, 0, 'P', 'r', 'e', 'f', 0, 0, 0x00, 0x0A});
    Append(file, {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    file.push_back(15);
    const std::string name = "Config Settings";
    file.insert(file.end(), name.begin(), name.end());
    return file;
}

struct Sample {
    ResType type;
    int16_t id;
    std::string name;
    Bytes data;
};

std::vector<Sample> MixedSamples() {
    Bytes big(70000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 7 + 3);
    return {
        {kPref, 1, "Config Settings", {0xDE, 0xAD, 0xBE, 0xEF}},
        {kText, -4000, "", {'h', 'i'}},
        {kStrList, 128, "Labels", StringListData({"One", "", "Three"})},
        {kText, 32767, "\xC9l\x8E", {}}, // a Mac OS Roman name, empty data
        {kIcon, -32768, std::string(255, 'n'), big},
        {kPref, 2, "", {0}},
    };
}

class ResourceLayoutTest : public ResourceFileTest {
  protected:
    void WriteSamples(const std::string& leaf, const std::vector<Sample>& samples) {
        CreateAndOpen(leaf);
        for (const Sample& s : samples)
            Add(s.type, s.id, s.data, s.name.c_str());
        CloseResFile(CurResFile());
        ASSERT_EQ(ResError(), noErr);
    }

    // Checks that the current file holds exactly these resources.
    void ExpectSamples(const std::vector<Sample>& samples) {
        for (const Sample& s : samples) {
            SCOPED_TRACE(s.id);
            Handle h = Get1Resource(s.type, s.id);
            ASSERT_NE(h, nullptr) << ResError();
            EXPECT_EQ(BytesOf(h), s.data);
            int16_t id = 0;
            ResType type = 0;
            Str255 name;
            GetResInfo(h, &id, &type, name);
            EXPECT_EQ(ResError(), noErr);
            EXPECT_EQ(id, s.id);
            EXPECT_EQ(type, s.type);
            EXPECT_EQ(TextOf(name), s.name);
        }
        for (ResType type : {kPref, kStrList, kText, kIcon}) {
            const auto count = std::count_if(samples.begin(), samples.end(),
                                             [&](const Sample& s) { return s.type == type; });
            EXPECT_EQ(Count1Resources(type), count);
        }
    }
};

TEST_F(ResourceLayoutTest, WorkedExampleByteForByte) {
    CreateAndOpen("example.rsrc");
    Add(kPref, 1, {0xDE, 0xAD, 0xBE, 0xEF}, "Config Settings");
    CloseResFile(CurResFile());
    ASSERT_EQ(ResError(), noErr);
    const Bytes written = ReadBytes(PathOf("example.rsrc"));
    EXPECT_EQ(written.size(), 330u);
    EXPECT_EQ(written, WorkedExample());
}

TEST_F(ResourceLayoutTest, EmptyFileIs286Bytes) {
    ASSERT_EQ(CreateResFileAtPath(PathOf("empty.rsrc").c_str()), noErr);
    Bytes expected;
    const std::initializer_list<uint8_t> header = {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 30};
    Append(expected, header);
    expected.resize(256, 0);
    Append(expected, header);
    Append(expected, {0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x1C, 0x00, 0x1E, 0xFF, 0xFF});
    EXPECT_EQ(ReadBytes(PathOf("empty.rsrc")), expected);
}

TEST_F(ResourceLayoutTest, MixedResourcesRoundTripInACleanLayout) {
    const std::vector<Sample> samples = MixedSamples();
    WriteSamples("mixed.rsrc", samples);
    size_t dataBytes = 0, nameBytes = 0;
    for (const Sample& s : samples) {
        dataBytes += 4 + s.data.size();
        nameBytes += s.name.empty() ? 0 : 1 + s.name.size();
    }
    const size_t lists = 30 + 8 * 4 + 12 * samples.size(); // four types
    const Bytes file = ReadBytes(PathOf("mixed.rsrc"));
    ASSERT_EQ(file.size(), 256 + dataBytes + lists + nameBytes);
    // The map opens with an exact copy of the header, and its offsets are the clean ones.
    const size_t map = 256 + dataBytes;
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 16, file.begin() + long(map)));
    EXPECT_EQ(file[map + 24] << 8 | file[map + 25], 28);
    EXPECT_EQ(size_t(file[map + 26] << 8 | file[map + 27]), lists);

    ASSERT_GT(OpenResFileAtPath(PathOf("mixed.rsrc").c_str(), fsRdPerm), 0);
    ExpectSamples(samples);
}

TEST_F(ResourceLayoutTest, RewritingKeepsEveryOtherResourceByteForByte) {
    WriteSamples("mixed.rsrc", MixedSamples());
    const Bytes before = ReadBytes(PathOf("mixed.rsrc"));
    ASSERT_GT(OpenResFileAtPath(PathOf("mixed.rsrc").c_str(), fsRdWrPerm), 0);
    Add(kText, 9, {1, 2, 3}, "Passing");
    UpdateResFile(CurResFile());
    ASSERT_EQ(ResError(), noErr);
    EXPECT_NE(ReadBytes(PathOf("mixed.rsrc")), before);
    Handle added = Get1Resource(kText, 9);
    RemoveResource(added);
    DisposeHandle(added);
    CloseResFile(CurResFile());
    ASSERT_EQ(ResError(), noErr);
    EXPECT_EQ(ReadBytes(PathOf("mixed.rsrc")), before);
}

TEST_F(ResourceLayoutTest, FilesStayUnder16MiB) {
    // 256 header bytes, one 4-byte length and a 50-byte map leave this much for data.
    const size_t room = (size_t(16) << 20) - 256 - 4 - 50 - 1;
    const Bytes data(room, 0x5A);
    CreateAndOpen("edge.rsrc");
    Add(kText, 1, data);
    UpdateResFile(CurResFile());
    ASSERT_EQ(ResError(), noErr);
    const Bytes before = ReadBytes(PathOf("edge.rsrc"));
    Add(kText, 2, {}); // 4 + 12 more bytes: past the limit
    UpdateResFile(CurResFile());
    EXPECT_EQ(ResError(), ioErr);
    CloseResFile(CurResFile());
    EXPECT_EQ(ResError(), ioErr);
    EXPECT_EQ(ReadBytes(PathOf("edge.rsrc")), before);
    ASSERT_GT(OpenResFileAtPath(PathOf("edge.rsrc").c_str(), fsRdPerm), 0);
    EXPECT_EQ(BytesOf(Get1Resource(kText, 1)), data);
}

} // namespace
