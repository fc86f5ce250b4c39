// Platform-internal: the image and port records behind QuickDraw.h, and the integer geometry
// every drawing call clips with.
#pragma once

#include "QuickDraw.h"

#include <cstddef>
#include <cstdint>

// A pixel map owns its pixel buffer for the life of its port (the buffer then goes back to the
// reserve it came from, if any), or wraps a caller's buffer, which it never frees.
struct PixMap {
    Ptr baseAddr;
    long rowBytes;
    Rect bounds;
    GWorldFlags state;
    size_t byteCount;        // size of the buffer at baseAddr, so that a reserve can keep it
    OSType pixelFormat;      // byte order of the pixels
    bool ownsPixels;         // false: the buffer is the caller's
    PixelReserveRef reserve; // where an owned buffer goes back to; null: it is freed
};

// Every port is an offscreen image; a window's port is one too.
struct GrafPort {
    PixMap pixMap;
    PixMapPtr pixMapMaster; // always &pixMap: what a PixMapHandle points at
    Rect clip;
    RGBColor foreColor;
    RGBColor backColor;
    int16_t penMode;
};

namespace qd {

// The colours a new port draws with, and what the colour getters answer without a port.
constexpr RGBColor kBlack = {0, 0, 0};
constexpr RGBColor kWhite = {0xFFFF, 0xFFFF, 0xFFFF};

// Address of pixel (x, y) in the map's own bounds coordinates; the caller has clipped.
inline uint8_t* PixelAddress(const PixMap& map, int x, int y) {
    return reinterpret_cast<uint8_t*>(map.baseAddr) +
           static_cast<std::ptrdiff_t>(y - map.bounds.top) * map.rowBytes +
           static_cast<std::ptrdiff_t>(x - map.bounds.left) * kBytesPerPixel;
}

// The process-wide current port, or null.
GrafPtr CurrentPort();

// The part of `area` that drawing into the current port may touch: its clip and its bounds.
PixelBox ClipToPort(const GrafPort& port, const PixelBox& area);

} // namespace qd
