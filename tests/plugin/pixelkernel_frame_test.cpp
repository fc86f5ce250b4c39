// The frame driver: regions at every edge, padded rows, odd widths, guard bytes, shared rows.
// Expected bytes come from kerneltest::FormulaTable, never from the kernel's own table.
#include "configs.h"
#include "pixelkernel_testing.h"

#include "DataHandling.h"
#include "pixeleffect.h"
#include "testhost.h"

#include <tuple>

using namespace kerneltest;

namespace {

// An odd width, and row bytes padded differently in source and destination.
constexpr int kCols = 37;
constexpr int kRows = 23;
constexpr std::ptrdiff_t kSrcRowBytes = kCols * 4 + 12;
constexpr std::ptrdiff_t kDstRowBytes = kCols * 4 + 20;
// Sliders every kernel takes, with values the arithmetic has to correct.
constexpr int kS1 = 5, kS2 = 82;

struct RegionCase {
    const char* name;
    PixelBox box;
};

const RegionCase kRegions[] = {
    {"WholeFrame", {0, 0, kRows, kCols}},
    {"Empty", {7, 7, 7, 7}},
    {"NoColumns", {0, 9, kRows, 9}},
    {"NoRows", {12, 0, 12, kCols}},
    {"TopLeftPixel", {0, 0, 1, 1}},
    {"BottomRightPixel", {kRows - 1, kCols - 1, kRows, kCols}},
    {"LeftEdgeColumn", {0, 0, kRows, 1}},
    {"RightEdgeStrip", {3, kCols - 5, kRows, kCols}},
    {"TopRows", {0, 0, 2, kCols}},
    {"BottomRowsPartWidth", {kRows - 4, 3, kRows, 30}},
    {"Middle", {4, 7, 19, 30}},
};

void PrintTo(const RegionCase& c, std::ostream* os) {
    *os << c.name;
}

// What a destination buffer of `rows` x `cols` pixels must hold afterwards, padding and guards
// included, given the source and the destination's bytes before.
std::vector<uint8_t> ExpectedPlanes(const ChannelTable& table, const uint8_t* src,
                                    std::ptrdiff_t srcRowBytes, const GuardedBuffer& dst,
                                    std::ptrdiff_t dstRowBytes, int rows, int cols,
                                    const PixelBox& box, bool copyRest) {
    std::vector<uint8_t> want(dst.Original(), dst.Original() + dst.Size());
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            const uint8_t* in = src + y * srcRowBytes + x * 4;
            uint8_t* out = want.data() + y * dstRowBytes + x * 4;
            if (y >= box.top && y < box.bottom && x >= box.left && x < box.right)
                ExpectedRow(table, out, in, 1);
            else if (copyRest)
                std::memcpy(out, in, 4);
        }
    }
    return want;
}

std::vector<uint8_t> ExpectedFrame(const ChannelTable& table, const uint8_t* src,
                                   const GuardedBuffer& dst, const PixelBox& box, bool copyRest) {
    return ExpectedPlanes(table, src, kSrcRowBytes, dst, kDstRowBytes, kRows, kCols, box, copyRest);
}

std::vector<uint8_t> BytesOf(GuardedBuffer& buffer) {
    return std::vector<uint8_t>(buffer.Data(), buffer.Data() + buffer.Size());
}

// The kernel of `kind` for kS1, kS2; a refusal fails the test rather than leave no row kernel.
void KernelFor(PixelKernelKind kind, PixelKernel* kernel) {
    ASSERT_TRUE(TryPixelKernel(kind, FormulaTable(kS1, kS2), kAlpha, kS1, kS2, DetectCpuFeatures(),
                               kernel));
}

using FrameCase = std::tuple<PixelKernelKind, RegionCase, bool>;

class FrameRegion : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameRegion, MapsTheRegionCopiesOrKeepsTheRestAndTouchesNothingElse) {
    const auto& [kind, region, copyRest] = GetParam();
    if (!ProcessorRuns(kind)) GTEST_SKIP() << "this processor lacks the instructions";
    std::mt19937 rng(41);
    GuardedBuffer src(kRows * kSrcRowBytes, rng), dst(kRows * kDstRowBytes, rng);
    PixelKernel kernel;
    ASSERT_NO_FATAL_FAILURE(KernelFor(kind, &kernel));
    RowWorkers callerOnly(0);
    MapFrame(kernel, {src.Data(), kSrcRowBytes, dst.Data(), kDstRowBytes, kRows, kCols}, region.box,
             copyRest, callerOnly);

    EXPECT_EQ(std::vector<uint8_t>(dst.Data(), dst.Data() + dst.Size()),
              ExpectedFrame(FormulaTable(kS1, kS2), src.Data(), dst, region.box, copyRest));
    EXPECT_TRUE(dst.GuardsIntact());
    EXPECT_EQ(std::memcmp(src.Data(), src.Original(), src.Size()), 0) << "source changed";
}

INSTANTIATE_TEST_SUITE_P(Regions, FrameRegion,
                         testing::Combine(testing::ValuesIn(kAllKinds), testing::ValuesIn(kRegions),
                                          testing::Bool()),
                         [](const testing::TestParamInfo<FrameCase>& info) {
                             return KindName(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param).name +
                                    (std::get<2>(info.param) ? "_CopyRest" : "_KeepRest");
                         });

