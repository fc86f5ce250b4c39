// Blit: opacity arithmetic on every channel, clipping to both images, and scaling that samples
// the pixels CopyBits does.
#include "blend_row.h"
#include "blit.h"
#include "gworld.h"
#include "host_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace reelhost {
namespace {

// An image in a buffer with guard bytes all round, so writes outside it are caught.
class GuardedImage {
  public:
    static constexpr int kGuard = 3; // guard pixels on each side
    static constexpr uint8_t kFill = 0xA5;

    GuardedImage(int width, int height, int padBytes = 0)
        : width_(width), height_(height),
          rowBytes_((width + 2 * kGuard) * kBytesPerPixel + padBytes),
          bytes_(size_t(rowBytes_) * size_t(height + 2 * kGuard), kFill) {}

    PixelView View() {
        PixelView view;
        view.base = bytes_.data() + kGuard * rowBytes_ + kGuard * kBytesPerPixel;
        view.rowBytes = rowBytes_;
        view.bounds = MakeRect(width_, height_);
        return view;
    }
    uint8_t* At(int x, int y) { return View().Pixel(x, y); }
    void Fill(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                uint8_t* p = At(x, y);
                p[kAlphaByte] = a, p[kRedByte] = r, p[kGreenByte] = g, p[kBlueByte] = b;
            }
    }
    void FillRandom(std::mt19937& random) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                for (int c = 0; c < kBytesPerPixel; ++c)
                    At(x, y)[c] = uint8_t(random());
    }
    // True when nothing outside the image's own pixels changed.
    bool GuardsIntact() {
        const PixelView view = View();
        for (int y = -kGuard; y < height_ + kGuard; ++y)
            for (int x = -kGuard; x < width_ + kGuard; ++x) {
                const bool inside = x >= 0 && x < width_ && y >= 0 && y < height_;
                for (int c = 0; !inside && c < kBytesPerPixel; ++c)
                    if (view.Pixel(x, y)[c] != kFill) return false;
            }
        // Padding after each row's right guard.
        for (int y = 0; y < height_ + 2 * kGuard; ++y)
            for (long i = (width_ + 2 * kGuard) * kBytesPerPixel; i < rowBytes_; ++i)
                if (bytes_[size_t(y * rowBytes_ + i)] != kFill) return false;
        return true;
    }

  private:
    int width_, height_;
    long rowBytes_;
    std::vector<uint8_t> bytes_;
};

// Rounding to nearest, halves up, written independently of the integer form under test.
int NearestBlend(int src, int dst, int opacity) {
    return int(std::floor((src * opacity + dst * (255.0 - opacity)) / 255.0 + 0.5));
}

struct BlendCase {
    const char* name;
    int src, dst, opacity, expected;
};

class BlendKnownAnswers : public testing::TestWithParam<BlendCase> {};

