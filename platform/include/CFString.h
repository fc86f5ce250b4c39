// Immutable strings (the platform's Core Foundation strings). Held as Unicode; length-prefixed
// text crosses in Mac OS Roman, by the encoding's own table.
#pragma once

#include "CFBase.h"

PLATFORM_EXPORTS_BEGIN

typedef const struct OpaqueCFString* CFStringRef;
typedef uint32_t CFStringEncoding;
enum : CFStringEncoding {
    kCFStringEncodingMacRoman = 0,
    kCFStringEncodingUTF8 = 0x08000100,
};

// New strings, owned by the caller (CFRelease). Null when the bytes are not valid in the
// encoding.
CFStringRef CFStringCreateWithPascalString(CFAllocatorRef alloc, ConstStr255Param pStr,
                                           CFStringEncoding encoding);
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr,
                                      CFStringEncoding encoding);
CFIndex CFStringGetLength(CFStringRef s); // in characters
// Zero-terminated text in the encoding; false when it does not fit or cannot be encoded.
Boolean CFStringGetCString(CFStringRef s, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding);
Boolean CFStringGetPascalString(CFStringRef s, StringPtr buffer, CFIndex bufferSize,
                                CFStringEncoding encoding);

PLATFORM_EXPORTS_END
