// The pixel loop against a plain, obviously correct version of the formula.
#include "pixeleffect.h"
#include "configs.h"
#include "pixelkernel_testing.h"
#include "testhost.h"

#include "DataHandling.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

// The formula, one channel at a time, written independently of the fast path.
uint8_t ReferenceChannel(uint8_t c, int16_t s1, int16_t s2) {
    return kerneltest::FormulaChannel(c, s1, s2);
}

void FillRandom(GWorldPtr image, std::mt19937& rng) {
    Rect b;
    GetPortBounds(image, &b);
    std::uniform_int_distribution<uint32_t> any;
    for (int y = b.top; y < b.bottom; ++y)
        for (int x = b.left; x < b.right; ++x)
            SetPixelAt(image, x, y, any(rng));
}

// Every byte of an image's pixel storage, row padding included.
std::vector<uint8_t> ImageBytes(GWorldPtr image) {
    PixMapHandle pm = GetGWorldPixMap(image);
    Rect b;
    GetPixBounds(pm, &b);
    const auto* base = reinterpret_cast<const uint8_t*>(GetPixBaseAddr(pm));
    return std::vector<uint8_t>(base, base + size_t(GetPixRowBytes(pm)) * size_t(b.bottom - b.top));
}

// The whole destination as it must be: inside the region the formula, outside the source
// (copyRest) or what dest held before.
void ExpectMatchesFormula(GWorldPtr source, GWorldPtr destBefore, GWorldPtr dest,
                          const Rect& region, bool copyRest, int16_t s1, int16_t s2) {
    Rect b;
    GetPortBounds(dest, &b);
    for (int y = 0; y < b.bottom; ++y) {
        for (int x = 0; x < b.right; ++x) {
            const uint32_t in = PixelAt(source, x, y);
            uint32_t want;
            if (y >= region.top && y < region.bottom && x >= region.left && x < region.right) {
                want = (in & 0xFF000000u) |
                       uint32_t(ReferenceChannel(uint8_t(in >> 16), s1, s2)) << 16 |
                       uint32_t(ReferenceChannel(uint8_t(in >> 8), s1, s2)) << 8 |
                       ReferenceChannel(uint8_t(in), s1, s2);
            } else {
                want = copyRest ? in : PixelAt(destBefore, x, y);
            }
            ASSERT_EQ(PixelAt(dest, x, y), want) << "at (" << x << ", " << y << ")";
        }
    }
}

struct Images {
    GWorldPtr source, dest, before;
    Images(int16_t w, int16_t h, std::mt19937& rng)
        : source(NewTestImage(w, h)), dest(NewTestImage(w, h)), before(NewTestImage(w, h)) {
        FillRandom(source, rng);
        FillRandom(dest, rng);
        Rect b = {0, 0, h, w};
        CopyBits(GetPortBitMapForCopyBits(dest), GetPortBitMapForCopyBits(before), &b, &b, srcCopy,
                 nullptr);
    }
    ~Images() {
        DisposeGWorld(source);
        DisposeGWorld(dest);
        DisposeGWorld(before);
    }
};

TEST(PixelEffect, FastPathEqualsFormulaOnRandomFramesRegionsAndSliders) {
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> size(1, 67), slider(-40, 140), edge(-20, 90), coin(0, 1);
    for (int round = 0; round < 60; ++round) {
        const int16_t w = int16_t(size(rng)), h = int16_t(size(rng));
        Images img(w, h, rng);
        const Rect region = {int16_t(edge(rng)), int16_t(edge(rng)), int16_t(edge(rng)),
                             int16_t(edge(rng))};
        const int16_t s1 = int16_t(slider(rng)), s2 = int16_t(slider(rng));
        const bool copyRest = coin(rng);
        const PluginDataRec config = ConfigWith(s1, s2);
        ThePixelEffect(img.source, img.dest, region, copyRest, &config, 0, 1);
        SCOPED_TRACE(testing::Message() << w << "x" << h << " sliders " << s1 << "," << s2);
        ExpectMatchesFormula(img.source, img.before, img.dest, region, copyRest, s1, s2);
    }
}

