// Pixel records, colour packing and pixel access.
#include "pixellib.h"

#include <cstring>

int32_t PixRec2LongInt(PixRec ThePixRec) {
    int32_t value;
    std::memcpy(&value, &ThePixRec, sizeof value);
    return value;
}

PixRec LongInt2PixRec(int32_t TheLong) {
    PixRec pixel;
    std::memcpy(&pixel, &TheLong, sizeof pixel);
    return pixel;
}

int32_t RGBColor2LongInt(RGBColor TheColor) {
    const PixRec pixel{0, uint8_t(TheColor.red >> 8), uint8_t(TheColor.green >> 8),
                       uint8_t(TheColor.blue >> 8)};
    return PixRec2LongInt(pixel);
}

RGBColor LongInt2RGBColor(int32_t TheLong) {
    const PixRec pixel = LongInt2PixRec(TheLong);
    return RGBColor{uint16_t(pixel.red * 256), uint16_t(pixel.green * 256),
                    uint16_t(pixel.blue * 256)};
}

void GetPixInfoFromGWorld(GWorldPtr TheGW, Ptr* PixBaseAddress, int32_t* PixRowBytes,
                          Rect* TheFrame, uint32_t* PixFlags) {
    PixMapHandle pixels = GetGWorldPixMap(TheGW);
    *PixFlags = GetPixelsState(pixels);
    LockPixels(pixels);
    *PixBaseAddress = GetPixBaseAddr(pixels);
    *PixRowBytes = int32_t(GetPixRowBytes(pixels));
    GetPortBounds(TheGW, TheFrame);
}

int32_t GetAlphaByteOfGWorld(GWorldPtr TheGW) {
    ChannelOrder order;
    return ChannelOrderOf(GetPixPixelFormat(GetGWorldPixMap(TheGW)), &order) ? order.alpha : -1;
}
