// Which kernel a call gets for given sliders and processor features, forced fallbacks included.
#include "pixelkernel_testing.h"

#include <algorithm>

using namespace kerneltest;

namespace {

CpuFeatures Features(bool avx2, bool avx512vbmi) {
    CpuFeatures cpu;
    cpu.avx2 = avx2;
    cpu.avx512vbmi = avx512vbmi;
    return cpu;
}

bool ProcessorHas(CpuFeatures wanted) {
    const CpuFeatures cpu = DetectCpuFeatures();
    return (!wanted.avx2 || cpu.avx2) && (!wanted.avx512vbmi || cpu.avx512vbmi);
}

struct ChoiceCase {
    const char* name;
    CpuFeatures cpu;
    int16_t s1, s2;
    PixelKernelKind expected;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class KernelChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(KernelChoice, PicksTheExpectedKernelAndItMatchesTheTable) {
    const ChoiceCase& c = GetParam();
    if (!ProcessorHas(c.cpu)) GTEST_SKIP() << "this processor lacks the instructions";
    const ChannelTable table = FormulaTable(c.s1, c.s2);
    const PixelKernel kernel = ChoosePixelKernel(table, kAlpha, c.s1, c.s2, c.cpu);
    EXPECT_EQ(KindName(kernel.kind), KindName(c.expected));

    std::mt19937 rng(uint32_t(c.s1 * 1000 + c.s2));
    std::vector<uint8_t> src(4 * 300), out(4 * 300), want(4 * 300);
    FillRandom(src, rng);
    kernel.mapRow(kernel.setup, out.data(), src.data(), 300);
    ExpectedRow(table, want.data(), src.data(), 300);
    EXPECT_EQ(out, want);
}

const CpuFeatures kNone = Features(false, false);
const CpuFeatures kAvx2 = Features(true, false);
const CpuFeatures kBoth = Features(true, true);
constexpr auto kPlain = PixelKernelKind::PlainTable;
constexpr auto kArithmetic = PixelKernelKind::Avx2Arithmetic;
constexpr auto kVbmi = PixelKernelKind::Avx512Table;

INSTANTIATE_TEST_SUITE_P(
    Sliders, KernelChoice,
    testing::Values(ChoiceCase{"NoVectorUnits", kNone, 70, 60, kPlain},
                    ChoiceCase{"NoVectorUnitsOutOfRange", kNone, 200, -3, kPlain},
                    ChoiceCase{"Avx2Neutral", kAvx2, 50, 50, kArithmetic},
                    ChoiceCase{"Avx2OneCorrection", kAvx2, 11, 40, kArithmetic},
                    ChoiceCase{"Avx2FourCorrections", kAvx2, 5, 82, kArithmetic},
                    ChoiceCase{"Avx2TooManyCorrections", kAvx2, 4, 50, kPlain},
                    ChoiceCase{"Avx2LargestSum", kAvx2, 157, 100, kArithmetic},
                    ChoiceCase{"Avx2SumPastItsLanes", kAvx2, 158, 100, kPlain},
                    ChoiceCase{"Avx2NegativeGain", kAvx2, -1, 50, kPlain},
                    ChoiceCase{"Avx2NegativeOffset", kAvx2, 50, -1, kPlain},
                    ChoiceCase{"Avx512InRange", kBoth, 70, 60, kVbmi},
                    ChoiceCase{"Avx512WhereArithmeticFails", kBoth, 4, 50, kVbmi},
                    ChoiceCase{"Avx512Extremes", kBoth, -32768, 32767, kVbmi}),
    [](const testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

// floor((c * s1 + 255 * (s2 - 50)) / 50), clamped: what the arithmetic computes, as plain
// integers.
int FloorFormula(int c, int s1, int s2) {
    const int n = c * s1 + 255 * (s2 - 50);
    const int quotient = n >= 0 ? n / 50 : -((-n + 49) / 50);
    return std::clamp(quotient, 0, 255);
}

TEST(KernelChoice, ArithmeticIsTakenExactlyWhenAtMostFourValuesNeedCorrecting) {
    if (!ProcessorHas(kAvx2)) GTEST_SKIP() << "this processor lacks AVX2";
    int taken = 0;
    for (int s1 = 0; s1 <= 100; ++s1) {
        for (int s2 = 0; s2 <= 100; ++s2) {
            const ChannelTable table = FormulaTable(s1, s2);
            int differing = 0;
            for (int c = 0; c < 256; ++c) {
                const int floor = FloorFormula(c, s1, s2);
                if (floor == table.map[c]) continue;
                // The double formula only ever falls short by one, on an exact multiple of 50.
                ASSERT_EQ(floor, table.map[c] + 1) << s1 << "," << s2 << " value " << c;
                ++differing;
            }
            const PixelKernel kernel =
                ChoosePixelKernel(table, kAlpha, int16_t(s1), int16_t(s2), kAvx2);
            const bool fast = kernel.kind == kArithmetic;
            ASSERT_EQ(fast, differing <= kMaxCorrections) << s1 << "," << s2;
            if (fast) {
                ASSERT_EQ(kernel.setup.correctionCount, differing);
            }
            taken += fast;
        }
    }
    // Most settings need no correction at all; the corrections bring the rest near 98%.
    EXPECT_GT(taken, 101 * 101 * 97 / 100);
}

} // namespace
