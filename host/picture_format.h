// How a clip's pictures are stored: kept when a render writes them again.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace reelhost {

// The pixel layout and the colour description that go with it; unknown where the clip is
// silent, which a render keeps silent too.
struct PictureFormat {
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
};

} // namespace reelhost
