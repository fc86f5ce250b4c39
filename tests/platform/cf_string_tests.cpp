// Tests of platform strings: Mac OS Roman and UTF-8 conversion, buffers, retain counts.
#include "cf_test_util.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using StringHolder = CFHolder<CFStringRef>;

StringHolder FromMacRoman(const std::string& bytes) {
    std::vector<unsigned char> pascal{static_cast<unsigned char>(bytes.size())};
    pascal.insert(pascal.end(), bytes.begin(), bytes.end());
    return StringHolder(CFStringCreateWithPascalString(kCFAllocatorDefault, pascal.data(),
                                                       kCFStringEncodingMacRoman));
}

StringHolder FromUTF8(const std::string& text) {
    return MakeString(text.c_str());
}

std::string ToMacRoman(CFStringRef s) {
    Str255 buffer;
    EXPECT_TRUE(CFStringGetPascalString(s, buffer, sizeof buffer, kCFStringEncodingMacRoman));
    return std::string(reinterpret_cast<const char*>(buffer + 1), buffer[0]);
}

struct MacRomanRow {
    const char* name;
    std::string macRoman;
    std::string utf8;
    CFIndex characters;
};

class MacRomanRoundTrip : public testing::TestWithParam<MacRomanRow> {};

TEST_P(MacRomanRoundTrip, DecodesToUnicodeAndEncodesBack) {
    StringHolder s = FromMacRoman(GetParam().macRoman);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(TextOf(s.get()), GetParam().utf8);
    EXPECT_EQ(CFStringGetLength(s.get()), GetParam().characters);
    EXPECT_EQ(ToMacRoman(s.get()), GetParam().macRoman);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MacRomanRoundTrip,
    testing::Values(MacRomanRow{"Empty", "", "", 0}, MacRomanRow{"Ascii", "Glimmer", "Glimmer", 7},
                    MacRomanRow{"AccentedE", "caf\x8E", "caf\xC3\xA9", 4},
                    // Ä, bullet, en dash, euro sign, fi ligature
                    MacRomanRow{"UpperHalf", "\x80\xA5\xD0\xDB\xDE",
                                "\xC3\x84\xE2\x80\xA2\xE2\x80\x93\xE2\x82\xAC\xEF\xAC\x81", 5},
                    // increment sign, a private-use character, dotless i
                    MacRomanRow{"MathLogoDotless", "\xC6\xF0\xF5",
                                "\xE2\x88\x86\xEF\xA3\xBF\xC4\xB1", 3}),
    [](const auto& info) { return info.param.name; });

TEST(CFString, EveryMacRomanByteIsOneCharacterAndRoundTrips) {
    for (int byte = 0; byte < 256; ++byte) {
        const std::string text(1, static_cast<char>(byte));
        StringHolder s = FromMacRoman(text);
        ASSERT_NE(s, nullptr) << "byte " << byte;
        EXPECT_EQ(CFStringGetLength(s.get()), 1) << "byte " << byte;
        EXPECT_EQ(ToMacRoman(s.get()), text) << "byte " << byte;
    }
}

TEST(CFString, LengthCountsCodePointsNotBytes) {
    StringHolder s = FromUTF8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80x"); // é € U+1F600 x
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(CFStringGetLength(s.get()), 4);
}

class MalformedUTF8 : public testing::TestWithParam<std::string> {};

TEST_P(MalformedUTF8, IsRefused) {
    EXPECT_EQ(FromUTF8(GetParam()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Bytes, MalformedUTF8,
                         testing::Values("a\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                                         "\xF4\x90\x80\x80", "ok\xE2\x82", "\xE2\x82x", "\xFF"));

class BufferSize : public testing::TestWithParam<CFIndex> {};

// "café" is four Mac OS Roman bytes: both forms need a buffer of five.
TEST_P(BufferSize, TextFitsOnlyWithItsTerminatorOrLengthByte) {
    const bool fits = GetParam() >= 5;
    StringHolder s = FromUTF8("caf\xC3\xA9");
    std::vector<char> c(8, 'Z');
    EXPECT_EQ(CFStringGetCString(s.get(), c.data(), GetParam(), kCFStringEncodingMacRoman), fits);
    EXPECT_EQ(std::string(c.data()), fits ? "caf\x8E" : "");
    std::vector<unsigned char> p(8, 'Z');
    EXPECT_EQ(CFStringGetPascalString(s.get(), p.data(), GetParam(), kCFStringEncodingMacRoman),
              fits);
    EXPECT_EQ(p[0], fits ? 4 : 0);
    EXPECT_EQ(c[5], 'Z') << "wrote past the text";
    EXPECT_EQ(p[5], 'Z') << "wrote past the text";
}

INSTANTIATE_TEST_SUITE_P(Sizes, BufferSize, testing::Values(1, 4, 5, 8));

TEST(CFString, CharacterWithoutMacRomanFormFailsCleanly) {
    StringHolder s = FromUTF8("Tokyo \xE6\x9D\xB1\xE4\xBA\xAC");
    char c[64] = "untouched";
    Str255 p = {3, 'o', 'l', 'd'};
    EXPECT_FALSE(CFStringGetCString(s.get(), c, sizeof c, kCFStringEncodingMacRoman));
    EXPECT_FALSE(CFStringGetPascalString(s.get(), p, sizeof p, kCFStringEncodingMacRoman));
    EXPECT_STREQ(c, "");
    EXPECT_EQ(p[0], 0);
}

TEST(CFString, PascalFormHoldsAtMost255Bytes) {
    std::vector<unsigned char> roomy(1024);
    const auto size = CFIndex(roomy.size());
    EXPECT_TRUE(CFStringGetPascalString(FromUTF8(std::string(255, 'a')).get(), roomy.data(), size,
                                        kCFStringEncodingMacRoman));
    EXPECT_FALSE(CFStringGetPascalString(FromUTF8(std::string(256, 'a')).get(), roomy.data(), size,
                                         kCFStringEncodingMacRoman));
}

TEST(CFString, UnknownEncodingAndNullArgumentsAreRefused) {
    constexpr CFStringEncoding kUnknown = 0x0600;
    char buffer[16];
    EXPECT_EQ(CFStringCreateWithCString(kCFAllocatorDefault, "hi", kUnknown), nullptr);
    EXPECT_FALSE(CFStringGetCString(FromUTF8("hi").get(), buffer, sizeof buffer, kUnknown));
    EXPECT_EQ(CFStringCreateWithPascalString(kCFAllocatorDefault, nullptr, 0), nullptr);
    EXPECT_FALSE(CFStringGetCString(nullptr, buffer, sizeof buffer, kCFStringEncodingUTF8));
    EXPECT_EQ(CFStringGetLength(nullptr), 0);
}

TEST(CFBase, RetainAndReleaseCountOwnersAndIgnoreNull) {
    CFStringRef s = CFStringCreateWithCString(kCFAllocatorDefault, "x", kCFStringEncodingUTF8);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    EXPECT_EQ(CFRetain(s), s);
    EXPECT_EQ(CFGetRetainCount(s), 2);
    CFRelease(s);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    CFRelease(s); // the last owner frees it; the sanitizer build reports a leak otherwise

    EXPECT_EQ(CFRetain(nullptr), nullptr);
    CFRelease(nullptr);
    EXPECT_EQ(CFGetRetainCount(nullptr), 0);
}

} // namespace
