// One pixel as its bytes, colour packing for control values, and direct access to an image.
#pragma once

#include "MacTypes.h"
#include "QuickDraw.h"

#include <cstddef>

// One 32-bit pixel in memory order: the channel order of every image (QuickDraw.h).
struct PixRec {
    uint8_t alpha, red, green, blue;
};
typedef PixRec* PixRecPtr;
static_assert(sizeof(PixRec) == kBytesPerPixel && offsetof(PixRec, alpha) == kAlphaByte &&
              offsetof(PixRec, red) == kRedByte && offsetof(PixRec, green) == kGreenByte &&
              offsetof(PixRec, blue) == kBlueByte);

int32_t PixRec2LongInt(PixRec ThePixRec); // the four bytes read in the machine's byte order
PixRec LongInt2PixRec(int32_t TheLong);
int32_t RGBColor2LongInt(RGBColor TheColor); // alpha 0, each channel's high byte
RGBColor LongInt2RGBColor(int32_t TheLong);  // each byte becomes byte * 256

// The byte of each pixel of TheGW that holds alpha, as its pixel format lays it out; -1 for a
// format the effect does not know.
int32_t GetAlphaByteOfGWorld(GWorldPtr TheGW);

// Locks TheGW's pixels and answers their address, row bytes, bounds and the lock state from
// before, which the caller restores with SetPixelsState. TheGW must not be null.
void GetPixInfoFromGWorld(GWorldPtr TheGW, Ptr* PixBaseAddress, int32_t* PixRowBytes,
                          Rect* TheFrame, uint32_t* PixFlags);
