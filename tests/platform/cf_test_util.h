// Test helpers for platform objects: owning holders and UTF-8 strings in and out.
#pragma once

#include "CFString.h"

#include <memory>
#include <string>
#include <type_traits>

struct CFTestReleaser {
    void operator()(CFTypeRef cf) const { CFRelease(cf); }
};
template <class Ref> using CFHolder = std::unique_ptr<std::remove_pointer_t<Ref>, CFTestReleaser>;

// A new string of UTF-8 text; null stays null.
inline CFHolder<CFStringRef> MakeString(const char* text) {
    if (!text) return nullptr;
    return CFHolder<CFStringRef>(
        CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8));
}

// The string's UTF-8 text, or "<none>" when it is null or cannot be read.
inline std::string TextOf(CFStringRef s) {
    char buffer[1024];
    return CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer : "<none>";
}
