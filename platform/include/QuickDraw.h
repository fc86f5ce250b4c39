// Offscreen images, ports and the few drawing calls used (the platform's QuickDraw).
//
// Pixels are 32 bits. Images made by NewGWorld hold four bytes in memory order alpha, red,
// green, blue on every machine (k32ARGBPixelFormat); an image wrapped around a caller's buffer
// by NewGWorldFromPtr may hold another byte order, which its pixel map reports. Row r of an
// image starts at GetPixBaseAddr + (r - bounds.top) * GetPixRowBytes; NewGWorld's row bytes
// are a multiple of 16 and at least 4 x width. Images never move, so locking only records a
// flag that callers may save and restore.
//
// There is one current port and device per process (GetGWorld/SetGWorld). Drawing calls go
// to the current port, clipped to its clip rectangle and its bounds; they do nothing when
// there is no current port. Main thread only.
#pragma once

#include "MacTypes.h"

PLATFORM_EXPORTS_BEGIN

struct GrafPort;
typedef GrafPort* GrafPtr;
typedef GrafPtr CGrafPtr;
typedef CGrafPtr GWorldPtr;

struct PixMap;
typedef PixMap* PixMapPtr;
typedef PixMapPtr* PixMapHandle;
typedef PixMap BitMap; // CopyBits takes a port's pixel map as its bit map

struct OpaqueGDHandle;
typedef OpaqueGDHandle* GDHandle;
struct OpaqueCTabHandle;
typedef OpaqueCTabHandle* CTabHandle;
struct OpaqueRgnHandle;
typedef OpaqueRgnHandle* RgnHandle;

typedef uint32_t GWorldFlags;
typedef OSErr QDErr;

enum : GWorldFlags {
    pixelsPurgeable = 1u << 6,
    pixelsLocked = 1u << 7,
};

// Byte orders of 32-bit pixels, named by their four-character codes (the first byte in
// memory first), except ARGB, whose code is its depth.
enum : OSType {
    k32ARGBPixelFormat = 0x00000020,
    k32BGRAPixelFormat = FOUR_CHAR_CODE("BGRA"),
    k32RGBAPixelFormat = FOUR_CHAR_CODE("RGBA"),
};

// Transfer modes. CopyBits draws srcCopy; the pen draws its foreground colour solid in
// patCopy and srcOr alike (a solid pen has no background pixels to leave out).
enum : int16_t {
    srcCopy = 0,
    srcOr = 1,
    patCopy = 8,
};

// The pixel vocabulary that the platform, the plug-in and hosts share: where each channel lies
// in a pixel of each format (k32ARGBPixelFormat for every image NewGWorld makes), a half-open
// box of pixels, and the nearest-pixel mapping with which CopyBits scales.
enum : int {
    kAlphaByte = 0,
    kRedByte = 1,
    kGreenByte = 2,
    kBlueByte = 3,
};
constexpr int kBytesPerPixel = 4;

// The byte of a pixel that holds each channel, in one pixel format.
struct ChannelOrder {
    int alpha, red, green, blue;
};

// The channel order of one of the formats above; false for any other format.
inline bool ChannelOrderOf(OSType pixelFormat, ChannelOrder* order) {
    switch (pixelFormat) {
    case k32ARGBPixelFormat:
        *order = {kAlphaByte, kRedByte, kGreenByte, kBlueByte};
        return true;
    case k32BGRAPixelFormat:
        *order = {3, 2, 1, 0};
        return true;
    case k32RGBAPixelFormat:
        *order = {3, 0, 1, 2};
        return true;
    default:
        return false;
    }
}

// The pixels left <= x < right, top <= y < bottom. Its sides are int, so that clipping
// arithmetic never wraps at 16 bits as a Rect's would.
struct PixelBox {
    int top, left, bottom, right;
};

inline PixelBox PixelBoxOf(const Rect& r) {
    return {r.top, r.left, r.bottom, r.right};
}
inline bool EmptyPixelBox(const PixelBox& b) {
    return b.left >= b.right || b.top >= b.bottom;
}
inline int PixelBoxWidth(const PixelBox& b) {
    return b.right - b.left;
}
inline int PixelBoxHeight(const PixelBox& b) {
    return b.bottom - b.top;
}
inline PixelBox IntersectPixelBoxes(const PixelBox& a, const PixelBox& b) {
    return {a.top > b.top ? a.top : b.top, a.left > b.left ? a.left : b.left,
            a.bottom < b.bottom ? a.bottom : b.bottom, a.right < b.right ? a.right : b.right};
}

// Along one axis, the source pixel that CopyBits shows at position d when it scales the span
// of dstLength pixels from dstStart to show the span of srcLength pixels from srcStart: the one
// under the centre of d, truncated. 64-bit because (2d + 1) x length reaches 2^33 for the
// widest spans. It never decreases as d grows.
inline int ScaledSourcePixel(int d, int dstStart, int dstLength, int srcStart, int srcLength) {
    const int64_t offset = d - dstStart;
    return srcStart + int((2 * offset + 1) * srcLength / (2 * int64_t(dstLength)));
}