TEST(PixelEffect, EveryChannelValueMatchesTheFormulaAcrossTheStoredSliderRange) {
    // One frame holding every byte value in every colour channel.
    GWorldPtr source = NewTestImage(256, 1), dest = NewTestImage(256, 1);
    for (int x = 0; x < 256; ++x)
        SetPixelAt(source, x, 0,
                   uint32_t(x) << 24 | uint32_t(x) << 16 | uint32_t(255 - x) << 8 | x);
    const int16_t values[] = {-32768, -32767, -1000, -1,  0,   1,   25,   49,    50,
                              51,     75,     99,    100, 101, 200, 1000, 32766, 32767};
    for (int16_t s1 : values) {
        for (int16_t s2 : values) {
            const PluginDataRec config = ConfigWith(s1, s2);
            ThePixelEffect(source, dest, Rect{0, 0, 1, 256}, true, &config, 0, 1);
            for (int x = 0; x < 256; ++x) {
                const uint32_t in = PixelAt(source, x, 0), out = PixelAt(dest, x, 0);
                ASSERT_EQ(out >> 24, in >> 24);
                ASSERT_EQ((out >> 16) & 0xFF, ReferenceChannel(uint8_t(in >> 16), s1, s2))
                    << s1 << "," << s2 << " value " << x;
                ASSERT_EQ(out & 0xFF, ReferenceChannel(uint8_t(in), s1, s2));
            }
        }
    }
    DisposeGWorld(source);
    DisposeGWorld(dest);
}

struct ChannelCase {
    const char* name;
    int16_t s1, s2;
    uint8_t in, out;
};

class ChannelMapping : public testing::TestWithParam<ChannelCase> {};

TEST_P(ChannelMapping, MapsAsDocumented) {
    const ChannelCase& c = GetParam();
    EXPECT_EQ(MakeChannelTable(c.s1, c.s2).map[c.in], c.out);
}

INSTANTIATE_TEST_SUITE_P(Sliders, ChannelMapping,
                         testing::Values(ChannelCase{"Neutral", 50, 50, 77, 77},
                                         ChannelCase{"FullOffsetWhite", 50, 100, 0, 255},
                                         ChannelCase{"NoOffsetBlack", 50, 0, 255, 0},
                                         ChannelCase{"GainZeroBlack", 0, 50, 200, 0},
                                         ChannelCase{"GainTwo", 100, 50, 100, 200},
                                         ChannelCase{"GainTwoClamps", 100, 50, 128, 255},
                                         ChannelCase{"GainOneAndAHalfTruncates", 75, 50, 101, 151},
                                         ChannelCase{"SmallOffsetUp", 50, 51, 10, 15},
                                         ChannelCase{"SmallOffsetDownTruncates", 50, 49, 10, 4},
                                         ChannelCase{"SmallOffsetDownClamps", 50, 49, 3, 0},
                                         ChannelCase{"GainZeroHalfOffset", 0, 75, 255, 127},
                                         ChannelCase{"OutOfRangeGainFour", 200, 50, 60, 240}),
                         [](const testing::TestParamInfo<ChannelCase>& info) {
                             return info.param.name;
                         });

TEST(PixelEffect, KeepsAlphaAndMakesTheRegionWhite) {
    GWorldPtr source = NewTestImage(4, 4), dest = NewTestImage(4, 4);
    SetPixelAt(source, 1, 1, 0x12345678);
    const PluginDataRec config = ConfigWith(50, 100);
    ThePixelEffect(source, dest, Rect{0, 0, 4, 4}, true, &config, 0, 1);
    EXPECT_EQ(PixelAt(dest, 1, 1), 0x12FFFFFFu);
    DisposeGWorld(source);
    DisposeGWorld(dest);
}

TEST(PixelEffect, SizeMismatchLeavesDestinationUntouched) {
    // One column more, then one row more than the source: every byte of each destination
    // must stay as it was, with sliders that would change almost every pixel.
    std::mt19937 rng(7);
    Images a(10, 8, rng);
    const PluginDataRec config = ConfigWith(100, 100);
    for (const auto& [w, h] : {std::pair<int16_t, int16_t>{11, 8}, {10, 9}}) {
        SCOPED_TRACE(testing::Message() << "destination " << w << "x" << h);
        GWorldPtr dest = NewTestImage(w, h);
        FillRandom(dest, rng);
        const std::vector<uint8_t> before = ImageBytes(dest);
        ThePixelEffect(a.source, dest, Rect{0, 0, 9, 11}, true, &config, 0, 1);
        EXPECT_EQ(ImageBytes(dest), before);
        DisposeGWorld(dest);
    }
}

// Host frames wrapped as images: RGBA keeps alpha in its last byte, and images of two byte
// orders are refused like images of two sizes.
struct WrappedFrame {
    std::vector<uint8_t> bytes;
    GWorldPtr world = nullptr;
    WrappedFrame(int16_t w, int16_t h, OSType format, uint8_t fill)
        : bytes(size_t(w) * h * 4, fill) {
        const Rect bounds = {0, 0, h, w};
        EXPECT_EQ(NewGWorldFromPtr(&world, format, &bounds, nullptr, nullptr, 0,
                                   reinterpret_cast<Ptr>(bytes.data()), long(w) * 4),
                  noErr);
    }
    ~WrappedFrame() { DisposeGWorld(world); }
};

