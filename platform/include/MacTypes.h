// Basic types of the desktop platform the plug-in is written against.
#pragma once

#include <cstdint>

// The platform's libraries keep their symbols hidden; what a public header declares between
// these two marks is what they export, and all a plug-in or host can link against.
#define PLATFORM_EXPORTS_BEGIN _Pragma("GCC visibility push(default)")
#define PLATFORM_EXPORTS_END _Pragma("GCC visibility pop")

typedef uint8_t Boolean;
typedef int16_t OSErr;
typedef int32_t OSStatus;
typedef uint32_t FourCharCode;
typedef FourCharCode OSType;
typedef FourCharCode ResType;
typedef char* Ptr;
typedef Ptr* Handle;
typedef long Size;
typedef int16_t SInt16;
typedef uint16_t UInt16;
typedef int32_t SInt32;
typedef uint32_t UInt32;

// Length-prefixed text: one length byte, then up to 255 bytes.
typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char Str32[33];
typedef const unsigned char* ConstStr255Param;
typedef unsigned char* StringPtr;

enum : OSErr {
    noErr = 0,
    paramErr = -50,
    memFullErr = -108,
    nilHandleErr = -109,
    fnfErr = -43,
    ioErr = -36,
    dupFNErr = -48,
    dirNFErr = -120,
    notAFileErr = -1302, // a folder (or anything else but a file) where a file was named
    eofErr = -39,
    resNotFound = -192,
    resFNotFound = -193,
    addResFailed = -194,
    rmvResFailed = -196,
    resAttrErr = -198,
    mapReadErr = -199,
};

// Half-open rectangle: a pixel (c, r) is inside when left <= c < right and top <= r < bottom.
struct Rect {
    int16_t top, left, bottom, right;
};

struct Point {
    int16_t v, h;
};

// Three 16-bit channels; a byte channel b becomes b * 256, a 16-bit channel becomes its high byte.
struct RGBColor {
    uint16_t red, green, blue;
};

// Four-character code with the first character in the most significant byte.
constexpr FourCharCode FOUR_CHAR_CODE(const char (&s)[5]) {
    return (FourCharCode(uint8_t(s[0])) << 24) | (FourCharCode(uint8_t(s[1])) << 16) |
           (FourCharCode(uint8_t(s[2])) << 8) | FourCharCode(uint8_t(s[3]));
}
