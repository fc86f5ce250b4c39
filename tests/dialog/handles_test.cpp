// Region handles: hit-testing, corner and inside drags, and the handles' rings.
#include "dlgUtils.h"

#include "carbonmacros.h"
#include "testhost.h"

#include <gtest/gtest.h>

namespace {

Rect R(int top, int left, int bottom, int right) {
    return Rect{int16_t(top), int16_t(left), int16_t(bottom), int16_t(right)};
}
Point P(int h, int v) {
    return Point{int16_t(v), int16_t(h)};
}

::testing::AssertionResult SameRect(const Rect& got, const Rect& want) {
    if (got.top == want.top && got.left == want.left && got.bottom == want.bottom &&
        got.right == want.right)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got (top " << got.top << ", left " << got.left << ", bottom " << got.bottom
           << ", right " << got.right << "), want (top " << want.top << ", left " << want.left
           << ", bottom " << want.bottom << ", right " << want.right << ")";
}

template <typename T> std::string RowName(const testing::TestParamInfo<T>& info) {
    return info.param.name;
}

// --- IsHandleHit ---------------------------------------------------------------------------

struct HitCase {
    const char* name;
    Rect region;
    Point where;
    int16_t want;
};

class HandleHit : public testing::TestWithParam<HitCase> {};

TEST_P(HandleHit, FindsTheHandle) {
    EXPECT_EQ(IsHandleHit(GetParam().region, GetParam().where), GetParam().want);
}

const Rect kRegion = R(100, 100, 200, 300);

INSTANTIATE_TEST_SUITE_P(
    Regions, HandleHit,
    testing::Values(
        HitCase{"TopLeftBoxCorner", kRegion, P(94, 94), kHandleTopLeft},
        HitCase{"TopLeftBoxRightEdgeIsOutside", kRegion, P(106, 100), kHandleInside},
        HitCase{"LeftOfTopLeftBox", kRegion, P(93, 100), kHandleNone},
        HitCase{"TopRightBoxOutsideRegion", kRegion, P(305, 94), kHandleTopRight},
        HitCase{"BottomLeftBoxOutsideRegion", kRegion, P(95, 205), kHandleBottomLeft},
        HitCase{"BottomRightBoxOutsideRegion", kRegion, P(305, 205), kHandleBottomRight},
        HitCase{"BottomRightBoxInsideRegion", kRegion, P(299, 199), kHandleBottomRight},
        HitCase{"Inside", kRegion, P(200, 150), kHandleInside},
        HitCase{"RightEdgeIsOutside", kRegion, P(300, 150), kHandleNone},
        HitCase{"BottomEdgeIsOutside", kRegion, P(200, 200), kHandleNone},
        HitCase{"FarAway", kRegion, P(-500, 1000), kHandleNone},
        HitCase{"NarrowRegionLowerNumberWins", R(100, 100, 200, 110), P(104, 100), kHandleTopLeft},
        HitCase{"NarrowRegionRightBoxOnly", R(100, 100, 200, 110), P(115, 100), kHandleTopRight},
        HitCase{"LowRegionTopBeatsBottom", R(100, 100, 104, 300), P(100, 103), kHandleTopLeft},
        HitCase{"EmptyRegionKeepsItsHandles", R(50, 50, 50, 50), P(50, 50), kHandleTopLeft},
        HitCase{"EmptyRegionHasNoInside", R(50, 50, 50, 80), P(65, 50), kHandleNone},
        HitCase{"HugeCornerBoxDoesNotWrap", R(32760, 32760, 32767, 32767), P(32766, 32766),
                kHandleBottomRight},
        HitCase{"HugeNegativeCornerBoxDoesNotWrap", R(-32768, -32768, -32760, -32760),
                P(-32768, -32768), kHandleTopLeft}),
    RowName<HitCase>);

// --- DragCorner ----------------------------------------------------------------------------

struct CornerCase {
    const char* name;
    int16_t handle;
    Rect start;
    Point oldLoc, newLoc;
    UInt32 modifiers;
    RelRect origRel; // in kFrame
    Rect want;
};

// 800 x 400, so that the regions below convert to whole pixels exactly.
const Rect kFrame = R(0, 0, 400, 800);
const RelRect kWide{0.125, 0.375, 0.25, 0.5};  // 200 wide, 100 high
const RelRect kTall{0.125, 0.25, 0.25, 0.75};  // 100 wide, 200 high
const RelRect kSquare{0.125, 0.25, 0.25, 0.5}; // 100 x 100
const Rect kBox = R(10, 10, 50, 60);

class CornerDrag : public testing::TestWithParam<CornerCase> {};

TEST_P(CornerDrag, GivesTheNewRectangle) {
    const CornerCase& c = GetParam();
    Rect rect = c.start;
    DragCorner(c.handle, &rect, c.oldLoc, c.newLoc, c.modifiers, kFrame, c.origRel);
    EXPECT_TRUE(SameRect(rect, c.want));
}

INSTANTIATE_TEST_SUITE_P(
    Handles, CornerDrag,
    testing::Values(
        CornerCase{"TopLeft", 1, kBox, P(10, 10), P(15, 15), 0, kWide, R(15, 15, 50, 60)},
        CornerCase{"TopRight", 2, kBox, P(60, 10), P(65, 15), 0, kWide, R(15, 10, 50, 65)},
        CornerCase{"BottomLeft", 3, kBox, P(10, 50), P(15, 55), 0, kWide, R(10, 15, 55, 60)},
        CornerCase{"BottomRight", 4, kBox, P(60, 50), P(65, 55), 0, kWide, R(10, 10, 55, 65)},
        CornerCase{"MovementNotPosition", 4, kBox, P(0, 0), P(5, 5), 0, kWide, R(10, 10, 55, 65)},
        CornerCase{"OptionBottomRight", 4, kBox, P(60, 50), P(65, 55), OPTIONMASK, kWide,
                   R(5, 5, 55, 65)},
        CornerCase{"OptionTopLeft", 1, kBox, P(10, 10), P(15, 15), OPTIONMASK, kWide,
                   R(15, 15, 45, 55)},
        CornerCase{"OptionTopRight", 2, kBox, P(60, 10), P(70, 5), OPTIONMASK, kWide,
                   R(5, 0, 55, 70)},
        CornerCase{"OtherModifiersIgnored", 4, kBox, P(60, 50), P(65, 55), CMDMASK | CTRLMASK,
                   kWide, R(10, 10, 55, 65)},
        CornerCase{"TurnedOverLeftEdge", 4, kBox, P(60, 50), P(0, 50), 0, kWide, R(10, 0, 50, 10)},
        CornerCase{"TurnedOverBothWays", 1, kBox, P(10, 10), P(80, 70), 0, kWide,
                   R(50, 60, 70, 80)},
        CornerCase{"OptionTurnedOver", 4, kBox, P(60, 50), P(30, 20), OPTIONMASK, kWide,
                   R(20, 30, 40, 40)},
        CornerCase{"ShiftWideKeepsWidth", 4, R(20, 20, 70, 300), P(300, 70), P(320, 70), SHIFTMASK,
                   kWide, R(20, 20, 170, 320)},
        CornerCase{"ShiftTallKeepsHeight", 4, R(20, 20, 100, 100), P(100, 100), P(110, 120),
                   SHIFTMASK, kTall, R(20, 20, 120, 70)},
        CornerCase{"ShiftSquareKeepsHeight", 4, R(20, 20, 100, 100), P(100, 100), P(150, 110),
                   SHIFTMASK, kSquare, R(20, 20, 110, 110)},
        CornerCase{"ShiftRoundsHalfUp", 4, R(0, 0, 10, 10), P(10, 10), P(11, 10), SHIFTMASK, kWide,
                   R(0, 0, 6, 11)},
        CornerCase{"ShiftTopLeftKeepsNewTopLeft", 1, R(20, 20, 120, 220), P(20, 20), P(40, 20),
                   SHIFTMASK, kWide, R(20, 40, 110, 220)},
        CornerCase{"OptionThenShift", 4, kBox, P(60, 50), P(65, 55), OPTIONMASK | SHIFTMASK, kWide,
                   R(5, 5, 35, 65)},
        CornerCase{"NoCornerZero", 0, kBox, P(60, 50), P(65, 55), OPTIONMASK, kWide, kBox},
        CornerCase{"NoCornerInside", 5, kBox, P(60, 50), P(65, 55), SHIFTMASK, kWide, kBox},
        CornerCase{"NoCornerNegative", -1, kBox, P(60, 50), P(65, 55), 0, kWide, kBox}),
    RowName<CornerCase>);

// --- DragRect ------------------------------------------------------------------------------

struct MoveCase {
    const char* name;
    Point oldLoc, newLoc;
    UInt32 modifiers;
    Rect want;
};

class InsideDrag : public testing::TestWithParam<MoveCase> {};

TEST_P(InsideDrag, MovesByTheMouseMovement) {
    Rect rect = kBox;
    DragRect(&rect, GetParam().oldLoc, GetParam().newLoc, GetParam().modifiers);
    EXPECT_TRUE(SameRect(rect, GetParam().want));
}

INSTANTIATE_TEST_SUITE_P(
    Moves, InsideDrag,
    testing::Values(MoveCase{"RightDown", P(20, 20), P(27, 31), 0, R(21, 17, 61, 67)},
                    MoveCase{"LeftUp", P(20, 20), P(17, 12), 0, R(2, 7, 42, 57)},
                    MoveCase{"None", P(20, 20), P(20, 20), 0, kBox},
                    MoveCase{"ShiftIgnored", P(20, 20), P(27, 31), SHIFTMASK, R(21, 17, 61, 67)},
                    MoveCase{"OptionIgnored", P(20, 20), P(27, 31), OPTIONMASK, R(21, 17, 61, 67)},
                    MoveCase{"BeyondAnyFrame", P(500, 500), P(0, 0), 0, R(-490, -490, -450, -440)}),
    RowName<MoveCase>);

TEST(InsideDrag, StepsAddUp) {
    Rect rect = kBox;
    Point last = P(30, 30);
    for (const Point next : {P(33, 31), P(40, 29), P(38, 45)}) {
        DragRect(&rect, last, next, 0);
        last = next;
    }
    EXPECT_TRUE(SameRect(rect, R(25, 18, 65, 68)));
}

// --- DrawHandles ---------------------------------------------------------------------------

constexpr uint32_t kRGB = 0x00FFFFFF;
constexpr uint32_t kBlackRGB = 0x000000;
constexpr uint32_t kWhiteRGB = 0xFFFFFF;
constexpr uint32_t kBackdrop = 0xFF336699;

struct ColorCase {
    const char* name;
    RGBColor color;
};

class HandleRings : public testing::TestWithParam<ColorCase> {
  protected:
    void SetUp() override {
        image = NewTestImage(120, 90);
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 120; ++x)
                SetPixelAt(image, x, y, kBackdrop);
        GetGWorld(&savedPort, &savedDevice);
        SetGWorld(image, nullptr);
    }
    void TearDown() override {
        SetGWorld(savedPort, savedDevice);
        DisposeGWorld(image);
    }
    uint32_t RGBAt(int x, int y) const { return PixelAt(image, x, y) & kRGB; }

    // Along the middle row and column of the handle at (cx, cy), from the box's edge inwards:
    // black, white, black, then the untouched hole.
    void ExpectRingsAt(int cx, int cy) const {
        SCOPED_TRACE(testing::Message() << "handle at (" << cx << ", " << cy << ")");
        EXPECT_EQ(RGBAt(cx - 6, cy), kBlackRGB);
        EXPECT_EQ(RGBAt(cx - 5, cy), kWhiteRGB);
        EXPECT_EQ(RGBAt(cx - 4, cy), kBlackRGB);
        EXPECT_EQ(RGBAt(cx + 3, cy), kBlackRGB);
        EXPECT_EQ(RGBAt(cx + 4, cy), kWhiteRGB);
        EXPECT_EQ(RGBAt(cx + 5, cy), kBlackRGB);
        EXPECT_EQ(RGBAt(cx, cy - 6), kBlackRGB);
        EXPECT_EQ(RGBAt(cx, cy - 5), kWhiteRGB);
        EXPECT_EQ(RGBAt(cx, cy - 4), kBlackRGB);
        EXPECT_EQ(RGBAt(cx, cy + 5), kBlackRGB);
        EXPECT_EQ(RGBAt(cx, cy + 4), kWhiteRGB);
        EXPECT_EQ(RGBAt(cx, cy + 3), kBlackRGB);
        EXPECT_EQ(PixelAt(image, cx, cy), kBackdrop) << "the hole stays";
        EXPECT_EQ(PixelAt(image, cx - 7, cy), kBackdrop) << "nothing outside the box";
        EXPECT_EQ(PixelAt(image, cx + 6, cy), kBackdrop) << "the box's right edge is outside";
        EXPECT_EQ(PixelAt(image, cx, cy + 6), kBackdrop) << "the box's bottom edge is outside";
    }

    GWorldPtr image = nullptr;
    CGrafPtr savedPort = nullptr;
    GDHandle savedDevice = nullptr;
};

TEST_P(HandleRings, AreBlackWhiteBlackWhateverTheColour) {
    DrawHandles(R(20, 30, 70, 90), GetParam().color);
    ExpectRingsAt(30, 20);
    ExpectRingsAt(90, 20);
    ExpectRingsAt(30, 70);
    ExpectRingsAt(90, 70);
    EXPECT_EQ(PixelAt(image, 60, 45), kBackdrop) << "handles only, no outline";
    RGBColor fore;
    GetForeColor(&fore);
    EXPECT_EQ(fore.red | fore.green | fore.blue, 0) << "the foreground is left black";
}

INSTANTIATE_TEST_SUITE_P(Colours, HandleRings,
                         testing::Values(ColorCase{"Red", {65535, 0, 0}},
                                         ColorCase{"Black", {0, 0, 0}},
                                         ColorCase{"White", {65535, 65535, 65535}},
                                         ColorCase{"Grey", {30000, 30000, 30000}}),
                         RowName<ColorCase>);

TEST_F(HandleRings, OfAnEmptyRegionStandAtItsCorners) {
    DrawHandles(R(40, 50, 40, 50), RGBColor{0, 65535, 0});
    ExpectRingsAt(50, 40);
}

} // namespace
