// One row of bytes blended over another with an opacity: the inner loop of the host's Blit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reelhost {

// to[i] := (from[i] * opacity + to[i] * (255 - opacity) + 127) / 255 for i below count, rounded
// down: BlendChannel for every byte. Opacity 0 to 255. The fastest form the processor runs.
void BlendRow(const uint8_t* from, uint8_t* to, size_t count, uint16_t opacity);

// The same in plain arithmetic. The numerator x stays below 255 * 255 + 128, and for every x
// below 65536, x / 255 is (x * 0x8081) >> 23: 0x8081 / 2^23 exceeds 1 / 255 by less than the room
// a quotient has below the next whole number. So it needs only 16-bit lanes (the high half of a
// 16-bit product, then a shift) where the compiler vectorises it.
inline void BlendRowPlain(const uint8_t* from, uint8_t* to, size_t count, uint16_t opacity) {
    const uint16_t under = uint16_t(255 - opacity);
    for (size_t i = 0; i < count; ++i) {
        const uint16_t x = uint16_t(from[i] * opacity + to[i] * under + 127);
        const uint16_t high = uint16_t((uint32_t(x) * 0x8081u) >> 16);
        to[i] = uint8_t(high >> 7);
    }
}

} // namespace reelhost
