// Each row kernel against the plain formula table: random rows, in place, every slider pair,
// with alpha first (ARGB images) and last (RGBA and BGRA host frames). The expected bytes always
// come from kerneltest::FormulaTable, never from the kernel's own setup.table, which is part of
// what is under test.
#include "pixelkernel_testing.h"

using namespace kerneltest;

namespace {

using RowCase = std::tuple<PixelKernelKind, int>; // kernel, alpha byte

class RowKernel : public testing::TestWithParam<RowCase> {
  protected:
    void SetUp() override {
        if (!ProcessorRuns(Kind())) GTEST_SKIP() << "this processor lacks the instructions";
    }
    PixelKernelKind Kind() const { return std::get<0>(GetParam()); }
    int Alpha() const { return std::get<1>(GetParam()); }
    // The kernel for these sliders, or false when it does not take them.
    bool Prepare(int s1, int s2, PixelKernel* kernel) const {
        return TryPixelKernel(Kind(), FormulaTable(s1, s2), Alpha(), int16_t(s1), int16_t(s2),
                              DetectCpuFeatures(), kernel);
    }
    void Expect(const ChannelTable& table, uint8_t* dst, const uint8_t* src, int pixels) const {
        ExpectedRow(table, dst, src, pixels, Alpha());
    }
};

TEST_P(RowKernel, RandomRowsAtEveryLengthAndAlignmentMatchTheTableAndStayInside) {
    std::mt19937 rng(91);
    std::uniform_int_distribution<int> slider(0, 100), length(0, 150), shift(0, 63);
    constexpr int kRounds = 300;
    int taken = 0;
    for (int round = 0; round < kRounds; ++round) {
        const int s1 = slider(rng), s2 = slider(rng), pixels = length(rng);
        PixelKernel kernel;
        if (!Prepare(s1, s2, &kernel)) continue;
        ++taken;
        // Byte offsets that are not multiples of 4 as well, as a host's frame may start anywhere.
        const int srcShift = shift(rng), dstShift = shift(rng);
        GuardedBuffer src(size_t(pixels) * 4 + 64, rng), dst(size_t(pixels) * 4 + 64, rng);
        kernel.mapRow(kernel.setup, dst.Data() + dstShift, src.Data() + srcShift, pixels);

        std::vector<uint8_t> want(dst.Original(), dst.Original() + dst.Size());
        Expect(FormulaTable(s1, s2), want.data() + dstShift, src.Data() + srcShift, pixels);
        SCOPED_TRACE(testing::Message() << "sliders " << s1 << "," << s2 << ", " << pixels
                                        << " pixels, shifts " << srcShift << "/" << dstShift);
        ASSERT_EQ(std::vector<uint8_t>(dst.Data(), dst.Data() + dst.Size()), want);
        ASSERT_TRUE(dst.GuardsIntact());
        ASSERT_TRUE(src.GuardsIntact());
    }
    // The rounds really ran: the table kernels take every pair, the arithmetic one nearly all.
    EXPECT_GE(taken, Kind() == PixelKernelKind::Avx2Arithmetic ? kRounds * 9 / 10 : kRounds);
}

TEST_P(RowKernel, InPlaceMatchesTheTable) {
    std::mt19937 rng(5);
    PixelKernel kernel;
    ASSERT_TRUE(Prepare(70, 60, &kernel));
    GuardedBuffer row(4 * 131, rng);
    std::vector<uint8_t> want(row.Size());
    Expect(FormulaTable(70, 60), want.data(), row.Data(), 131);
    kernel.mapRow(kernel.setup, row.Data(), row.Data(), 131);
    EXPECT_EQ(std::vector<uint8_t>(row.Data(), row.Data() + row.Size()), want);
    EXPECT_TRUE(row.GuardsIntact());
}

TEST_P(RowKernel, EverySliderPairItTakesMatchesTheTable) {
    std::mt19937 rng(17);
    // Odd length: whole vectors and a remainder for every kernel.
    constexpr int kPixels = 259;
    std::vector<uint8_t> src(kPixels * 4), out(kPixels * 4), want(kPixels * 4);
    FillRandom(src, rng);
    int taken = 0;
    for (int s1 = 0; s1 <= 100; ++s1) {
        for (int s2 = 0; s2 <= 100; ++s2) {
            PixelKernel kernel;
            if (!Prepare(s1, s2, &kernel)) continue;
            ++taken;
            kernel.mapRow(kernel.setup, out.data(), src.data(), kPixels);
            Expect(FormulaTable(s1, s2), want.data(), src.data(), kPixels);
            ASSERT_EQ(out, want) << "sliders " << s1 << "," << s2;
        }
    }
    // The table kernels take every pair; the arithmetic one all but the few with many
    // corrections (checked exactly in the choice tests). A kernel that mishandled this alpha
    // position would fail its proof and be refused, which would show here.
    if (Kind() != PixelKernelKind::Avx2Arithmetic) {
        EXPECT_EQ(taken, 101 * 101);
    } else {
        EXPECT_GT(taken, 101 * 101 * 97 / 100);
    }
}

TEST_P(RowKernel, StoredSlidersOutsideTheRangeEitherMatchOrAreRefused) {
    std::mt19937 rng(23);
    std::vector<uint8_t> src(4 * 97), out(4 * 97), want(4 * 97);
    FillRandom(src, rng);
    const int values[] = {-32768, -1000, -1, 0, 100, 101, 157, 200, 257, 1000, 32767};
    for (int s1 : values) {
        for (int s2 : values) {
            PixelKernel kernel;
            if (!Prepare(s1, s2, &kernel)) {
                EXPECT_EQ(Kind(), PixelKernelKind::Avx2Arithmetic) << s1 << "," << s2;
                continue;
            }
            kernel.mapRow(kernel.setup, out.data(), src.data(), 97);
            Expect(FormulaTable(s1, s2), want.data(), src.data(), 97);
            ASSERT_EQ(out, want) << "sliders " << s1 << "," << s2;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, RowKernel,
                         testing::Combine(testing::ValuesIn(kAllKinds),
                                          testing::ValuesIn(kAlphaPositions)),
                         [](const testing::TestParamInfo<RowCase>& info) {
                             return KindName(std::get<0>(info.param)) + "_AlphaByte" +
                                    std::to_string(std::get<1>(info.param));
                         });

} // namespace
