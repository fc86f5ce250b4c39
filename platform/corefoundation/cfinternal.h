// Internal to the core library: the shared reference-counted object base and direct access to
// strings and URLs. Nothing of it is exported; the window toolkit uses the public calls.
#pragma once

#include "CFBundle.h"
#include "CFString.h"

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

// Every Core Foundation object derives from this, so CFRetain and CFRelease serve them all.
// An object starts with one owner, its creator.
struct CFObject {
    CFObject() = default;
    CFObject(const CFObject&) = delete;
    CFObject& operator=(const CFObject&) = delete;
    virtual ~CFObject() = default;

    std::atomic<CFIndex> retainCount{1};
};

struct OpaqueCFString : CFObject {
    std::string utf8;
    CFIndex length = 0; // code points, counted once when the string is made
};

struct OpaqueCFURL : CFObject {
    std::string path; // file-system representation, as given
    bool isDirectory = false;
};

// Drops one reference when a holder goes out of scope.
struct CFReleaser {
    void operator()(CFTypeRef cf) const { CFRelease(cf); }
};
using CFStringHolder = std::unique_ptr<const OpaqueCFString, CFReleaser>;
using CFURLHolder = std::unique_ptr<const OpaqueCFURL, CFReleaser>;

// A new string holding `text`; null when it is not well-formed UTF-8. Owned by the caller.
CFStringRef CFStringCreateWithUTF8(std::string_view text);
// The string's UTF-8 text; empty for null.
const std::string& CFStringUTF8(CFStringRef s);
// A holder of a new reference to s (null stays null).
CFStringHolder CFStringRetained(CFStringRef s);

// A new file URL for path (no zero bytes; not empty), or null. Owned by the caller.
CFURLRef CFURLCreateWithPath(std::string_view path, bool isDirectory);
// The URL's path as given; empty for null.
const std::string& CFURLPath(CFURLRef url);