TEST_P(BlendKnownAnswers, MatchesTheDocumentedRounding) {
    const BlendCase& c = GetParam();
    EXPECT_EQ(BlendChannel(uint8_t(c.src), uint8_t(c.dst), c.opacity), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Opacities, BlendKnownAnswers,
    testing::Values(BlendCase{"Zero_KeepsDestination", 255, 17, 0, 17},
                    BlendCase{"One_NudgesBlackTowardWhite", 255, 0, 1, 1},
                    BlendCase{"One_LeavesWhiteOverBlackAtOne", 0, 255, 1, 254},
                    BlendCase{"One_JustBelowHalfRoundsDown", 127, 0, 1, 0},
                    BlendCase{"Half_RoundsDown", 255, 0, 127, 127},
                    BlendCase{"Half_FromTheOtherSide", 0, 255, 127, 128},
                    BlendCase{"AlmostOpaque_KeepsOneStepOfDestination", 0, 255, 254, 1},
                    BlendCase{"AlmostOpaque_MidGrey", 100, 200, 254, 100},
                    BlendCase{"Opaque_TakesSource", 3, 250, 255, 3},
                    BlendCase{"Equal_ValuesAreFixed", 77, 77, 127, 77}),
    [](const testing::TestParamInfo<BlendCase>& info) { return info.param.name; });

class BlendEveryValue : public testing::TestWithParam<int> {};

TEST_P(BlendEveryValue, AgreesWithNearestRoundingForAllPairs) {
    const int opacity = GetParam();
    for (int src = 0; src < 256; ++src)
        for (int dst = 0; dst < 256; ++dst)
            ASSERT_EQ(BlendChannel(uint8_t(src), uint8_t(dst), opacity),
                      NearestBlend(src, dst, opacity))
                << "src " << src << " dst " << dst;
}

INSTANTIATE_TEST_SUITE_P(Opacities, BlendEveryValue, testing::Values(0, 1, 127, 254, 255));

class BlitImages : public testing::Test {
  protected:
    Blitter blitter_;
    std::mt19937 random_{1234};
};

TEST_F(BlitImages, BlendsEveryChannelIncludingAlphaWithPaddedRows) {
    for (int opacity : {0, 1, 127, 254, 255}) {
        GuardedImage src(7, 5, 12), dst(7, 5, 4);
        src.FillRandom(random_);
        dst.FillRandom(random_);
        GuardedImage before(7, 5, 4);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                std::copy_n(dst.At(x, y), 4, before.At(x, y));
        const Rect all = MakeRect(7, 5);
        blitter_.Draw(src.View(), dst.View(), all, all, opacity);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                for (int c = 0; c < kBytesPerPixel; ++c)
                    ASSERT_EQ(dst.At(x, y)[c],
                              NearestBlend(src.At(x, y)[c], before.At(x, y)[c], opacity))
                        << "opacity " << opacity << " at " << x << "," << y << " channel " << c;
        EXPECT_TRUE(dst.GuardsIntact());
    }
}

// Unscaled blits take a vector path: every source and destination value at every opacity,
// a row of 256 x 256 pairs, against the formula.
TEST_F(BlitImages, UnscaledBlendsAgreeWithTheFormulaForEveryValueAndOpacity) {
    GuardedImage src(256 * 256 / kBytesPerPixel, 1), dst(256 * 256 / kBytesPerPixel, 1);
    const Rect row = MakeRect(256 * 256 / kBytesPerPixel, 1);
    for (int opacity = 0; opacity < 256; ++opacity) {
        for (int i = 0; i < 256 * 256; ++i) {
            src.At(i / kBytesPerPixel, 0)[i % kBytesPerPixel] = uint8_t(i >> 8);
            dst.At(i / kBytesPerPixel, 0)[i % kBytesPerPixel] = uint8_t(i);
        }
        blitter_.Draw(src.View(), dst.View(), row, row, opacity);
        for (int i = 0; i < 256 * 256; ++i)
            ASSERT_EQ(dst.At(i / kBytesPerPixel, 0)[i % kBytesPerPixel],
                      NearestBlend(i >> 8, i & 255, opacity))
                << "src " << (i >> 8) << " dst " << (i & 255) << " opacity " << opacity;
    }
    EXPECT_TRUE(dst.GuardsIntact());
}

// The plain loop serves processors without vector code of ours, and every row's tail.
TEST(BlendRows, ThePlainLoopAgreesWithTheFormulaForEveryValueAndOpacity) {
    std::vector<uint8_t> from(256 * 256), to(256 * 256);
    for (int opacity = 0; opacity < 256; ++opacity) {
        for (int i = 0; i < 256 * 256; ++i) {
            from[size_t(i)] = uint8_t(i >> 8);
            to[size_t(i)] = uint8_t(i);
        }
        BlendRowPlain(from.data(), to.data(), to.size(), uint16_t(opacity));
        for (int i = 0; i < 256 * 256; ++i)
            ASSERT_EQ(to[size_t(i)], NearestBlend(i >> 8, i & 255, opacity))
                << "src " << (i >> 8) << " dst " << (i & 255) << " opacity " << opacity;
    }
}

TEST_F(BlitImages, OpacityOutsideTheRangeIsClamped) {
    GuardedImage src(2, 2), dst(2, 2);
    src.Fill(255, 255, 255, 255);
    dst.Fill(0, 10, 20, 30);
    const Rect all = MakeRect(2, 2);
    blitter_.Draw(src.View(), dst.View(), all, all, -40);
    EXPECT_EQ(dst.At(1, 1)[kRedByte], 10);
    blitter_.Draw(src.View(), dst.View(), all, all, 3000);
    EXPECT_EQ(dst.At(1, 1)[kRedByte], 255);
}

struct ClipCase {
    const char* name;
    Rect srcRect;
    Rect dstRect;
    int drawn; // destination pixels expected to change
};

class BlitClipping : public testing::TestWithParam<ClipCase> {};

// Source all white, destination all black: count what turned white, and check the guards.
TEST_P(BlitClipping, TouchesOnlyPixelsInsideBothImages) {
    const ClipCase& c = GetParam();
    GuardedImage src(8, 6), dst(10, 8);
    src.Fill(255, 255, 255, 255);
    dst.Fill(0, 0, 0, 0);
    Blitter blitter;
    blitter.Draw(src.View(), dst.View(), c.srcRect, c.dstRect, 255);
    int drawn = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x)
            drawn += dst.At(x, y)[kRedByte] == 255;
    EXPECT_EQ(drawn, c.drawn);
    EXPECT_TRUE(dst.GuardsIntact());
    EXPECT_TRUE(src.GuardsIntact());
}

