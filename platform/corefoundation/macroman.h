// Platform-internal: Mac OS Roman text to and from UTF-8, by the encoding's own table, so that
// it converts the same on every processor without the C library's charset modules.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Every byte has a character, so decoding always succeeds.
std::string MacRomanToUTF8(std::string_view bytes);
// nullopt when `utf8` is malformed or holds a character Mac OS Roman lacks.
std::optional<std::string> UTF8ToMacRoman(std::string_view utf8);
