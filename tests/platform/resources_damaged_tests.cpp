// Tests of reading damaged resource files: hand-made hostile files, the size limit, and a
// seeded mutator over a valid file. Every file opens cleanly or fails with mapReadErr.
#include "resources_testing.h"

#include <functional>
#include <random>

using namespace rsrctest;

namespace {

constexpr ResType kPref = FOUR_CHAR_CODE("Pref");
constexpr ResType kText = FOUR_CHAR_CODE("TEXT");
constexpr ResType kStrList = FOUR_CHAR_CODE("STR#");
constexpr ResType kExtra = FOUR_CHAR_CODE("XTRA");

void Put16(Bytes& file, size_t at, unsigned value) {
    file.at(at) = uint8_t(value >> 8);
    file.at(at + 1) = uint8_t(value);
}

void Put24(Bytes& file, size_t at, uint32_t value) {
    file.at(at) = uint8_t(value >> 16);
    Put16(file, at + 1, value & 0xFFFF);
}

void Put32(Bytes& file, size_t at, uint32_t value) {
    Put16(file, at, value >> 16);
    Put16(file, at + 2, value & 0xFFFF);
}

uint32_t Get32(const Bytes& file, size_t at) {
    return uint32_t(file.at(at)) << 24 | uint32_t(file.at(at + 1)) << 16 |
           uint32_t(file.at(at + 2)) << 8 | file.at(at + 3);
}

// Where the parts of the two-resource base file lie: 'Pref' 1 "A" holding {1}, then
// 'TEXT' 2 without a name holding {2, 3}.
struct BaseLayout {
    static constexpr size_t kData = 256;
    static constexpr size_t kSecondRecord = kData + 5;
    static constexpr size_t kMap = kData + 11;
    static constexpr size_t kMapLength = 30 + 8 * 2 + 12 * 2 + 2;
    static constexpr size_t kTypeList = kMap + 28;
    static constexpr size_t kFirstType = kTypeList + 2;
    static constexpr size_t kSecondType = kFirstType + 8;
    static constexpr size_t kFirstRef = kTypeList + 18;
    static constexpr size_t kSecondRef = kFirstRef + 12;
    static constexpr size_t kNameList = kMap + 70;
};

struct DamageCase {
    const char* label;
    std::function<void(Bytes&)> damage;
    bool opens;
};

// Named in test output by its label rather than its bytes.
void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.label;
}

class DamagedFileTest : public ResourceFileTest, public ::testing::WithParamInterface<DamageCase> {
  protected:
    Bytes BaseFile() {
        CreateAndOpen("base.rsrc");
        Add(kPref, 1, {1}, "A");
        Add(kText, 2, {2, 3});
        CloseResFile(CurResFile());
        return ReadBytes(PathOf("base.rsrc"));
    }
};

TEST_F(DamagedFileTest, BaseFileHasTheExpectedLayout) {
    const Bytes base = BaseFile();
    ASSERT_EQ(base.size(), BaseLayout::kMap + BaseLayout::kMapLength);
    EXPECT_EQ(Get32(base, 4), BaseLayout::kMap);
    EXPECT_EQ(Get32(base, BaseLayout::kFirstType), kPref);
    EXPECT_EQ(Get32(base, BaseLayout::kSecondType), kText);
    EXPECT_EQ(base[BaseLayout::kNameList + 1], 'A');
}

TEST_P(DamagedFileTest, OpensCleanlyOrFailsWithMapReadErr) {
    Bytes file = BaseFile();
    GetParam().damage(file);
    WriteBytes(PathOf("damaged.rsrc"), file);
    const ResFileRefNum refNum = OpenResFileAtPath(PathOf("damaged.rsrc").c_str(), fsRdPerm);
    if (!GetParam().opens) {
        EXPECT_EQ(refNum, -1);
        EXPECT_EQ(ResError(), mapReadErr);
        EXPECT_EQ(CurResFile(), 0);
        return;
    }
    ASSERT_GT(refNum, 0) << "ResError " << ResError();
    EXPECT_EQ(BytesOf(Get1Resource(kPref, 1)), Bytes{1});
    EXPECT_EQ(BytesOf(Get1Resource(kText, 2)), (Bytes{2, 3}));
}

using L = BaseLayout;