// Rect is top, left, bottom, right.
INSTANTIATE_TEST_SUITE_P(
    Rects, BlitClipping,
    testing::Values(ClipCase{"Inside", {0, 0, 6, 8}, {1, 1, 7, 9}, 48},
                    ClipCase{"Empty", {0, 0, 6, 8}, {3, 3, 3, 9}, 0},
                    ClipCase{"Inverted", {0, 0, 6, 8}, {7, 9, 1, 1}, 0},
                    ClipCase{"EmptySource", {2, 2, 2, 2}, {0, 0, 8, 10}, 0},
                    ClipCase{"OnePixel", {5, 7, 6, 8}, {0, 0, 1, 1}, 1},
                    ClipCase{"PastTheDestinationsCorner", {0, 0, 6, 8}, {5, 6, 11, 14}, 12},
                    ClipCase{"BeforeTheDestinationsCorner", {0, 0, 6, 8}, {-3, -4, 3, 4}, 12},
                    ClipCase{"SourceReachesOutsideItsImage", {-2, -2, 4, 4}, {0, 0, 6, 6}, 16},
                    ClipCase{"SourceEntirelyOutside", {20, 20, 26, 28}, {0, 0, 6, 8}, 0},
                    // Same huge size on both sides maps each pixel onto itself.
                    ClipCase{"HugeCoordinates",
                             {-32768, -32768, 32767, 32767},
                             {-32768, -32768, 32767, 32767},
                             48},
                    ClipCase{"DestinationMissesTheImage", {0, 0, 6, 8}, {100, 100, 106, 108}, 0}),
    [](const testing::TestParamInfo<ClipCase>& info) { return info.param.name; });

TEST_F(BlitImages, DifferentSizesTakeTheNearestSourcePixel) {
    // A 2 x 2 source of four colours drawn into 4 x 4: each covers a 2 x 2 block.
    GuardedImage src(2, 2), dst(4, 4);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            src.At(x, y)[kRedByte] = uint8_t(10 + 10 * (y * 2 + x));
    blitter_.Draw(src.View(), dst.View(), MakeRect(2, 2), MakeRect(4, 4), 255);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(dst.At(x, y)[kRedByte], 10 + 10 * ((y / 2) * 2 + x / 2)) << x << "," << y;

    // Shrinking 4 x 4 to 2 x 2 keeps the pixel under each destination pixel's centre (0.5 and
    // 1.5 map to 1 and 3): every other pixel, starting with the second.
    GuardedImage big(4, 4), small(2, 2);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            big.At(x, y)[kGreenByte] = uint8_t(y * 4 + x);
    blitter_.Draw(big.View(), small.View(), MakeRect(4, 4), MakeRect(2, 2), 255);
    EXPECT_EQ(small.At(0, 0)[kGreenByte], 5);
    EXPECT_EQ(small.At(1, 0)[kGreenByte], 7);
    EXPECT_EQ(small.At(0, 1)[kGreenByte], 13);
    EXPECT_EQ(small.At(1, 1)[kGreenByte], 15);
    EXPECT_TRUE(small.GuardsIntact());
}

struct ScaleCase {
    const char* name;
    Rect from, to; // top, left, bottom, right
};

class ScaledLikeCopyBits : public testing::TestWithParam<ScaleCase> {};

