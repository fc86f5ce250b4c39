// Immutable strings held as UTF-8, crossing to length-prefixed and C text in Mac OS Roman
// or UTF-8.
#include "corefoundation/cfinternal.h"
#include "corefoundation/macroman.h"

#include <cstring>
#include <optional>

namespace {

constexpr CFIndex kMaxPascalLength = 255;

// The length of a well-formed UTF-8 sequence starting with `lead`, and the range its second
// byte must fall in; the ranges exclude overlong forms, surrogates and values above U+10FFFF.
struct UTF8Lead {
    int length;
    unsigned char secondLow, secondHigh;
};

std::optional<UTF8Lead> ClassifyLead(unsigned char lead) {
    if (lead < 0x80) return UTF8Lead{1, 0, 0};
    if (lead >= 0xC2 && lead <= 0xDF) return UTF8Lead{2, 0x80, 0xBF};
    if (lead == 0xE0) return UTF8Lead{3, 0xA0, 0xBF};
    if (lead == 0xED) return UTF8Lead{3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return UTF8Lead{3, 0x80, 0xBF};
    if (lead == 0xF0) return UTF8Lead{4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return UTF8Lead{4, 0x80, 0xBF};
    if (lead == 0xF4) return UTF8Lead{4, 0x80, 0x8F};
    return std::nullopt;
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Code points in text, or nullopt when it is not well-formed UTF-8.
std::optional<CFIndex> CountCodePoints(std::string_view text) {
    CFIndex count = 0;
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = ClassifyLead(static_cast<unsigned char>(text[i]));
        if (!lead || text.size() - i < size_t(lead->length)) return std::nullopt;
        if (lead->length > 1) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            if (second < lead->secondLow || second > lead->secondHigh) return std::nullopt;
            for (int k = 2; k < lead->length; ++k)
                if (!IsContinuation(static_cast<unsigned char>(text[i + k]))) return std::nullopt;
        }
        i += size_t(lead->length);
        ++count;
    }
    return count;
}

// The bytes of an encoding as UTF-8; nullopt when they are not valid in it.
std::optional<std::string> DecodeToUTF8(std::string_view bytes, CFStringEncoding encoding) {
    switch (encoding) {
    case kCFStringEncodingMacRoman:
        return MacRomanToUTF8(bytes);
    case kCFStringEncodingUTF8:
        return std::string(bytes);
    default:
        return std::nullopt;
    }
}

// The string in an encoding; nullopt when a character has no form in it.
std::optional<std::string> EncodeFromUTF8(const std::string& utf8, CFStringEncoding encoding) {
    switch (encoding) {
    case kCFStringEncodingMacRoman:
        return UTF8ToMacRoman(utf8);
    case kCFStringEncodingUTF8:
        return utf8;
    default:
        return std::nullopt;
    }
}

CFStringRef CreateFromBytes(std::string_view bytes, CFStringEncoding encoding) {
    const auto utf8 = DecodeToUTF8(bytes, encoding);
    return utf8 ? CFStringCreateWithUTF8(*utf8) : nullptr;
}

} // namespace

CFStringRef CFStringCreateWithUTF8(std::string_view text) {
    const auto length = CountCodePoints(text);
    if (!length) return nullptr;
    auto* s = new OpaqueCFString;
    s->utf8 = text;
    s->length = *length;
    return s;
}

const std::string& CFStringUTF8(CFStringRef s) {
    static const std::string kEmpty;
    return s ? s->utf8 : kEmpty;
}

CFStringHolder CFStringRetained(CFStringRef s) {
    return CFStringHolder(static_cast<CFStringRef>(CFRetain(s)));
}

CFStringRef CFStringCreateWithPascalString(CFAllocatorRef, ConstStr255Param pStr,
                                           CFStringEncoding encoding) {
    if (!pStr) return nullptr;
    return CreateFromBytes(std::string_view(reinterpret_cast<const char*>(pStr + 1), pStr[0]),
                           encoding);
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
    if (!cStr) return nullptr;
    return CreateFromBytes(cStr, encoding);
}

CFIndex CFStringGetLength(CFStringRef s) {
    return s ? s->length : 0;
}

Boolean CFStringGetCString(CFStringRef s, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding) {
    if (!buffer || bufferSize <= 0) return false;
    buffer[0] = '\0'; // what a caller that ignores the result sees on failure
    if (!s) return false;
    const auto encoded = EncodeFromUTF8(s->utf8, encoding);
    // A zero byte inside the text cannot be told from the terminator.
    if (!encoded || encoded->find('\0') != std::string::npos) return false;
    if (CFIndex(encoded->size()) >= bufferSize) return false;
    std::memcpy(buffer, encoded->c_str(), encoded->size() + 1);
    return true;
}

Boolean CFStringGetPascalString(CFStringRef s, StringPtr buffer, CFIndex bufferSize,
                                CFStringEncoding encoding) {
    if (!buffer || bufferSize <= 0) return false;
    buffer[0] = 0; // what a caller that ignores the result sees on failure
    if (!s) return false;
    const auto encoded = EncodeFromUTF8(s->utf8, encoding);
    if (!encoded) return false;
    const CFIndex length = CFIndex(encoded->size());
    if (length > kMaxPascalLength || length >= bufferSize) return false;
    buffer[0] = static_cast<unsigned char>(length);
    std::memcpy(buffer + 1, encoded->data(), encoded->size());
    return true;
}
