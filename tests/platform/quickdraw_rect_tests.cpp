// Tests of the rectangle arithmetic on 16-bit sides.
#include "quickdraw_testing.h"

using qdtest::MakeRect;

namespace {

struct Section {
    const char* name;
    Rect a, b;
    bool overlaps;
    Rect common;
};

class SectRectCases : public testing::TestWithParam<Section> {};

// Either argument order, and the result written over an argument, give the same answer.
TEST_P(SectRectCases, GivesTheCommonPartOrAZeroRect) {
    const Section& c = GetParam();
    for (const bool swap : {false, true}) {
        Rect a = swap ? c.b : c.a, b = swap ? c.a : c.b, out = MakeRect(9, 9, 9, 9);
        EXPECT_EQ(bool(SectRect(&a, &b, &out)), c.overlaps);
        EXPECT_TRUE(EqualRect(&out, &c.common));
        EXPECT_EQ(bool(SectRect(&a, &b, &a)), c.overlaps);
        EXPECT_TRUE(EqualRect(&a, &c.common));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, SectRectCases,
    testing::Values(
        Section{"Overlapping", MakeRect(0, 0, 10, 8), MakeRect(5, -3, 20, 4), true,
                MakeRect(5, 0, 10, 4)},
        Section{"TouchingEdges", MakeRect(0, 0, 10, 8), MakeRect(10, 0, 12, 8), false, Rect{}},
        Section{"EmptyInside", MakeRect(0, 0, 10, 8), MakeRect(4, 4, 4, 6), false, Rect{}},
        Section{"Swapped", MakeRect(0, 0, 10, 8), MakeRect(8, 6, 2, 1), false, Rect{}},
        Section{"Extremes", MakeRect(-32768, -32768, 32767, 32767), MakeRect(32766, -5, 32767, 5),
                true, MakeRect(32766, -5, 32767, 5)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RectArithmetic, PointsAreInsideHalfOpenAndCornersMakeRects) {
    const Rect r = MakeRect(10, 20, 13, 22);
    EXPECT_TRUE(PtInRect(Point{20, 10}, &r) && PtInRect(Point{21, 12}, &r));
    EXPECT_FALSE(PtInRect(Point{22, 12}, &r) || PtInRect(Point{21, 13}, &r) ||
                 PtInRect(Point{19, 10}, &r));
    Rect a, b;
    Pt2Rect(Point{50, 0}, Point{10, 60}, &a);
    Pt2Rect(Point{10, 60}, Point{50, 0}, &b);
    const Rect expected = MakeRect(0, 10, 60, 50);
    EXPECT_TRUE(EqualRect(&a, &expected) && EqualRect(&b, &expected));
}

// Sides wrap modulo 2^16 as stored, without undefined arithmetic on the way.
TEST(RectArithmetic, OffsetAndInsetWrapAsStored) {
    Rect r = MakeRect(32760, -32768, 32767, -32760);
    OffsetRect(&r, 1, -1);
    const Rect offset = MakeRect(32761, 32767, -32768, -32761);
    EXPECT_TRUE(EqualRect(&r, &offset));
    Rect box = MakeRect(0, 0, 12, 12);
    InsetRect(&box, 1, 2);
    const Rect inset = MakeRect(1, 2, 11, 10);
    EXPECT_TRUE(EqualRect(&box, &inset));
    InsetRect(&box, 6, 0);
    EXPECT_TRUE(EmptyRect(&box));
}

} // namespace
