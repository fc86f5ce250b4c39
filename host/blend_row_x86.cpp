// BlendRow on x86-64: 32 bytes a step in AVX2 where the processor has it, else plain.
#include "blend_row.h"

#include <immintrin.h>

namespace reelhost {
namespace {

// BlendRowPlain's arithmetic on sixteen bytes widened to 16-bit lanes.
__attribute__((target("avx2"))) __m256i Blend16(__m256i source, __m256i target, __m256i over,
                                                __m256i under) {
    const __m256i x = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(source, over), _mm256_mullo_epi16(target, under)),
        _mm256_set1_epi16(127));
    return _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(short(0x8081))), 7);
}

// Thirty-two bytes a step.
__attribute__((target("avx2"))) void BlendRowAvx2(const uint8_t* from, uint8_t* to, size_t count,
                                                  uint16_t opacity) {
    const __m256i over = _mm256_set1_epi16(short(opacity));
    const __m256i under = _mm256_set1_epi16(short(255 - opacity));
    const __m256i zero = _mm256_setzero_si256();
    size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(to + i));
        // Unpacking works within 128-bit halves and packing undoes it in the same order.
        const __m256i low =
            Blend16(_mm256_unpacklo_epi8(s, zero), _mm256_unpacklo_epi8(d, zero), over, under);
        const __m256i high =
            Blend16(_mm256_unpackhi_epi8(s, zero), _mm256_unpackhi_epi8(d, zero), over, under);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), _mm256_packus_epi16(low, high));
    }
    BlendRowPlain(from + i, to + i, count - i, opacity);
}

} // namespace

void BlendRow(const uint8_t* from, uint8_t* to, size_t count, uint16_t opacity) {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        BlendRowAvx2(from, to, count, opacity);
    else
        BlendRowPlain(from, to, count, opacity);
}

} // namespace reelhost
