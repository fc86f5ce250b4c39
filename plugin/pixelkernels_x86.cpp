// The x86-64 vector row kernels, each built for its own instruction set and chosen at run time.
//
// Each runs only after the run-time check says the processor has its instructions, so the bundle
// still runs on processors without them.

#include "pixelkernels_simd.h"

#include <immintrin.h>

namespace {

// floor(t / 25) for 0 <= t <= 32767 as (t * 20972) >> 19: 20972 is 2^19 / 25 rounded up, and
// its excess (12 / 2^19 per unit of t) stays below 1/25 over that range, so no quotient moves.
constexpr int16_t kReciprocalOf25 = 20972;
constexpr int kReciprocalShift = 19 - 16; // mulhi already drops 16 bits
// The arithmetic adds 255 * s2 instead of 255 * (s2 - 50), keeping every sum non-negative;
// the quotient is then 255 (= 255 * 50 / 50) too high.
constexpr int16_t kOffsetBias = 255;
constexpr int16_t kOffsetScale = 255;

// One pixel's alpha byte, as a 32-bit lane of a vector in memory order (x86 is little-endian).
int32_t AlphaLane(int alphaByte) {
    return int32_t(0xFFu << (8 * alphaByte));
}
// The alpha bytes of 16 consecutive pixels, one bit per byte.
uint64_t AlphaBits(int alphaByte) {
    return 0x1111111111111111ull << alphaByte;
}

// floor((c * s1 + 255 * s2) / 50) - 255 for sixteen zero-extended channel values c, exact while
// c * s1 + 255 * s2 stays below 65536; the caller's pack clamps it to 0..255.
__attribute__((target("avx2"))) inline __m256i ArithmeticQuotients(__m256i channels, __m256i gain,
                                                                   __m256i bias) {
    const __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(channels, gain), bias);
    // floor(n / 50) = floor(floor(n / 2) / 25)
    const __m256i half = _mm256_srli_epi16(sum, 1);
    const __m256i quotient = _mm256_srli_epi16(
        _mm256_mulhi_epu16(half, _mm256_set1_epi16(kReciprocalOf25)), kReciprocalShift);
    return _mm256_sub_epi16(quotient, _mm256_set1_epi16(kOffsetBias));
}

__attribute__((target("avx2"))) void Avx2ArithmeticRow(const KernelSetup& setup, uint8_t* dst,
                                                       const uint8_t* src, int pixels) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i gain = _mm256_set1_epi16(setup.gainSlider);
    const __m256i bias = _mm256_set1_epi16(int16_t(uint16_t(kOffsetScale * setup.offsetSlider)));
    const __m256i alpha = _mm256_set1_epi32(AlphaLane(setup.alphaByte));
    __m256i corrections[kMaxCorrections];
    for (int k = 0; k < setup.correctionCount; ++k)
        corrections[k] = _mm256_set1_epi8(char(setup.corrections[k]));

    const size_t bytes = size_t(pixels) * 4;
    size_t i = 0;
    for (; i + sizeof(__m256i) <= bytes; i += sizeof(__m256i)) {
        const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        // Unpacking and packing within each 128-bit lane keeps the bytes in place.
        __m256i out =
            _mm256_packus_epi16(ArithmeticQuotients(_mm256_unpacklo_epi8(in, zero), gain, bias),
                                ArithmeticQuotients(_mm256_unpackhi_epi8(in, zero), gain, bias));
        // An equal byte compares as -1: one less exactly where the double formula falls short.
        for (int k = 0; k < setup.correctionCount; ++k)
            out = _mm256_add_epi8(out, _mm256_cmpeq_epi8(in, corrections[k]));
        out = _mm256_blendv_epi8(out, in, alpha);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), out);
    }
    PlainTableRow(setup, dst + i, src + i, int((bytes - i) / 4));
}

// The table entry of every byte of v, alpha bytes kept: two 128-entry lookups, the top bit of
// the byte choosing between them.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline __m512i
LookUp64(__m512i v, __m512i t0, __m512i t1, __m512i t2, __m512i t3, __mmask64 alpha) {
    const __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
    const __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
    const __m512i mapped = _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
    return _mm512_mask_blend_epi8(alpha, mapped, v);
}

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void
Avx512TableRow(const KernelSetup& setup, uint8_t* dst, const uint8_t* src, int pixels) {
    const uint8_t* map = setup.table.map;
    const __m512i t0 = _mm512_loadu_si512(map);
    const __m512i t1 = _mm512_loadu_si512(map + 64);
    const __m512i t2 = _mm512_loadu_si512(map + 128);
    const __m512i t3 = _mm512_loadu_si512(map + 192);
    const __mmask64 alpha = AlphaBits(setup.alphaByte);

    const size_t bytes = size_t(pixels) * 4;
    size_t i = 0;
    for (; i + sizeof(__m512i) <= bytes; i += sizeof(__m512i))
        _mm512_storeu_si512(dst + i, LookUp64(_mm512_loadu_si512(src + i), t0, t1, t2, t3, alpha));
    if (i < bytes) {
        // The last partial vector through a byte mask: nothing outside the row is read or written.
        const __mmask64 tail = (uint64_t(1) << (bytes - i)) - 1;
        const __m512i in = _mm512_maskz_loadu_epi8(tail, src + i);
        _mm512_mask_storeu_epi8(dst + i, tail, LookUp64(in, t0, t1, t2, t3, alpha));
    }
}

} // namespace

CpuFeatures DetectCpuFeatures() {
    __builtin_cpu_init();
    CpuFeatures cpu;
    cpu.avx2 = __builtin_cpu_supports("avx2");
    cpu.avx512vbmi = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    return cpu;
}

SimdRowKernels CompiledSimdKernels() {
    return {Avx2ArithmeticRow, Avx512TableRow};
}
