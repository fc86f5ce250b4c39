// BlendRow where the build knows no vector instructions of its own for the processor.
#include "blend_row.h"

namespace reelhost {

void BlendRow(const uint8_t* from, uint8_t* to, size_t count, uint16_t opacity) {
    BlendRowPlain(from, to, count, opacity);
}

} // namespace reelhost
