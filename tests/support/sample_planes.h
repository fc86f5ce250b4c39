// Walking the samples of two raw pictures in a planar pixel format side by side, each sample with
// the pixels it covers: for comparing a render with its source outside and inside a region.
#pragma once

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace reelhost::testing_support {

// Pixels [left, right) x [top, bottom).
struct PixelBox {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Covers(const PixelBox& other) const {
        return other.left >= left && other.right <= right && other.top >= top &&
               other.bottom <= bottom;
    }
    bool Misses(const PixelBox& other) const {
        return other.right <= left || other.left >= right || other.bottom <= top ||
               other.top >= bottom;
    }
};

// One plane of a planar format: its size in samples, the pixels one sample covers, its bytes.
struct SamplePlane {
    int width = 0, height = 0;
    int shiftX = 0, shiftY = 0; // log2 of the pixels a sample covers across and down
    int bytes = 1;              // per sample, little-endian when 2
};

// The planes of `format` (an FFmpeg name of a planar format) at width x height, in their order.
inline std::vector<SamplePlane> PlanesOf(const std::string& format, int width, int height) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(av_get_pix_fmt(format.c_str()));
    std::vector<SamplePlane> planes;
    for (int c = 0; desc && c < desc->nb_components; ++c) {
        const bool colour = !(desc->flags & AV_PIX_FMT_FLAG_RGB) && (c == 1 || c == 2);
        const int sx = colour ? desc->log2_chroma_w : 0, sy = colour ? desc->log2_chroma_h : 0;
        planes.push_back({-((-width) >> sx), -((-height) >> sy), sx, sy, desc->comp[c].step});
    }
    return planes;
}

// One sample of each picture at the same place.
struct SamplePair {
    int frame;
    int plane;
    PixelBox covers; // the pixels of the picture the sample stands for
    int a, b;
};

// Calls visit(SamplePair) for every sample of every frame of `a`, beside the same one of `b`
// (which must be at least as long).
template <typename Visit>
void ForEachSample(const std::string& a, const std::string& b,
                   const std::vector<SamplePlane>& planes, int width, int height, Visit visit) {
    size_t frameBytes = 0;
    for (const SamplePlane& p : planes)
        frameBytes += size_t(p.width) * size_t(p.height) * size_t(p.bytes);
    const auto value = [](const std::string& bytes, size_t at, int size) {
        return size == 2 ? int(uint8_t(bytes[at])) | int(uint8_t(bytes[at + 1])) << 8
                         : int(uint8_t(bytes[at]));
    };
    for (size_t frame = 0; frameBytes && frame < a.size() / frameBytes; ++frame) {
        size_t at = frame * frameBytes;
        for (size_t p = 0; p < planes.size(); ++p) {
            const SamplePlane& plane = planes[p];
            for (int y = 0; y < plane.height; ++y)
                for (int x = 0; x < plane.width; ++x, at += size_t(plane.bytes)) {
                    const PixelBox covers{x << plane.shiftX, y << plane.shiftY,
                                          std::min((x + 1) << plane.shiftX, width),
                                          std::min((y + 1) << plane.shiftY, height)};
                    visit(SamplePair{int(frame), int(p), covers, value(a, at, plane.bytes),
                                     value(b, at, plane.bytes)});
                }
        }
    }
}

} // namespace reelhost::testing_support
