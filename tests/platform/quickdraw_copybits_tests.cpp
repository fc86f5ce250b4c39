// Tests of CopyBits against a plain per-pixel copy, with awkward rectangles and overlaps.
#include "quickdraw_testing.h"

#include <algorithm>
#include <cstring>
#include <tuple>

using qdtest::MakeRect;
using qdtest::ScopedCurrentPort;
using qdtest::ScopedGWorld;

namespace {

// 17 x 11 pixels, so that each row has 12 bytes of padding, and not anchored at (0, 0).
const Rect kBounds = MakeRect(-3, 5, 14, 16);
const Rect kClip = MakeRect(-1, 6, 12, 15);

// The plain version: each destination pixel in d, the image and `clip` takes the source pixel
// under its centre, scaled from d to s, when that pixel is inside the source image.
std::vector<uint8_t> ReferenceCopy(const ScopedGWorld& src, const std::vector<uint8_t>& srcBytes,
                                   const ScopedGWorld& dst, const Rect& s, const Rect& d,
                                   const Rect& clip) {
    std::vector<uint8_t> out = dst.snapshot();
    if (EmptyRect(&s) || EmptyRect(&d)) return out;
    const int64_t sw = s.right - s.left, sh = s.bottom - s.top, dw = d.right - d.left,
                  dh = d.bottom - d.top;
    const Rect& b = dst.bounds();
    for (int y = std::max({d.top, b.top, clip.top});
         y < std::min({d.bottom, b.bottom, clip.bottom}); ++y) {
        for (int x = std::max({d.left, b.left, clip.left});
             x < std::min({d.right, b.right, clip.right}); ++x) {
            const int sx = int(s.left + (2 * (x - d.left) + 1) * sw / (2 * dw));
            const int sy = int(s.top + (2 * (y - d.top) + 1) * sh / (2 * dh));
            if (src.contains(sx, sy)) {
                std::memcpy(&out[size_t(dst.pixel(x, y) - dst.base())],
                            &srcBytes[size_t(src.pixel(sx, sy) - src.base())], 4);
            }
        }
    }
    return out;
}

enum class Role { Source, Destination, Both };

class CopyBitsAwkward : public testing::TestWithParam<std::tuple<qdtest::NamedRect, Role, bool>> {};

// The awkward rectangle as source, destination or both (a same-size copy), into an image that
// is or is not the current port, whose clip is smaller; every byte of the destination, row
// padding included, must be what the plain version gives.
TEST_P(CopyBitsAwkward, MatchesThePlainCopy) {
    const auto& [named, role, clipped] = GetParam();
    ScopedGWorld src(kBounds), dst(kBounds), other(2, 2);
    src.fillPattern(1);
    dst.fillPattern(2);
    ScopedCurrentPort current(clipped ? dst.get() : other.get());
    ClipRect(&kClip);
    const Rect s = role == Role::Destination ? kBounds : named.rect;
    const Rect d = role == Role::Source ? kBounds : named.rect;
    const auto expected = ReferenceCopy(src, src.snapshot(), dst, s, d, clipped ? kClip : kBounds);
    CopyBits(src.bits(), dst.bits(), &s, &d, srcCopy, nullptr);
    EXPECT_EQ(dst.snapshot(), expected);
}

std::string AwkwardCaseName(const testing::TestParamInfo<CopyBitsAwkward::ParamType>& info) {
    static const char* const kRoles[] = {"AsSource", "AsDestination", "AsBoth"};
    const auto& [named, role, clipped] = info.param;
    return named.name + kRoles[int(role)] + (clipped ? "Clipped" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Rects, CopyBitsAwkward,
    testing::Combine(testing::ValuesIn(qdtest::AwkwardRects(kBounds)),
                     testing::Values(Role::Source, Role::Destination, Role::Both), testing::Bool()),
    AwkwardCaseName);

class CopyBitsOverlap : public testing::TestWithParam<qdtest::NamedRect> {};

// Within one image the result is as if the source had been read before anything was written.
TEST_P(CopyBitsOverlap, ReadsTheSourceAsItWas) {
    ScopedGWorld image(kBounds);
    image.fillPattern(3);
    const Rect s = MakeRect(0, 7, 9, 13);
    const auto expected =
        ReferenceCopy(image, image.snapshot(), image, s, GetParam().rect, kBounds);
    CopyBits(image.bits(), image.bits(), &s, &GetParam().rect, srcCopy, nullptr);
    EXPECT_EQ(image.snapshot(), expected);
}

INSTANTIATE_TEST_SUITE_P(Shifts, CopyBitsOverlap,
                         testing::Values(qdtest::NamedRect{"Right", MakeRect(1, 7, 10, 13)},
                                         qdtest::NamedRect{"Left", MakeRect(-1, 7, 8, 13)},
                                         qdtest::NamedRect{"Down", MakeRect(0, 8, 9, 14)},
                                         qdtest::NamedRect{"UpLeft", MakeRect(-2, 5, 7, 11)},
                                         qdtest::NamedRect{"DownRightGrown",
                                                           MakeRect(2, 8, 13, 16)},
                                         qdtest::NamedRect{"UpShrunk", MakeRect(1, 6, 6, 10)}),
                         [](const auto& info) { return info.param.name; });

// Halving samples each 2 x 2 block at its centre, which falls on the block's lower-right pixel;
// enlarging by 3 repeats each pixel in a 3 x 3 block. Any transfer mode copies.
TEST(CopyBitsScaling, SamplesPixelCentres) {
    ScopedGWorld src(8, 6), half(4, 3), triple(24, 18);
    src.fillPattern(5);
    half.fillPattern(6);
    CopyBits(src.bits(), half.bits(), &src.bounds(), &half.bounds(), srcOr, nullptr);
    CopyBits(src.bits(), triple.bits(), &src.bounds(), &triple.bounds(), srcCopy, nullptr);
    for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < 24; ++x) {
            EXPECT_EQ(std::memcmp(triple.pixel(x, y), src.pixel(x / 3, y / 3), 4), 0)
                << x << "," << y;
            if (x < 4 && y < 3) {
                EXPECT_EQ(std::memcmp(half.pixel(x, y), src.pixel(2 * x + 1, 2 * y + 1), 4), 0);
            }
        }
    }
}

} // namespace