class FrameKernel : public testing::TestWithParam<PixelKernelKind> {
  protected:
    void SetUp() override {
        if (!ProcessorRuns(GetParam())) GTEST_SKIP() << "this processor lacks the instructions";
    }
};

TEST_P(FrameKernel, InPlaceMapsTheRegionAndLeavesTheRest) {
    std::mt19937 rng(43);
    GuardedBuffer frame(kRows * kSrcRowBytes, rng);
    PixelKernel kernel;
    ASSERT_NO_FATAL_FAILURE(KernelFor(GetParam(), &kernel));
    const PixelBox box = {2, 3, 20, 33};
    RowWorkers callerOnly(0);
    MapFrame(kernel, {frame.Data(), kSrcRowBytes, frame.Data(), kSrcRowBytes, kRows, kCols}, box,
             true, callerOnly);
    for (int y = 0; y < kRows; ++y) {
        for (int x = 0; x < kCols; ++x) {
            const std::ptrdiff_t at = y * kSrcRowBytes + x * 4;
            uint8_t want[4];
            std::memcpy(want, frame.Original() + at, 4);
            if (y >= box.top && y < box.bottom && x >= box.left && x < box.right)
                ExpectedRow(FormulaTable(kS1, kS2), want, frame.Original() + at, 1);
            ASSERT_EQ(std::memcmp(frame.Data() + at, want, 4), 0) << x << "," << y;
        }
    }
    EXPECT_TRUE(frame.GuardsIntact());
}

TEST_P(FrameKernel, RowsSharedAmongThreadsGiveTheSameBytesAsOneThread) {
    // Large enough to be cut into chunks; row bytes padded, width odd.
    constexpr int kWide = 901, kHigh = 611;
    constexpr std::ptrdiff_t kRowBytes = kWide * 4 + 28;
    std::mt19937 rng(47);
    GuardedBuffer src(kHigh * kRowBytes, rng);
    PixelKernel kernel;
    ASSERT_NO_FATAL_FAILURE(KernelFor(GetParam(), &kernel));
    const PixelBox box = {1, 100, kHigh - 2, kWide - 1};
    for (const bool copyRest : {true, false}) {
        SCOPED_TRACE(copyRest ? "copying the rest" : "keeping the rest");
        GuardedBuffer alone(kHigh * kRowBytes, rng);
        GuardedBuffer shared = alone;
        RowWorkers callerOnly(0), three(3);
        MapFrame(kernel, {src.Data(), kRowBytes, alone.Data(), kRowBytes, kHigh, kWide}, box,
                 copyRest, callerOnly);
        MapFrame(kernel, {src.Data(), kRowBytes, shared.Data(), kRowBytes, kHigh, kWide}, box,
                 copyRest, three);
        // Both against the formula, so that rows skipped or mapped twice show either way.
        const std::vector<uint8_t> want =
            ExpectedPlanes(FormulaTable(kS1, kS2), src.Data(), kRowBytes, alone, kRowBytes, kHigh,
                           kWide, box, copyRest);
        ASSERT_TRUE(BytesOf(alone) == want) << "one thread";
        ASSERT_TRUE(BytesOf(shared) == want) << "shared rows";
        EXPECT_TRUE(shared.GuardsIntact());
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, FrameKernel, testing::ValuesIn(kAllKinds),
                         [](const testing::TestParamInfo<PixelKernelKind>& info) {
                             return KindName(info.param);
                         });

// The whole effect on a large frame, on the calling thread, with sliders that need corrections
// on the arithmetic path, against the formula pixel by pixel.
TEST(PixelEffectOnLargeFrames, MatchesTheFormulaEverywhere) {
    constexpr int16_t kWide = 1283, kHigh = 517;
    GWorldPtr source = NewTestImage(kWide, kHigh), dest = NewTestImage(kWide, kHigh);
    std::mt19937 rng(53);
    std::uniform_int_distribution<uint32_t> any;
    for (int y = 0; y < kHigh; ++y)
        for (int x = 0; x < kWide; ++x)
            SetPixelAt(source, x, y, any(rng));
    PluginDataRec config = ConfigWith(kS1, kS2);
    const Rect region = {-5, 17, 400, 2000};
    ThePixelEffect(source, dest, region, true, &config, 0, 1);
    for (int y = 0; y < kHigh; ++y) {
        for (int x = 0; x < kWide; ++x) {
            const uint32_t in = PixelAt(source, x, y);
            uint32_t want = in;
            if (y < region.bottom && x >= region.left) {
                want = (in & 0xFF000000u) |
                       uint32_t(FormulaChannel((in >> 16) & 0xFF, kS1, kS2)) << 16 |
                       uint32_t(FormulaChannel((in >> 8) & 0xFF, kS1, kS2)) << 8 |
                       FormulaChannel(in & 0xFF, kS1, kS2);
            }
            ASSERT_EQ(PixelAt(dest, x, y), want) << "at " << x << "," << y;
        }
    }
    DisposeGWorld(source);
    DisposeGWorld(dest);
}

} // namespace