// An opaque scaled Blit puts exactly what the platform's CopyBits copies: the same source pixel
// at every destination pixel, and the same pixels left alone where the rectangles leave the
// images.
TEST_P(ScaledLikeCopyBits, AnOpaqueBlitSamplesTheSamePixels) {
    const ScaleCase& c = GetParam();
    GWorldHolder src = MakeImage(16, 12), copied = MakeImage(10, 8), blitted = MakeImage(10, 8);
    const PixelView from = ViewOf(src.get()), byCopy = ViewOf(copied.get()),
                    byBlit = ViewOf(blitted.get());
    std::mt19937 random(7);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            for (int k = 0; k < kBytesPerPixel; ++k)
                from.Pixel(x, y)[k] = uint8_t(random());
    for (const PixelView& view : {byCopy, byBlit})
        for (int y = 0; y < 8; ++y)
            std::fill_n(view.Pixel(0, y), 10 * kBytesPerPixel, uint8_t(0x5A));

    CopyBits(GetPortBitMapForCopyBits(src.get()), GetPortBitMapForCopyBits(copied.get()), &c.from,
             &c.to, srcCopy, nullptr);
    Blitter().Draw(from, byBlit, c.from, c.to, 255);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_TRUE(std::equal(byBlit.Pixel(x, y), byBlit.Pixel(x, y) + kBytesPerPixel,
                                   byCopy.Pixel(x, y)))
                << "pixel " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    Scalings, ScaledLikeCopyBits,
    testing::Values(ScaleCase{"HalvesBothWays", {0, 0, 12, 16}, {0, 0, 6, 8}},
                    ScaleCase{"DoublesBothWays", {2, 3, 6, 8}, {0, 0, 8, 10}},
                    ScaleCase{"ThreeToTwo", {0, 0, 12, 15}, {0, 0, 8, 10}},
                    ScaleCase{"OddShrink", {1, 1, 8, 14}, {2, 3, 5, 6}},
                    ScaleCase{"OneAxisOnly", {0, 0, 8, 5}, {0, 0, 8, 10}},
                    ScaleCase{"SourcePartlyOutside", {-4, -6, 8, 10}, {0, 0, 8, 10}},
                    ScaleCase{"DestinationPartlyOutside", {0, 0, 12, 16}, {-3, -5, 5, 12}}),
    [](const testing::TestParamInfo<ScaleCase>& info) { return info.param.name; });

TEST(BlitCallback, DrawsBetweenPlatformImagesAndRefusesNullArguments) {
    GWorldHolder src = MakeImage(5, 3), dst = MakeImage(5, 3);
    const PixelView from = ViewOf(src.get()), to = ViewOf(dst.get());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            std::fill_n(from.Pixel(x, y), 4, uint8_t(200));
            std::fill_n(to.Pixel(x, y), 4, uint8_t(100));
        }
    struct NoClip : ClipSource {
        ClipInfo info;
        const ClipInfo& Info() const override { return info; }
        const AVFrame& Picture(int64_t) override { throw std::logic_error("no pictures"); }
        void ReadSound(int64_t, AudioBlock&) override {}
        std::unique_ptr<ClipSource> OpenAnother() const override { return nullptr; }
    } clip;
    HostSession session(clip, {});
    _HYProcs& procs = *session.Procs();
    const Rect all = MakeRect(5, 3);
    PixMapHandle srcMap = GetGWorldPixMap(src.get()), dstMap = GetGWorldPixMap(dst.get());
    ASSERT_EQ(procs.Blit(srcMap, dstMap, &all, &all, 127), kPluginOK);
    EXPECT_EQ(to.Pixel(4, 2)[kAlphaByte], NearestBlend(200, 100, 127));
    EXPECT_EQ(procs.Blit(nullptr, dstMap, &all, &all, 127), kPluginBadParams);
    EXPECT_EQ(procs.Blit(srcMap, nullptr, &all, &all, 127), kPluginBadParams);
    EXPECT_EQ(procs.Blit(srcMap, dstMap, nullptr, &all, 127), kPluginBadParams);
    EXPECT_EQ(procs.Blit(srcMap, dstMap, &all, nullptr, 127), kPluginBadParams);
}

} // namespace
} // namespace reelhost