// Makes an image of `pixelDepth` 32 (any other depth is paramErr) whose bounds are
// *boundsRect as given; pixels start zero (transparent black), unlocked. An empty or inverted
// rectangle is paramErr; a failed allocation memFullErr. The caller owns the image.
QDErr NewGWorld(GWorldPtr* offscreenGWorld, int16_t pixelDepth, const Rect* boundsRect,
                CTabHandle cTable, GDHandle aGDevice, GWorldFlags flags);
// Makes an image around `buffer`, which stays the caller's: the image never frees it, and the
// caller keeps it alive until DisposeGWorld. Row r starts at buffer + r * rowBytes. pixelFormat
// is one of the three above; an unknown format, a null buffer, an empty or inverted rectangle
// or rowBytes below 4 x width is paramErr; no memory for the image record is memFullErr.
// CopyBits and the drawing calls put each channel where the destination's format keeps it.
QDErr NewGWorldFromPtr(GWorldPtr* offscreenGWorld, uint32_t pixelFormat, const Rect* boundsRect,
                       CTabHandle cTable, GDHandle aGDevice, GWorldFlags flags, Ptr buffer,
                       long rowBytes);
// Pixel buffers that one owner keeps between its images, such as a render that makes and
// disposes images of the same size for every frame: disposing an image made from the reserve
// keeps its buffer there for the reserve's next image of that size. The reserve belongs to its
// owner, who disposes it after its images; it and its images are used by one thread at a time
// (nothing in it is locked, so a child process after fork finds it as the forking thread left
// it). NewGWorld's images never take from or give to a reserve.
typedef struct OpaquePixelReserve* PixelReserveRef;
// A reserve keeping nothing yet; null when memory is short.
PixelReserveRef NewPixelReserve(void);
// Frees the buffers the reserve keeps. Null: nothing.
void DisposePixelReserve(PixelReserveRef reserve);
// NewGWorld of depth 32 with its pixels from `reserve`. Only the pixels outside *filledRect
// (in bounds coordinates) start zero: those inside hold whatever an earlier image of the reserve
// left, for the caller to overwrite; a null filledRect zeroes them all. A null reserve gives
// the image a buffer of its own, all zero, as NewGWorld does. The errors are NewGWorld's.
QDErr NewGWorldFromReserve(GWorldPtr* offscreenGWorld, const Rect* boundsRect,
                           PixelReserveRef reserve, const Rect* filledRect);
// Null: nothing. Resets the current port if it was this image. An image from a reserve gives
// its pixels back to it.
void DisposeGWorld(GWorldPtr offscreenGWorld);
PixMapHandle GetGWorldPixMap(GWorldPtr offscreenGWorld);
PixMapHandle GetPortPixMap(CGrafPtr port);
const BitMap* GetPortBitMapForCopyBits(CGrafPtr port);

Boolean LockPixels(PixMapHandle pm);
void UnlockPixels(PixMapHandle pm);
GWorldFlags GetPixelsState(PixMapHandle pm);
void SetPixelsState(PixMapHandle pm, GWorldFlags state);
Ptr GetPixBaseAddr(PixMapHandle pm);
long GetPixRowBytes(PixMapHandle pm);
Rect* GetPixBounds(PixMapHandle pm, Rect* bounds);
OSType GetPixPixelFormat(PixMapHandle pm); // the byte order of its pixels; 0 for null
Rect* GetPortBounds(CGrafPtr port, Rect* rect);

void GetGWorld(CGrafPtr* port, GDHandle* gdh);
void SetGWorld(CGrafPtr port, GDHandle gdh);
void GetPort(GrafPtr* port);
void SetPort(GrafPtr port);

// Copies srcRect of src into dstRect of dst, scaling to the nearest pixel when the sizes
// differ, clipped to both images and, when dst is the current port's map, to its clip.
void CopyBits(const BitMap* srcBits, const BitMap* dstBits, const Rect* srcRect,
              const Rect* dstRect, int16_t mode, RgnHandle maskRgn);

void RGBForeColor(const RGBColor* color);
void RGBBackColor(const RGBColor* color);
void GetForeColor(RGBColor* color);
void GetBackColor(RGBColor* color);
void PenMode(int16_t mode);
void PenNormal(void);
void PaintRect(const Rect* r); // fills with the foreground colour
void EraseRect(const Rect* r); // fills with the background colour
void FrameRect(const Rect* r); // one-pixel outline inside r
void FrameOval(const Rect* r); // one-pixel ring of the oval inscribed in r
void ClipRect(const Rect* r);
void GetClip(Rect* r); // the current port's clip rectangle

// Rectangle arithmetic (16-bit sides, as stored).
void SetRect(Rect* r, int16_t left, int16_t top, int16_t right, int16_t bottom);
void OffsetRect(Rect* r, int16_t dh, int16_t dv);
void InsetRect(Rect* r, int16_t dh, int16_t dv);
Boolean PtInRect(Point pt, const Rect* r);
Boolean EmptyRect(const Rect* r);
Boolean EqualRect(const Rect* a, const Rect* b);
Boolean SectRect(const Rect* a, const Rect* b, Rect* out);
void Pt2Rect(Point a, Point b, Rect* out);

PLATFORM_EXPORTS_END
