// Regions in fractions, rectangle proportions and image allocation.
#include "commonprocs.h"
#include "relrects.h"

#include "DataHandling.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

::testing::AssertionResult SameRect(const Rect& got, const Rect& want) {
    if (got.top == want.top && got.left == want.left && got.bottom == want.bottom &&
        got.right == want.right)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got (" << got.top << ", " << got.left << ", " << got.bottom << ", " << got.right
           << "), want (" << want.top << ", " << want.left << ", " << want.bottom << ", "
           << want.right << ")";
}

struct RelCase {
    const char* name;
    RelRect rel;
    Rect frame;
    Rect want;
};

class RelToRect : public testing::TestWithParam<RelCase> {};

TEST_P(RelToRect, ConvertsByTruncation) {
    EXPECT_TRUE(SameRect(Rel2Rect(GetParam().rel, GetParam().frame), GetParam().want));
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Regions, RelToRect,
    testing::Values(
        RelCase{"WholeFrame", {0, 1, 0, 1}, {0, 0, 480, 720}, {0, 0, 480, 720}},
        RelCase{"OffsetFrame", {0.25, 0.75, 0.5, 1}, {10, 20, 110, 220}, {60, 70, 110, 170}},
        RelCase{"NegativeTruncatesTowardZero", {-0.001, 1, 0, 1}, {0, 0, 480, 720}, {0, 0, 480, 720}},
        RelCase{"OutsideTheFrameUnclamped", {-0.5, 1.5, -1, 2}, {0, 0, 100, 200}, {-100, -100, 200, 300}},
        RelCase{"HugeSaturates", {-1e300, 1e300, -kInf, kInf}, {0, 0, 100, 200}, {-32768, -32768, 32767, 32767}},
        RelCase{"NaNIsZero", {kNaN, kNaN, kNaN, kNaN}, {5, 7, 100, 200}, {5, 7, 5, 7}},
        RelCase{"SumSaturates", {0, 1, 0, 1}, {32000, 32000, 32767, 32767}, {32000, 32000, 32767, 32767}}),
    [](const testing::TestParamInfo<RelCase>& info) { return info.param.name; });

TEST(RelRects, RoundTripCanLoseAPixelByTruncation) {
    const Rect frame = {0, 0, 480, 720};
    const RelRect rel = Rect2Rel(Rect{0, 13, 480, 720}, frame);
    EXPECT_EQ(rel.Left, 13.0 / 720.0);
    EXPECT_EQ(Rel2Rect(rel, frame).left, 12);
}

TEST(RelRects, RectToRelMeasuresFromTheFrameCorner) {
    const RelRect rel = Rect2Rel(Rect{60, 70, 110, 170}, Rect{10, 20, 110, 220});
    EXPECT_DOUBLE_EQ(rel.Left, 0.25);
    EXPECT_DOUBLE_EQ(rel.Right, 0.75);
    EXPECT_DOUBLE_EQ(rel.Top, 0.5);
    EXPECT_DOUBLE_EQ(rel.Bottom, 1.0);
    const RelRect bigger = Rect2Rel(Rect{-10, -20, 110, 220}, Rect{0, 0, 100, 200});
    EXPECT_LT(bigger.Left, 0.0);
    EXPECT_GT(bigger.Bottom, 1.0);
}

TEST(RelRects, ZeroSizedFrameGivesZeroFractionsNotInfinities) {
    const RelRect rel = Rect2Rel(Rect{1, 2, 3, 4}, Rect{0, 0, 0, 0});
    EXPECT_EQ(rel.Left, 0.0);
    EXPECT_EQ(rel.Bottom, 0.0);
}

TEST(RelRects, TweenIgnoresFrameIndexAndEndRegion) {
    PluginDataRec config{};
    ResetConfig(&config);
    config.StartRel = RelRect{0.1, 0.6, 0.2, 0.9};
    config.EndRel = RelRect{0, 0.1, 0, 0.1};
    const Rect frame = {0, 0, 100, 200};
    EXPECT_TRUE(SameRect(CalcTweenRect(&config, frame, 0, 100), CalcTweenRect(&config, frame, 99, 100)));
    EXPECT_TRUE(SameRect(CalcTweenRect(&config, frame, 5, 10), Rel2Rect(config.StartRel, frame)));
}

TEST(Proportions, KeepTheOriginalsShape) {
    const Rect original = {0, 0, 100, 200}; // 200 wide, 100 high
    EXPECT_EQ(KeepPropsWithFixedVertical(original, Rect{0, 0, 50, 999}).right, 100);
    const Rect wide = KeepPropsWithFixedHorizontal(original, Rect{20, 20, 40, 320});
    EXPECT_EQ(wide.bottom - wide.top, 150);
    EXPECT_EQ(wide.top, 20);
    EXPECT_EQ(wide.left, 20);
}

TEST(Proportions, FlatOriginalsLeaveTheSizeOrGiveAFlatResult) {
    const Rect size = {5, 5, 55, 105};
    EXPECT_TRUE(SameRect(KeepPropsWithFixedHorizontal(Rect{0, 0, 10, 0}, size), size));
    EXPECT_TRUE(SameRect(KeepPropsWithFixedVertical(Rect{0, 0, 0, 10}, size), size));
    // Width but no height: the proportion says no height, not a division by zero.
    EXPECT_EQ(KeepPropsWithFixedHorizontal(Rect{0, 0, 0, 10}, size).bottom, 5);
}

TEST(Proportions, RoundHalfUpAndNegativeTowardZero) {
    // 3 wide, 2 high original; 5 wide gives 3.333 high -> 3; 3 high gives 4.5 wide -> 5.
    EXPECT_EQ(KeepPropsWithFixedHorizontal(Rect{0, 0, 2, 3}, Rect{0, 0, 9, 5}).bottom, 3);
    EXPECT_EQ(KeepPropsWithFixedVertical(Rect{0, 0, 2, 3}, Rect{0, 0, 3, 9}).right, 5);
    // A turned-over size (-3 high) gives -4.5 wide -> trunc(-4.0) = -4.
    EXPECT_EQ(KeepPropsWithFixedVertical(Rect{0, 0, 2, 3}, Rect{10, 10, 7, 20}).right, 6);
}

TEST(Geometry, DimsAndColours) {
    int32_t w, h;
    GetDims(Rect{0, 30, 10, 20}, &w, &h);
    EXPECT_EQ(w, -10);
    EXPECT_EQ(h, 10);
    EXPECT_EQ(SetRGBColor(-1, 0, 1).red, 65535);
    EXPECT_EQ(SetRGBColor(-1, 0, 1).blue, 1);
}

TEST(Geometry, AllocatedImagesStartAtTheOriginLocked) {
    GWorldPtr image = AllocateRectGWorld(Rect{10, 20, 110, 220});
    ASSERT_NE(image, nullptr);
    const Rect bounds = GetPortRect(image);
    EXPECT_TRUE(SameRect(bounds, Rect{0, 0, 100, 200}));
    EXPECT_TRUE(GetPixelsState(GetGWorldPixMap(image)) & pixelsLocked);
    DisposeGWorld(image);
    EXPECT_EQ(AllocateRectGWorld(Rect{0, 0, 0, 10}), nullptr);
    LockGWorld(nullptr);
}

} // namespace
