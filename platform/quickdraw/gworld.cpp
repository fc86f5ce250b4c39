// Offscreen images, their pixel maps and lock state, and the process-wide current port.
#include "memory/failseam.h"
#include "quickdraw/pixelbuffers.h"
#include "quickdraw/qdport.h"

#include <cstring>
#include <new>

namespace {

// Rows start on 16-byte boundaries so that a row can be walked with 16-byte vectors.
constexpr long kRowAlignment = 16;
// The largest image we make: 16384 x 16384 pixels. Anything bigger is a corrupt or hostile
// size rather than a frame, and is refused as if memory had run out.
constexpr size_t kMaxImageBytes = size_t(1) << 30;

// One per process; the platform is a single shared library so every caller sees the same one.
GrafPtr gCurrentPort = nullptr;

long RowBytesForWidth(int width) {
    const long packed = long(width) * kBytesPerPixel;
    return (packed + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
}

// Fills in a fresh port around its pixels: clip = bounds, black on white, solid pen.
void InitPort(GrafPort& port, const Rect& bounds, Ptr pixels, long rowBytes, size_t byteCount,
              OSType pixelFormat, bool ownsPixels, PixelReserveRef reserve) {
    port.pixMap = {pixels, rowBytes, bounds, 0, byteCount, pixelFormat, ownsPixels, reserve};
    port.pixMapMaster = &port.pixMap;
    port.clip = bounds;
    port.foreColor = qd::kBlack;
    port.backColor = qd::kWhite;
    port.penMode = patCopy;
}

// Zeroes every byte of the map's buffer outside the pixels of `filled` (clipped to its bounds;
// empty: all of it), row padding included.
void ZeroOutside(const PixMap& map, const PixelBox& filled) {
    auto* base = reinterpret_cast<uint8_t*>(map.baseAddr);
    if (EmptyPixelBox(filled)) {
        std::memset(base, 0, map.byteCount);
        return;
    }
    const size_t rowBytes = size_t(map.rowBytes);
    const size_t firstFilled = size_t(filled.top - map.bounds.top) * rowBytes;
    const size_t endFilled = size_t(filled.bottom - map.bounds.top) * rowBytes;
    std::memset(base, 0, firstFilled);
    std::memset(base + endFilled, 0, map.byteCount - endFilled);
    const size_t left = size_t(filled.left - map.bounds.left) * kBytesPerPixel;
    const size_t right = size_t(filled.right - map.bounds.left) * kBytesPerPixel;
    if (left == 0 && right == rowBytes) return; // the filled rows are filled whole
    for (size_t row = firstFilled; row < endFilled; row += rowBytes) {
        std::memset(base + row, 0, left);
        std::memset(base + row + right, 0, rowBytes - right);
    }
}

} // namespace

namespace qd {

GrafPtr CurrentPort() {
    return gCurrentPort;
}

PixelBox ClipToPort(const GrafPort& port, const PixelBox& area) {
    return IntersectPixelBoxes(IntersectPixelBoxes(area, PixelBoxOf(port.clip)),
                               PixelBoxOf(port.pixMap.bounds));
}

} // namespace qd

// Images are always 32-bit with no colour table, there is no graphics device, and pixels start
// unlocked whatever the creation flags say.
QDErr NewGWorld(GWorldPtr* offscreenGWorld, int16_t pixelDepth, const Rect* boundsRect,
                CTabHandle /*cTable*/, GDHandle /*aGDevice*/, GWorldFlags /*flags*/) {
    if (pixelDepth != 32) {
        if (offscreenGWorld) *offscreenGWorld = nullptr;
        return paramErr;
    }
    return NewGWorldFromReserve(offscreenGWorld, boundsRect, nullptr, nullptr);
}

QDErr NewGWorldFromReserve(GWorldPtr* offscreenGWorld, const Rect* boundsRect,
                           PixelReserveRef reserve, const Rect* filledRect) {
    if (!offscreenGWorld) return paramErr;
    *offscreenGWorld = nullptr;
    if (!boundsRect || EmptyPixelBox(PixelBoxOf(*boundsRect))) return paramErr;
    if (PlatformAllocationShouldFail()) return memFullErr;

    const PixelBox box = PixelBoxOf(*boundsRect);
    const long rowBytes = RowBytesForWidth(PixelBoxWidth(box));
    const size_t byteCount = size_t(rowBytes) * size_t(PixelBoxHeight(box));
    if (byteCount > kMaxImageBytes) return memFullErr;

    auto* port = new (std::nothrow) GrafPort;
    void* pixels = !port     ? nullptr
                   : reserve ? qd::TakeReservedPixels(reserve, byteCount)
                             : qd::NewPixels(byteCount);
    if (!pixels) {
        delete port;
        return memFullErr;
    }
    InitPort(*port, *boundsRect, static_cast<Ptr>(pixels), rowBytes, byteCount, k32ARGBPixelFormat,
             true, reserve);
    ZeroOutside(port->pixMap, reserve && filledRect
                                  ? IntersectPixelBoxes(PixelBoxOf(*filledRect), box)
                                  : PixelBox{});
    *offscreenGWorld = port;
    return noErr;
}

QDErr NewGWorldFromPtr(GWorldPtr* offscreenGWorld, uint32_t pixelFormat, const Rect* boundsRect,
                       CTabHandle /*cTable*/, GDHandle /*aGDevice*/, GWorldFlags /*flags*/,
                       Ptr buffer, long rowBytes) {
    if (!offscreenGWorld) return paramErr;
    *offscreenGWorld = nullptr;
    ChannelOrder order;
    if (!ChannelOrderOf(pixelFormat, &order) || !buffer || !boundsRect) return paramErr;
    const PixelBox box = PixelBoxOf(*boundsRect);
    if (EmptyPixelBox(box) || rowBytes < long(PixelBoxWidth(box)) * kBytesPerPixel) return paramErr;
    if (PlatformAllocationShouldFail()) return memFullErr;

    auto* port = new (std::nothrow) GrafPort;
    if (!port) return memFullErr;
    const size_t byteCount = size_t(rowBytes) * size_t(PixelBoxHeight(box));
    InitPort(*port, *boundsRect, buffer, rowBytes, byteCount, pixelFormat, false, nullptr);
    *offscreenGWorld = port;
    return noErr;
}

void DisposeGWorld(GWorldPtr offscreenGWorld) {
    if (!offscreenGWorld) return;
    if (gCurrentPort == offscreenGWorld) gCurrentPort = nullptr;
    const PixMap& map = offscreenGWorld->pixMap;
    if (map.ownsPixels && map.reserve) {
        qd::KeepReservedPixels(map.reserve, map.baseAddr, map.byteCount);
    } else if (map.ownsPixels) {
        qd::FreePixels(map.baseAddr);
    }
    delete offscreenGWorld;
}

PixMapHandle GetGWorldPixMap(GWorldPtr offscreenGWorld) {
    return offscreenGWorld ? &offscreenGWorld->pixMapMaster : nullptr;
}

PixMapHandle GetPortPixMap(CGrafPtr port) {
    return GetGWorldPixMap(port);
}

const BitMap* GetPortBitMapForCopyBits(CGrafPtr port) {
    return port ? &port->pixMap : nullptr;
}

// Images never move, so locking only records the flag for callers that save and restore it.
Boolean LockPixels(PixMapHandle pm) {
    if (!pm || !*pm) return false;
    (*pm)->state |= pixelsLocked;
    return true;
}

void UnlockPixels(PixMapHandle pm) {
    if (pm && *pm) (*pm)->state &= ~GWorldFlags(pixelsLocked);
}

GWorldFlags GetPixelsState(PixMapHandle pm) {
    return pm && *pm ? (*pm)->state : 0;
}

void SetPixelsState(PixMapHandle pm, GWorldFlags state) {
    if (pm && *pm) (*pm)->state = state;
}

Ptr GetPixBaseAddr(PixMapHandle pm) {
    return pm && *pm ? (*pm)->baseAddr : nullptr;
}

long GetPixRowBytes(PixMapHandle pm) {
    return pm && *pm ? (*pm)->rowBytes : 0;
}

Rect* GetPixBounds(PixMapHandle pm, Rect* bounds) {
    if (bounds) *bounds = pm && *pm ? (*pm)->bounds : Rect{0, 0, 0, 0};
    return bounds;
}

OSType GetPixPixelFormat(PixMapHandle pm) {
    return pm && *pm ? (*pm)->pixelFormat : 0;
}

Rect* GetPortBounds(CGrafPtr port, Rect* rect) {
    return GetPixBounds(GetPortPixMap(port), rect);
}

// There is no graphics device: the device half of the pair is always null.
void GetGWorld(CGrafPtr* port, GDHandle* gdh) {
    if (port) *port = gCurrentPort;
    if (gdh) *gdh = nullptr;
}

void SetGWorld(CGrafPtr port, GDHandle /*gdh*/) {
    gCurrentPort = port;
}

void GetPort(GrafPtr* port) {
    GetGWorld(port, nullptr);
}

void SetPort(GrafPtr port) {
    SetGWorld(port, nullptr);
}
