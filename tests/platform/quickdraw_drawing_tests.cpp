// Tests of the pen: fills, frames, oval rings, colours and clipping.
#include "quickdraw_testing.h"

#include <cstring>
#include <deque>
#include <tuple>

using qdtest::MakeRect;
using qdtest::ScopedCurrentPort;
using qdtest::ScopedGWorld;

namespace {

const Rect kBounds = MakeRect(-3, 5, 14, 16);
const Rect kClip = MakeRect(-1, 6, 12, 15);
const RGBColor kFore = {0x1234, 0xABCD, 0x00FF}, kBack = {0xFFFF, 0x8000, 0x0101};
const uint8_t kForeBytes[4] = {0xFF, 0x12, 0xAB, 0x00}; // opaque, each channel's high byte
const uint8_t kBackBytes[4] = {0xFF, 0xFF, 0x80, 0x01};
const RGBColor kBlack = {0, 0, 0}, kWhite = {0xFFFF, 0xFFFF, 0xFFFF};

enum class Shape { Paint, Erase, Frame, Oval };

bool Inside(const Rect& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Draws with the port's colours set and the pen in srcOr, which must still paint solid.
void DrawInto(const ScopedGWorld& image, const Rect& clip, Shape shape, const Rect& r) {
    ScopedCurrentPort current(image.get());
    ClipRect(&clip);
    RGBForeColor(&kFore);
    RGBBackColor(&kBack);
    PenMode(srcOr);
    void (*const draw[])(const Rect*) = {PaintRect, EraseRect, FrameRect, FrameOval};
    draw[int(shape)](&r);
    PenNormal();
}

class DrawClipping : public testing::TestWithParam<std::tuple<Shape, qdtest::NamedRect>> {};

// Unclipped, the rectangle shapes paint exactly their pixels in the right colour and an oval
// stays inside its rectangle; with a clip, the same pixels show inside it and nothing changes
// outside it, row padding included.
TEST_P(DrawClipping, PaintsOnlyTheShapeInsideClipAndBounds) {
    const auto& [shape, named] = GetParam();
    const Rect& r = named.rect;
    ScopedGWorld whole(kBounds), clipped(kBounds);
    whole.fillPattern(9);
    clipped.fillPattern(9);
    auto expectedClipped = whole.snapshot();
    const auto original = expectedClipped;
    DrawInto(whole, kBounds, shape, r);
    DrawInto(clipped, kClip, shape, r);
    for (int y = kBounds.top; y < kBounds.bottom; ++y) {
        for (int x = kBounds.left; x < kBounds.right; ++x) {
            const size_t at = size_t(whole.pixel(x, y) - whole.base());
            const bool edge = x == r.left || x == r.right - 1 || y == r.top || y == r.bottom - 1;
            const bool covered = Inside(r, x, y) && (shape != Shape::Frame || edge);
            if (shape != Shape::Oval || !covered) {
                const uint8_t* want = !covered                ? &original[at]
                                      : shape == Shape::Erase ? kBackBytes
                                                              : kForeBytes;
                EXPECT_EQ(std::memcmp(whole.pixel(x, y), want, 4), 0) << x << "," << y;
            }
            if (Inside(kClip, x, y)) std::memcpy(&expectedClipped[at], whole.pixel(x, y), 4);
        }
    }
    EXPECT_EQ(clipped.snapshot(), expectedClipped);
}

std::string ShapeCaseName(const testing::TestParamInfo<DrawClipping::ParamType>& info) {
    static const char* const kShapes[] = {"Paint", "Erase", "Frame", "Oval"};
    return kShapes[int(std::get<0>(info.param))] + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Shapes, DrawClipping,
                         testing::Combine(testing::Values(Shape::Paint, Shape::Erase, Shape::Frame,
                                                          Shape::Oval),
                                          testing::ValuesIn(qdtest::AwkwardRects(kBounds))),
                         ShapeCaseName);

// One character per pixel: '.' untouched, 'w' light (red byte >= 128), 'k' dark.
using Picture = std::vector<std::string>;

Picture Capture(const ScopedGWorld& image) {
    const Rect& b = image.bounds();
    Picture picture(size_t(b.bottom - b.top), std::string(size_t(b.right - b.left), '.'));
    for (int y = b.top; y < b.bottom; ++y)
        for (int x = b.left; x < b.right; ++x)
            if (image.pixel(x, y)[0])
                picture[size_t(y - b.top)][size_t(x - b.left)] =
                    image.pixel(x, y)[1] & 0x80 ? 'w' : 'k';
    return picture;
}

// Marks 'o' the pixels 4-connected to the top-left corner through pixels other than `wall`.
Picture FloodOutside(Picture picture, char wall) {
    std::deque<std::pair<int, int>> todo{{0, 0}};
    while (!todo.empty()) {
        const auto [x, y] = todo.front();
        todo.pop_front();
        if (y < 0 || y >= int(picture.size()) || x < 0 || x >= int(picture[0].size())) continue;
        char& c = picture[size_t(y)][size_t(x)];
        if (c == 'o' || c == wall) continue;
        c = 'o';
        todo.insert(todo.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
    }
    return picture;
}

std::string Describe(const Picture& picture) {
    std::string text = "\n";
    for (const auto& row : picture)
        text += row + "\n";
    return text;
}

// Every ring stays in its box and touches all four sides, is symmetric both ways, is one pixel
// thick (each of its pixels borders the outside) and closed (the outside cannot reach the
// centre). Drawn with a one-pixel margin around the box.
TEST(FrameOval, RingsAreClosedSymmetricThinAndTouchTheirBox) {
    std::vector<std::pair<int, int>> sizes = {{200, 120}, {333, 5}, {7, 250}};
    for (int w = 1; w <= 24; ++w)
        for (int h = 1; h <= 24; ++h)
            sizes.emplace_back(w, h);
    for (const auto& [w, h] : sizes) {
        ScopedGWorld image(w + 2, h + 2);
        ScopedCurrentPort current(image.get());
        const Rect box = MakeRect(1, 1, w + 1, h + 1);
        FrameOval(&box);
        const Picture ring = Capture(image), outside = FloodOutside(ring, 'k');
        const auto at = [](const Picture& p, int x, int y) { return p[size_t(y)][size_t(x)]; };
        bool ok = (w < 3 || h < 3 || at(outside, (w + 1) / 2, (h + 1) / 2) == '.');
        bool top = false, bottom = false, left = false, right = false;
        for (int y = 0; y < h + 2; ++y) {
            for (int x = 0; x < w + 2; ++x) {
                if (at(ring, x, y) != 'k') continue;
                ok = ok && Inside(box, x, y) && at(ring, w + 1 - x, y) == 'k' &&
                     at(ring, x, h + 1 - y) == 'k';
                ok = ok && (at(outside, x - 1, y) == 'o' || at(outside, x + 1, y) == 'o' ||
                            at(outside, x, y - 1) == 'o' || at(outside, x, y + 1) == 'o');
                top = top || y == 1;
                bottom = bottom || y == h;
                left = left || x == 1;
                right = right || x == w;
            }
        }
        ASSERT_TRUE(ok && top && bottom && left && right) << w << "x" << h << Describe(ring);
    }
}

// A region handle: rings of 12, 10 and 8 pixels, black, white, black, in srcOr. The outer
// black ring and the white one stay closed, and nothing between the outer ring and the inner
// one is left unpainted.
TEST(FrameOval, ConcentricHandleRingsLeaveNoGaps) {
    ScopedGWorld image(14, 14);
    ScopedCurrentPort current(image.get());
    PenMode(srcOr);
    Rect box = MakeRect(1, 1, 13, 13);
    for (const RGBColor& colour : {kBlack, kWhite, kBlack}) {
        RGBForeColor(&colour);
        FrameOval(&box);
        InsetRect(&box, 1, 1);
    }
    const Picture rings = Capture(image), outside = FloodOutside(rings, 'k');
    EXPECT_EQ(FloodOutside(rings, 'w')[7][7], '.') << Describe(rings);
    for (int y = 0; y < 14; ++y) {
        for (int x = 0; x < 14; ++x) {
            const bool unpaintedInside = outside[size_t(y)][size_t(x)] == '.';
            EXPECT_FALSE(unpaintedInside && !Inside(MakeRect(4, 4, 10, 10), x, y))
                << x << "," << y << Describe(rings);
        }
    }
}

// An oval that sticks out of its image shows exactly the pixels it has when drawn whole.
TEST(FrameOval, PartlyOutsideMatchesTheWholeOval) {
    const Rect oval = MakeRect(-20, -9, 30, 25);
    ScopedGWorld part(16, 12), whole(oval);
    DrawInto(part, part.bounds(), Shape::Oval, oval);
    DrawInto(whole, whole.bounds(), Shape::Oval, oval);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(std::memcmp(part.pixel(x, y), whole.pixel(x, y), 4), 0);
}

// A new port draws black on white clipped to its bounds; without a current port nothing is
// drawn and the getters answer those same defaults.
TEST(Pen, DefaultsAndNoCurrentPort) {
    ScopedGWorld image(kBounds);
    image.fillPattern(8);
    const auto before = image.snapshot();
    for (const CGrafPtr port : {image.get(), CGrafPtr(nullptr)}) {
        ScopedCurrentPort current(port);
        RGBColor fore = kFore, back = kFore;
        Rect clip;
        GetForeColor(&fore);
        GetBackColor(&back);
        GetClip(&clip);
        EXPECT_TRUE(fore.red == 0 && fore.green == 0 && fore.blue == 0);
        EXPECT_TRUE(back.red == 0xFFFF && back.green == 0xFFFF && back.blue == 0xFFFF);
        EXPECT_TRUE(port ? EqualRect(&clip, &kBounds) : EmptyRect(&clip));
    }
    ScopedCurrentPort none(nullptr);
    RGBForeColor(&kFore);
    ClipRect(&kClip);
    for (void (*draw)(const Rect*) : {PaintRect, EraseRect, FrameRect, FrameOval})
        draw(&kBounds);
    EXPECT_EQ(image.snapshot(), before);
}

} // namespace

// The widest box there is, 65535 pixels a side, seen through a window on its top edge. For a
// square box the oval's test reduces to (2x + 1 - w)^2 + (2y + 1 - w)^2 <= w^2, which 64 bits
// hold, so the expected ring is worked out here without the products the drawing code needs.
TEST(DrawOval, TheLargestBoxKeepsItsExactRing) {
    const Rect box = MakeRect(-32768, -32768, 32767, 32767);
    const int64_t w = 65535;
    const auto inside = [&](int x, int y) {
        const int64_t dx = 2 * int64_t(x - box.left) + 1 - w, dy = 2 * int64_t(y - box.top) + 1 - w;
        return dx * dx + dy * dy <= w * w;
    };
    // Around the top middle, where the ring runs nearly flat for a few hundred columns.
    const Rect window = MakeRect(-400, -32768, 400, -32760);
    ScopedGWorld image(window);
    image.fillPattern(3);
    const auto before = image.snapshot();
    {
        ScopedCurrentPort current(image.get());
        RGBForeColor(&kBlack);
        FrameOval(&box);
    }
    int ring = 0;
    for (int y = window.top; y < window.bottom; ++y) {
        for (int x = window.left; x < window.right; ++x) {
            // On the ring: inside, with a side neighbour outside (the box's edge counts as out).
            const bool onRing = inside(x, y) && (!inside(x - 1, y) || !inside(x + 1, y) ||
                                                 !inside(x, y - 1) || !inside(x, y + 1));
            const size_t at = size_t(image.pixel(x, y) - image.base());
            const uint8_t black[4] = {0xFF, 0, 0, 0};
            ring += onRing;
            EXPECT_EQ(std::memcmp(image.pixel(x, y), onRing ? black : &before[at], 4), 0)
                << x << "," << y;
        }
    }
    EXPECT_GT(ring, 100);
}