INSTANTIATE_TEST_SUITE_P(
    HandMade, DamagedFileTest,
    ::testing::Values(
        DamageCase{"Empty", [](Bytes& f) { f.clear(); }, false},
        DamageCase{"HeaderOnly", [](Bytes& f) { f.resize(16); }, false},
        DamageCase{"TruncatedInDataArea", [](Bytes& f) { f.resize(L::kData + 3); }, false},
        DamageCase{"TruncatedMap", [](Bytes& f) { f.pop_back(); }, false},
        DamageCase{"DataOffsetPastEnd", [](Bytes& f) { Put32(f, 0, uint32_t(f.size())); }, false},
        DamageCase{"DataLengthHuge", [](Bytes& f) { Put32(f, 8, 0xFFFFFFFF); }, false},
        DamageCase{"MapOffsetHuge", [](Bytes& f) { Put32(f, 4, 0xFFFFFF00); }, false},
        DamageCase{"MapLengthPastEnd", [](Bytes& f) { Put32(f, 12, L::kMapLength + 1); }, false},
        DamageCase{"DataAreaOverHeader", [](Bytes& f) { Put32(f, 0, 0); }, false},
        DamageCase{"DataAreaOverMap", [](Bytes& f) { Put32(f, 8, 12); }, false},
        DamageCase{"MapTooShort", [](Bytes& f) { Put32(f, 12, 29); }, false},
        DamageCase{"TypeListInMapHeader", [](Bytes& f) { Put16(f, L::kMap + 24, 10); }, false},
        DamageCase{"TypeListPastMap", [](Bytes& f) { Put16(f, L::kMap + 24, 0xFFF0); }, false},
        DamageCase{"NameListPastMap", [](Bytes& f) { Put16(f, L::kMap + 26, L::kMapLength + 1); },
                   false},
        DamageCase{"NameListOverTypeList", [](Bytes& f) { Put16(f, L::kMap + 26, 40); }, false},
        DamageCase{"TypeCountFFFE", [](Bytes& f) { Put16(f, L::kTypeList, 0xFFFE); }, false},
        DamageCase{"ReferenceCountFFFF", [](Bytes& f) { Put16(f, L::kFirstType + 4, 0xFFFF); },
                   false},
        DamageCase{"ReferenceListInTypeList", [](Bytes& f) { Put16(f, L::kFirstType + 6, 2); },
                   false},
        DamageCase{"ReferenceListPastTypeArea",
                   [](Bytes& f) { Put16(f, L::kFirstType + 6, 0xFFF0); }, false},
        DamageCase{"ReferenceListsOverlap", [](Bytes& f) { Put16(f, L::kSecondType + 6, 18); },
                   false},
        DamageCase{"NameOffsetPastNameList", [](Bytes& f) { Put16(f, L::kFirstRef + 2, 5); },
                   false},
        DamageCase{"NameOffsetNegative", [](Bytes& f) { Put16(f, L::kFirstRef + 2, 0x8000); },
                   false},
        DamageCase{"NameLengthPastMap", [](Bytes& f) { f[L::kNameList] = 200; }, false},
        DamageCase{"DataOffsetPastArea", [](Bytes& f) { Put24(f, L::kFirstRef + 5, 0xFFFF); },
                   false},
        DamageCase{"DataLengthPastArea", [](Bytes& f) { Put32(f, L::kData, 100); }, false},
        DamageCase{"RecordStraddlesAreaEnd", [](Bytes& f) { Put32(f, L::kSecondRecord, 3); },
                   false},
        DamageCase{"SharedDataRecord", [](Bytes& f) { Put24(f, L::kSecondRef + 5, 0); }, false},
        // What readers tolerate: trailing bytes, and fields that only matter in memory.
        DamageCase{"TrailingBytes", [](Bytes& f) { f.resize(f.size() + 100, 0xEE); }, true},
        DamageCase{"ReservedAreaGarbage", [](Bytes& f) { std::fill(&f[16], &f[256], 0x5A); }, true},
        DamageCase{"MapHeaderCopyGarbage", [](Bytes& f) { Put32(f, L::kMap + 4, 0x12345678); },
                   true},
        DamageCase{"HandleSlotsAndAttributes",
                   [](Bytes& f) {
                       Put32(f, L::kFirstRef + 8, 0xDEADBEEF);
                       f[L::kSecondRef + 4] = 0xFF;
                   },
                   true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(DamagedFileTest, FilesOf16MiBOrMoreAreRefused) {
    const Bytes base = BaseFile();
    fs::resize_file(PathOf("base.rsrc"), (size_t(16) << 20) - 1);
    ASSERT_GT(OpenResFileAtPath(PathOf("base.rsrc").c_str(), fsRdPerm), 0);
    CloseResFile(CurResFile());
    fs::resize_file(PathOf("base.rsrc"), size_t(16) << 20);
    EXPECT_EQ(OpenResFileAtPath(PathOf("base.rsrc").c_str(), fsRdPerm), -1);
    EXPECT_EQ(ResError(), mapReadErr);
}

TEST_F(DamagedFileTest, FailedOpenLeavesTheChainAsItWas) {
    const ResFileRefNum good = CreateAndOpen("good.rsrc");
    WriteBytes(PathOf("bad.rsrc"), Bytes(300, 0xFF));
    EXPECT_EQ(OpenResFileAtPath(PathOf("bad.rsrc").c_str(), fsRdWrPerm), -1);
    EXPECT_EQ(CurResFile(), good);
}

// A seeded mutator over a valid file with several types, names and a string list. Each
// mutant either fails with mapReadErr, or opens, answers every request, and writes back
// cleanly into a file that opens again.
class MutatedFileTest : public ResourceFileTest {
  protected:
    Bytes ValidFile() {
        CreateAndOpen("valid.rsrc");
        Add(kPref, 1, Bytes(40, 0x11), "Config Settings");
        Add(kText, -5, {'a', 'b', 'c'});
        Add(kStrList, 128, StringListData({"One", "Two", ""}), "Labels");
        Add(kText, 300, {}, "Empty");
        CloseResFile(CurResFile());
        return ReadBytes(PathOf("valid.rsrc"));
    }

    static void Mutate(Bytes& file, std::mt19937& random) {
        auto pick = [&](size_t n) {
            return std::uniform_int_distribution<size_t>(0, n - 1)(random);
        };
        const size_t mutations = 1 + pick(4);
        for (size_t i = 0; i < mutations && !file.empty(); ++i) {
            size_t kind = pick(5);
            if (file.size() < 16 && (kind == 1 || kind == 2)) kind = 0; // no header left to aim at
            switch (kind) {
            case 0: // any byte
                file[pick(file.size())] = uint8_t(random());
                break;
            case 1: { // a 16-bit field of the map, to a boundary value or anything
                const size_t map = std::min<size_t>(Get32(file, 4), file.size() - 2);
                const size_t at = map + 2 * pick((file.size() - map) / 2);
                const unsigned values[] = {0, 1, 0x7FFF, 0x8000, 0xFFFF, unsigned(random())};
                Put16(file, std::min(at, file.size() - 2), values[pick(6)]);
                break;
            }
            case 2: // a header field
                Put32(file, 4 * pick(4), pick(2) ? uint32_t(random()) : uint32_t(pick(400)));
                break;
            case 3:
                file.resize(pick(file.size() + 1));
                break;
            default:
                file.resize(file.size() + pick(64), uint8_t(random()));
                break;
            }
        }
    }

    // Asks the open, current file for everything it may hold, then writes it back.
    void Exercise(ResFileRefNum file) {
        for (int16_t id : {1, -5, 128, 300}) {
            for (ResType type : {kPref, kText, kStrList}) {
                Handle h = Get1Resource(type, id);
                if (h) GetResInfo(h, nullptr, nullptr, nullptr);
            }
            Str255 text;
            GetIndString(text, id, 1);
            GetIndString(text, id, 3);
        }
        Add(kExtra, 1, {7});
        CloseResFile(file);
        ASSERT_EQ(ResError(), noErr);
        const ResFileRefNum again = OpenResFileAtPath(PathOf("mutant.rsrc").c_str(), fsRdPerm);
        ASSERT_GT(again, 0) << "a file written back must read again, ResError " << ResError();
        EXPECT_EQ(BytesOf(Get1Resource(kExtra, 1)), Bytes{7});
        CloseResFile(again);
    }
};

TEST_F(MutatedFileTest, EveryMutantOpensCleanlyOrFailsWithMapReadErr) {
    const Bytes valid = ValidFile();
    std::mt19937 random(20240611);
    int opened = 0, refused = 0;
    for (int round = 0; round < 1000; ++round) {
        SCOPED_TRACE(round);
        Bytes mutant = valid;
        Mutate(mutant, random);
        WriteBytes(PathOf("mutant.rsrc"), mutant);
        const ResFileRefNum file = OpenResFileAtPath(PathOf("mutant.rsrc").c_str(), fsRdWrPerm);
        if (file < 0) {
            ASSERT_EQ(ResError(), mapReadErr);
            ++refused;
            continue;
        }
        ++opened;
        Exercise(file);
        if (HasFatalFailure()) return;
    }
    // Both outcomes must occur, or the mutator is not reaching the parser's checks.
    EXPECT_GT(opened, 100);
    EXPECT_GT(refused, 100);
}

} // namespace