TEST(PixelEffect, HostFramesKeepAlphaWhereTheirFormatPutsItAndTwoFormatsAreRefused) {
    WrappedFrame in(5, 3, k32RGBAPixelFormat, 0x10), out(5, 3, k32RGBAPixelFormat, 0);
    const PluginDataRec config = ConfigWith(50, 100); // white, alpha kept
    ThePixelEffect(in.world, out.world, Rect{0, 0, 3, 5}, true, &config, 0, 1);
    for (size_t i = 0; i < out.bytes.size(); ++i)
        ASSERT_EQ(out.bytes[i], i % 4 == 3 ? 0x10 : 0xFF) << "byte " << i;

    WrappedFrame bgra(5, 3, k32BGRAPixelFormat, 0x77);
    ThePixelEffect(in.world, bgra.world, Rect{0, 0, 3, 5}, true, &config, 0, 1);
    EXPECT_EQ(bgra.bytes, std::vector<uint8_t>(bgra.bytes.size(), 0x77));
    GWorldPtr argb = NewTestImage(5, 3);
    const std::vector<uint8_t> before = ImageBytes(argb);
    ThePixelEffect(in.world, argb, Rect{0, 0, 3, 5}, true, &config, 0, 1);
    EXPECT_EQ(ImageBytes(argb), before);
    DisposeGWorld(argb);
}

TEST(PixelEffect, NullDestinationWorksInPlaceAndKeepsTheOutside) {
    std::mt19937 rng(11);
    Images img(20, 10, rng);
    const Rect region = {2, 3, 7, 12};
    const PluginDataRec config = ConfigWith(30, 70);
    // img.before is a copy of dest; work in place on dest and compare with the formula on it.
    ThePixelEffect(img.dest, nullptr, region, true, &config, 0, 1);
    ExpectMatchesFormula(img.before, img.before, img.dest, region, true, 30, 70);
}

TEST(PixelEffect, SameResultForEveryFrameIndexAndCount) {
    std::mt19937 rng(3);
    Images first(16, 16, rng);
    GWorldPtr second = NewTestImage(16, 16);
    const PluginDataRec config = ConfigWith(80, 40);
    ThePixelEffect(first.source, first.dest, Rect{1, 1, 9, 9}, true, &config, 0, 100);
    ThePixelEffect(first.source, second, Rect{1, 1, 9, 9}, true, &config, 99, 100);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(PixelAt(first.dest, x, y), PixelAt(second, x, y));
    DisposeGWorld(second);
}

TEST(PixelEffect, RestoresTheLockStateOfBothImages) {
    GWorldPtr locked = NewTestImage(4, 4), unlocked = NewTestImage(4, 4);
    LockPixels(GetGWorldPixMap(locked));
    const PluginDataRec config = ConfigWith(50, 50);
    ThePixelEffect(locked, unlocked, Rect{0, 0, 4, 4}, true, &config, 0, 1);
    EXPECT_TRUE(GetPixelsState(GetGWorldPixMap(locked)) & pixelsLocked);
    EXPECT_FALSE(GetPixelsState(GetGWorldPixMap(unlocked)) & pixelsLocked);
    DisposeGWorld(locked);
    DisposeGWorld(unlocked);
}

TEST(PixelEffect, ImagesWhoseBoundsDoNotStartAtTheOriginStayInsideTheirPixels) {
    // Bounds (10, 20, 110, 220): the loop runs to bottom and right but never past the storage.
    Rect bounds = {10, 20, 110, 220};
    GWorldPtr image = nullptr;
    ASSERT_EQ(NewGWorld(&image, 32, &bounds, nullptr, nullptr, 0), noErr);
    const PluginDataRec config = ConfigWith(50, 100);
    ThePixelEffect(image, nullptr, Rect{0, 0, 32767, 32767}, true, &config, 0, 1);
    // Storage row 0 column 0 lies inside the region, so it became white.
    EXPECT_EQ(PixelAt(image, 20, 10) & 0x00FFFFFFu, 0x00FFFFFFu);
    DisposeGWorld(image);
}

TEST(PixelEffect, NullSourceDoesNothing) {
    // A destination but no source: the destination keeps every byte.
    std::mt19937 rng(13);
    GWorldPtr dest = NewTestImage(6, 5);
    FillRandom(dest, rng);
    const std::vector<uint8_t> before = ImageBytes(dest);
    const PluginDataRec config = ConfigWith(100, 100);
    ThePixelEffect(nullptr, dest, Rect{0, 0, 5, 6}, true, &config, 0, 1);
    EXPECT_EQ(ImageBytes(dest), before);
    ThePixelEffect(nullptr, nullptr, Rect{0, 0, 5, 6}, true, &config, 0, 1); // nothing at all
    DisposeGWorld(dest);
}

} // namespace
